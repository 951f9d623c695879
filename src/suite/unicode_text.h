#pragma once

// Conversions between the core's UTF-16 text and the UTF-8 of file names and output.

#include <filesystem>
#include <string>
#include <string_view>

namespace runemeter {

/// Appends one code point (surrogate values included) as UTF-8.
void appendUtf8CodePoint(std::string& out, char32_t cp);

/// Appends one code point as UTF-16 (a surrogate pair above U+FFFF).
void appendUtf16CodePoint(std::u16string& out, char32_t cp);

/// UTF-8 to UTF-16; malformed input becomes U+FFFD, one per maximal invalid subpart.
[[nodiscard]] std::u16string utf8ToUtf16(std::string_view utf8);

/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
[[nodiscard]] std::string utf16ToUtf8(std::u16string_view utf16);

/// A path for display: its bytes read as UTF-8 (invalid bytes become U+FFFD).
[[nodiscard]] std::u16string pathToDisplay(const std::filesystem::path& path);

/// Text for one line of a message or log: line breaks and tabs become \n, \r, \t and other
/// control characters \xNN, so a file name cannot split a line or reach a terminal as a command.
[[nodiscard]] std::u16string oneLine(std::u16string_view text);

/// A path from user-typed text (UTF-16 turned into the UTF-8 bytes of the file system).
[[nodiscard]] std::filesystem::path pathFromText(std::u16string_view text);

/// Default full case folding of one UTF-16 text (ICU), for case-blind comparisons.
[[nodiscard]] std::u16string foldCase(std::u16string_view text);

}  // namespace runemeter
