// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Starting another program of the suite (only ever the shell) and waiting until it is up.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "suite/tool_services.h"

namespace runemeter {

/// What StartTool needs from the suite and the desktop; each is replaceable for tests.
struct StartToolServices {
    std::function<std::uint64_t()> shellWindow;                ///< GetShellWnd
    std::function<bool()> shellInitialised;                    ///< GetWShellInitialised
    std::function<std::filesystem::path(int)> toolExecutable;  ///< GetFullToolFilename
    std::function<bool(const std::filesystem::path&, const std::u16string&)> launch;
    std::function<void()> yield;                                                ///< MyYieldProcess
    std::function<void(const std::u16string&, const std::u16string&)> message;  ///< text, caption
    std::chrono::milliseconds timeout = std::chrono::seconds(30);
    /// Pause between two polls, so that the wait does not keep a core busy.
    std::chrono::milliseconds pollInterval = std::chrono::milliseconds(10);
};

/// True when path names a regular file that its owner, group or others may execute.
[[nodiscard]] bool isExecutableFile(const std::filesystem::path& path);

/// Starts tool (the shell) unless its window is registered, then waits until it reports itself
/// initialised or the timeout passes. False when nothing could be started or it never came up.
[[nodiscard]] bool StartTool(int tool, const std::u16string& parameters,
                             const StartToolServices& services);

/// The command-line text that makes the suite's controller run as the shell.
inline constexpr std::u16string_view kShellParameters = u"shell";

/// The shell check of the start-up: when the mutex is absent, StartTool(3) with the shell's
/// command. Returns whether the shell is up (false when it was running already).
bool ensureShellRunning(bool mutexExists, const StartToolServices& services);

}  // namespace runemeter
