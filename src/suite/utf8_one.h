// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One step of the UTF-8 decoder (one character or one maximal invalid subpart), the only one:
// the text decoders, the counter that does not write text and the text toolkit all read by it.

#include <cstdint>

namespace runemeter::utf8 {

inline constexpr char16_t kReplacement = 0xFFFD;

inline bool isContinuation(std::uint8_t b) {
    return (b & 0xC0) == 0x80;
}

// Decodes one character (or one maximal invalid subpart) at p; end bounds the input.
inline const std::uint8_t* decodeUtf8One(const std::uint8_t* p, const std::uint8_t* end,
                                         char16_t*& o) {
    const std::uint8_t c = p[0];
    if (c < 0x80) {
        *o++ = c;
        return p + 1;
    }
    if (c < 0xC2) {  // stray continuation byte or overlong two-byte lead
        *o++ = kReplacement;
        return p + 1;
    }
    if (c < 0xE0) {
        if (end - p >= 2 && isContinuation(p[1])) {
            *o++ = static_cast<char16_t>(((c & 0x1F) << 6) | (p[1] & 0x3F));
            return p + 2;
        }
        *o++ = kReplacement;
        return p + 1;
    }
    if (c < 0xF0) {
        // E0 needs A0..BF (no overlongs), ED needs 80..9F (no surrogates).
        const std::uint8_t lo = c == 0xE0 ? 0xA0 : 0x80;
        const std::uint8_t hi = c == 0xED ? 0x9F : 0xBF;
        if (end - p < 2 || p[1] < lo || p[1] > hi) {
            *o++ = kReplacement;
            return p + 1;
        }
        if (end - p < 3 || !isContinuation(p[2])) {
            *o++ = kReplacement;
            return p + 2;
        }
        *o++ = static_cast<char16_t>(((c & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
        return p + 3;
    }
    if (c < 0xF5) {
        // F0 needs 90..BF (no overlongs), F4 needs 80..8F (nothing above 10FFFF).
        const std::uint8_t lo = c == 0xF0 ? 0x90 : 0x80;
        const std::uint8_t hi = c == 0xF4 ? 0x8F : 0xBF;
        if (end - p < 2 || p[1] < lo || p[1] > hi) {
            *o++ = kReplacement;
            return p + 1;
        }
        if (end - p < 3 || !isContinuation(p[2])) {
            *o++ = kReplacement;
            return p + 2;
        }
        if (end - p < 4 || !isContinuation(p[3])) {
            *o++ = kReplacement;
            return p + 3;
        }
        const std::uint32_t cp =
            ((c & 0x07u) << 18) | ((p[1] & 0x3Fu) << 12) | ((p[2] & 0x3Fu) << 6) | (p[3] & 0x3Fu);
        const std::uint32_t v = cp - 0x10000;
        *o++ = static_cast<char16_t>(0xD800 + (v >> 10));
        *o++ = static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        return p + 4;
    }
    *o++ = kReplacement;  // F5..FF never occur in UTF-8
    return p + 1;
}

}  // namespace runemeter::utf8
