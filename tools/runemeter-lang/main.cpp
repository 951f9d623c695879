// SPDX-License-Identifier: GPL-3.0-or-later
// runemeter-lang: language files as text and back, and the compressed container.

#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "localisation/byte_stream.h"
#include "localisation/lang_file.h"
#include "localisation/lang_file_format.h"
#include "localisation/lang_text.h"
#include "localisation/loc_utils.h"
#include "localisation/lzcompress.h"
#include "suite/locale_table.h"

namespace {

using namespace runemeter;

constexpr const char* kUsage =
    "Usage:\n"
    "  runemeter-lang dump FILE [-o TEXT]       language file as text (to stdout by default)\n"
    "  runemeter-lang build TEXT -o FILE [--compress]\n"
    "                                           language file from its text form\n"
    "  runemeter-lang compress IN OUT           wrap a file in the compressed container\n"
    "  runemeter-lang decompress IN OUT         unwrap a compressed file\n"
    "  runemeter-lang info FILE                 header and contents in brief\n"
    "  runemeter-lang --version                 the program's version\n";

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Whole input files, within the size a language file can plausibly have.
std::vector<std::byte> readInput(const std::string& path) {
    std::vector<std::byte> bytes = readFileHead(path, kMaxLangFileSize + 1);
    if (bytes.size() > kMaxLangFileSize) {
        throw EFOpenError("Cannot read \"" + path + "\": more than " +
                          std::to_string(kMaxLangFileSize >> 20) + " MiB");
    }
    return bytes;
}

std::string readText(const std::string& path) {
    const std::vector<std::byte> bytes = readInput(path);
    return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

void writeText(const std::string& path, const std::string& text) {
    writeFileBytes(path, std::span(reinterpret_cast<const std::byte*>(text.data()), text.size()));
}

std::string utf8(std::u16string_view text) {
    // The quoted form without its quotes: readable and safe on a terminal.
    const std::string quoted = quoteText(text);
    return quoted.substr(1, quoted.size() - 2);
}

std::string localeDescription(std::uint32_t locale) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%04X", static_cast<unsigned>(locale));
    std::string out = buffer;
    try {
        out += " " + utf8(LanguageName(locale)) + ", abbreviation " +
               utf8(LanguageAbbreviation(locale));
    } catch (const ELocalesError&) {
        out += " (unknown language)";
    }
    return out;
}

int dump(const std::vector<std::string>& args) {
    std::string input;
    std::string output;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (input.empty()) {
            input = args[i];
        } else {
            throw UsageError("dump takes one file");
        }
    }
    if (input.empty()) {
        throw UsageError("dump needs a file");
    }
    bool compressed = false;
    const LangFileImage image = readLangFileImage(readInput(input), &compressed);
    const std::string text = langImageToText(image, compressed);
    if (output.empty()) {
        std::cout << text;
    } else {
        writeText(output, text);
    }
    return 0;
}

// What the text gives that the chosen format version has no place for.
std::vector<std::string> unwritableFields(const LangFileImage& image) {
    const LangFileHeader& h = image.header;
    const std::uint16_t fv = h.formatVersion;
    const std::string prefix = "format version " + std::to_string(fv) + " has no ";
    std::vector<std::string> warnings;
    if (fv <= 4 && h.build != 0) {
        warnings.push_back(prefix + "build number; build " + std::to_string(h.build) +
                           " is not written");
    }
    if (fv <= 2 && h.basedOnLangId != 0) {
        warnings.push_back(prefix + "based-on language; it is not written");
    }
    if (fv <= 6 && h.extItemMaxId != 0) {
        warnings.push_back(prefix + "ext-item-max-id; it is not written");
    }
    if (fv <= 6 && !image.groups.empty()) {
        warnings.push_back(prefix + "external groups; " + std::to_string(image.groups.size()) +
                           " group(s) are not written");
    }
    std::size_t attributes = h.attributes != 0 ? 1 : 0;
    std::size_t numbers = 0;
    const auto record = [&](const LangRecord& r, bool property) {
        attributes += r.attributes != 0 ? 1 : 0;
        numbers += property && isNumericType(r.type()) && r.hasValue ? 1 : 0;
    };
    for (const auto& unit : image.units) {
        attributes += unit.attributes != 0 ? 1 : 0;
        for (const auto& r : unit.constants) {
            record(r, false);
        }
    }
    for (const auto& form : image.forms) {
        attributes += form.attributes != 0 ? 1 : 0;
        for (const auto& r : form.properties) {
            record(r, true);
        }
        for (const auto& component : form.components) {
            attributes += component.attributes != 0 ? 1 : 0;
            for (const auto& r : component.properties) {
                record(r, true);
            }
        }
    }
    if (fv <= 1 && attributes != 0) {
        warnings.push_back(prefix + "attribute words; " + std::to_string(attributes) +
                           " non-zero attribute word(s) are not written");
    }
    if (fv <= 3 && numbers != 0) {
        warnings.push_back(prefix + "float or integer values; " + std::to_string(numbers) +
                           " value(s) are not written");
    }
    return warnings;
}

