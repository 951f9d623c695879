// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The counts of a run (or of several runs added up) and the counts file that holds them: a
// versioned text form with everything a profile is made from, so that runs over parts of a
// corpus can be merged into the profile of the whole. The format is described in
// docs/counts-format.md.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/analysis_state.h"
#include "suite/input_error.h"

namespace runemeter {

/// The newest version of the counts format, which this program reads and writes. Counts made
/// with the default choices are written as version 1, which older programs read too.
inline constexpr int kCountsFormatVersion = 2;

/// Something that could not be read: a path as given (bytes), the archive member when there is
/// one, and the reason in English.
struct RunProblem {
    std::string path;
    std::string member;
    std::string reason;
    friend bool operator==(const RunProblem&, const RunProblem&) = default;
};

/// How the characters were counted; runs with different choices cannot be added up.
struct CountChoices {
    std::string unit = "utf16";  ///< what one count counts
    std::string normalisation = "none";
    std::string unsignedText = "ansi";  ///< how a text without a signature is read
    std::string header;                 ///< the text each file was cut up to (bytes as given)
    friend bool operator==(const CountChoices&, const CountChoices&) = default;
};

/// The choices of a run as a counts file names them.
[[nodiscard]] CountChoices countChoicesOf(const TextChoices& text, std::string header);

/// The choices for messages: "unit utf16, normalisation none, unsigned text ansi, header ''".
[[nodiscard]] std::string describeChoices(const CountChoices& choices);

/// Everything a profile and its summary are made from.
struct RunCounts {
    CountChoices choices;
    /// The counts and counters (SourceText stays empty). Code units are counted in
    /// state.CharCounts whatever the normalisation; state.Units is made from unitCounts by
    /// restoreUnitCounter, for the profile.
    AnalysisState state;
    /// With the unit codepoint or grapheme: the code points of each counted code point or
    /// cluster (a lone surrogate as its unit) and its count.
    std::map<std::u32string, std::int64_t> unitCounts;
    std::int64_t filesFound = 0;
    std::vector<RunProblem> problems;
    /// The path as given of the part that read the only file, when exactly one file was read.
    std::string onePath;
};

/// Adds part to total, as if part's files had been read after total's: counts and counters add
/// up, problems follow total's, the source text length is the last part's that read a file.
/// The counts of part.state.Units (a run's) are taken over into CharCounts or unitCounts.
/// Returns what passed 2^63 - 1 instead of wrapping; total is then not to be used.
[[nodiscard]] std::optional<std::string> addRunCounts(RunCounts& total, const RunCounts& part);

/// Makes counts.state.Units from unitCounts when the unit is codepoint or grapheme, so that the
/// profile shows their rows (the same rows whether the counts were read or counted).
void restoreUnitCounter(RunCounts& counts);

/// The counts file of counts (codes with a count of zero are left out): version 1 when the
/// unit is utf16, without normalisation or header, else version 2.
[[nodiscard]] std::string writeCountsFile(const RunCounts& counts);

/// Reads a counts file into counts (whose earlier content is replaced). Refuses, with the line
/// number, a file of another kind or of a newer version, an unknown choice, a damaged or
/// truncated file, negative counts or counts beyond 64 bits, codes given twice or malformed,
/// and a row of clusters that is not one cluster.
[[nodiscard]] std::optional<InputError> readCountsFile(std::string_view text, RunCounts& counts);

}  // namespace runemeter
