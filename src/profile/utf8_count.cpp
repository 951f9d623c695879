// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/utf8_count.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "suite/utf8_one.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define RUNEMETER_HAVE_AVX2_KERNEL 1
#include <immintrin.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace runemeter {

namespace {

using utf8::decodeUtf8One;

const std::uint8_t* bytePointer(std::span<const std::byte> bytes) {
    return reinterpret_cast<const std::uint8_t*>(bytes.data());
}

// Decodes and counts from p one character at a time until stop is reached (the last character
// may run past it, never past end); every unit goes to lane 0. Returns where it stopped: a
// character start.
const std::uint8_t* countCharacters(const std::uint8_t* p, const std::uint8_t* stop,
                                    const std::uint8_t* end, LaneTables& lanes) {
    auto& lane = lanes[0];
    char16_t units[2];
    while (p < stop) {
        char16_t* o = units;
        p = decodeUtf8One(p, end, o);
        for (const char16_t* u = units; u < o; ++u) {
            ++lane[*u];
        }
    }
    return p;
}

void countScalar(const std::uint8_t* p, const std::uint8_t* end, LaneTables& lanes) {
    countCharacters(p, end, end, lanes);
}

// Where the lead notes go: the text's first byte, and the next entry to write.
struct LeadNotes {
    const std::uint8_t* base;
    LeadBits* at;
};

// Notes the bits of the bytes F0 and above from p (the entry is written whatever they are, and
// kept when there is one: no branch on the text).
inline void noteLeadBits(LeadNotes& notes, const std::uint8_t* p, std::uint64_t bits) {
    *notes.at = LeadBits{bits, static_cast<std::uint32_t>(p - notes.base)};
    notes.at += bits != 0 ? 1 : 0;
}

// The bytes F0 and above from p to end, 64 at a time.
void noteLeads(const std::uint8_t* p, const std::uint8_t* end, LeadNotes& notes) {
    while (p < end) {
        const std::size_t n = std::min<std::size_t>(64, static_cast<std::size_t>(end - p));
        std::uint64_t bits = 0;
        std::size_t i = 0;
#if defined(__SSE2__)
        const __m128i f0 = _mm_set1_epi8(static_cast<char>(0xF0));
        for (; i + 16 <= n; i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            bits |= std::uint64_t{static_cast<unsigned>(
                        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, f0), v)))}
                    << i;
        }
#endif
        for (; i < n; ++i) {
            bits |= std::uint64_t{p[i] >= 0xF0 ? 1u : 0u} << i;
        }
        noteLeadBits(notes, p, bits);
        p += n;
    }
}

#if RUNEMETER_HAVE_AVX2_KERNEL

#define RUNEMETER_AVX2 __attribute__((target("avx2")))

// 32 bytes at a time. For every byte the block works out the unit a character starting there
// would give (one to three bytes: the character; four: its high surrogate, with the low one
// given to the byte after the lead), checks with masks that the block is well-formed UTF-8,
// and increments the unit of every byte that starts a unit, or entry 0 for the others. A block
// with anything ill-formed, or a lead above F4, is decoded one character at a time instead.
// A character that runs past the block is left for the next block.

RUNEMETER_AVX2 inline __m256i bytesOf(int value) {
    return _mm256_set1_epi8(static_cast<char>(value));
}

// The bytes of v moved K places up (towards the end), zeros coming in at the start.
template <int K>
RUNEMETER_AVX2 inline __m256i shiftUp(__m256i v) {
    const __m256i lowHalfUp = _mm256_permute2x128_si256(v, v, 0x08);
    return _mm256_alignr_epi8(v, lowHalfUp, 16 - K);
}

// Sign-extends the 16 bytes of half h (0 or 1) of v to 16-bit lanes.
template <int H>
RUNEMETER_AVX2 inline __m256i wideMask(__m256i v) {
    return _mm256_cvtepi8_epi16(_mm256_extracti128_si256(v, H));
}

template <int H>
RUNEMETER_AVX2 inline __m256i wideBytes(__m256i v) {
    return _mm256_cvtepu8_epi16(_mm256_extracti128_si256(v, H));
}

