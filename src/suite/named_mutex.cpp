// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/named_mutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace runemeter {

namespace {

bool isPlainNameByte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
}

void setError(std::string* error, std::string text) {
    if (error != nullptr) {
        *error = std::move(text);
    }
}

}  // namespace

std::optional<std::filesystem::path> namedMutexFolder(std::string* error) {
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && runtime[0] == '/') {
        return std::filesystem::path(runtime);
    }
    const std::filesystem::path folder = "/tmp/veltrane-" + std::to_string(::getuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        setError(error, "cannot make " + folder.string() + ": " + std::strerror(errno));
        return std::nullopt;
    }
    // /tmp is shared: a folder someone else made (or a link) could let them hold our mutex.
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
        (st.st_mode & 0077) != 0) {
        setError(error, folder.string() + " is not a private folder of this user");
        return std::nullopt;
    }
    return folder;
}

std::filesystem::path namedMutexFile(const std::filesystem::path& folder, std::string_view name) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string file;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (isPlainNameByte(c) && !(file.empty() && c == '.')) {
            file += ch;
        } else {
            file += '%';
            file += kHex[c >> 4];
            file += kHex[c & 0xF];
        }
    }
    return folder / (file + ".lock");
}

bool namedMutexExists(std::string_view name) {
    const auto folder = namedMutexFolder();
    if (!folder) {
        return false;
    }
    const std::filesystem::path file = namedMutexFile(*folder, name);
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return false;  // never made, so never held
    }
    // If the lock can be had, nobody holds it; give it back at once.
    bool held = false;
    while (true) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::flock(fd, LOCK_UN);
            break;
        }
        if (errno == EINTR) {
            continue;
        }
        held = errno == EWOULDBLOCK;
        break;
    }
    ::close(fd);
    return held;
}

std::optional<NamedMutex> NamedMutex::acquire(std::string_view name, std::string& error) {
    const auto folder = namedMutexFolder(&error);
    if (!folder) {
        return std::nullopt;
    }
    const std::filesystem::path file = namedMutexFile(*folder, name);
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        error = "cannot open " + file.string() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR) {
            continue;
        }
        if (errno == EWOULDBLOCK) {
            error.assign(1, '"').append(name).append("\" is held by another process");
        } else {
            error.assign("cannot lock ")
                .append(file.string())
                .append(": ")
                .append(std::strerror(errno));
        }
        ::close(fd);
        return std::nullopt;
    }
    // The holder's process id, for people looking at the file; the lock is what counts.
    if (::ftruncate(fd, 0) == 0) {
        const std::string pid = std::to_string(::getpid()) + "\n";
        const ssize_t written = ::pwrite(fd, pid.data(), pid.size(), 0);
        (void)written;  // only informative; the lock is held either way
    }
    return NamedMutex(fd);
}

NamedMutex::NamedMutex(NamedMutex&& other) noexcept : m_fd(other.m_fd) {
    other.m_fd = -1;
}

NamedMutex& NamedMutex::operator=(NamedMutex&& other) noexcept {
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

NamedMutex::~NamedMutex() {
    release();
}

void NamedMutex::release() {
    if (m_fd >= 0) {
        ::close(m_fd);  // closing the last descriptor lets the lock go
        m_fd = -1;
    }
}

}  // namespace runemeter
