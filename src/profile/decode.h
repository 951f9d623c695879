// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Encoding detection and decoding of one text into UTF-16 code units.
//
// | signature | encoding        | text starts at |
// |-----------|-----------------|----------------|
// | EF BB BF  | UTF-8           | offset 3       |
// | FF FE     | UTF-16 LE       | offset 2       |
// | FE FF     | UTF-16 BE       | offset 2       |
// | other     | ANSI (cp 1252)  | offset 0       |
//
// Only the signature decides, tested in that order. Every decoder stops at the
// first zero byte (UTF-8, ANSI) or zero unit (UTF-16); a last odd byte of
// UTF-16 data belongs to no unit and is dropped.

#include <cstddef>
#include <span>
#include <string>

namespace runemeter {

/// The four encodings a text file is recognised as.
enum class TextEncoding { Ansi, Utf16Le, Utf16Be, Utf8 };

/// Encoding by signature. Data shorter than 3 bytes is never decoded (callers check first).
[[nodiscard]] TextEncoding detectEncoding(std::span<const std::byte> data);

/// Bytes after the signature of the given encoding (the whole data for ANSI).
[[nodiscard]] std::span<const std::byte> textAfterSignature(std::span<const std::byte> data,
                                                            TextEncoding encoding);

/// UTF-8 to UTF-16 up to the first zero byte; malformed input gives one U+FFFD per maximal
/// invalid subpart. Replaces the content of out (its capacity is reused).
void decodeUtf8(std::span<const std::byte> bytes, std::u16string& out);

/// Windows-1252 to UTF-16 up to the first zero byte; the five undefined bytes (81, 8D, 8F, 90,
/// 9D) map to the same code points. Replaces the content of out.
void decodeWindows1252(std::span<const std::byte> bytes, std::u16string& out);

/// UTF-16 little-endian to code units, up to the first zero unit; an odd last byte is dropped.
void decodeUtf16Le(std::span<const std::byte> bytes, std::u16string& out);

/// UTF-16 big-endian to code units, up to the first zero unit; an odd last byte is dropped.
void decodeUtf16Be(std::span<const std::byte> bytes, std::u16string& out);

/// Dispatches to the decoder of the encoding on the bytes after its signature.
void decodeText(std::span<const std::byte> data, TextEncoding encoding, std::u16string& out);

/// Decodes text bytes (no signature) of the encoding and appends the units to out; stops at
/// the first zero byte or unit like the decoders above.
void appendDecoded(std::span<const std::byte> bytes, TextEncoding encoding, std::u16string& out);

/// Bytes of text before the first zero byte (UTF-16: zero unit); all of them if there is none.
[[nodiscard]] std::size_t bytesBeforeZero(std::span<const std::byte> bytes, TextEncoding encoding);

/// Bytes at the end of a piece of text that may belong to a character continued in the next
/// piece (a UTF-8 sequence begun, an odd UTF-16 byte). Decoding the piece without them and
/// putting them before the next piece gives the same units as decoding both pieces at once.
[[nodiscard]] std::size_t incompleteTail(std::span<const std::byte> bytes, TextEncoding encoding);

}  // namespace runemeter