struct BlockMasks {
    __m256i b0, b1, b2;  // the bytes at each position and the one and two after it
    __m256i lead;        // C2..F4: begins a character of two or more bytes
    __m256i lead34;      // E0..F4
    __m256i lead4;       // F0..F4
    __m256i afterLead4;  // the byte after a four-byte lead: it carries the low surrogate
    __m256i starts;      // all ones where a unit starts
};

// The units of the 16 positions of half H, zero where no unit starts.
template <int H>
RUNEMETER_AVX2 inline __m256i unitsOfHalf(const BlockMasks& m) {
    const __m256i x0 = wideBytes<H>(m.b0);
    const __m256i x1 = wideBytes<H>(m.b1);
    const __m256i x2 = wideBytes<H>(m.b2);
    const __m256i low6 = _mm256_set1_epi16(0x3F);
    const __m256i c1 = _mm256_and_si256(x1, low6);
    const __m256i c2 = _mm256_and_si256(x2, low6);
    const __m256i two =
        _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(x0, _mm256_set1_epi16(0x1F)), 6), c1);
    const __m256i three =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(x0, 12), _mm256_slli_epi16(c1, 6)), c2);
    // High surrogate: D800 + ((code point - 10000) >> 10) = D7C0 + (code point >> 10).
    const __m256i high = _mm256_add_epi16(
        _mm256_set1_epi16(static_cast<short>(0xD7C0)),
        _mm256_or_si256(
            _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(x0, _mm256_set1_epi16(7)), 8),
                            _mm256_slli_epi16(c1, 2)),
            _mm256_srli_epi16(c2, 4)));
    // At the byte after the lead, the next two bytes are the last two of the character.
    const __m256i lowSurrogate = _mm256_or_si256(
        _mm256_set1_epi16(static_cast<short>(0xDC00)),
        _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(c1, _mm256_set1_epi16(0xF)), 6), c2));
    __m256i unit = _mm256_blendv_epi8(x0, two, wideMask<H>(m.lead));
    unit = _mm256_blendv_epi8(unit, three, wideMask<H>(m.lead34));
    unit = _mm256_blendv_epi8(unit, high, wideMask<H>(m.lead4));
    unit = _mm256_blendv_epi8(unit, lowSurrogate, wideMask<H>(m.afterLead4));
    return _mm256_and_si256(unit, wideMask<H>(m.starts));
}

