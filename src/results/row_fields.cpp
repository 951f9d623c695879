// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/row_fields.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <limits>
#include <string>
#include <utility>

#include "suite/resource_strings.h"

namespace runemeter {

namespace {

bool isAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Leading and trailing units of code 32 or less removed.
std::u16string_view trimControls(std::u16string_view text) {
    while (!text.empty() && text.front() <= 32) {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() <= 32) {
        text.remove_suffix(1);
    }
    return text;
}

std::u16string plainDecimal(std::int64_t value) {
    const std::string ascii = std::to_string(value);
    return std::u16string(ascii.begin(), ascii.end());
}

}  // namespace

RowFields deriveRowFields(std::u16string_view rowText) {
    RowFields fields;
    std::u16string_view stripped = rowText;
    while (!stripped.empty() && stripped.front() == u' ') {
        stripped.remove_prefix(1);
    }
    const std::size_t blank = stripped.find(u' ');
    if (blank == std::u16string_view::npos) {
        fields.codeField = std::u16string(stripped);
        fields.characterField = std::u16string(stripped);
    } else {
        fields.codeField = std::u16string(stripped.substr(0, blank));
        fields.characterField = std::u16string(trimControls(stripped.substr(blank + 1)));
    }

    // Value of the leading digits; a run too long for the type is no number we drew.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    std::int64_t value = 0;
    bool overflow = false;
    std::size_t digits = 0;
    for (const char16_t c : fields.codeField) {
        if (!isAsciiDigit(c)) {
            break;
        }
        const int d = c - u'0';
        if (value > (kMax - d) / 10) {
            overflow = true;
            value = kMax;
        } else if (!overflow) {
            value = value * 10 + d;
        }
        ++digits;
    }
    fields.codeValue = value;
    fields.numeric = digits > 0 && digits == fields.codeField.size() && !overflow;
    if (digits > 0 && !overflow && digits < fields.codeField.size() &&
        fields.codeField[digits] == u'+') {
        // A cluster's codes: decimal numbers joined by "+".
        fields.cluster = std::all_of(fields.codeField.begin(), fields.codeField.end(),
                                     [](char16_t c) { return isAsciiDigit(c) || c == u'+'; });
        fields.numeric = fields.cluster;
    }
    fields.controlRow = fields.numeric && fields.codeValue < 32;
    return fields;
}

RowColour rowColour(const RowFields& fields, std::int64_t frequency, bool selected) {
    if (selected) {
        return RowColour::Window;
    }
    if (frequency == 0) {
        return RowColour::GrayText;
    }
    if (fields.codeField == ResourceString(ResId::VTEnter) ||
        fields.codeField == ResourceString(ResId::VTTotal)) {
        return RowColour::Red;
    }
    if (fields.codeValue >= 0 && fields.codeValue <= 31) {
        return RowColour::Red;
    }
    if (fields.codeValue >= 128 && fields.codeValue <= 256) {
        return RowColour::Blue;
    }
    return RowColour::WindowText;
}

std::string_view characterTypeName(CharacterType type) {
    switch (type) {
        case CharacterType::Letter:
            return "letter";
        case CharacterType::Digit:
            return "digit";
        case CharacterType::Punctuation:
            return "punctuation";
        case CharacterType::None:
            break;
    }
    return {};
}

CharacterType classifyCodeUnit(char16_t unit) {
    return classifyCodePoint(unit);
}

CharacterType classifyCodePoint(char32_t code) {
    switch (u_charType(static_cast<UChar32>(code))) {
        case U_UPPERCASE_LETTER:
        case U_LOWERCASE_LETTER:
        case U_TITLECASE_LETTER:
        case U_MODIFIER_LETTER:
        case U_OTHER_LETTER:
            return CharacterType::Letter;
        case U_DECIMAL_DIGIT_NUMBER:
            return CharacterType::Digit;
        case U_CONNECTOR_PUNCTUATION:
        case U_DASH_PUNCTUATION:
        case U_START_PUNCTUATION:
        case U_END_PUNCTUATION:
        case U_INITIAL_PUNCTUATION:
        case U_FINAL_PUNCTUATION:
        case U_OTHER_PUNCTUATION:
            return CharacterType::Punctuation;
        default:
            return CharacterType::None;
    }
}

namespace {

// The first code point of text and its length in units (0 for no text).
std::pair<char32_t, std::size_t> firstCodePoint(std::u16string_view text) {
    if (text.empty()) {
        return {0, 0};
    }
    if (text.size() >= 2 && text[0] >= 0xD800 && text[0] <= 0xDBFF && text[1] >= 0xDC00 &&
        text[1] <= 0xDFFF) {
        return {0x10000 + ((char32_t(text[0]) - 0xD800) << 10) + (text[1] - 0xDC00), 2};
    }
    return {text[0], 1};
}

}  // namespace

CharacterType characterType(std::u16string_view characterField) {
    const auto [code, length] = firstCodePoint(characterField);
    return length > 0 && length == characterField.size() ? classifyCodePoint(code)
                                                         : CharacterType::None;
}

CharacterType characterType(const RowFields& fields) {
    return fields.cluster ? classifyCodePoint(firstCodePoint(fields.characterField).first)
                          : characterType(fields.characterField);
}

std::optional<long double> shownShare(const RowFields& fields, std::int64_t frequency,
                                      std::int64_t totalCharacters) {
    if (totalCharacters <= 0 || !fields.numeric || fields.controlRow) {
        return std::nullopt;
    }
    const long double share =
        static_cast<long double>(frequency) * 100.0L / static_cast<long double>(totalCharacters);
    if (share < 0.01L) {
        return std::nullopt;
    }
    return share;
}

RowColumnTexts rowColumnTexts(std::u16string_view rowText, std::int64_t frequency,
                              std::int64_t totalCharacters, bool selected,
                              const FormatSettings& settings) {
    const RowFields fields = deriveRowFields(rowText);
    RowColumnTexts texts;
    texts.colour = rowColour(fields, frequency, selected);
    if (fields.numeric) {
        texts.code = plainDecimal(fields.codeValue);
    }
    texts.character = fields.characterField;
    // The line-break and total labels are shown whole, also when they hold a blank.
    std::u16string_view label = rowText;
    while (!label.empty() && label.front() == u' ') {
        label.remove_prefix(1);
    }
    const bool labelRow =
        label == ResourceString(ResId::VTEnter) || label == ResourceString(ResId::VTTotal);
    if (labelRow) {
        texts.character = std::u16string(label);
    }
    switch (labelRow ? CharacterType::None : characterType(fields)) {
        case CharacterType::Letter:
            texts.type = ResourceString(ResId::VTLetter);
            break;
        case CharacterType::Digit:
            texts.type = ResourceString(ResId::VTDigit);
            break;
        case CharacterType::Punctuation:
            texts.type = ResourceString(ResId::VTPunctuation);
            break;
        case CharacterType::None:
            break;
    }
    if (const auto share = shownShare(fields, frequency, totalCharacters)) {
        texts.share = RealToDecStr(*share, settings) + u"%";
    }
    if (frequency > 0) {
        texts.frequency = IntToDecStr(frequency, settings);
    }
    return texts;
}

RowTextPositions rowTextPositions(const int sectionLeft[5], const int sectionWidth[5],
                                  const int textWidth[5], bool rightToLeft) {
    const auto endingAt = [&](int section, int inset) {
        return sectionLeft[section] + sectionWidth[section] - inset - textWidth[section];
    };
    const auto leading = [&](int section) {
        return rightToLeft ? endingAt(section, 2) : sectionLeft[section] + 2;
    };
    return {endingAt(0, 20), leading(1), leading(2), endingAt(3, 2), endingAt(4, 2)};
}

}  // namespace runemeter
