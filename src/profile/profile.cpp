// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/profile.h"

#include <algorithm>
#include <string>
#include <vector>

#include "suite/unicode_text.h"

#include "suite/resource_strings.h"

namespace runemeter {

namespace {

std::u16string plainDecimal(std::int64_t value) {
    const std::string ascii = std::to_string(value);
    return std::u16string(ascii.begin(), ascii.end());
}

// Codes that always have a row: carriage return, the digits and the capitals A to Z.
bool alwaysShown(std::size_t code) {
    return code == 13 || (code >= u'0' && code <= u'9') || (code >= u'A' && code <= u'Z');
}

std::u16string fileInfoForOneFile(const AnalysisState& state) {
    // The last test that holds decides, so a big-endian file shows its own name.
    ResId id = ResId::VTAnsi;
    if (state.UnicodeFileCount > 0) {
        id = ResId::VTUnicode;
    }
    if (state.BigEndianFileCount > 0) {
        id = ResId::VTUnicodeBigEndian;
    }
    if (state.Utf8FileCount > 0) {
        id = ResId::VTUTF8;
    }
    return ResourceString(id);
}

std::u16string fileInfoForManyFiles(const AnalysisState& state) {
    std::u16string text;
    auto entry = [&text](ResId name, std::int64_t count) {
        if (!text.empty()) {
            text += u"; ";
        }
        text += ResourceString(name);
        text += u": ";
        text += plainDecimal(count);
    };
    const std::int64_t ansi = state.FilesRead - state.UnicodeFileCount - state.Utf8FileCount;
    if (ansi > 0) {
        entry(ResId::VTAnsi, ansi);
    }
    if (state.UnicodeFileCount > 0) {
        if (state.BigEndianFileCount > 0) {
            entry(ResId::VTUnicode, state.UnicodeFileCount - state.BigEndianFileCount);
            entry(ResId::VTUnicodeBigEndian, state.BigEndianFileCount);
        } else {
            entry(ResId::VTUnicode, state.UnicodeFileCount);
        }
    }
    if (state.Utf8FileCount > 0) {
        entry(ResId::VTUTF8, state.Utf8FileCount);
    }
    return text;
}

}  // namespace

std::u16string characterRowText(char16_t code) {
    std::u16string text = plainDecimal(code);
    text.push_back(u' ');
    if (text.size() < 4) {
        text.insert(0, 4 - text.size(), u' ');
    }
    switch (code) {
        case 9:
            text += u' ' + ResourceString(ResId::VTTab);
            break;
        case 10:
            text += u' ' + ResourceString(ResId::VTLineFeed);
            break;
        case 13:
            text += u' ' + ResourceString(ResId::VTCarriageReturn);
            break;
        case 32:
            text += u' ' + ResourceString(ResId::VTSpace);
            break;
        default:
            text.push_back(code);
            break;
    }
    return text;
}

std::u16string codePointRowText(char32_t code) {
    if (code <= 0xFFFF) {
        return characterRowText(static_cast<char16_t>(code));
    }
    std::u16string text = plainDecimal(code);
    text.push_back(u' ');
    text.push_back(static_cast<char16_t>(0xD7C0 + (code >> 10)));
    text.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
    return text;
}

namespace {

// The code points of text; a lone surrogate is one by its value.
std::u32string codePointsOf(std::u16string_view text) {
    std::u32string codes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isSurrogatePairAt(text, i)) {
            codes.push_back(0x10000 + ((char32_t(text[i]) - 0xD800) << 10) +
                            (text[i + 1] - 0xDC00));
            ++i;
        } else {
            codes.push_back(text[i]);
        }
    }
    return codes;
}

std::u16string clusterText(const std::u32string& codes, std::u16string_view cluster) {
    std::u16string text;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (i > 0) {
            text.push_back(u'+');
        }
        text += plainDecimal(codes[i]);
    }
    text.push_back(u' ');
    if (codes.size() <= kClusterShown) {
        text += cluster;
        return text;
    }
    std::size_t units = 0;
    for (std::size_t i = 0; i < kClusterShown; ++i) {
        units += codes[i] > 0xFFFF ? 2 : 1;
    }
    text += cluster.substr(0, units);
    text.push_back(u'\u2026');
    return text;
}

