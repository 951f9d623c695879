#pragma once

// Seeded random inputs for comparing the decoders and counters with the reference code.

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "reference/reference_text.h"

namespace runemeter::testing {

using reference::Bytes;

/// Appends the UTF-8 form of a code point (no checks: callers pass scalar values).
inline void appendUtf8(Bytes& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<std::uint8_t>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<std::uint8_t>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<std::uint8_t>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<std::uint8_t>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<std::uint8_t>(0x80 | (cp & 0x3F)));
    }
}

/// Bytes 1..255, with a zero byte at about one position in zeroOneIn (0: never).
inline Bytes randomBytes(std::mt19937& rng, std::size_t n, unsigned zeroOneIn = 0) {
    std::uniform_int_distribution<int> byte(1, 255);
    std::uniform_int_distribution<unsigned> zero(0, zeroOneIn == 0 ? 0 : zeroOneIn - 1);
    Bytes out(n);
    for (auto& b : out) {
        b = (zeroOneIn != 0 && zero(rng) == 0) ? 0 : static_cast<std::uint8_t>(byte(rng));
    }
    return out;
}

/// A random code point from a mix of scripts: mostly ASCII with line breaks, Latin,
/// Cyrillic, CJK, emoji, and now and then any scalar value.
inline std::uint32_t randomCodePoint(std::mt19937& rng) {
    static const std::vector<std::pair<std::uint32_t, std::uint32_t>> ranges = {
        {0x20, 0x7E},   {0x0A, 0x0D},     {0xA0, 0xFF},     {0x100, 0x17F},     {0x400, 0x4FF},
        {0x5D0, 0x5EA}, {0x4E00, 0x9FFF}, {0xE000, 0xFFFF}, {0x1F300, 0x1FAFF}, {0x10000, 0x10FFFF},
    };
    std::uniform_int_distribution<std::size_t> pick(0, ranges.size() + 3);
    std::size_t r = pick(rng);
    if (r >= ranges.size()) {
        r = 0;  // extra weight on ASCII, as in real text
    }
    std::uniform_int_distribution<std::uint32_t> in(ranges[r].first, ranges[r].second);
    return in(rng);
}

/// Valid UTF-8 of about n bytes; with corruptOneIn > 0 about one byte in that many is
/// replaced by a random byte (1..255), dropped, or followed by a stray byte.
inline Bytes randomUtf8(std::mt19937& rng, std::size_t n, unsigned corruptOneIn = 0) {
    Bytes valid;
    while (valid.size() < n) {
        appendUtf8(valid, randomCodePoint(rng));
    }
    if (corruptOneIn == 0) {
        return valid;
    }
    std::uniform_int_distribution<unsigned> hit(0, corruptOneIn - 1);
    std::uniform_int_distribution<int> how(0, 2);
    std::uniform_int_distribution<int> byte(1, 255);
    Bytes out;
    for (std::uint8_t b : valid) {
        if (hit(rng) != 0) {
            out.push_back(b);
            continue;
        }
        switch (how(rng)) {
            case 0:
                out.push_back(static_cast<std::uint8_t>(byte(rng)));
                break;
            case 1:
                break;
            default:
                out.push_back(b);
                out.push_back(static_cast<std::uint8_t>(byte(rng)));
                break;
        }
    }
    return out;
}

/// The bytes as the span the decoders take.
inline std::span<const std::byte> asSpan(const Bytes& bytes) {
    return std::as_bytes(std::span<const std::uint8_t>(bytes));
}

/// Code units shown as hex, for readable failures.
inline std::string hexUnits(const std::u16string& text) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (char16_t u : text) {
        for (int shift = 12; shift >= 0; shift -= 4) {
            out.push_back(digits[(u >> shift) & 0xF]);
        }
        out.push_back(' ');
    }
    return out;
}

}  // namespace runemeter::testing
