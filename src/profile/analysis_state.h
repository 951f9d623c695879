// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The analysis state of one run: character counts and the counters of the summary.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "profile/text_choices.h"
#include "profile/unit_counting.h"

namespace runemeter {

/// 65536 counts, indexed by UTF-16 code unit. Counts are 64-bit: a corpus passes 2^31 quickly.
using CharCountTable = std::array<std::int64_t, 65536>;

/// Code units of the last file's text that are kept for showing. The counts never depend on
/// it; a text of hundreds of megabytes would make the text box unusable anyway.
inline constexpr std::size_t kSourceTextKept = std::size_t{1} << 20;

/// State written by the analysis, read by the profile; cleared at the start of each run.
struct AnalysisState {
    AnalysisState();

    std::unique_ptr<CharCountTable> CharCounts;  ///< never null
    /// Decoded text of the file decoded last, after its header cut: its first kSourceTextKept
    /// units (never half a surrogate pair).
    std::u16string SourceText;
    std::int64_t SourceTextLength = 0;  ///< the whole length of that text in code units
    std::int64_t FilesRead = 0;
    std::int64_t UnicodeFileCount = 0;  ///< UTF-16, either byte order
    std::int64_t BigEndianFileCount = 0;
    std::int64_t Utf8FileCount = 0;
    std::int64_t CrLfCount = 0;
    std::int64_t TotalCharacters = 0;  ///< sum of counts of codes 32..65535 (set by the profile)
    /// The counts of a run with another unit or a normalisation (null: UTF-16 code units
    /// without normalisation, counted in CharCounts). Each text is finish()ed into it.
    std::unique_ptr<UnitCounter> Units;
    TextChoices Text;  ///< how the run read and counted its texts

    /// Back to the state before a run (TotalCharacters is recomputed by the profile).
    void clear();
};

}  // namespace runemeter
