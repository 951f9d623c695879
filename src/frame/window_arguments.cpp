// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/window_arguments.h"

#include "profile/char_properties.h"

namespace runemeter {

std::string WindowUsage() {
    return "Usage: runemeter [OPTION]... [--] [PATH]...\n"
           "Open the window that counts the characters of plain-text files; with a PATH (a file\n"
           "or a folder), put it in the path box and analyse it at once, with the settings\n"
           "of the last session (file mask, sub-folders, .zip files, header to cut).\n"
           "\n"
           "The window analyses one file or folder at a time: of several PATHs the first is\n"
           "analysed and the status bar says how many were left out (runemeter-cli counts\n"
           "several together). A relative PATH is taken relative to the current folder; one\n"
           "that starts with '-' follows \"--\".\n"
           "\n"
           "  -h, --help     show this help and exit\n"
           "      --version  show the version and exit\n"
           "\n"
           "Exit status: 0 when the window was closed, 2 for a wrong option.\n";
}

WindowArguments ParseWindowArguments(std::span<const std::string_view> args,
                                     const std::filesystem::path& currentFolder) {
    WindowArguments result;
    const auto refuse = [&result](const std::string& why) {
        result.action = WindowArguments::Action::Refuse;
        result.text = "runemeter: " + why + "\nTry 'runemeter --help' for more information.\n";
        result.paths.clear();
        return result;
    };
    bool optionsEnded = false;
    for (const std::string_view arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && arg == "-") {
            return refuse(
                "the window cannot read standard input ('-'); give a file or a folder "
                "(a file named '-' as ./-), or use runemeter-cli");
        }
        if (!optionsEnded && arg.starts_with('-')) {
            if (arg == "--help" || arg == "-h") {
                result.action = WindowArguments::Action::Print;
                result.text = WindowUsage();
                result.paths.clear();
                return result;
            }
            if (arg == "--version") {
                result.action = WindowArguments::Action::Print;
                result.text = std::string("runemeter ") + RUNEMETER_VERSION + "\n" +
                              unicodeVersionText() + "\n";
                result.paths.clear();
                return result;
            }
            return refuse("unknown option '" + std::string(arg) +
                          "' (a path that starts with '-' follows \"--\")");
        }
        if (arg.empty()) {
            return refuse("an empty path was given");
        }
        const std::filesystem::path path{std::string(arg)};  // the bytes as given
        result.paths.push_back(
            (path.is_absolute() ? path : currentFolder / path).lexically_normal());
    }
    return result;
}

}  // namespace runemeter
