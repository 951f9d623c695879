// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Two sets of counts side by side: the characters only one of them has and the largest
// differences of share; and the coverage of a character set: what a corpus lacks of it and
// what it has beyond it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "profile/analysis_state.h"

namespace runemeter {

/// One code with its count on either side.
struct ComparedCode {
    char16_t code = 0;
    std::int64_t countA = 0;
    std::int64_t countB = 0;
    friend bool operator==(const ComparedCode&, const ComparedCode&) = default;
};

/// What compareCounts found. Shares are per cent of all the units counted on that side.
struct Comparison {
    std::int64_t totalA = 0;
    std::int64_t totalB = 0;
    std::vector<ComparedCode> onlyA;  ///< code order
    std::vector<ComparedCode> onlyB;  ///< code order
    /// Codes on both sides, largest share difference first (equal ones in code order).
    std::vector<ComparedCode> differences;
};

/// Compares a with b; keeps the top largest share differences. skipLineBreaks leaves CR and LF
/// out of every list and total (a character set lists its characters on lines).
[[nodiscard]] Comparison compareCounts(const CharCountTable& a, const CharCountTable& b,
                                       std::size_t top, bool skipLineBreaks = false);

/// The output forms of a comparison.
enum class CompareForm { Tsv, Table, Csv, Json };

/// A comparison of A with B: one line per code (section only-a, only-b or difference; code,
/// notation, character, name, both frequencies, both shares, share of B less share of A);
/// table and csv begin with a header line, tsv has none; json holds the three lists.
[[nodiscard]] std::string comparisonText(const Comparison& comparison, const std::string& labelA,
                                         const std::string& labelB, CompareForm form);

/// The coverage of a character set (b) by a corpus (a), as compareCounts(corpus, charset, 0,
/// true) gives it: one line per code (section missing: in the set, not in the corpus; beyond:
/// in the corpus, not in the set; code, notation, character, name, the corpus's frequency);
/// json also gives the size of the set and how many of its characters the corpus has.
[[nodiscard]] std::string coverageText(const Comparison& coverage, std::size_t charsetSize,
                                       const std::string& corpusLabel,
                                       const std::string& charsetLabel, CompareForm form);

}  // namespace runemeter
