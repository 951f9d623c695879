// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/header_cut.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "suite/unicode_text.h"
#include "suite/utf8_one.h"

namespace runemeter {

namespace {

bool isUtf16(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

// The Windows-1252 byte that decodes to unit, or 0 when none does.
unsigned char ansiByteOf(char16_t unit) {
    static const std::u16string table = [] {
        std::array<std::byte, 256> bytes{};
        for (std::size_t b = 0; b < bytes.size(); ++b) {
            bytes[b] = static_cast<std::byte>(b);
        }
        std::u16string units;
        // Byte 0 ends a text: decode from byte 1 and put a zero unit in front.
        appendDecoded(std::span<const std::byte>(bytes).subspan(1), TextEncoding::Ansi, units);
        return u'\0' + units;
    }();
    const std::size_t at = table.find(unit);
    return at == std::u16string::npos ? 0 : static_cast<unsigned char>(at);
}

// Well-formed UTF-16 without U+FFFD: each of its occurrences in decoded UTF-8 is an occurrence
// of its UTF-8 bytes and the other way round (a decoder restarts at every byte that is not a
// continuation byte, and only U+FFFD stands for bytes other than its own).
bool matchesAsUtf8Bytes(std::u16string_view marker) {
    for (std::size_t i = 0; i < marker.size(); ++i) {
        if (marker[i] == utf8::kReplacement) {
            return false;
        }
        if (isSurrogatePairAt(marker, i)) {
            ++i;
        } else if (isSurrogate(marker[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

HeaderCut::HeaderCut(std::u16string_view marker, TextEncoding encoding)
    : m_marker(marker), m_encoding(encoding) {
    // No text holds a zero unit: a marker with one is never found.
    if (marker.empty() || marker.find(u'\0') != std::u16string_view::npos) {
        return;
    }
    m_active = true;
    m_byBytes = true;
    switch (encoding) {
        case TextEncoding::Utf8:
            if (matchesAsUtf8Bytes(marker)) {
                m_pattern = utf16ToUtf8(marker);
            } else {
                m_byBytes = false;
            }
            break;
        case TextEncoding::Ansi:
            for (const char16_t unit : marker) {
                const unsigned char byte = ansiByteOf(unit);
                if (byte == 0) {
                    m_active = false;  // a unit no Windows-1252 byte decodes to
                    return;
                }
                m_pattern += static_cast<char>(byte);
            }
            break;
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            for (const char16_t unit : marker) {
                const char low = static_cast<char>(unit & 0xFF);
                const char high = static_cast<char>(unit >> 8);
                m_pattern += encoding == TextEncoding::Utf16Le ? low : high;
                m_pattern += encoding == TextEncoding::Utf16Le ? high : low;
            }
            break;
    }
    if (m_byBytes) {
        m_overlap = m_pattern.size() - 1;
        // UTF-16 has zero bytes in many units (the high byte of ASCII): scan for others.
        m_scanAt = m_pattern[0] == '\0' ? 1 : 0;
        m_scanLast = m_pattern.size() - (m_pattern.back() == '\0' ? 2 : 1);
    } else {
        // A decoded unit comes from at most three bytes, a surrogate pair from four.
        m_overlap = 3 * marker.size() + 3;
    }
}

std::size_t HeaderCut::holdFor(std::span<const std::byte> text, std::size_t tail) const {
    const std::size_t want = std::max(m_overlap, tail);
    if (want >= text.size()) {
        return text.size();
    }
    std::size_t cut = text.size() - want;
    if (isUtf16(m_encoding)) {
        cut -= cut % 2;  // text begins between two units
    } else if (m_encoding == TextEncoding::Utf8 && cut < text.size()) {
        // A byte that is no continuation byte begins a character, and so does a continuation
        // byte after three others (a character has at most four bytes). Nothing to hold (a
        // marker of one byte, no incomplete tail) needs no look past the end.
        const auto continuation = [&](std::size_t i) {
            return utf8::isContinuation(static_cast<std::uint8_t>(text[i]));
        };
        std::size_t at = cut;
        for (int k = 0; k < 3 && at > 0 && continuation(at); ++k) {
            --at;
        }
        cut = at > 0 && continuation(at) ? cut : at;
    }
    return text.size() - cut;
}

std::size_t HeaderCut::findBytes(std::span<const std::byte> text) const {
    const auto* const p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    const std::size_t m = m_pattern.size();
    if (n < m) {
        return std::u16string::npos;
    }
    const auto* const pattern = reinterpret_cast<const unsigned char*>(m_pattern.data());
    const bool aligned = isUtf16(m_encoding);
    const auto matchesAt = [&](std::size_t at) {
        return (!aligned || at % 2 == 0) && std::memcmp(p + at, pattern, m) == 0;
    };
    std::size_t at = 0;
    if (m == 1) {
        const void* hit = std::memchr(p, pattern[0], n);
        return hit == nullptr
                   ? std::u16string::npos
                   : static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
    }
    // Two of the marker's bytes at their distance in 16 places at once: a place where both
    // match is compared whole. A common first byte (a letter) alone would stop at every word.
    const std::size_t first = m_scanAt;
    const std::size_t last = m_scanLast;
#if defined(__SSE2__)
    const __m128i firstByte = _mm_set1_epi8(static_cast<char>(pattern[first]));
    const __m128i lastByte = _mm_set1_epi8(static_cast<char>(pattern[last]));
    for (; at + last + 16 <= n; at += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + first));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at + last));
        auto hits = static_cast<unsigned>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(a, firstByte), _mm_cmpeq_epi8(b, lastByte))));
        while (hits != 0) {
            const std::size_t candidate = at + static_cast<std::size_t>(__builtin_ctz(hits));
            if (candidate + m <= n && matchesAt(candidate)) {
                return candidate;
            }
            hits &= hits - 1;
        }
    }
#endif
    for (; at + m <= n; ++at) {
        if (p[at + first] == pattern[first] && p[at + last] == pattern[last] && matchesAt(at)) {
            return at;
        }
    }
    return std::u16string::npos;
}

std::optional<HeaderCut::Cut> HeaderCut::find(std::span<const std::byte> text) {
    if (!m_active) {
        return std::nullopt;
    }
    if (!m_byBytes) {
        return findUnits(text);
    }
    const std::size_t at = findBytes(text);
    if (at == std::u16string::npos) {
        return std::nullopt;
    }
    switch (m_encoding) {
        case TextEncoding::Utf8: {
            Cut cut = cutAtUnit(text.subspan(at), 0);
            cut.at += at;
            cut.keptFrom += at;
            return cut;
        }
        case TextEncoding::Ansi:
            return Cut{at, at + 1, {}};
        case TextEncoding::Utf16Le:
        case TextEncoding::Utf16Be:
            break;
    }
    return Cut{at, at + 2, {}};
}

std::optional<HeaderCut::Cut> HeaderCut::findUnits(std::span<const std::byte> text) {
    m_scratch.clear();
    appendDecoded(text, m_encoding, m_scratch);
    const std::size_t unit = m_scratch.find(m_marker);
    if (unit == std::u16string::npos) {
        return std::nullopt;
    }
    return cutAtUnit(text, unit);
}

HeaderCut::Cut HeaderCut::cutAtUnit(std::span<const std::byte> text, std::size_t unit) const {
    // Decodes character by character (only UTF-8 comes here) up to the one holding the unit.
    const auto* const begin = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::uint8_t* const end = begin + text.size();
    const std::uint8_t* p = begin;
    std::size_t units = 0;
    while (p < end) {
        char16_t decoded[2];
        char16_t* o = decoded;
        const std::uint8_t* const next = utf8::decodeUtf8One(p, end, o);
        const auto count = static_cast<std::size_t>(o - decoded);
        if (unit < units + count) {
            Cut cut;
            cut.at = static_cast<std::size_t>(p - begin);
            cut.keptFrom = static_cast<std::size_t>(next - begin);
            cut.prefix.assign(decoded + (unit - units) + 1, decoded + count);
            return cut;
        }
        units += count;
        p = next;
    }
    return Cut{text.size(), text.size(), {}};  // not reached: the unit lies in text
}

}  // namespace runemeter
