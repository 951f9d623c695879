#include "cli/cli_options.h"

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
    return "Usage: runemeter-cli [OPTION]... PATH\n"
           "Count how often each character occurs in the text files at PATH (a file or a\n"
           "folder) and print the profile as tab-separated lines: code, character, frequency.\n"
           "\n"
           "  --mask MASKS        file mask(s) for a folder, separated by ';' (default *.txt)\n"
           "  --subfolders        search sub-folders too\n"
           "  --no-zips           do not read the members of .zip files\n"
           "  --header TEXT       cut each text up to and including the first character of TEXT\n"
           "  --sort code|text|freq\n"
           "                      row order: code (default), row text, or frequency (largest\n"
           "                      first)\n"
           "  --letters-only      print only the rows of single letters\n"
           "  --format tsv|table|csv|json\n"
           "                      output form: tsv (default; as the window's copy), table\n"
           "                      (tab-separated with a header and each character's U+ code,\n"
           "                      name, category, script and block), csv, or json\n"
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
           "  --help              show this help and exit\n"
           "  --version           show the version and the Unicode version in use and exit\n"
           "\n"
           "The summary lines go to standard error. Exit status: 0 when the run completed,\n"
           "2 for bad arguments or a PATH that is neither a file nor a folder, 130 when\n"
           "interrupted (the profile of the files read so far is still printed).\n";
}

CliParseResult parseCliOptions(std::span<const std::string_view> args) {
    CliParseResult result;
    std::optional<std::string> path;
    bool sortGiven = false;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            if (path) {
                return failure("more than one PATH given ('" + *path + "' and '" +
                               std::string(arg) + "')");
            }
            path = std::string(arg);
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
        if (name == "--subfolders" && noValue()) {
            result.options.subfolders = true;
        } else if (name == "--no-zips" && noValue()) {
            result.options.readZips = false;
        } else if (name == "--letters-only" && noValue()) {
            result.options.lettersOnly = true;
        } else if (name == "--mask" || name == "--header" || name == "--sort" ||
                   name == "--format" || name == "--group-by" || name == "--unsigned" ||
                   name == "--unit" || name == "--normalize") {
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
                } else {
                    return failure("unknown format '" + *value +
                                   "' (choose tsv, table, csv or json)");
                }
            }
        } else {
            return failure("unknown option '" + std::string(arg) + "'");
        }
    }
    if (sortGiven && result.options.groupBy) {
        return failure("--sort cannot be used with --group-by (groups are listed by frequency)");
    }
    if (!path) {
        return failure("no PATH given");
    }
    result.options.path = *path;
    return result;
}

}  // namespace runemeter
