// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The widths the five sections of the results list need so that no text is cut and no two
// texts touch: a plain function of a text measure and the run's rows, no widgets.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "profile/profile.h"
#include "suite/number_format.h"

namespace runemeter {

/// Width in pixels of a text drawn in the list font.
using TextWidth = std::function<int(std::u16string_view)>;

/// Room kept free at a text's open side, so that the next column's text never touches it.
inline constexpr int kColumnGap = 6;

/// The section widths of the list as it is designed (Code, Character, Type, %, freq.).
inline constexpr std::array<int, 5> kDesignedSectionWidths{50, 100, 100, 50, 80};
/// The narrowest the user may drag a section whatever it shows.
inline constexpr std::array<int, 5> kDesignedMinimumWidths{0, 100, 0, 0, 80};

/// The narrowest each section may be for these rows in this font: the designed minimum, or
/// wider where a text needs it: also the names of control codes and the line-break and total
/// labels, whether or not the rows hold them. The code 65535 ends 20 px before the Character
/// section; the character cell and type start 2 px into theirs; "100.00%" and the largest frequency
/// (the total row's among them) end 2 px before their section's right edge.
[[nodiscard]] std::array<int, 5> minimumSectionWidths(const TextWidth& width,
                                                      std::span<const ProfileRow> rows,
                                                      const FormatSettings& settings);

/// Widths to give the sections: what the user chose (the designed widths, or where the user
/// dragged a border), never below the minimum; a view wider than their sum gives the rest to the
/// Type section, so the share and the frequency stay together at the right edge.
[[nodiscard]] std::array<int, 5> laidOutSectionWidths(const std::array<int, 5>& minimum,
                                                      const std::array<int, 5>& chosen,
                                                      int viewWidth);

}  // namespace runemeter
