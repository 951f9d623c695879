// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the character inspector says about one results row: the character to draw large, and
// labelled lines (code points, Unicode names, category, script, block, bytes, count, glyphs).
// Built once per selected row, never while the list paints.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "suite/number_format.h"

namespace runemeter {

/// The code points a row's character is made of, in order; empty when the row shows no
/// character a font could draw: the line-break and total rows, control codes (general
/// category Cc) and lone surrogates.
[[nodiscard]] std::vector<char32_t> drawnCodePoints(std::u16string_view rowText);

/// What the window found out about the fonts for the row (the core knows no fonts).
struct GlyphFacts {
    std::u16string listFont;        ///< the family of the list font
    bool listFontHasGlyph = false;  ///< it has a glyph for every code point of the row
    std::u16string drawingFont;     ///< the family that draws the row; empty: none does
};

/// One line of the inspector: a label and its value.
struct InspectorLine {
    std::u16string label;
    std::u16string value;
    friend bool operator==(const InspectorLine&, const InspectorLine&) = default;
};

/// Everything the inspector shows for a row.
struct InspectorText {
    std::u16string heading;  ///< the row's character, or its name (label rows, control codes)
    std::u16string drawn;    ///< what is drawn large; empty: nothing (no glyph to show)
    std::vector<InspectorLine> lines;
};

/// The inspector's texts for a row as the list holds it. The frequency and share are written
/// as the list writes them. glyphs is used only for rows with a character to draw.
[[nodiscard]] InspectorText inspectorText(std::u16string_view rowText, std::int64_t frequency,
                                          std::int64_t totalCharacters,
                                          const FormatSettings& settings, const GlyphFacts& glyphs);

}  // namespace runemeter
