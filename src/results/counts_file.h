#pragma once

// The counts of a run (or of several runs added up) and the counts file that holds them: a
// versioned text form with everything a profile is made from, so that runs over parts of a
// corpus can be merged into the profile of the whole. The format is described in
// docs/counts-format.md.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "profile/analysis_state.h"
#include "suite/input_error.h"

namespace runemeter {

/// Version of the counts format this program writes and reads.
inline constexpr int kCountsFormatVersion = 1;

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
    friend bool operator==(const CountChoices&, const CountChoices&) = default;
};

/// Everything a profile and its summary are made from.
struct RunCounts {
    CountChoices choices;
    AnalysisState state;  ///< the counts and counters (SourceText stays empty)
    std::int64_t filesFound = 0;
    std::vector<RunProblem> problems;
    /// The path as given of the part that read the only file, when exactly one file was read.
    std::string onePath;
};

/// Adds part to total, as if part's files had been read after total's: counts and counters add
/// up, problems follow total's, the source text length is the last part's that read a file.
/// Returns what passed 2^63 - 1 instead of wrapping; total is then not to be used.
[[nodiscard]] std::optional<std::string> addRunCounts(RunCounts& total, const RunCounts& part);

/// The counts file of counts (codes with a count of zero are left out).
[[nodiscard]] std::string writeCountsFile(const RunCounts& counts);

/// Reads a counts file into counts (whose earlier content is replaced). Refuses, with the line
/// number, a file of another kind or of a newer version, an unknown choice, a damaged or
/// truncated file, negative counts or counts beyond 64 bits, and codes given twice.
[[nodiscard]] std::optional<InputError> readCountsFile(std::string_view text, RunCounts& counts);

}  // namespace runemeter