RUNEMETER_AVX2 void countAvx2(const std::uint8_t* p, const std::uint8_t* end, LaneTables& lanes) {
    auto& lane0 = lanes[0];
    const __m256i zero = _mm256_setzero_si256();
    const __m256i positions =
        _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                         21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
    // The block reads two bytes past its 32.
    while (end - p >= 34) {
        const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        if (_mm256_movemask_epi8(b0) == 0) {
            // Plain ASCII; a block of one repeated byte is one addition.
            if (static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(
                    b0, _mm256_set1_epi8(static_cast<char>(p[0]))))) == 0xFFFFFFFFu) {
                lane0[p[0]] += 32;
            } else {
                addToLanes(p, 32, lanes);
            }
            p += 32;
            continue;
        }
        BlockMasks m;
        m.b0 = b0;
        m.b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        m.b2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
        // Signed compares: bytes 80..FF are negative.
        const __m256i high = _mm256_cmpgt_epi8(zero, b0);
        const __m256i continuation = _mm256_cmpgt_epi8(bytesOf(0xC0), b0);
        m.lead = _mm256_and_si256(_mm256_cmpgt_epi8(b0, bytesOf(0xC1)), high);
        m.lead34 = _mm256_and_si256(_mm256_cmpgt_epi8(b0, bytesOf(0xDF)), high);
        m.lead4 = _mm256_and_si256(_mm256_cmpgt_epi8(b0, bytesOf(0xEF)), high);
        const unsigned leadBits = static_cast<unsigned>(_mm256_movemask_epi8(m.lead));
        const unsigned lead34Bits = static_cast<unsigned>(_mm256_movemask_epi8(m.lead34));
        const unsigned lead4Bits = static_cast<unsigned>(_mm256_movemask_epi8(m.lead4));
        // The block ends before a character that does not end in it.
        const int cut = (leadBits >> 31) != 0           ? 31
                        : ((lead34Bits >> 30) & 1) != 0 ? 30
                        : ((lead4Bits >> 29) & 1) != 0  ? 29
                                                        : 32;
        // Checked up to the cut and at it: a character before the cut that asks for the lead
        // at the cut as a continuation byte is ill-formed.
        const std::uint64_t checked = (std::uint64_t{2} << cut) - 1;

        // Well-formed: C0, C1 and F5..FF never occur; a byte is a continuation exactly when a
        // lead before it asks for one; E0 A0.., ED ..9F, F0 90.., F4 ..8F.
        const __m256i needed = _mm256_or_si256(
            _mm256_or_si256(shiftUp<1>(m.lead), shiftUp<2>(m.lead34)), shiftUp<3>(m.lead4));
        const __m256i badLead =
            _mm256_or_si256(_mm256_and_si256(_mm256_cmpgt_epi8(b0, bytesOf(0xF4)), high),
                            _mm256_and_si256(_mm256_cmpgt_epi8(b0, bytesOf(0xBF)),
                                             _mm256_cmpgt_epi8(bytesOf(0xC2), b0)));
        const __m256i b1 = m.b1;
        const __m256i badSecond = _mm256_or_si256(
            _mm256_or_si256(_mm256_and_si256(_mm256_cmpeq_epi8(b0, bytesOf(0xE0)),
                                             _mm256_cmpgt_epi8(bytesOf(0xA0), b1)),
                            _mm256_and_si256(_mm256_cmpeq_epi8(b0, bytesOf(0xED)),
                                             _mm256_cmpgt_epi8(b1, bytesOf(0x9F)))),
            _mm256_or_si256(_mm256_and_si256(_mm256_cmpeq_epi8(b0, bytesOf(0xF0)),
                                             _mm256_cmpgt_epi8(bytesOf(0x90), b1)),
                            _mm256_and_si256(_mm256_cmpeq_epi8(b0, bytesOf(0xF4)),
                                             _mm256_cmpgt_epi8(b1, bytesOf(0x8F)))));
        const __m256i bad = _mm256_or_si256(
            _mm256_or_si256(_mm256_xor_si256(continuation, needed), badLead), badSecond);
        if ((static_cast<unsigned>(_mm256_movemask_epi8(bad)) & checked) != 0) {
            // Ill-formed somewhere: these 32 bytes one character at a time. p stays at a
            // character start, so the next block begins on one too.
            p = countCharacters(p, p + 32, end, lanes);
            continue;
        }
        m.afterLead4 = shiftUp<1>(m.lead4);
        const __m256i beyondCut = _mm256_cmpgt_epi8(positions, bytesOf(cut - 1));
        m.starts = _mm256_andnot_si256(
            beyondCut, _mm256_or_si256(m.afterLead4, _mm256_xor_si256(continuation, bytesOf(-1))));

        alignas(32) std::uint16_t units[32];
        _mm256_store_si256(reinterpret_cast<__m256i*>(units), unitsOfHalf<0>(m));
        _mm256_store_si256(reinterpret_cast<__m256i*>(units + 16), unitsOfHalf<1>(m));
        addToLanes(units, 32, lanes);
        p += cut;
    }
    countScalar(p, end, lanes);
}

#undef RUNEMETER_AVX2

#define RUNEMETER_AVX512 __attribute__((target("avx512f,avx512bw")))

// The same as countAvx2, 64 bytes at a time, with the masks in mask registers.
RUNEMETER_AVX512 inline __m512i bytes(int value) {
    return _mm512_set1_epi8(static_cast<char>(value));
}

// The 32 bytes at p widened to 16-bit lanes.
RUNEMETER_AVX512 inline __m512i wide512(const std::uint8_t* p) {
    return _mm512_cvtepu8_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}

template <int H>
RUNEMETER_AVX512 inline __mmask32 half512(std::uint64_t bits) {
    return static_cast<__mmask32>(bits >> (32 * H));
}

// What a block of 64 bytes holds, one bit per byte: the lead bytes of sequences of two or
// more, three or more and four bytes, the second unit of a four-byte sequence, and the bytes
// that start a unit before cut (where the last whole sequence of the block ends).
struct Block512 {
    std::uint64_t lead = 0;
    std::uint64_t lead34 = 0;
    std::uint64_t lead4 = 0;
    std::uint64_t afterLead4 = 0;
    std::uint64_t starts = 0;
    int cut = 64;
    bool wellFormed = false;
};

