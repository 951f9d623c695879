// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The character profile: the rows of the results list, the two summary lines, the source text.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "profile/analysis_state.h"

namespace runemeter {

/// One row of the results list: its text and its frequency.
struct ProfileRow {
    std::u16string text;
    std::int64_t frequency = 0;
    friend bool operator==(const ProfileRow&, const ProfileRow&) = default;
};

/// Everything the window shows after a run.
struct Profile {
    std::vector<ProfileRow> rows;  ///< code order; line-break row after code 13; total row last
    std::u16string labelFileInfo;  ///< the encodings line
    std::u16string labelResults;   ///< the chosen path (one file read) or "based on n files"
    std::int64_t totalCharacters = 0;
};

/// The text of the character row of one code: code, blank, left-padded to 4; then the
/// character, or a blank and the name for 9, 10, 13 and 32.
[[nodiscard]] std::u16string characterRowText(char16_t code);

/// The row text of a code point: as characterRowText below U+10000, else the code and the
/// character.
[[nodiscard]] std::u16string codePointRowText(char32_t code);

/// The row text of a grapheme cluster: one code point as codePointRowText, else its decimal
/// code points joined by "+", a blank and the cluster, shown shortened with an ellipsis after
/// kClusterShown code points.
[[nodiscard]] std::u16string clusterRowText(std::u16string_view cluster);
inline constexpr std::size_t kClusterShown = 64;

/// Builds the profile from the state; sets state.TotalCharacters. chosenPath is the path as
/// typed, shown when exactly one file was read. The source text is state.SourceText. With
/// state.Units the rows are those of its unit (code points, clusters) and the total counts
/// units of that kind; the always-shown rows and the line-break row are there in every unit.
[[nodiscard]] Profile BuildProfile(AnalysisState& state, std::u16string_view chosenPath);

}  // namespace runemeter
