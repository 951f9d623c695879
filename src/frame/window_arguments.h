// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The desktop program's command line: `runemeter [--help | --version] [--] [PATH...]`. It is
// read before any window exists, so that --help and --version need no display.

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

/// What the command line asks for.
struct WindowArguments {
    enum class Action {
        Open,    ///< show the window; analyse paths at once when there are any
        Print,   ///< print text on standard output and end with status 0 (--help, --version)
        Refuse,  ///< print text on standard error and end with status 2
    };
    Action action = Action::Open;
    std::vector<std::filesystem::path> paths;  ///< absolute, in the order given
    std::string text;                          ///< for Print and Refuse
};

/// Reads the arguments after the program name. A relative path is taken relative to
/// currentFolder. After "--" every argument is a path; before it, an argument that starts with
/// '-' is an option ("-" alone, standard input, is refused: the window reads files only).
[[nodiscard]] WindowArguments ParseWindowArguments(std::span<const std::string_view> args,
                                                   const std::filesystem::path& currentFolder);

/// The --help text.
[[nodiscard]] std::string WindowUsage();

}  // namespace runemeter