// Classifies the block b0 at p (high: its bytes of 0x80 and above); reads p[64] too.
RUNEMETER_AVX512 __attribute__((always_inline)) inline Block512 classify512(const std::uint8_t* p,
                                                                            __m512i b0,
                                                                            std::uint64_t high) {
    Block512 k;
    const __m512i b1 = _mm512_loadu_si512(p + 1);
    const std::uint64_t continuation = high & _mm512_cmplt_epu8_mask(b0, bytes(0xC0));
    k.lead = _mm512_cmpge_epu8_mask(b0, bytes(0xC2));
    k.lead34 = _mm512_cmpge_epu8_mask(b0, bytes(0xE0));
    k.lead4 = _mm512_cmpge_epu8_mask(b0, bytes(0xF0));
    k.cut = (k.lead >> 63) != 0           ? 63
            : ((k.lead34 >> 62) & 1) != 0 ? 62
            : ((k.lead4 >> 61) & 1) != 0  ? 61
                                          : 64;
    const std::uint64_t checked = k.cut >= 63 ? ~std::uint64_t{0} : (std::uint64_t{2} << k.cut) - 1;
    const std::uint64_t needed = (k.lead << 1) | (k.lead34 << 2) | (k.lead4 << 3);
    const std::uint64_t badLead =
        _mm512_cmpge_epu8_mask(b0, bytes(0xF5)) |
        (_mm512_cmpge_epu8_mask(b0, bytes(0xC0)) & _mm512_cmplt_epu8_mask(b0, bytes(0xC2)));
    const std::uint64_t badSecond =
        (_mm512_cmpeq_epi8_mask(b0, bytes(0xE0)) & _mm512_cmplt_epu8_mask(b1, bytes(0xA0))) |
        (_mm512_cmpeq_epi8_mask(b0, bytes(0xED)) & _mm512_cmpgt_epu8_mask(b1, bytes(0x9F))) |
        (_mm512_cmpeq_epi8_mask(b0, bytes(0xF0)) & _mm512_cmplt_epu8_mask(b1, bytes(0x90))) |
        (_mm512_cmpeq_epi8_mask(b0, bytes(0xF4)) & _mm512_cmpgt_epu8_mask(b1, bytes(0x8F)));
    k.wellFormed = (((continuation ^ needed) | badLead | badSecond) & checked) == 0;
    k.afterLead4 = k.lead4 << 1;
    const std::uint64_t beforeCut =
        k.cut == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << k.cut) - 1;
    k.starts = (~continuation | k.afterLead4) & beforeCut;
    return k;
}

template <int H>
RUNEMETER_AVX512 inline __m512i unitsOfHalf512(const std::uint8_t* p, const Block512& k) {
    const std::uint8_t* const half = p + 32 * H;
    const __m512i x0 = wide512(half);
    const __m512i low6 = _mm512_set1_epi16(0x3F);
    const __m512i c1 = _mm512_and_si512(wide512(half + 1), low6);
    const __m512i c2 = _mm512_and_si512(wide512(half + 2), low6);
    const __m512i two =
        _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(x0, _mm512_set1_epi16(0x1F)), 6), c1);
    const __m512i three =
        _mm512_or_si512(_mm512_or_si512(_mm512_slli_epi16(x0, 12), _mm512_slli_epi16(c1, 6)), c2);
    const __m512i high = _mm512_add_epi16(
        _mm512_set1_epi16(static_cast<short>(0xD7C0)),
        _mm512_or_si512(
            _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(x0, _mm512_set1_epi16(7)), 8),
                            _mm512_slli_epi16(c1, 2)),
            _mm512_srli_epi16(c2, 4)));
    const __m512i lowSurrogate = _mm512_or_si512(
        _mm512_set1_epi16(static_cast<short>(0xDC00)),
        _mm512_or_si512(_mm512_slli_epi16(_mm512_and_si512(c1, _mm512_set1_epi16(0xF)), 6), c2));
    __m512i unit = _mm512_mask_blend_epi16(half512<H>(k.lead), x0, two);
    unit = _mm512_mask_blend_epi16(half512<H>(k.lead34), unit, three);
    unit = _mm512_mask_blend_epi16(half512<H>(k.lead4), unit, high);
    unit = _mm512_mask_blend_epi16(half512<H>(k.afterLead4), unit, lowSurrogate);
    return _mm512_maskz_mov_epi16(half512<H>(k.starts), unit);
}

