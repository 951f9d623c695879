// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// 8-bit Windows code pages for names in language files and for the refresh of untranslated
// values. Tables exist for 1250, 1251, 1252, 1253, 1254 and 1257; other code pages (the
// double-byte East Asian ones, Hebrew, Arabic, Thai, Vietnamese) are treated as identity.

#include <string>
#include <string_view>

namespace runemeter {

/// True when a byte table for the code page is built in.
[[nodiscard]] bool hasCodePageTable(int codePage);

/// Bytes of a code page to UTF-16; without a table each byte becomes the code point of its value.
[[nodiscard]] std::u16string decodeCodePage(int codePage, std::string_view bytes);

/// UTF-16 to bytes of a code page; a unit the code page cannot hold becomes '?'.
[[nodiscard]] std::string encodeCodePage(int codePage, std::u16string_view text);

/// Name strings of language files ("ANSI") read as Windows-1252.
[[nodiscard]] std::u16string decodeWindows1252(std::string_view bytes);

/// Name strings written as Windows-1252; units it cannot hold become '?'.
[[nodiscard]] std::string encodeWindows1252(std::u16string_view text);

/// Text converted to the bytes of one code page and read back through another; identity when
/// either code page has no table.
[[nodiscard]] std::u16string roundTripThroughCodePages(std::u16string_view text, int fromCodePage,
                                                       int toCodePage);

}  // namespace runemeter
