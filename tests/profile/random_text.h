// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Bytes for the decoders and counters, and seeded random ones to compare them with the reference.

#include <cstddef>
#include <cstdint>
#include <random>
#include <span>
#include <string>
#include <string_view>

#include "reference/reference_text.h"
#include "suite/unicode_text.h"

namespace runemeter::testing {

using reference::Bytes;

inline Bytes bytesOf(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

inline std::span<const std::byte> asSpan(const Bytes& bytes) {
    return std::as_bytes(std::span<const std::uint8_t>(bytes));
}

/// UTF-8 of about n bytes of many scripts; about one byte in corruptOneIn replaced (or dropped).
inline Bytes randomUtf8(std::mt19937& rng, std::size_t n, unsigned corruptOneIn = 0) {
    static constexpr std::uint32_t kRanges[][2] = {
        {0x20, 0x7E},     {0x20, 0x7E},     {0x0A, 0x0D},       {0xA0, 0x17F},      {0x400, 0x4FF},
        {0x4E00, 0x9FFF}, {0xE000, 0xFFFF}, {0x1F300, 0x1FAFF}, {0x10000, 0x10FFFF}};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(kRanges) - 1);
    std::string text;
    while (text.size() < n) {
        const auto& [low, high] = kRanges[pick(rng)];
        appendUtf8CodePoint(text, std::uniform_int_distribution<std::uint32_t>(low, high)(rng));
    }
    Bytes out;
    for (const char c : text) {
        const std::uint32_t r = rng();
        if (corruptOneIn == 0 || r % corruptOneIn != 0)
            out.push_back(static_cast<std::uint8_t>(c));
        else if (r >> 24 != 0)
            out.push_back(static_cast<std::uint8_t>(r >> 24));
    }
    return out;
}

}  // namespace runemeter::testing
