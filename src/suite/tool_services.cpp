// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/tool_services.h"

#include "suite/unicode_text.h"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <mutex>
#include <string>
#include <system_error>

namespace runemeter {

mini_tool_type current_tool_var = 0;
std::filesystem::path user_read_write_folder;
bool no_check_exit = false;
ColoursAndTypefaces colours_and_typefaces = defaultColoursAndTypefaces();
MessageDialogProc MyPMsgDlgProc;
std::function<void()> AYieldProcessProc;

namespace {

struct ToolEntry {
    mini_tool_type tool;
    std::u16string_view name;
    std::u16string_view file;
};

constexpr std::array<ToolEntry, 2> kTools = {{
    {kShellTool, u"Veltrane Shell", u"vtsuite"},
    {kRunemeterTool, u"Runemeter", u"runemeter"},
}};

const ToolEntry* findTool(mini_tool_type tool) {
    for (const ToolEntry& e : kTools) {
        if (e.tool == tool) {
            return &e;
        }
    }
    return nullptr;
}

std::mutex& toolFolderMutex() {
    static std::mutex m;
    return m;
}

std::filesystem::path& chosenToolFolder() {
    static std::filesystem::path folder;
    return folder;
}

}  // namespace

void SetCurrentTool(mini_tool_type tool) {
    current_tool_var = tool;
}

std::u16string Tool_Name(mini_tool_type tool) {
    if (const ToolEntry* e = findTool(tool)) {
        return std::u16string(e->name);
    }
    std::u16string name = u"Tool ";
    for (char c : std::to_string(tool)) {
        name += static_cast<char16_t>(c);
    }
    return name;
}

std::u16string GetShortToolFilename(mini_tool_type tool) {
    if (const ToolEntry* e = findTool(tool)) {
        return std::u16string(e->file);
    }
    return {};
}

std::filesystem::path toolFolder() {
    {
        const std::lock_guard guard(toolFolderMutex());
        if (!chosenToolFolder().empty()) {
            return chosenToolFolder();
        }
    }
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path{} : self.parent_path();
}

void setToolFolder(const std::filesystem::path& folder) {
    const std::lock_guard guard(toolFolderMutex());
    chosenToolFolder() = folder;
}

std::filesystem::path GetFullToolFilename(mini_tool_type tool) {
    const std::u16string file = GetShortToolFilename(tool);
    const std::filesystem::path folder = toolFolder();
    if (file.empty() || folder.empty()) {
        return {};
    }
    return folder / utf16ToUtf8(file);
}

int MyPMsgDlg(std::u16string_view text, std::u16string_view caption, std::uint32_t flags) {
    if (MyPMsgDlgProc) {
        return MyPMsgDlgProc(text, caption, flags);
    }
    const std::string line = utf16ToUtf8(caption) + ": " + utf16ToUtf8(text) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    return kIdOk;
}

void MyYieldProcess() {
    if (AYieldProcessProc) {
        AYieldProcessProc();
    }
}

}  // namespace runemeter
