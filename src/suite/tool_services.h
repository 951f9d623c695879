// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Services of the suite's runtime packages that every tool uses: its own tool number and the
// names of the suite's programs, the language helpers, the process-wide settings copied at
// start, and the hooks through which core code shows a message or lets the window breathe.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "suite/shared_state.h"

namespace runemeter {

/// The suite's controller program.
inline constexpr mini_tool_type kShellTool = 3;
/// This tool.
inline constexpr mini_tool_type kRunemeterTool = 13;

/// The running program's tool number (set once at start by SetCurrentTool).
extern mini_tool_type current_tool_var;
/// Sets the running program's tool number.
void SetCurrentTool(mini_tool_type tool);

/// The display name of a tool; "Tool <n>" for numbers the suite does not know.
[[nodiscard]] std::u16string Tool_Name(mini_tool_type tool);

/// The executable's file name of a tool ("runemeter", "vtsuite"); empty for unknown numbers.
[[nodiscard]] std::u16string GetShortToolFilename(mini_tool_type tool);

/// The folder the suite's executables are looked for in: the folder of the running program
/// (from /proc/self/exe) unless setToolFolder chose another.
[[nodiscard]] std::filesystem::path toolFolder();
/// Chooses the folder of the suite's executables (empty: back to the running program's).
void setToolFolder(const std::filesystem::path& folder);

/// The full executable file name of a tool: toolFolder() / GetShortToolFilename(tool); empty
/// for unknown numbers. The file need not exist.
[[nodiscard]] std::filesystem::path GetFullToolFilename(mini_tool_type tool);

/// The primary language number of a language identifier (its low ten bits; 4 is Chinese).
[[nodiscard]] constexpr std::uint32_t PrimaryLanguage(std::uint32_t languageId) {
    return languageId & 0x3FF;
}

/// The suite's per-user folder, set when the main window is created.
extern std::filesystem::path user_read_write_folder;
/// True when the program is to end without asking about unsaved work.
extern bool no_check_exit;
/// The colours-and-typefaces block copied at start from the shared state.
extern ColoursAndTypefaces colours_and_typefaces;

/// Message-box flags and results used with MyPMsgDlg.
inline constexpr std::uint32_t kMbOk = 0x00;
inline constexpr std::uint32_t kMbIconExclamation = 0x30;
inline constexpr int kIdOk = 1;

/// Shows a message: text, caption, message-box flags; returns the button pressed.
using MessageDialogProc =
    std::function<int(std::u16string_view text, std::u16string_view caption, std::uint32_t flags)>;

/// The handler behind MyPMsgDlg; the window sets a message box. Empty: written to stderr.
/// Set it before other threads call MyPMsgDlg.
extern MessageDialogProc MyPMsgDlgProc;
/// Lets the window handle pending events during long work; the window sets it. Empty: nothing.
extern std::function<void()> AYieldProcessProc;

/// Shows a message through MyPMsgDlgProc; without one, writes "caption: text" to stderr and
/// returns kIdOk.
int MyPMsgDlg(std::u16string_view text, std::u16string_view caption, std::uint32_t flags);

/// Calls AYieldProcessProc when one is set.
void MyYieldProcess();

}  // namespace runemeter
