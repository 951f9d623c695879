// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "profile/large_buffer.h"
#include "profile/utf8_count.h"
#include "suite/utf8_one.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace runemeter {

using utf8::decodeUtf8One;
using utf8::isContinuation;
using utf8::kReplacement;

namespace {

constexpr std::size_t kDecodeBlock = std::size_t{1} << 16;

// Windows-1252 bytes 80..9F; the five undefined bytes stay at their own code points.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80..87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88..8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90..97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98..9F
};

constexpr std::array<char16_t, 256> makeCp1252Table() {
    std::array<char16_t, 256> table{};
    for (unsigned b = 0; b < 256; ++b) {
        table[b] = static_cast<char16_t>(b);
    }
    for (unsigned b = 0; b < 32; ++b) {
        table[0x80 + b] = kCp1252High[b];
    }
    return table;
}

constexpr std::array<char16_t, 256> kCp1252 = makeCp1252Table();

const std::uint8_t* bytePointer(std::span<const std::byte> bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

// Length up to the first zero byte.
std::size_t lengthToZeroByte(std::span<const std::byte> bytes) {
    if (bytes.empty()) {
        return 0;
    }
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    return zero == nullptr
               ? bytes.size()
               : static_cast<std::size_t>(static_cast<const std::byte*>(zero) - bytes.data());
}

// Number of whole 16-bit units before the first zero unit. A unit is zero when both of its
// bytes are, whatever the byte order, so one search serves both.
std::size_t unitsToZeroUnit(std::span<const std::byte> bytes) {
    const std::size_t units = bytes.size() / 2;
    const std::uint8_t* p = bytePointer(bytes);
    std::size_t i = 0;
    // Four units at a time: a lane is flagged only if some lane at or below it is zero, so a
    // clean word proves there is no zero unit in it.
    constexpr std::uint64_t kOnes = 0x0001000100010001ULL;
    constexpr std::uint64_t kHighs = 0x8000800080008000ULL;
    for (; i + 4 <= units; i += 4) {
        std::uint64_t word;
        std::memcpy(&word, p + 2 * i, sizeof word);
        if (((word - kOnes) & ~word & kHighs) != 0) {
            break;
        }
    }
    for (; i < units; ++i) {
        if (p[2 * i] == 0 && p[2 * i + 1] == 0) {
            return i;
        }
    }
    return units;
}

// Makes room for n more units after the text already in out. An empty text is dropped before
// a larger buffer is taken, so two large buffers are never held at once; a text that is
// appended to (read piece by piece) keeps its units and grows at least twofold.
void reserveOutput(std::u16string& out, std::size_t n) {
    const std::size_t size = out.size();
    if (out.capacity() - size >= n) {
        return;
    }
    if (size == 0) {
        out.clear();
        out.shrink_to_fit();
        out.reserve(n);
    } else {
        if (n > out.max_size() - size) {
            throw std::length_error("text too long");
        }
        out.reserve(std::max(size + n, std::min(out.max_size(), 2 * out.capacity())));
    }
    adviseLargeBuffer(out.data(), out.capacity() * sizeof(char16_t));
}

// Zero units to widen the output with: copying them is a memcpy, where resize() fills unit by
// unit.
constexpr std::size_t kZeroUnits = kDecodeBlock + 16;
const std::array<char16_t, kZeroUnits> kZeros{};

// Makes out hold at least n units (reserved before), zero-filling only what is new.
char16_t* growOutput(std::u16string& out, std::size_t n) {
    while (out.size() < n) {
        out.append(kZeros.data(), std::min(n - out.size(), kZeroUnits));
    }
    return out.data();
}

// Appends a text of exactly n units, block by block so that each block's zero fill is still
// in cache when it is overwritten. decodeUnits(i, end, o) writes units i..end-1 of o, which
// starts after the text already in out.
template <typename DecodeUnits>
void decodeFixedWidth(std::u16string& out, std::size_t n, DecodeUnits decodeUnits) {
    const std::size_t start = out.size();
    reserveOutput(out, n);
    for (std::size_t i = 0; i < n;) {
        const std::size_t end = i + std::min(n - i, kDecodeBlock);
        decodeUnits(i, end, growOutput(out, start + end) + start);
        i = end;
    }
    out.resize(start + n);
}

// Widens 16 bytes to 16 units if none has its high bit set (plain ASCII); false otherwise,
// and then nothing is written.
inline bool widenAscii16(const std::uint8_t* p, char16_t* o) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (_mm_movemask_epi8(bytes) != 0) {
        return false;
    }
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(bytes, zero));
    return true;
