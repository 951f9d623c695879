// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Command-line options of runemeter-cli.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "profile/text_choices.h"
#include "results/groups.h"

namespace runemeter {

/// Row order of the output.
enum class CliSort { Code, Text, Frequency };

/// Output form.
enum class CliFormat { Tsv, Table, Csv, Json, Counts };

/// What the user asked for; the defaults are the window's.
struct CliOptions {
    /// merge: the operands are counts files to add up instead of paths to read.
    bool merge = false;
    /// compare: the two operands (counts files or paths) are compared with each other.
    bool compare = false;
    /// --top: how many of the largest share differences compare lists.
    std::size_t top = 20;
    /// --charset: a file of characters (or a counts file) whose coverage is reported instead
    /// of the profile.
    std::optional<std::string> charset;
    /// The operands in the order given: files, folders (or counts files for merge).
    std::vector<std::string> paths;
    /// --files0-from: a file of NUL-separated operands, read after the ones above; "-" is
    /// standard input.
    std::optional<std::string> files0From;
    std::string mask = "*.txt";
    bool subfolders = false;
    bool readZips = true;
    std::string header;
    CliSort sort = CliSort::Code;
    bool lettersOnly = false;
    CliFormat format = CliFormat::Tsv;
    std::optional<GroupKey> groupBy;  ///< one row per group instead of per character
    TextChoices text;                 ///< --unsigned, --unit, --normalize
    /// --list-files: print the files a run would read (NUL after each) instead of reading them.
    bool listFiles = false;
};

/// Parsed options, or a text to print and an exit status (help, version, bad arguments).
struct CliParseResult {
    CliOptions options;
    bool exitNow = false;
    int exitStatus = 0;
    std::string output;  ///< help or version text (stdout), or a one-line reason (stderr)
};

/// Parses the arguments after the program name.
[[nodiscard]] CliParseResult parseCliOptions(std::span<const std::string_view> args);

/// The --help text.
[[nodiscard]] std::string cliUsage();

}  // namespace runemeter