int build(const std::vector<std::string>& args) {
    std::string input;
    std::string output;
    bool forceCompress = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (args[i] == "--compress") {
            forceCompress = true;
        } else if (input.empty()) {
            input = args[i];
        } else {
            throw UsageError("build takes one text file");
        }
    }
    if (input.empty() || output.empty()) {
        throw UsageError("build needs a text file and -o FILE");
    }
    bool compressed = false;
    const LangFileImage image = langImageFromText(readText(input), &compressed);
    for (const std::string& warning : unwritableFields(image)) {
        std::cerr << "runemeter-lang: warning: " << warning << "\n";
    }
    const std::vector<std::byte> bytes = writeLangFileImage(image, compressed || forceCompress);
    writeFileBytes(output, bytes);
    return 0;
}

int compressOrDecompress(const std::vector<std::string>& args, bool compress) {
    if (args.size() != 2) {
        throw UsageError(std::string(compress ? "compress" : "decompress") + " needs IN and OUT");
    }
    ByteStream source(readInput(args[0]));
    ByteStream dest;
    TLZCompressor compressor;
    compressor.SetSource(&source);
    compressor.SetDest(&dest);
    if (compress) {
        if (TLZCompressor::IsCompressed(source)) {
            std::cerr << "runemeter-lang: warning: " << args[0] << " is compressed already\n";
        }
        compressor.Compress();
    } else {
        compressor.Decompress();
    }
    writeFileBytes(args[1], dest.bytes());
    return 0;
}

int info(const std::vector<std::string>& args) {
    if (args.size() != 1) {
        throw UsageError("info takes one file");
    }
    const std::vector<std::byte> bytes = readInput(args[0]);
    bool compressed = false;
    const LangFileImage image = readLangFileImage(bytes, &compressed);
    const LangFileHeader& h = image.header;
    std::size_t constants = 0;
    std::size_t components = 0;
    std::size_t properties = 0;
    std::size_t items = 0;
    for (const auto& unit : image.units) {
        constants += unit.constants.size();
    }
    for (const auto& form : image.forms) {
        properties += form.properties.size();
        components += form.components.size();
        for (const auto& component : form.components) {
            properties += component.properties.size();
        }
    }
    for (const auto& group : image.groups) {
        items += group.items.size();
    }
    std::cout << "file:            " << args[0] << " (" << bytes.size() << " bytes, "
              << (compressed ? "compressed" : "plain") << ")\n"
              << "format version:  " << h.formatVersion << "\n"
              << "version:         " << h.version << " build " << h.build << "\n"
              << "language:        " << localeDescription(h.locale) << "\n"
              << "based on:        " << localeDescription(h.basedOnLangId) << "\n"
              << "english name:    " << utf8(h.englishName) << "\n"
              << "localized name:  " << utf8(h.localizedName) << "\n"
              << "native:          " << (h.isNative != 0 ? "yes" : "no") << "\n"
              << "attributes:      " << h.attributes << "\n"
              << "units:           " << image.units.size() << " with " << constants
              << " constants (max ID " << h.constMaxId << ")\n"
              << "forms:           " << image.forms.size() << " with " << components
              << " components and " << properties << " properties (max ID " << h.propertyMaxId
              << ")\n"
              << "external groups: " << image.groups.size() << " with " << items
              << " items (max ID " << h.extItemMaxId << ")\n";
    if (h.version != kExeResourceVersion) {
        // The program refuses a translation of another version; better to know before shipping.
        std::cout << "warning:         version " << h.version << " is not " << kExeResourceVersion
                  << ", the version Runemeter needs: Runemeter refuses "
                  << "this file and its messages stay in English (set 'version "
                  << kExeResourceVersion << "')\n";
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty() || all[0] == "-h" || all[0] == "--help") {
        std::cout << kUsage;
        return all.empty() ? 2 : 0;
    }
    if (all[0] == "--version") {
        std::cout << "runemeter-lang " << RUNEMETER_VERSION << "\n";
        return 0;
    }
    const std::string command = all[0];
    const std::vector<std::string> args(all.begin() + 1, all.end());
    try {
        if (command == "dump") {
            return dump(args);
        }
        if (command == "build") {
            return build(args);
        }
        if (command == "compress") {
            return compressOrDecompress(args, true);
        }
        if (command == "decompress") {
            return compressOrDecompress(args, false);
        }
        if (command == "info") {
            return info(args);
        }
        throw UsageError("unknown command \"" + command + "\"");
    } catch (const UsageError& e) {
        std::cerr << "runemeter-lang: " << e.what() << "\n" << kUsage;
        return 2;
    } catch (const NamedError& e) {
        std::cerr << "runemeter-lang: " << e.className() << ": " << e.what() << "\n";
        return 1;
    } catch (const std::exception& e) {
        std::cerr << "runemeter-lang: " << e.what() << "\n";
        return 1;
    }
}
