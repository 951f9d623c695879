// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a run reads and counts text beyond the signature rules: what a text without a signature
// is, what one counted unit is, and the normalisation applied before counting. The defaults are
// the classic behaviour: ANSI, UTF-16 code units, no normalisation.

#include <optional>
#include <string_view>

#include "profile/normalise_stage.h"
#include "profile/unit_counting.h"
#include "profile/unsigned_text.h"

namespace runemeter {

struct TextChoices {
    UnsignedMode unsignedText = UnsignedMode::Ansi;
    CountingUnit unit = CountingUnit::Utf16;
    Normalisation normalisation = Normalisation::None;
    friend bool operator==(const TextChoices&, const TextChoices&) = default;
};

/// The names the command line, the settings and the counts files use: "ansi", "utf8", "auto";
/// "utf16", "codepoint", "grapheme"; "none", "nfc", "nfd", "nfkc", "nfkd".
[[nodiscard]] std::string_view choiceName(UnsignedMode mode);
[[nodiscard]] std::string_view choiceName(CountingUnit unit);
[[nodiscard]] std::string_view choiceName(Normalisation form);

/// The choice a name stands for (exact, lower case); nothing for any other text.
[[nodiscard]] std::optional<UnsignedMode> unsignedModeNamed(std::string_view name);
[[nodiscard]] std::optional<CountingUnit> countingUnitNamed(std::string_view name);
[[nodiscard]] std::optional<Normalisation> normalisationNamed(std::string_view name);

}  // namespace runemeter
