// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Test helpers shared by every test program: a temporary folder, files, zip archives written
// with libzip, environment variables put back, and child processes with their output.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter::test {

namespace fs = std::filesystem;

/// A fresh folder under the system's temporary folder, removed with everything in it (folders a
/// test made unreadable included).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    [[nodiscard]] const fs::path& path() const { return m_path; }
    [[nodiscard]] fs::path operator/(const fs::path& relative) const { return m_path / relative; }

private:
    fs::path m_path;
};

/// Writes bytes to a file, creating its folders; throws when it cannot.
void writeFile(const fs::path& file, std::string_view bytes);

/// The whole content of a file ("" when it cannot be read).
[[nodiscard]] std::string readFile(const fs::path& file);

/// The lines of a text, split at '\n' (a final empty piece is dropped).
[[nodiscard]] std::vector<std::string> splitLines(std::string_view text);

/// One entry of an archive written by writeZip: a name ending in '/' is a folder.
struct ZipEntry {
    std::string name;
    std::string content;
    bool stored = false;             ///< stored without compression
    const char* password = nullptr;  ///< encrypted with this password when set
};

/// Writes a zip archive with the given entries, in order, through libzip; throws on failure.
void writeZip(const fs::path& file, const std::vector<ZipEntry>& entries);

/// Sets (or with nullopt unsets) an environment variable and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string m_name;
    std::optional<std::string> m_old;
};

/// What a finished child process left: its exit status (128 + signal when a signal ended it,
/// -1 when it could not be waited for) and everything it wrote.
struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

/// How to start a child: "NAME=VALUE" entries are set, a bare "NAME" is unset; with
/// inheritEnv false only the given variables exist. input is its standard input (empty: an
/// empty file).
struct Launch {
    std::vector<std::string> argv;
    std::vector<std::string> env;
    bool inheritEnv = true;
    std::string input;
    std::string cwd;  ///< the folder the program starts in; empty: the test's own
};

/// A program running beside the test; finish() waits for it. The destructor kills a child
/// that is still running.
class ChildProcess {
public:
    explicit ChildProcess(const Launch& launch);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    [[nodiscard]] pid_t pid() const { return m_pid; }
    /// Sends a signal (the child may still be running afterwards).
    void signal(int number) const;
    /// Waits for the child and collects its output.
    ProcessResult finish();

private:
    TempDir m_files;
    pid_t m_pid = -1;
};

/// Runs a program to its end.
[[nodiscard]] ProcessResult runProgram(const Launch& launch);

/// True once the process catches the signal, that is, once its handler is in place.
inline bool catchesSignal(long long pid, int number) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("SigCgt:"))
            return (std::stoull(line.substr(7), nullptr, 16) >> (number - 1)) & 1;
    return false;
}

}  // namespace runemeter::test