struct UnitRow {
    std::u32string codes;
    std::u16string text;
    std::int64_t count = 0;
};

// The rows of code points or clusters, in the order of their code points.
std::vector<UnitRow> unitRows(const UnitCounter& units) {
    std::vector<UnitRow> rows;
    if (const auto* points = dynamic_cast<const CodePointCounter*>(&units)) {
        for (const CodePointCount& c : points->counts()) {
            rows.push_back({std::u32string(1, c.codePoint), {}, c.count});
        }
    } else if (const auto* clusters = dynamic_cast<const GraphemeCounter*>(&units)) {
        for (const ClusterCount& c : clusters->counts()) {
            rows.push_back({codePointsOf(c.text), c.text, c.count});
        }
    }
    for (char32_t code = 0; code < 128; ++code) {
        if (alwaysShown(code)) {
            rows.push_back({std::u32string(1, code), {}, 0});
        }
    }
    std::sort(rows.begin(), rows.end(), [](const UnitRow& a, const UnitRow& b) {
        return a.codes != b.codes ? a.codes < b.codes : a.count > b.count;
    });
    // An always-shown code that was counted came twice: the counted one sorts first.
    rows.erase(std::unique(rows.begin(), rows.end(),
                           [](const UnitRow& a, const UnitRow& b) { return a.codes == b.codes; }),
               rows.end());
    return rows;
}

}  // namespace

std::u16string clusterRowText(std::u16string_view cluster) {
    const std::u32string codes = codePointsOf(cluster);
    return codes.size() == 1 ? codePointRowText(codes[0]) : clusterText(codes, cluster);
}

Profile BuildProfile(AnalysisState& state, std::u16string_view chosenPath) {
    Profile profile;
    if (state.FilesRead == 1) {
        profile.labelFileInfo = fileInfoForOneFile(state);
        profile.labelResults = std::u16string(chosenPath);
    } else {
        profile.labelFileInfo = fileInfoForManyFiles(state);
        // A double holds every realistic file count exactly.
        profile.labelResults = formatWithNumber(ResourceString(ResId::VTBasedOnNmanyFiles),
                                                static_cast<double>(state.FilesRead));
    }

    std::int64_t total = 0;
    if (state.Units && state.Units->unit() != CountingUnit::Utf16) {
        for (const UnitRow& row : unitRows(*state.Units)) {
            profile.rows.push_back({row.codes.size() == 1 ? codePointRowText(row.codes[0])
                                                          : clusterText(row.codes, row.text),
                                    row.count});
            if (row.codes.size() == 1 && row.codes[0] == 13) {
                profile.rows.push_back({ResourceString(ResId::VTEnter), state.CrLfCount});
            }
            if (row.codes[0] >= 32) {
                total += row.count;
            }
        }
        state.TotalCharacters = total;
        profile.totalCharacters = total;
        profile.rows.push_back({ResourceString(ResId::VTTotal), total});
        return profile;
    }
    const CharCountTable& counts = state.Units
                                       ? static_cast<const Utf16UnitCounter&>(*state.Units).counts()
                                       : *state.CharCounts;
    for (std::size_t code = 0; code < counts.size(); ++code) {
        if (counts[code] > 0 || alwaysShown(code)) {
            profile.rows.push_back({characterRowText(static_cast<char16_t>(code)), counts[code]});
        }
        if (code == 13) {
            profile.rows.push_back({ResourceString(ResId::VTEnter), state.CrLfCount});
        }
        if (code >= 32) {
            total += counts[code];
        }
    }
    state.TotalCharacters = total;
    profile.totalCharacters = total;
    profile.rows.push_back({ResourceString(ResId::VTTotal), total});
    return profile;
}

}  // namespace runemeter
