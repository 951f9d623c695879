// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The text of the About box: the program, its version, the Unicode version of its character data
// and its licence, in the interface language.

#include <string>
#include <string_view>

namespace runemeter {

/// The licence the program is distributed under, as an SPDX identifier.
inline constexpr std::u16string_view kLicenceId = u"GPL-3.0-or-later";

/// The About box's title.
[[nodiscard]] std::u16string AboutTitle();

/// The About box's lines: name and version, the character data, the licence and its meaning.
[[nodiscard]] std::u16string AboutText();

}  // namespace runemeter
