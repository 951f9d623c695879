// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tool frame's window-free parts: the names of its files, the help file rule, and the
// closing lines written to the suite's log when the program ends.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

/// The main window's id as the suite knows it: 0 until the window is created and after the end.
extern std::uint64_t MainWindowHandle;

/// The help topics of the window: the main one, and one for each control with a section of its
/// own in the user guide. A topic N is the anchor "help-N" of the help page.
inline constexpr int kMainHelpContext = 5410;
inline constexpr int kPathHelpContext = 5411;         ///< the path and its browse button
inline constexpr int kMaskHelpContext = 5412;         ///< the file mask
inline constexpr int kOptionsHelpContext = 5413;      ///< .zip files too, sub-folders too
inline constexpr int kRunHelpContext = 5414;          ///< Analyse and Stop
inline constexpr int kResultsHelpContext = 5415;      ///< the list and the summary lines
inline constexpr int kCopyHelpContext = 5416;         ///< Copy, copy letter characters only
inline constexpr int kFontHelpContext = 5417;         ///< list font and size
inline constexpr int kHeaderHelpContext = 5418;       ///< header to cut
inline constexpr int kSourceTextHelpContext = 5419;   ///< the Source Text tab
inline constexpr int kTextChoicesHelpContext = 5420;  ///< unsigned text, unit, normalisation

/// The anchor of a help topic in the help page: "help-" + the topic.
[[nodiscard]] std::string helpAnchor(int helpContext);

/// The tool's settings file: user folder + program file name with ".ini".
[[nodiscard]] std::filesystem::path ToolSettingsFileName(const std::filesystem::path& userFolder,
                                                         const std::filesystem::path& programFile);

/// The interfaces folder: user folder + "interfaces".
[[nodiscard]] std::filesystem::path InterfacesFolder(const std::filesystem::path& userFolder);

/// The tool's native language file: interfaces folder + program file name with ".ntv.lng".
[[nodiscard]] std::filesystem::path ToolLanguageFileName(const std::filesystem::path& userFolder,
                                                         const std::filesystem::path& programFile);

/// The help file of a language: interfaces folder + "veltrane_" + primary language + ".html".
[[nodiscard]] std::filesystem::path languageHelpFileName(const std::filesystem::path& userFolder,
                                                         std::uint32_t languageId);

/// The fallback help file: user folder + program file name with ".html".
[[nodiscard]] std::filesystem::path fallbackHelpFileName(const std::filesystem::path& userFolder,
                                                         const std::filesystem::path& programFile);

/// The help file for a language: the language's file when it exists, else the fallback
/// (whether or not that one exists).
[[nodiscard]] std::filesystem::path ChooseHelpFile(const std::filesystem::path& userFolder,
                                                   std::uint32_t languageId,
                                                   const std::filesystem::path& programFile);

/// Every place the help file rule looks in for a language, in order: the language's file, then
/// the fallback.
[[nodiscard]] std::vector<std::filesystem::path> HelpFilePlaces(
    const std::filesystem::path& userFolder, std::uint32_t languageId,
    const std::filesystem::path& programFile);

/// The first of the places that is a file, or empty when none is.
[[nodiscard]] std::filesystem::path FirstHelpFile(const std::vector<std::filesystem::path>& places);

/// One line for the suite's log and its flag.
struct LogLine {
    std::u16string text;
    bool flag = false;
    friend bool operator==(const LogLine&, const LogLine&) = default;
};

/// The line written when the main window closes: ten asterisks, a blank, VTClosingATool.
[[nodiscard]] LogLine toolClosingLine(std::u16string_view toolName);

/// The lines the units write at program end, in order; the window is unregistered right
/// after the line at index kUnsetWndAfterLine.
[[nodiscard]] std::vector<LogLine> unitClosingLines(std::u16string_view shortToolFilename,
                                                    std::uint64_t mainWindowHandle);
inline constexpr std::size_t kUnsetWndAfterLine = 8;

/// What the program end needs from the suite.
struct FinaliseServices {
    std::function<bool()> keepingLog;
    std::function<void(const std::u16string&, bool)> log;  ///< AddToLogFile
    std::function<void(int, std::uint64_t)> unsetWnd;      ///< UnSetWnd
};

/// Program end: the units' closing lines while logging is on, and the window unregistered
/// (unless this is the shell); the handle is 0 afterwards.
void finaliseUnits(int currentTool, std::u16string_view shortToolFilename,
                   std::uint64_t& mainWindowHandle, const FinaliseServices& services);

}  // namespace runemeter
