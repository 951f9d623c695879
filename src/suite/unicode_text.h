// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Conversions between the core's UTF-16 text and the UTF-8 of file names and output.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace runemeter {

// UTF-16 surrogates. Every test for a surrogate or a pair goes through these.

[[nodiscard]] constexpr bool isHighSurrogate(char32_t u) noexcept {
    return u >= 0xD800 && u <= 0xDBFF;
}
[[nodiscard]] constexpr bool isLowSurrogate(char32_t u) noexcept {
    return u >= 0xDC00 && u <= 0xDFFF;
}
[[nodiscard]] constexpr bool isSurrogate(char32_t u) noexcept {
    return u >= 0xD800 && u <= 0xDFFF;
}
/// The code point of a high and a low surrogate.
[[nodiscard]] constexpr char32_t combineSurrogates(char16_t high, char16_t low) noexcept {
    return 0x10000 + ((char32_t{high} - 0xD800) << 10) + (char32_t{low} - 0xDC00);
}
/// True when text[i] and text[i + 1] form a surrogate pair.
[[nodiscard]] constexpr bool isSurrogatePairAt(std::u16string_view text, std::size_t i) noexcept {
    return i + 1 < text.size() && isHighSurrogate(text[i]) && isLowSurrogate(text[i + 1]);
}

/// One code point of a UTF-16 text and the units it takes (2 for a pair, else 1; a lone
/// surrogate is returned as it is).
struct Utf16CodePoint {
    char32_t value;
    std::size_t units;
};
[[nodiscard]] constexpr Utf16CodePoint codePointAt(std::u16string_view text,
                                                   std::size_t i) noexcept {
    if (isSurrogatePairAt(text, i))
        return {combineSurrogates(text[i], text[i + 1]), 2};
    return {text[i], 1};
}

/// Where a text stops being well-formed UTF-8: the byte offset of the first malformed
/// sequence and its length (its maximal invalid subpart, at least one byte).
struct Utf8Error {
    std::size_t offset = 0;
    std::size_t length = 0;
};

/// The strict validator: the first malformed sequence, or nothing for well-formed UTF-8.
/// Overlong forms, encoded surrogates, values above U+10FFFF and cut sequences are malformed.
[[nodiscard]] std::optional<Utf8Error> findInvalidUtf8(std::string_view utf8);

/// Strict decoding: appends the UTF-16 of well-formed UTF-8 to out and returns nothing, or
/// returns the first error and leaves out as it was.
[[nodiscard]] std::optional<Utf8Error> appendUtf8Strict(std::string_view utf8, std::u16string& out);

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

/// A name made of bytes (a zip member, a file name) for one line of a message or log, as
/// UTF-8: well-formed UTF-8 is kept, line breaks and tabs become \n, \r, \t, other C0 control
/// characters, DEL and every byte that is not part of well-formed UTF-8 \xNN.
[[nodiscard]] std::string nameForMessage(std::string_view bytes);

/// Text for one line of a message or log: line breaks and tabs become \n, \r, \t and other
/// control characters \xNN, so a file name cannot split a line or reach a terminal as a command.
[[nodiscard]] std::u16string oneLine(std::u16string_view text);

/// A path from user-typed text (UTF-16 turned into the UTF-8 bytes of the file system).
[[nodiscard]] std::filesystem::path pathFromText(std::u16string_view text);

/// Default full case folding of one UTF-16 text (ICU), for case-blind comparisons.
[[nodiscard]] std::u16string foldCase(std::u16string_view text);

}  // namespace runemeter
