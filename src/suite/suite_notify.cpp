// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/suite_notify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "suite/named_mutex.h"
#include "suite/tool_services.h"

namespace runemeter {

namespace {

void putLe(std::array<std::byte, kSuiteMessageSize>& out, std::size_t at, std::uint64_t value,
           std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
        out[at + i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
    }
}

std::uint64_t getLe(std::span<const std::byte> in, std::size_t at, std::size_t size) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < size; ++i) {
        value |= static_cast<std::uint64_t>(in[at + i]) << (8 * i);
    }
    return value;
}

}  // namespace

SuiteMessage makeSuiteNotification(std::uint16_t code, mini_tool_type sender,
                                   SuiteWindowId senderWindow) {
    SuiteMessage m;
    m.wParam = code | (static_cast<std::uint32_t>(sender) << 16);
    m.lParam = senderWindow;
    return m;
}

std::array<std::byte, kSuiteMessageSize> encodeSuiteMessage(const SuiteMessage& m) {
    std::array<std::byte, kSuiteMessageSize> out{};
    putLe(out, 0, m.message, 4);
    putLe(out, 4, m.wParam, 4);
    putLe(out, 8, m.lParam, 8);
    return out;
}

std::optional<SuiteMessage> decodeSuiteMessage(std::span<const std::byte> bytes) {
    if (bytes.size() != kSuiteMessageSize) {
        return std::nullopt;
    }
    SuiteMessage m;
    m.message = static_cast<std::uint32_t>(getLe(bytes, 0, 4));
    m.wParam = static_cast<std::uint32_t>(getLe(bytes, 4, 4));
    m.lParam = getLe(bytes, 8, 8);
    if (m.message != kSuiteMessage) {
        return std::nullopt;
    }
    return m;
}

std::optional<std::filesystem::path> notificationSocketPath(const ToolWindow& window) {
    const std::optional<std::filesystem::path> folder = namedMutexFolder();
    if (!folder) {
        return std::nullopt;
    }
    const std::filesystem::path path =
        *folder / ("veltrane-" + std::to_string(window.tool) + "-" + std::to_string(window.pid) +
                   "-" + std::to_string(window.window) + ".sock");
    // A socket name longer than the address can hold would silently reach another socket.
    if (path.native().size() >= sizeof(sockaddr_un{}.sun_path)) {
        return std::nullopt;
    }
    return path;
}

bool sendSuiteMessage(const ToolWindow& window, const SuiteMessage& message, std::string* error) {
    const std::optional<std::filesystem::path> path = notificationSocketPath(window);
    if (!path) {
        if (error != nullptr) {
            *error = "no runtime folder for the suite's sockets";
        }
        return false;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        if (error != nullptr) {
            *error = std::strerror(errno);
        }
        return false;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path->c_str(), path->native().size());
    bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    if (ok) {
        const auto bytes = encodeSuiteMessage(message);
        std::size_t written = 0;
        while (ok && written < bytes.size()) {
            const ssize_t n =
                ::send(fd, bytes.data() + written, bytes.size() - written, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            ok = n > 0;
            written += ok ? static_cast<std::size_t>(n) : 0;
        }
    }
    if (!ok && error != nullptr) {
        *error = path->string() + ": " + std::strerror(errno);
    }
    ::close(fd);
    return ok;
}

int notifyAllTools(std::uint16_t code, mini_tool_type sender) {
    int reached = 0;
    for (const ToolWindow& window : GetRegisteredWindows()) {
        if (window.tool == kShellTool) {
            continue;
        }
        if (sendSuiteMessage(window, makeSuiteNotification(code, sender))) {
            ++reached;
        }
    }
    return reached;
}

}  // namespace runemeter
