// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Properties of characters as the ICU in use knows them: U+ notation, name, general category,
// script and block, and the Unicode version behind them. A row's character is one code point
// or a sequence of them (a lone surrogate is a code point of its own).

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

/// What the tables show about one character.
struct CharProperties {
    std::string notation;           ///< "U+0041"; code points of a sequence joined by blanks
    std::string name;               ///< "LATIN CAPITAL LETTER A", "<unassigned-0378>"
    std::string_view category;      ///< two-letter general category, "Lu"
    std::string_view categoryName;  ///< its long name, "Uppercase_Letter"
    std::string_view script;        ///< long script name, "Latin"
    std::string_view block;         ///< long block name, "Basic_Latin"
};

/// "U+" and at least four upper-case hex digits.
[[nodiscard]] std::string codePointNotation(char32_t codePoint);

/// The Unicode name; where there is none (controls, unassigned and private-use code points,
/// noncharacters, surrogates) the extended name in angle brackets, "<control-0001>". Tab, line
/// feed and carriage return keep the names the results list gives them.
[[nodiscard]] std::string characterName(char32_t codePoint);

/// Two-letter general category ("Lu"), long script name ("Latin"), long block name
/// ("Basic_Latin"); empty beyond U+10FFFF.
[[nodiscard]] std::string_view categoryCode(char32_t codePoint);
[[nodiscard]] std::string_view scriptName(char32_t codePoint);
[[nodiscard]] std::string_view blockName(char32_t codePoint);

/// Properties of one code point.
[[nodiscard]] CharProperties charProperties(char32_t codePoint);

/// Properties of a sequence: notation and names of every code point (names joined by " + "),
/// category, script and block of the first. Empty for an empty sequence.
[[nodiscard]] CharProperties sequenceProperties(std::span<const char32_t> codePoints);

/// The code points a row's code field names: one decimal number, or several joined by '+'.
/// Empty when the field is not such a list or names a value beyond U+10FFFF.
[[nodiscard]] std::vector<char32_t> codePointsOfCodeField(std::u16string_view codeField);

/// True when a sequence cannot be shown as itself in one field of a line: it holds a control
/// code, a surrogate or a line or paragraph separator, or it begins with a code point that is
/// not printable (format, private use, unassigned).
[[nodiscard]] bool breaksLine(std::span<const char32_t> codePoints);

/// The Unicode version of the character data in use, "15.0".
[[nodiscard]] std::string unicodeVersion();

/// "Unicode 15.0 (ICU 72.1)".
[[nodiscard]] std::string unicodeVersionText();

/// The Settings tab's line naming it, in the language in force.
[[nodiscard]] std::u16string unicodeVersionLine();

}  // namespace runemeter
