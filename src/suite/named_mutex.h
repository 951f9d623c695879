// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Named mutexes between the suite's programs. A named mutex is a lock file in the user's
// runtime folder ($XDG_RUNTIME_DIR, else /tmp/veltrane-<uid>) held with flock. The lock goes
// with the holding process, so a crashed holder never leaves the mutex taken.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace runemeter {

/// The mutex the suite's shell holds while it runs.
inline constexpr std::string_view kSuiteMutexName = "Veltrane Tools mutex";

/// The folder of the lock files: $XDG_RUNTIME_DIR when set and absolute, else
/// /tmp/veltrane-<uid> (made with mode 0700 and refused when another user owns it).
[[nodiscard]] std::optional<std::filesystem::path> namedMutexFolder(std::string* error = nullptr);

/// The lock file of a named mutex: bytes other than letters, digits, '-', '_' and '.' are
/// written as "%XX", so every name has its own file and no name leaves the folder.
[[nodiscard]] std::filesystem::path namedMutexFile(const std::filesystem::path& folder,
                                                   std::string_view name);

/// True when a live process holds the named mutex.
[[nodiscard]] bool namedMutexExists(std::string_view name);

/// A held named mutex; released when destroyed (or when the process ends).
class NamedMutex {
public:
    /// Takes the mutex without waiting; nullopt with error set when another process holds it
    /// or the lock file cannot be made.
    [[nodiscard]] static std::optional<NamedMutex> acquire(std::string_view name,
                                                           std::string& error);

    NamedMutex(NamedMutex&& other) noexcept;
    NamedMutex& operator=(NamedMutex&& other) noexcept;
    NamedMutex(const NamedMutex&) = delete;
    NamedMutex& operator=(const NamedMutex&) = delete;
    ~NamedMutex();

    /// Lets the mutex go now.
    void release();

private:
    explicit NamedMutex(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

}  // namespace runemeter
