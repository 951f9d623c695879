// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Counting the UTF-16 code units of UTF-8 text without writing the decoded text anywhere.

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace runemeter {

/// Four tables of 32-bit counts by code unit, incremented in turn, so that a long run of one
/// character does not wait on its own previous increment.
using LaneTables = std::array<std::array<std::uint32_t, 65536>, 4>;

/// Adds n code units (or bytes, counted as the units of the same value) to the lanes in turn.
template <typename Unit>
inline void addToLanes(const Unit* p, std::size_t n, LaneTables& lanes) {
    auto& lane0 = lanes[0];
    auto& lane1 = lanes[1];
    auto& lane2 = lanes[2];
    auto& lane3 = lanes[3];
    const std::size_t whole = n - n % 4;
    for (std::size_t i = 0; i < whole; i += 4) {
        ++lane0[p[i]];
        ++lane1[p[i + 1]];
        ++lane2[p[i + 2]];
        ++lane3[p[i + 3]];
    }
    switch (n % 4) {
        case 3:
            ++lane2[p[whole + 2]];
            [[fallthrough]];
        case 2:
            ++lane1[p[whole + 1]];
            [[fallthrough]];
        case 1:
            ++lane0[p[whole]];
            break;
        default:
            break;
    }
}

/// The ways countUtf8Units can work; Best is the fastest this processor offers.
enum class Utf8Counting { Best, Scalar, Avx2, Avx512 };

/// True when this build, on this processor, can count that way.
[[nodiscard]] bool utf8CountingAvailable(Utf8Counting way);

/// Adds to lanes the code units that the bytes decode to, exactly as decodeUtf8 decodes them
/// (one U+FFFD per maximal invalid subpart). The bytes hold no zero byte, begin where a
/// character begins and end where one ends or where the text ends. Entry 0 of the lanes also
/// collects one count per byte that begins no unit: callers throw it away (a counted text never
/// holds U+0000). Each lane entry grows by at most bytes.size() + 32.
void countUtf8Units(std::span<const std::byte> bytes, LaneTables& lanes,
                    Utf8Counting way = Utf8Counting::Best);

/// Decodes well-formed UTF-8 from p a block of 64 bytes at a time where this processor can
/// (AVX-512 VBMI2), exactly as decodeUtf8 would; stops at a character start before the first
/// block that is not well-formed, before limit, or 66 bytes before end (the bytes up to end are
/// read), and returns where (p itself when it cannot). out moves past the units written; up to
/// limit - p units of room past out are written to. p begins a character.
[[nodiscard]] const std::uint8_t* decodeUtf8Blocks(const std::uint8_t* p, const std::uint8_t* limit,
                                                   const std::uint8_t* end, char16_t*& out);

/// Where the bytes F0 and above are (the leads of four-byte sequences, and bytes that are no
/// lead at all): one bit per byte of the up to 64 bytes from offset.
struct LeadBits {
    std::uint64_t bits = 0;
    std::uint32_t offset = 0;
};

/// Counts as countUtf8Units does and, in the same pass, notes where the bytes F0 and above are
/// (bytes less than 4 GiB): the first entries of leads, each with at least one bit, in order of
/// offset; returns how many. leads is only ever grown, so that a caller that keeps it pays for
/// its room once.
[[nodiscard]] std::size_t countUtf8UnitsNotingLeads(std::span<const std::byte> bytes,
                                                    LaneTables& lanes, std::vector<LeadBits>& leads,
                                                    Utf8Counting way = Utf8Counting::Best);

/// Number of CR bytes immediately followed by an LF byte.
[[nodiscard]] std::int64_t countCrLfBytes(std::span<const std::byte> bytes);

}  // namespace runemeter