#else
    constexpr std::uint64_t kHighBits8 = 0x8080808080808080ULL;
    std::uint64_t a;
    std::uint64_t b;
    std::memcpy(&a, p, 8);
    std::memcpy(&b, p + 8, 8);
    if (((a | b) & kHighBits8) != 0) {
        return false;
    }
    for (int k = 0; k < 16; ++k) {
        o[k] = p[k];
    }
    return true;
#endif
}

// Widens 16 Windows-1252 bytes if none lies in 80..9F, the only bytes whose code point differs
// from the byte value; false otherwise, and then nothing is written.
inline bool widenLatin16(const std::uint8_t* p, char16_t* o) {
#if defined(__SSE2__)
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i c1 = _mm_cmpeq_epi8(_mm_and_si128(bytes, _mm_set1_epi8(static_cast<char>(0xE0))),
                                      _mm_set1_epi8(static_cast<char>(0x80)));
    if (_mm_movemask_epi8(c1) != 0) {
        return false;
    }
    const __m128i zero = _mm_setzero_si128();
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_unpacklo_epi8(bytes, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(o + 8), _mm_unpackhi_epi8(bytes, zero));
    return true;
#else
    for (int k = 0; k < 16; ++k) {
        if ((p[k] & 0xE0) == 0x80) {
            return false;
        }
    }
    for (int k = 0; k < 16; ++k) {
        o[k] = p[k];
    }
    return true;
#endif
}

}  // namespace

TextEncoding detectEncoding(std::span<const std::byte> data) {
    const std::uint8_t* p = bytePointer(data);
    if (data.size() >= 3 && p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF) {
        return TextEncoding::Utf8;
    }
    if (data.size() >= 2 && p[0] == 0xFF && p[1] == 0xFE) {
        return TextEncoding::Utf16Le;
    }
    if (data.size() >= 2 && p[0] == 0xFE && p[1] == 0xFF) {
        return TextEncoding::Utf16Be;
    }
    return TextEncoding::Ansi;
}

std::span<const std::byte> textAfterSignature(std::span<const std::byte> data,
                                              TextEncoding encoding) {
    std::size_t skip = 0;
    switch (encoding) {
        case TextEncoding::Utf8:
            skip = 3;
            break;
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            skip = 2;
            break;
        case TextEncoding::Ansi:
            skip = 0;
            break;
    }
    return skip >= data.size() ? data.subspan(data.size()) : data.subspan(skip);
}

namespace {

void appendUtf8(std::span<const std::byte> bytes, std::u16string& out) {
    const std::size_t length = lengthToZeroByte(bytes);
    // Every byte yields at most one unit (four bytes give a surrogate pair), so length units
    // always suffice. The text is made visible block by block: the zero fill of a block stays
    // in cache until the decoder overwrites it, and pages past the real end are never touched.
    reserveOutput(out, length);
    const std::uint8_t* const begin = bytePointer(bytes);
    const std::uint8_t* p = begin;
    const std::uint8_t* const end = p + length;
    std::size_t written = out.size();

    while (p < end) {
        const std::size_t left = static_cast<std::size_t>(end - p);
        const std::uint8_t* const blockEnd = p + std::min(left, kDecodeBlock);
        // The last character of a block may run three bytes past its end.
        char16_t* const blockOut =
            growOutput(out, written + std::min(left, kDecodeBlock + 3)) + written;
        char16_t* o = blockOut;

        while (blockEnd - p >= 16) {
            if (blockEnd - p >= 64) {
                // Whole blocks of well-formed text where the processor decodes them at once.
                const std::uint8_t* const q = decodeUtf8Blocks(p, blockEnd, end, o);
                if (q != p) {
                    p = q;
                    continue;
                }
            }
            if (widenAscii16(p, o)) {
                p += 16;
                o += 16;
                continue;
            }
            // Not all ASCII: decode these 16 bytes character by character before trying
            // again, so non-Latin text does not pay for a failed test on every character.
            const std::uint8_t* const stop = p + 16;
            while (p < stop) {
                p = decodeUtf8One(p, end, o);
            }
        }
        while (p < blockEnd) {
            p = decodeUtf8One(p, end, o);
        }
        written += static_cast<std::size_t>(o - blockOut);
    }
    out.resize(written);
}

void appendWindows1252(std::span<const std::byte> bytes, std::u16string& out) {
    const std::uint8_t* p = bytePointer(bytes);
    decodeFixedWidth(out, lengthToZeroByte(bytes),
                     [p](std::size_t i, std::size_t end, char16_t* o) {
                         while (i + 16 <= end) {
                             if (widenLatin16(p + i, o + i)) {
                                 i += 16;
                                 continue;
                             }
                             for (const std::size_t stop = i + 16; i < stop; ++i) {
                                 o[i] = kCp1252[p[i]];
                             }
                         }
                         for (; i < end; ++i) {
                             o[i] = kCp1252[p[i]];
                         }
                     });
}

void appendUtf16Le(std::span<const std::byte> bytes, std::u16string& out) {
    const std::uint8_t* p = bytePointer(bytes);
    decodeFixedWidth(out, unitsToZeroUnit(bytes), [p](std::size_t i, std::size_t end, char16_t* o) {
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(o + i, p + 2 * i, (end - i) * sizeof(char16_t));
        } else {
            for (; i < end; ++i) {
                o[i] = static_cast<char16_t>(p[2 * i] | (p[2 * i + 1] << 8));
            }
        }
    });
}

