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

/// The help topic of the main window.
inline constexpr int kMainHelpContext = 5410;

/// The tool's settings file: user folder + program file name with ".ini".
[[nodiscard]] std::filesystem::path ToolSettingsFileName(const std::filesystem::path& userFolder,
                                                         const std::filesystem::path& programFile);

/// The interfaces folder: user folder + "interfaces".
[[nodiscard]] std::filesystem::path InterfacesFolder(const std::filesystem::path& userFolder);

/// The tool's native language file: interfaces folder + program file name with ".ntv.lng".
[[nodiscard]] std::filesystem::path ToolLanguageFileName(const std::filesystem::path& userFolder,
                                                         const std::filesystem::path& programFile);

/// The help file of a language: interfaces folder + "veltrane_" + primary language + ".chm".
[[nodiscard]] std::filesystem::path languageHelpFileName(const std::filesystem::path& userFolder,
                                                         std::uint32_t languageId);

/// The fallback help file: user folder + program file name with ".chm".
[[nodiscard]] std::filesystem::path fallbackHelpFileName(const std::filesystem::path& userFolder,
                                                         const std::filesystem::path& programFile);

/// The help file for a language: the language's file when it exists, else the fallback
/// (whether or not that one exists).
[[nodiscard]] std::filesystem::path ChooseHelpFile(const std::filesystem::path& userFolder,
                                                   std::uint32_t languageId,
                                                   const std::filesystem::path& programFile);

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
