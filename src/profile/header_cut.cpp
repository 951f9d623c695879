#include "profile/header_cut.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "profile/utf8_one.h"
#include "suite/unicode_text.h"

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
        // UTF-16 has zero bytes in many units (the high byte of ASCII): scan for another one.
        m_scanAt = m_pattern[0] == '\0' ? 1 : 0;
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
    } else if (m_encoding == TextEncoding::Utf8) {
        // A byte that is no continuation byte begins a character, and so does a continuation
        // byte after three others (a character has at most four bytes).
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
    const auto key = static_cast<unsigned char>(m_pattern[m_scanAt]);
    const bool aligned = isUtf16(m_encoding);
    std::size_t from = 0;
    while (n >= m && from <= n - m) {
        // The scanned byte of every place the marker could start from `from` on.
        const void* hit = std::memchr(p + from + m_scanAt, key, n - m + 1 - from);
        if (hit == nullptr) {
            break;
        }
        const std::size_t at =
            static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p) - m_scanAt;
        if ((!aligned || at % 2 == 0) && std::memcmp(p + at, m_pattern.data(), m) == 0) {
            return at;
        }
        from = at + 1;
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
