// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The suite's notifications between programs (the suite's window message 1025): every
// registered tool window listens on a local socket of its own in the runtime folder, and a
// sender writes one fixed-size message to it.
//
// Message layout (16 bytes, little-endian):
//
// | Offset | Size | Field                                                          |
// |--------|------|----------------------------------------------------------------|
// | 0      | 4    | message number, 1025                                           |
// | 4      | 4    | first parameter: code in bits 0-15, sender's tool in 16-23     |
// | 8      | 8    | second parameter: the sender's window (0 for a command line)  |

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

#include "suite/shared_state.h"

namespace runemeter {

/// The suite's notification message (the first user message + 1).
inline constexpr std::uint32_t kSuiteMessage = 1025;
/// Notification code: the interface language was changed.
inline constexpr std::uint16_t kNotifyLanguageChanged = 59;
/// Size of one message on the wire.
inline constexpr std::size_t kSuiteMessageSize = 16;

/// One notification.
struct SuiteMessage {
    std::uint32_t message = kSuiteMessage;  ///< always kSuiteMessage when sent
    std::uint32_t wParam = 0;               ///< code and sender's tool
    std::uint64_t lParam = 0;               ///< sender's window
    bool operator==(const SuiteMessage&) const = default;
    /// The notification code (low 16 bits of the first parameter).
    [[nodiscard]] std::uint16_t code() const noexcept { return wParam & 0xFFFF; }
    /// The sender's tool number (bits 16 to 23).
    [[nodiscard]] mini_tool_type senderTool() const noexcept { return (wParam >> 16) & 0xFF; }
};

/// A notification with a code from a tool.
[[nodiscard]] SuiteMessage makeSuiteNotification(std::uint16_t code, mini_tool_type sender,
                                                 SuiteWindowId senderWindow = 0);
/// The bytes of a message.
[[nodiscard]] std::array<std::byte, kSuiteMessageSize> encodeSuiteMessage(const SuiteMessage& m);
/// A message from its bytes; nullopt for a wrong size or message number.
[[nodiscard]] std::optional<SuiteMessage> decodeSuiteMessage(std::span<const std::byte> bytes);

/// The socket a registered window listens on: runtime folder + "veltrane-" tool "-" process
/// "-" window ".sock". nullopt when there is no usable runtime folder.
[[nodiscard]] std::optional<std::filesystem::path> notificationSocketPath(const ToolWindow& window);

/// Sends a message to one window; false (with the reason) when nobody listens there.
bool sendSuiteMessage(const ToolWindow& window, const SuiteMessage& message,
                      std::string* error = nullptr);

/// Sends a notification with the code from the sender to every registered window of a tool
/// other than the shell; returns how many windows took it.
int notifyAllTools(std::uint16_t code, mini_tool_type sender);

}  // namespace runemeter
