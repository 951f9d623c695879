// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/tool_frame.h"

#include <array>
#include <system_error>

#include "frame/start_tool.h"
#include "suite/resource_strings.h"

namespace runemeter {

std::uint64_t MainWindowHandle = 0;

namespace {

std::filesystem::path withExtension(const std::filesystem::path& programFile,
                                    const char* extension) {
    std::filesystem::path name = programFile.filename();
    name.replace_extension(extension);
    return name;
}

bool exists(const std::filesystem::path& path, bool folder) {
    std::error_code ec;
    return folder ? std::filesystem::is_directory(path, ec) : std::filesystem::exists(path, ec);
}

std::u16string asciiToU16(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::filesystem::path ToolSettingsFileName(const std::filesystem::path& userFolder,
                                           const std::filesystem::path& programFile) {
    return userFolder / withExtension(programFile, ".ini");
}

std::filesystem::path InterfacesFolder(const std::filesystem::path& userFolder) {
    return userFolder / "interfaces";
}

std::filesystem::path ToolLanguageFileName(const std::filesystem::path& userFolder,
                                           const std::filesystem::path& programFile) {
    return InterfacesFolder(userFolder) / withExtension(programFile, ".ntv.lng");
}

std::filesystem::path languageHelpFileName(const std::filesystem::path& userFolder,
                                           std::uint32_t languageId) {
    // The primary language is the low ten bits of a Windows language identifier.
    const std::uint32_t primary = languageId & 0x3FFu;
    return InterfacesFolder(userFolder) / ("veltrane_" + std::to_string(primary) + ".html");
}

std::filesystem::path fallbackHelpFileName(const std::filesystem::path& userFolder,
                                           const std::filesystem::path& programFile) {
    return userFolder / withExtension(programFile, ".html");
}

std::filesystem::path ChooseHelpFile(const std::filesystem::path& userFolder,
                                     std::uint32_t languageId,
                                     const std::filesystem::path& programFile) {
    const std::filesystem::path languageFile = languageHelpFileName(userFolder, languageId);
    if (exists(InterfacesFolder(userFolder), true) && exists(languageFile, false)) {
        return languageFile;
    }
    return fallbackHelpFileName(userFolder, programFile);
}

std::string helpAnchor(int helpContext) {
    return "help-" + std::to_string(helpContext);
}

std::vector<std::filesystem::path> HelpFilePlaces(const std::filesystem::path& userFolder,
                                                  std::uint32_t languageId,
                                                  const std::filesystem::path& programFile) {
    return {languageHelpFileName(userFolder, languageId),
            fallbackHelpFileName(userFolder, programFile)};
}

std::filesystem::path FirstHelpFile(const std::vector<std::filesystem::path>& places) {
    for (const std::filesystem::path& place : places) {
        std::error_code ec;
        if (!place.empty() && std::filesystem::is_regular_file(place, ec)) {
            return place;
        }
    }
    return {};
}

LogLine toolClosingLine(std::u16string_view toolName) {
    const std::array<std::u16string_view, 1> args{toolName};
    return {u"********** " + formatWithStrings(ResourceString(ResId::VTClosingATool), args), true};
}

std::vector<LogLine> unitClosingLines(std::u16string_view shortToolFilename,
                                      std::uint64_t mainWindowHandle) {
    std::vector<LogLine> lines{
        {u"quit form_stuff2, ", false},
        {u"quit veltrane_minimal_progress, ", false},
        {u"quit chosenfilesBaseU, ", false},
        {u"quit myTagSwapLists, ", false},
        {u"quit MultiPurposeDrawgridU, ", false},
        {u"quit iniFileU, ", false},
        {u"quit language_detailsU, ", false},
        {u"unsetting " + std::u16string(shortToolFilename) + u" main window " +
             asciiToU16(std::to_string(mainWindowHandle)),
         true},
        {u"quit veltrane_minimal, ", true},
        {u"quit TEXTBUF", true},
    };
    return lines;
}

void finaliseUnits(int currentTool, std::u16string_view shortToolFilename,
                   std::uint64_t& mainWindowHandle, const FinaliseServices& services) {
    const std::vector<LogLine> lines = unitClosingLines(shortToolFilename, mainWindowHandle);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (services.keepingLog && services.keepingLog() && services.log) {
            services.log(lines[i].text, lines[i].flag);
        }
        if (i == kUnsetWndAfterLine) {
            // Unregistered whether or not the log is kept; the shell keeps its own entry.
            if (mainWindowHandle != 0 && currentTool != kShellTool && services.unsetWnd) {
                services.unsetWnd(currentTool, mainWindowHandle);
            }
            mainWindowHandle = 0;
        }
    }
}

}  // namespace runemeter
