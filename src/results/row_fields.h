// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What one results row shows: its fields, colour, character type, share and column texts.
// Plain functions, so the list's painting and its tests use the same code.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "suite/number_format.h"

namespace runemeter {

/// Values derived from a row text.
struct RowFields {
    std::u16string codeField;       ///< stripped text up to its first blank
    std::u16string characterField;  ///< what follows that blank, trimmed (<= 32 removed)
    bool numeric = false;           ///< the code field is a whole decimal integer
    std::int64_t codeValue = 0;     ///< its value, or of its leading digits, or 0
    bool controlRow = false;        ///< numeric and code value below 32
    /// The row of a grapheme cluster: its code field holds the decimal code points it holds
    /// joined by "+" (numeric then, its code value the first).
    bool cluster = false;
};

/// Splits a row text into its fields.
[[nodiscard]] RowFields deriveRowFields(std::u16string_view rowText);

/// The colours a row can be drawn in.
enum class RowColour {
    Window,      ///< selected row: the list's background colour
    WindowText,  ///< the normal text colour
    GrayText,    ///< frequency 0
    Red,         ///< line-break and total rows, control codes
    Blue,        ///< codes 128 to 256
};

/// The text colour of a row, first rule that applies.
[[nodiscard]] RowColour rowColour(const RowFields& fields, std::int64_t frequency, bool selected);

/// Character types shown in the Type column.
enum class CharacterType { None, Letter, Digit, Punctuation };

/// The English name of a type as the written forms give it ("letter", "digit",
/// "punctuation"); empty for None.
[[nodiscard]] std::string_view characterTypeName(CharacterType type);

/// Type of one code unit by its Unicode general category.
[[nodiscard]] CharacterType classifyCodeUnit(char16_t unit);
/// Type of one code point by its Unicode general category.
[[nodiscard]] CharacterType classifyCodePoint(char32_t code);

/// Type of a character field: None unless it is exactly one code point long.
[[nodiscard]] CharacterType characterType(std::u16string_view characterField);
/// Type of a row: a cluster takes the type of its first code point.
[[nodiscard]] CharacterType characterType(const RowFields& fields);

/// Share in per cent, or nothing when it is not shown (no total, not numeric, control row,
/// or below 0.01).
[[nodiscard]] std::optional<long double> shownShare(const RowFields& fields, std::int64_t frequency,
                                                    std::int64_t totalCharacters);

/// The five texts of a row (an empty text draws nothing) and its colour.
struct RowColumnTexts {
    std::u16string code;
    std::u16string character;
    std::u16string type;
    std::u16string share;
    std::u16string frequency;
    RowColour colour = RowColour::WindowText;
};

/// Everything the list paints for one row. The line-break and total labels are shown whole
/// under Character, with no type, even when they contain a blank.
[[nodiscard]] RowColumnTexts rowColumnTexts(std::u16string_view rowText, std::int64_t frequency,
                                            std::int64_t totalCharacters, bool selected,
                                            const FormatSettings& settings);

/// Horizontal positions of the five texts, given the section edges and the text widths.
struct RowTextPositions {
    int code, character, type, share, frequency;
};

/// x of each text's left end, given the section edges and the five text widths. The numbers
/// (code, share, frequency) end at their own section's right edge less 20 px (code) or 2 px, in
/// either direction, so that their digits line up. Character and type begin 2 px inside their
/// section's leading edge: the left one, or the right one in a right-to-left list.
[[nodiscard]] RowTextPositions rowTextPositions(const int sectionLeft[5], const int sectionWidth[5],
                                                const int textWidth[5], bool rightToLeft);

}  // namespace runemeter