void appendUtf16Be(std::span<const std::byte> bytes, std::u16string& out) {
    const std::uint8_t* p = bytePointer(bytes);
    decodeFixedWidth(out, unitsToZeroUnit(bytes), [p](std::size_t i, std::size_t end, char16_t* o) {
        for (; i < end; ++i) {
            o[i] = static_cast<char16_t>((p[2 * i] << 8) | p[2 * i + 1]);
        }
    });
}

}  // namespace

void decodeUtf8(std::span<const std::byte> bytes, std::u16string& out) {
    out.clear();
    appendUtf8(bytes, out);
}

void decodeWindows1252(std::span<const std::byte> bytes, std::u16string& out) {
    out.clear();
    appendWindows1252(bytes, out);
}

void decodeUtf16Le(std::span<const std::byte> bytes, std::u16string& out) {
    out.clear();
    appendUtf16Le(bytes, out);
}

void decodeUtf16Be(std::span<const std::byte> bytes, std::u16string& out) {
    out.clear();
    appendUtf16Be(bytes, out);
}

void appendDecoded(std::span<const std::byte> bytes, TextEncoding encoding, std::u16string& out) {
    switch (encoding) {
        case TextEncoding::Utf8:
            appendUtf8(bytes, out);
            return;
        case TextEncoding::Utf16Le:
            appendUtf16Le(bytes, out);
            return;
        case TextEncoding::Utf16Be:
            appendUtf16Be(bytes, out);
            return;
        case TextEncoding::Ansi:
            appendWindows1252(bytes, out);
            return;
    }
}

void decodeText(std::span<const std::byte> data, TextEncoding encoding, std::u16string& out) {
    out.clear();
    appendDecoded(textAfterSignature(data, encoding), encoding, out);
}

std::size_t bytesBeforeZero(std::span<const std::byte> bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be) {
        const std::size_t units = unitsToZeroUnit(bytes);
        return units < bytes.size() / 2 ? 2 * units : bytes.size();
    }
    return lengthToZeroByte(bytes);
}

std::size_t incompleteTail(std::span<const std::byte> bytes, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            return bytes.size() % 2;
        case TextEncoding::Ansi:
            return 0;
        case TextEncoding::Utf8:
            break;
    }
    // A sequence is at most four bytes long, so only a lead among the last three can still be
    // waiting for bytes. The cut falls before a byte that is no continuation byte, where the
    // decoder never looks back, so both sides decode as they would together.
    const std::uint8_t* p = bytePointer(bytes);
    const std::size_t n = bytes.size();
    for (std::size_t back = 1; back <= std::min<std::size_t>(3, n); ++back) {
        const std::uint8_t b = p[n - back];
        if (!isContinuation(b)) {
            return b >= 0xC0 ? back : 0;
        }
    }
    return 0;
}

}  // namespace runemeter
