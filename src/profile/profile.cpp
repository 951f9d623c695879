#include "profile/profile.h"

#include <string>

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

    const CharCountTable& counts = *state.CharCounts;
    std::int64_t total = 0;
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