// With Note, also notes the bytes F0 and above of every block it counts, and of the rest.
template <bool Note>
RUNEMETER_AVX512 void countAvx512(const std::uint8_t* p, const std::uint8_t* end, LaneTables& lanes,
                                  LeadNotes* notes) {
    auto& lane0 = lanes[0];
    // The block reads two bytes past its 64.
    while (end - p >= 66) {
        const __m512i b0 = _mm512_loadu_si512(p);
        const std::uint64_t high = _mm512_movepi8_mask(b0);
        if (high == 0) {
            if (_mm512_cmpeq_epi8_mask(b0, bytes(p[0])) == ~std::uint64_t{0}) {
                lane0[p[0]] += 64;
            } else {
                addToLanes(p, 64, lanes);
            }
            p += 64;
            continue;
        }
        const Block512 k = classify512(p, b0, high);
        if (!k.wellFormed) {
            if constexpr (Note) {
                // The characters end at or past the block's end, and only continuation bytes
                // are past it.
                noteLeadBits(*notes, p, _mm512_cmpge_epu8_mask(b0, bytes(0xF0)));
            }
            p = countCharacters(p, p + 64, end, lanes);
            continue;
        }
        if constexpr (Note) {
            noteLeadBits(*notes, p, k.lead4 & k.starts);
        }

        alignas(64) std::uint16_t units[64];
        _mm512_store_si512(units, unitsOfHalf512<0>(p, k));
        _mm512_store_si512(units + 32, unitsOfHalf512<1>(p, k));
        addToLanes(units, 64, lanes);
        p += k.cut;
    }
    // What is left is shorter than one of these blocks: the narrower kernel takes it.
    if constexpr (Note) {
        noteLeads(p, end, *notes);
    }
    countAvx2(p, end, lanes);
}

#define RUNEMETER_VBMI2 __attribute__((target("avx512f,avx512bw,avx512vbmi2")))

// The same blocks as countAvx512, the units of each written out in order (the positions that
// start no unit squeezed out) instead of counted. Stops at the first block that is not
// well-formed (left to the caller, one character at a time), or where fewer than 64 bytes are
// left before limit or 66 before end. Writes at most 64 units past o per block and never more
// units than bytes read.
RUNEMETER_VBMI2 const std::uint8_t* decodeAvx512(const std::uint8_t* p, const std::uint8_t* limit,
                                                 const std::uint8_t* end, char16_t*& out) {
    char16_t* o = out;
    while (limit - p >= 64 && end - p >= 66) {
        const __m512i b0 = _mm512_loadu_si512(p);
        const std::uint64_t high = _mm512_movepi8_mask(b0);
        if (high == 0) {
            _mm512_storeu_si512(o, wide512(p));
            _mm512_storeu_si512(o + 32, wide512(p + 32));
            p += 64;
            o += 64;
            continue;
        }
        const Block512 k = classify512(p, b0, high);
        if (!k.wellFormed) {
            break;
        }
        // Squeezed in registers and stored whole: a compressing store is slow on some cores.
        const __m512i low =
            _mm512_maskz_compress_epi16(half512<0>(k.starts), unitsOfHalf512<0>(p, k));
        const __m512i upper =
            _mm512_maskz_compress_epi16(half512<1>(k.starts), unitsOfHalf512<1>(p, k));
        _mm512_storeu_si512(o, low);
        o += __builtin_popcount(static_cast<std::uint32_t>(k.starts));
        _mm512_storeu_si512(o, upper);
        o += __builtin_popcount(static_cast<std::uint32_t>(k.starts >> 32));
        p += k.cut;
    }
    out = o;
    return p;
}

#undef RUNEMETER_VBMI2

#undef RUNEMETER_AVX512

bool cpuHasAvx2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

bool cpuHasVbmi2() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
               __builtin_cpu_supports("avx512vbmi2") != 0;
    }();
    return has;
}

bool cpuHasAvx512() {
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0;
    }();
    return has;
}

#endif

}  // namespace

