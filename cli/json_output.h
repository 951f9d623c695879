#pragma once

// The --format json output of runemeter-cli.

#include <string>
#include <string_view>

#include "profile/analysis_state.h"
#include "profile/profile.h"

namespace runemeter {

/// A JSON string literal of UTF-16 text (quotes included). Characters are written as UTF-8;
/// control characters and lone surrogates as \uXXXX escapes, so no code unit is lost.
[[nodiscard]] std::string jsonString(std::u16string_view text);

/// The whole document: summary counters, the rows in their order, the source text's length.
/// lettersOnly keeps only the rows of single letters (as the copy does).
[[nodiscard]] std::string profileToJson(const AnalysisState& state, const Profile& profile,
                                        bool lettersOnly);

}  // namespace runemeter
