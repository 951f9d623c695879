// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_options.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "profile/char_properties.h"

namespace runemeter {

namespace {

CliParseResult failure(std::string reason) {
    CliParseResult result;
    result.exitNow = true;
    result.exitStatus = 2;
    result.output = "runemeter-cli: " + std::move(reason) +
                    "\nTry 'runemeter-cli --help' for more information.\n";
    return result;
}

}  // namespace

std::string cliUsage() {
    return "Usage: runemeter-cli [OPTION]... PATH...\n"
           "  or:  runemeter-cli [OPTION]... --files0-from=LIST\n"
           "  or:  runemeter-cli merge [OPTION]... COUNTS-FILE...\n"
           "  or:  runemeter-cli compare [OPTION]... A B\n"
           "Count how often each character occurs in the text files at each PATH (a file or a\n"
           "folder; the counts of all PATHs add up, their files read in the order given) and\n"
           "print the profile as tab-separated lines: code, character, frequency.\n"
           "merge adds up counts files written by --format counts and prints the profile of\n"
           "the whole, the same as one run over all their files.\n"
           "compare lists the characters only in A, only in B, and the largest differences\n"
           "of share; A and B are counts files or PATHs (read with the options given).\n"
           "A PATH '-' reads standard input as one file (also a COUNTS-FILE for merge).\n"
           "\n"
           "  --files0-from LIST  read the PATHs from the file LIST, separated by NUL\n"
           "                      characters (as 'find -print0' writes them); '-' reads the\n"
           "                      list from standard input\n"
           "  --mask MASKS        file mask(s) for a folder, separated by ';' (default *.txt)\n"
           "  --subfolders        search sub-folders too\n"
           "  --no-zips           do not read the members of .zip files\n"
           "  --header TEXT       cut each text up to and including the first character of TEXT\n"
           "  --sort code|text|freq\n"
           "                      row order: code (default), row text, or frequency (largest\n"
           "                      first)\n"
           "  --letters-only      print only the rows of single letters\n"
           "  --format tsv|table|csv|json|counts\n"
           "                      output form: tsv (default; as the window's copy), table\n"
           "                      (tab-separated with a header and each character's U+ code,\n"
           "                      name, category, script and block), csv, json, or counts\n"
           "                      (every count and counter, for merge; see counts-format.md)\n"
           "  --group-by script|block|category|type\n"
           "                      one line per group of characters (name, distinct\n"
           "                      characters, frequency, share), largest frequency first\n"
           "  --unsigned ansi|utf8|auto\n"
           "                      how to read a file without a signature: as ANSI\n"
           "                      (Windows-1252, default), as UTF-8, or auto (UTF-8 when its\n"
           "                      bytes are valid UTF-8 with a multi-byte sequence)\n"
           "  --unit utf16|codepoint|grapheme\n"
           "                      what one counted character is: a UTF-16 code unit\n"
           "                      (default), a code point, or a grapheme cluster\n"
           "  --normalize none|nfc|nfd|nfkc|nfkd\n"
           "                      Unicode normalisation before counting (default none)\n"
           "  --top N             compare: list the N largest share differences (default 20)\n"
           "  --charset FILE      instead of the profile, list the characters of FILE (a text\n"
           "                      file of characters, line breaks ignored, or a counts file)\n"
           "                      that the corpus lacks, and those it has beyond them\n"
           "  --list-files        print the files a run would read, each followed by a NUL,\n"
           "                      and exit (a PATH with none is printed as given)\n"
           "  --help              show this help and exit\n"
           "  --version           show the version and the Unicode version in use and exit\n"
           "\n"
           "The summary lines and a message for each file that could not be read go to\n"
           "standard error. Exit status:\n"
           "  0    every file found was read\n"
           "  1    the run completed, but a PATH does not exist, a file, member or archive\n"
           "       could not be read, or a PATH had no file matching the mask (the profile\n"
           "       is still printed; the json and counts forms list these problems)\n"
           "  2    bad arguments, or a counts file that merge, compare or --charset cannot\n"
           "       use\n"
           "  130  interrupted (the profile of the files read so far is still printed)\n";
}

CliParseResult parseCliOptions(std::span<const std::string_view> args) {
    CliParseResult result;
    bool sortGiven = false;
    bool optionsEnded = false;
    std::optional<std::string> runOption;  // the first option that only a run over files takes
    std::size_t first = 0;
    if (!args.empty() && args[0] == "merge") {
        result.options.merge = true;
        first = 1;
    } else if (!args.empty() && args[0] == "compare") {
        result.options.compare = true;
        first = 1;
    }
    bool topGiven = false;
    for (std::size_t i = first; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (arg == "-" &&
                std::count(result.options.paths.begin(), result.options.paths.end(), "-") > 0) {
                return failure("standard input ('-') is given twice");
            }
            result.options.paths.emplace_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string_view name = arg;
        std::optional<std::string_view> inlineValue;
        if (const auto eq = arg.find('='); eq != std::string_view::npos && arg.starts_with("--")) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        const auto takeValue = [&](std::string_view option) -> std::optional<std::string> {
            if (inlineValue) {
                return std::string(*inlineValue);
            }
            if (i + 1 >= args.size()) {
                return std::nullopt;
            }
            (void)option;
            return std::string(args[++i]);
        };
        const auto noValue = [&]() { return !inlineValue.has_value(); };

        if (name == "--help" || name == "-h") {
            result.exitNow = true;
            result.output = cliUsage();
            return result;
        }
        if (name == "--version") {
            result.exitNow = true;
            result.output = std::string("runemeter-cli ") + RUNEMETER_VERSION + "\n" +
                            unicodeVersionText() + "\n";
            return result;
        }
        if (name == "--subfolders" || name == "--no-zips" || name == "--mask" ||
            name == "--header") {
            runOption = runOption.value_or(std::string(name));
        }
        if (name == "--subfolders" && noValue()) {
            result.options.subfolders = true;
        } else if (name == "--no-zips" && noValue()) {
            result.options.readZips = false;
        } else if (name == "--list-files" && noValue()) {
            result.options.listFiles = true;
        } else if (name == "--letters-only" && noValue()) {
            result.options.lettersOnly = true;
        } else if (name == "--mask" || name == "--header" || name == "--sort" ||
                   name == "--format" || name == "--group-by" || name == "--files0-from" ||
                   name == "--unsigned" || name == "--unit" || name == "--normalize" ||
                   name == "--top" || name == "--charset") {
            const auto value = takeValue(name);
            if (!value) {
                return failure("option '" + std::string(name) + "' needs a value");
            }
            if (name == "--mask") {
                if (value->find_first_not_of("; ") == std::string::npos) {
                    return failure("the file mask is empty");
                }
                result.options.mask = *value;
            } else if (name == "--header") {
                result.options.header = *value;
            } else if (name == "--files0-from") {
                if (result.options.files0From) {
                    return failure("--files0-from is given twice");
                }
                if (value->empty()) {
                    return failure("--files0-from needs a file name ('-' for standard input)");
                }
                result.options.files0From = *value;
            } else if (name == "--top") {
                topGiven = true;
                const char* digits = value->c_str();
                char* end = nullptr;
                errno = 0;
                const unsigned long long top = std::strtoull(digits, &end, 10);
                if (value->empty() || (*value)[0] < '0' || (*value)[0] > '9' || *end != '\0' ||
                    errno == ERANGE) {
                    return failure("--top needs a whole number, not '" + *value + "'");
                }
                result.options.top = static_cast<std::size_t>(top);
            } else if (name == "--charset") {
                if (value->empty()) {
                    return failure("--charset needs a file name");
                }
                result.options.charset = *value;
            } else if (name == "--sort") {
                sortGiven = true;
                if (*value == "code") {
                    result.options.sort = CliSort::Code;
                } else if (*value == "text") {
                    result.options.sort = CliSort::Text;
                } else if (*value == "freq") {
                    result.options.sort = CliSort::Frequency;
                } else {
                    return failure("unknown sort order '" + *value +
                                   "' (choose code, text or freq)");
                }
            } else if (name == "--unsigned") {
                const auto mode = unsignedModeNamed(*value);
                if (!mode) {
                    return failure("unknown reading '" + *value +
                                   "' for --unsigned (choose ansi, utf8 or auto)");
                }
                result.options.text.unsignedText = *mode;
            } else if (name == "--unit") {
                const auto unit = countingUnitNamed(*value);
                if (!unit) {
                    return failure("unknown unit '" + *value +
                                   "' (choose utf16, codepoint or grapheme)");
                }
                result.options.text.unit = *unit;
            } else if (name == "--normalize") {
                const auto form = normalisationNamed(*value);
                if (!form) {
                    return failure("unknown normalisation '" + *value +
                                   "' (choose none, nfc, nfd, nfkc or nfkd)");
                }
                result.options.text.normalisation = *form;
            } else if (name == "--group-by") {
                result.options.groupBy = groupKeyNamed(*value);
                if (!result.options.groupBy) {
                    return failure("unknown group '" + *value +
                                   "' (choose script, block, category or type)");
                }
            } else {
                if (*value == "tsv") {
                    result.options.format = CliFormat::Tsv;
                } else if (*value == "table") {
                    result.options.format = CliFormat::Table;
                } else if (*value == "csv") {
                    result.options.format = CliFormat::Csv;
                } else if (*value == "json") {
                    result.options.format = CliFormat::Json;
                } else if (*value == "counts") {
                    result.options.format = CliFormat::Counts;
                } else {
                    return failure("unknown format '" + *value +
                                   "' (choose tsv, table, csv, json or counts)");
                }
            }
        } else {
            return failure("unknown option '" + std::string(arg) + "'");
        }
    }
    if (sortGiven && result.options.groupBy) {
        return failure("--sort cannot be used with --group-by (groups are listed by frequency)");
    }
    const CliOptions& options = result.options;
    if (options.format == CliFormat::Counts &&
        (sortGiven || options.lettersOnly || options.groupBy)) {
        return failure(
            "--format counts holds every count: --sort, --letters-only and "
            "--group-by do not apply to it");
    }
    if (options.merge && runOption) {
        return failure(*runOption +
                       " does not apply to merge (the counts files were read "
                       "with their own options)");
    }
    if (options.compare) {
        if (options.paths.size() != 2 || options.files0From) {
            return failure("compare takes two operands, A and B (counts files or paths)");
        }
        if (sortGiven || options.lettersOnly || options.groupBy || options.charset ||
            options.format == CliFormat::Counts) {
            return failure(
                "compare prints its own lists: --sort, --letters-only, --group-by, --charset "
                "and --format counts do not apply to it");
        }
    } else if (topGiven) {
        return failure("--top applies to compare only");
    }
    if (options.charset && (sortGiven || options.lettersOnly || options.groupBy ||
                            options.format == CliFormat::Counts)) {
        return failure(
            "--charset prints the coverage lists: --sort, --letters-only, --group-by and "
            "--format counts do not apply to it");
    }
    if (options.files0From && !options.paths.empty()) {
        return failure("give either operands or --files0-from, not both ('" +
                       options.paths.front() + "')");
    }
    if (options.paths.empty() && !options.files0From) {
        return failure(options.merge ? "no COUNTS-FILE given" : "no PATH given");
    }
    return result;
}

}  // namespace runemeter