bool utf8CountingAvailable(Utf8Counting way) {
    switch (way) {
        case Utf8Counting::Best:
        case Utf8Counting::Scalar:
            return true;
        case Utf8Counting::Avx2:
#if RUNEMETER_HAVE_AVX2_KERNEL
            return cpuHasAvx2();
#else
            return false;
#endif
        case Utf8Counting::Avx512:
#if RUNEMETER_HAVE_AVX2_KERNEL
            return cpuHasAvx512() && cpuHasAvx2();
#else
            return false;
#endif
    }
    return false;
}

void countUtf8Units(std::span<const std::byte> bytes, LaneTables& lanes, Utf8Counting way) {
    const std::uint8_t* const p = bytePointer(bytes);
    const std::uint8_t* const end = p + bytes.size();
#if RUNEMETER_HAVE_AVX2_KERNEL
    if ((way == Utf8Counting::Best || way == Utf8Counting::Avx512) && cpuHasAvx512() &&
        cpuHasAvx2()) {
        countAvx512<false>(p, end, lanes, nullptr);
        return;
    }
    if ((way == Utf8Counting::Best || way == Utf8Counting::Avx2) && cpuHasAvx2()) {
        countAvx2(p, end, lanes);
        return;
    }
#endif
    (void)way;
    countScalar(p, end, lanes);
}

const std::uint8_t* decodeUtf8Blocks(const std::uint8_t* p, const std::uint8_t* limit,
                                     const std::uint8_t* end, char16_t*& out) {
#if RUNEMETER_HAVE_AVX2_KERNEL
    if (cpuHasVbmi2()) {
        return decodeAvx512(p, limit, end, out);
    }
#endif
    (void)limit;
    (void)end;
    (void)out;
    return p;
}

std::size_t countUtf8UnitsNotingLeads(std::span<const std::byte> bytes, LaneTables& lanes,
                                      std::vector<LeadBits>& leads, Utf8Counting way) {
    // A block moves at least 61 bytes on; a stretch below adds one part block.
    const std::size_t room = bytes.size() / 32 + 8;
    if (leads.size() < room) {
        leads.resize(room);
    }
    const std::uint8_t* const p = bytePointer(bytes);
    const std::uint8_t* const end = p + bytes.size();
    LeadNotes notes{p, leads.data()};
#if RUNEMETER_HAVE_AVX2_KERNEL
    if ((way == Utf8Counting::Best || way == Utf8Counting::Avx512) && cpuHasAvx512() &&
        cpuHasAvx2()) {
        countAvx512<true>(p, end, lanes, &notes);
        return static_cast<std::size_t>(notes.at - leads.data());
    }
#endif
    // The other kernels count a stretch that stays in the first-level cache, then look for the
    // leads in it (the lanes they count into push the text out of the second-level cache of
    // some cores). A stretch ends before a byte that is no continuation byte.
    constexpr std::size_t kStretch = std::size_t{16} << 10;
    const std::uint8_t* at = p;
    while (at < end) {
        const std::uint8_t* stop =
            end - at > static_cast<std::ptrdiff_t>(kStretch) ? at + kStretch : end;
        while (stop < end && stop > at + 1 && (*stop & 0xC0) == 0x80) {
            --stop;
        }
        countUtf8Units(std::span(bytes.data() + (at - p), static_cast<std::size_t>(stop - at)),
                       lanes, way);
        noteLeads(at, stop, notes);
        at = stop;
    }
    return static_cast<std::size_t>(notes.at - leads.data());
}

std::int64_t countCrLfBytes(std::span<const std::byte> bytes) {
    const std::uint8_t* const p = bytePointer(bytes);
    const std::size_t n = bytes.size();
    std::int64_t pairs = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8(0x0D);
    const __m128i lf = _mm_set1_epi8(0x0A);
    for (; i + 17 <= n; i += 16) {
        const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        const unsigned hits = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(here, cr), _mm_cmpeq_epi8(next, lf))));
        // Baseline x86-64 has no popcount instruction; hits are few, clear them one by one.
        for (unsigned h = hits; h != 0; h &= h - 1) {
            ++pairs;
        }
    }
#endif
    for (; i + 1 < n; ++i) {
        pairs += (p[i] == 0x0D && p[i + 1] == 0x0A) ? 1 : 0;
    }
    return pairs;
}

}  // namespace runemeter
