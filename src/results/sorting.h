// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two orders of the results list: by row text (ascending) and by frequency (descending).

#include <span>
#include <vector>

#include "profile/profile.h"

namespace runemeter {

/// Negative, zero or positive as a's text sorts before, level with or after b's, by UTF-16
/// code units.
[[nodiscard]] int CompareRowsByText(const ProfileRow& a, const ProfileRow& b);

/// Negative when a has the larger frequency (larger first).
[[nodiscard]] int CompareRowsByFrequency(const ProfileRow& a, const ProfileRow& b);

/// Sorts rows as a click on header section sectionIndex does: 0-2 by text, 3-4 by
/// frequency, anything else leaves the order unchanged.
void sortRowsBySection(std::vector<ProfileRow>& rows, int sectionIndex);

}  // namespace runemeter
