// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The suite's log: one line per event, appended to the suite's log file.
//
// Line format (UTF-8, '\n' ended):
//   "YYYY-MM-DD HH:MM:SS.mmm <text>"               flag false
//   "YYYY-MM-DD HH:MM:SS.mmm [<tool file>] <text>"  flag true; <tool file> is
//                                                    GetShortToolFilename(current_tool_var)
// Time is local time. Carriage returns and line feeds inside the text are written as "\r" and
// "\n" so that one event stays one line.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

namespace runemeter {

/// Whether log lines are written at all.
extern std::atomic<bool> keeping_log;

/// The file log lines go to (empty: none).
void SetLogFilename(const std::filesystem::path& name);
/// The file log lines go to.
[[nodiscard]] std::filesystem::path logFilename();

/// Appends one line while keeping_log is true and the log file exists; the flag adds the
/// tool's name. Never throws; a log that cannot be written is skipped. Thread-safe.
void AddToLogFile(std::u16string_view text, bool flag) noexcept;

/// The line AddToLogFile writes for text at the given local time (without the '\n').
[[nodiscard]] std::string formatLogLine(std::u16string_view text, bool flag,
                                        std::chrono::system_clock::time_point when);

}  // namespace runemeter
