// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The text the Copy button puts on the clipboard: one tab-separated line per row, CR LF.

#include <span>
#include <string>
#include <string_view>

#include "profile/profile.h"

namespace runemeter {

/// The number characters a copied row must begin with (the ten ASCII digits).
inline constexpr std::u16string_view WideNumbersStr = u"0123456789";

/// A row text cleaned for copying: trimmed, pairs of blanks halved, '"' -> "quotes",
/// "# " removed, remaining blanks to tabs.
[[nodiscard]] std::u16string cleanRowTextForCopy(std::u16string_view rowText);

/// True when the copy text has a line for this row: rows that begin with a code (not the
/// line-break and total rows); lettersOnly keeps only rows of one letter with a code above 32.
[[nodiscard]] bool isCopiedRow(std::u16string_view rowText, bool lettersOnly);

/// The whole copy text of the rows in their current order; lettersOnly keeps only rows of
/// one letter with a code above 32. A lone surrogate character is copied as that unit.
[[nodiscard]] std::u16string buildCopyText(std::span<const ProfileRow> rows, bool lettersOnly);

}  // namespace runemeter
