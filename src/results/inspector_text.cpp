// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/inspector_text.h"

#include <array>

#include "profile/char_properties.h"
#include "results/row_fields.h"
#include "suite/resource_strings.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

bool isControl(char32_t codePoint) {
    return categoryCode(codePoint) == "Cc";
}

std::u16string widen(std::string_view ascii) {
    return {ascii.begin(), ascii.end()};
}

void appendHex(std::u16string& text, std::uint32_t value, int digits) {
    static constexpr std::u16string_view kDigits = u"0123456789ABCDEF";
    if (!text.empty()) {
        text.push_back(u' ');
    }
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
        text.push_back(kDigits[(value >> shift) & 0xF]);
    }
}

std::u16string asText(const std::vector<char32_t>& codePoints) {
    std::u16string text;
    for (const char32_t c : codePoints) {
        appendUtf16CodePoint(text, c);
    }
    return text;
}

// The bytes of the code points in UTF-8, "E4 B8 AD"; empty when one is a lone surrogate.
std::u16string utf8Hex(const std::vector<char32_t>& codePoints) {
    std::string bytes;
    for (const char32_t c : codePoints) {
        if (isSurrogate(c)) {
            return {};
        }
        appendUtf8CodePoint(bytes, c);
    }
    std::u16string text;
    for (const char byte : bytes) {
        appendHex(text, static_cast<unsigned char>(byte), 2);
    }
    return text;
}

// The code units of the code points in UTF-16, "D83D DE00"; a lone surrogate is its own unit.
std::u16string utf16Hex(const std::vector<char32_t>& codePoints) {
    std::u16string text;
    for (const char16_t unit : asText(codePoints)) {
        appendHex(text, unit, 4);
    }
    return text;
}

// The row's code points, also those of rows that show no character (control codes).
std::vector<char32_t> codePointsOfRow(const RowFields& fields) {
    return fields.numeric ? codePointsOfCodeField(fields.codeField) : std::vector<char32_t>{};
}

}  // namespace

std::vector<char32_t> drawnCodePoints(std::u16string_view rowText) {
    std::vector<char32_t> codePoints = codePointsOfRow(deriveRowFields(rowText));
    for (const char32_t c : codePoints) {
        if (isSurrogate(c) || isControl(c)) {
            return {};
        }
    }
    return codePoints;
}

InspectorText inspectorText(std::u16string_view rowText, std::int64_t frequency,
                            std::int64_t totalCharacters, const FormatSettings& settings,
                            const GlyphFacts& glyphs) {
    const RowFields fields = deriveRowFields(rowText);
    const RowColumnTexts shown =
        rowColumnTexts(rowText, frequency, totalCharacters, false, settings);
    const std::vector<char32_t> codePoints = codePointsOfRow(fields);
    InspectorText text;
    const auto line = [&text](ResId label, std::u16string value) {
        text.lines.push_back({ResourceString(label), std::move(value)});
    };
    if (codePoints.empty()) {
        text.heading = shown.character;  // the line-break and total rows: their names
    } else {
        const CharProperties properties = sequenceProperties(codePoints);
        const bool single = codePoints.size() == 1;
        const std::vector<char32_t> drawn = drawnCodePoints(rowText);
        text.drawn = asText(drawn);
        // Control codes and lone surrogates are named; 9, 10, 13 and 32 show their names.
        text.heading = drawn.empty() ? widen(properties.name) : shown.character;
        line(single ? ResId::VTInspectorCodePoint : ResId::VTInspectorCodePoints,
             widen(properties.notation));
        if (single) {
            line(ResId::VTInspectorName, widen(properties.name));
        } else {
            for (const char32_t c : codePoints) {
                text.lines.push_back({widen(codePointNotation(c)), widen(characterName(c))});
            }
        }
        line(ResId::VTInspectorCategory,
             widen(properties.category) + u" (" + widen(properties.categoryName) + u")");
        line(ResId::VTInspectorScript, widen(properties.script));
        line(ResId::VTInspectorBlock, widen(properties.block));
        const std::u16string utf8 = utf8Hex(codePoints);
        line(ResId::VTInspectorUtf8, utf8.empty() ? ResourceString(ResId::VTNoUtf8Form) : utf8);
        line(ResId::VTInspectorUtf16, utf16Hex(codePoints));
        if (drawn.empty()) {
            if (isControl(codePoints.front())) {
                text.lines.push_back({{}, ResourceString(ResId::VTControlNotDrawn)});
            }
        } else {
            const std::array<std::u16string_view, 1> font{glyphs.listFont};
            text.lines.push_back(
                {{},
                 formatWithStrings(
                     ResourceString(glyphs.listFontHasGlyph ? ResId::VTListFontHasGlyph
                                                            : ResId::VTListFontLacksGlyph),
                     font)});
            line(ResId::VTInspectorDrawnWith, glyphs.drawingFont.empty()
                                                  ? ResourceString(ResId::VTNoInstalledFont)
                                                  : glyphs.drawingFont);
        }
    }
    line(ResId::VTInspectorFrequency, IntToDecStr(frequency, settings));
    if (!shown.share.empty()) {
        line(ResId::VTInspectorShare, shown.share);
    }
    return text;
}

}  // namespace runemeter
