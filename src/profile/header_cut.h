// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The header cut as a stage of the read: finds the first occurrence of the header marker in the
// text of one piece of bytes, without decoding the piece when it can, and says where the text
// kept after the cut begins.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "profile/decode.h"

namespace runemeter {

/// The marker's first occurrence (case-sensitive, in decoded UTF-16 units) ends the header;
/// the text keeps what follows the marker's first unit.
class HeaderCut {
public:
    /// Where a found marker cuts the piece it was found in.
    struct Cut {
        std::size_t at = 0;        ///< bytes before the character holding the marker's first unit
        std::size_t keptFrom = 0;  ///< bytes before the first character wholly kept
        std::u16string prefix;     ///< units of that character kept after the cut unit (0 or 1)
    };

    HeaderCut(std::u16string_view marker, TextEncoding encoding);

    /// False when nothing is to be looked for: no marker, or one no text of the encoding can
    /// hold (a zero unit, an ANSI text and a unit outside Windows-1252); nothing is then cut.
    [[nodiscard]] bool active() const { return m_active; }

    /// Bytes at the end of a piece to look at again with the next piece, so that a marker
    /// across two pieces is seen whole (before rounding to a character start).
    [[nodiscard]] std::size_t overlap() const { return m_overlap; }

    /// Bytes at the end of text (which begins at a character start) to hold back for the next
    /// piece: at least overlap() and at least tail, beginning where a character begins.
    [[nodiscard]] std::size_t holdFor(std::span<const std::byte> text, std::size_t tail) const;

    /// The first marker wholly inside text (which begins at a character start, holds no zero
    /// byte or unit and ends where a character ends), or nothing.
    [[nodiscard]] std::optional<Cut> find(std::span<const std::byte> text);

private:
    [[nodiscard]] std::size_t findBytes(std::span<const std::byte> text) const;
    [[nodiscard]] std::optional<Cut> findUnits(std::span<const std::byte> text);
    [[nodiscard]] Cut cutAtUnit(std::span<const std::byte> text, std::size_t unit) const;

    std::u16string m_marker;
    TextEncoding m_encoding;
    bool m_active = false;
    bool m_byBytes = false;      ///< the marker is looked for as bytes, else in decoded units
    std::string m_pattern;       ///< the marker's bytes in the text's encoding
    std::size_t m_scanAt = 0;    ///< the first pattern byte scanned for (not a zero byte)
    std::size_t m_scanLast = 0;  ///< the second one, as far after it as can be
    std::size_t m_overlap = 0;
    std::u16string m_scratch;
};

}  // namespace runemeter
