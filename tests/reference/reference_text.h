// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Slow, plain implementations of decoding and counting, written straight from the rules and
// byte tables, one byte or unit at a time. The fast code is compared with these.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace runemeter::reference {

using Bytes = std::vector<std::uint8_t>;

enum class Encoding { Ansi, Utf16Le, Utf16Be, Utf8 };

/// Encoding by signature, in the order UTF-8, UTF-16 LE, UTF-16 BE, ANSI.
inline Encoding detect(const Bytes& data) {
    if (data.size() >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) {
        return Encoding::Utf8;
    }
    if (data.size() >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
        return Encoding::Utf16Le;
    }
    if (data.size() >= 2 && data[0] == 0xFE && data[1] == 0xFF) {
        return Encoding::Utf16Be;
    }
    return Encoding::Ansi;
}

/// Bytes before the first zero byte.
inline Bytes untilZeroByte(const Bytes& bytes) {
    Bytes kept;
    for (std::uint8_t b : bytes) {
        if (b == 0) {
            break;
        }
        kept.push_back(b);
    }
    return kept;
}

/// A code point as UTF-16.
inline void appendCodePoint(std::u16string& out, std::uint32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    }
}

/// One row of the table of well-formed UTF-8 byte sequences: a byte range per position.
struct Utf8Row {
    int length;
    std::array<std::uint8_t, 4> low;
    std::array<std::uint8_t, 4> high;
};

inline const std::vector<Utf8Row>& wellFormedUtf8() {
    static const std::vector<Utf8Row> rows = {
        {1, {0x00, 0, 0, 0}, {0x7F, 0, 0, 0}},
        {2, {0xC2, 0x80, 0, 0}, {0xDF, 0xBF, 0, 0}},
        {3, {0xE0, 0xA0, 0x80, 0}, {0xE0, 0xBF, 0xBF, 0}},
        {3, {0xE1, 0x80, 0x80, 0}, {0xEC, 0xBF, 0xBF, 0}},
        {3, {0xED, 0x80, 0x80, 0}, {0xED, 0x9F, 0xBF, 0}},
        {3, {0xEE, 0x80, 0x80, 0}, {0xEF, 0xBF, 0xBF, 0}},
        {4, {0xF0, 0x90, 0x80, 0x80}, {0xF0, 0xBF, 0xBF, 0xBF}},
        {4, {0xF1, 0x80, 0x80, 0x80}, {0xF3, 0xBF, 0xBF, 0xBF}},
        {4, {0xF4, 0x80, 0x80, 0x80}, {0xF4, 0x8F, 0xBF, 0xBF}},
    };
    return rows;
}

/// UTF-8 up to the first zero byte; each maximal invalid subpart (the longest start of a
/// well-formed sequence, at least one byte) becomes one U+FFFD.
inline std::u16string decodeUtf8(const Bytes& input) {
    const Bytes bytes = untilZeroByte(input);
    std::u16string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const Utf8Row* row = nullptr;
        for (const Utf8Row& r : wellFormedUtf8()) {
            if (bytes[i] >= r.low[0] && bytes[i] <= r.high[0]) {
                row = &r;
            }
        }
        if (row == nullptr) {
            out.push_back(0xFFFD);
            ++i;
            continue;
        }
        int matched = 1;
        while (matched < row->length && i + matched < bytes.size() &&
               bytes[i + matched] >= row->low[matched] &&
               bytes[i + matched] <= row->high[matched]) {
            ++matched;
        }
        if (matched < row->length) {
            out.push_back(0xFFFD);
            i += static_cast<std::size_t>(matched);
            continue;
        }
        std::uint32_t cp = row->length == 1 ? bytes[i] : bytes[i] & (0x7Fu >> row->length);
        for (int k = 1; k < row->length; ++k) {
            cp = (cp << 6) | (bytes[i + k] & 0x3Fu);
        }
        appendCodePoint(out, cp);
        i += static_cast<std::size_t>(row->length);
    }
    return out;
}

/// Windows-1252 up to the first zero byte; 81, 8D, 8F, 90 and 9D keep their own values.
inline std::u16string decodeCp1252(const Bytes& input) {
    static const std::map<std::uint8_t, char16_t> high = {
        {0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x84, 0x201E}, {0x85, 0x2026},
        {0x86, 0x2020}, {0x87, 0x2021}, {0x88, 0x02C6}, {0x89, 0x2030}, {0x8A, 0x0160},
        {0x8B, 0x2039}, {0x8C, 0x0152}, {0x8E, 0x017D}, {0x91, 0x2018}, {0x92, 0x2019},
        {0x93, 0x201C}, {0x94, 0x201D}, {0x95, 0x2022}, {0x96, 0x2013}, {0x97, 0x2014},
        {0x98, 0x02DC}, {0x99, 0x2122}, {0x9A, 0x0161}, {0x9B, 0x203A}, {0x9C, 0x0153},
        {0x9E, 0x017E}, {0x9F, 0x0178},
    };
    std::u16string out;
    for (std::uint8_t b : untilZeroByte(input)) {
        const auto it = high.find(b);
        out.push_back(it == high.end() ? char16_t{b} : it->second);
    }
    return out;
}

/// UTF-16 in the given byte order up to the first zero unit; a last odd byte is dropped.
inline std::u16string decodeUtf16(const Bytes& bytes, bool bigEndian) {
    std::u16string out;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const unsigned first = bytes[i];
        const unsigned second = bytes[i + 1];
        const auto unit =
            static_cast<char16_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
        if (unit == 0) {
            break;
        }
        out.push_back(unit);
    }
    return out;
}

/// Detects and decodes a whole file's bytes (signature skipped).
inline std::u16string decode(const Bytes& data) {
    switch (detect(data)) {
        case Encoding::Utf8:
            return decodeUtf8(Bytes(data.begin() + 3, data.end()));
        case Encoding::Utf16Le:
            return decodeUtf16(Bytes(data.begin() + 2, data.end()), false);
        case Encoding::Utf16Be:
            return decodeUtf16(Bytes(data.begin() + 2, data.end()), true);
        case Encoding::Ansi:
            break;
    }
    return decodeCp1252(data);
}

/// Text from one past the first unit of the marker's first occurrence; unchanged otherwise.
inline std::u16string cutHeader(const std::u16string& text, const std::u16string& marker) {
    if (marker.empty() || marker.size() > text.size()) {
        return text;
    }
    for (std::size_t p = 0; p + marker.size() <= text.size(); ++p) {
        bool same = true;
        for (std::size_t k = 0; k < marker.size(); ++k) {
            if (text[p + k] != marker[k]) {
                same = false;
            }
        }
        if (same) {
            return text.substr(p + 1);
        }
    }
    return text;
}

/// Counts of one run, kept simply.
struct State {
    std::vector<std::int64_t> counts = std::vector<std::int64_t>(65536, 0);
    std::u16string sourceText;
    std::int64_t unicodeFiles = 0;
    std::int64_t bigEndianFiles = 0;
    std::int64_t utf8Files = 0;
    std::int64_t crLf = 0;
};

/// Number of CR units immediately followed by an LF unit.
inline std::int64_t crLfPairs(const std::u16string& text) {
    std::int64_t pairs = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == 13 && text[i + 1] == 10) {
            ++pairs;
        }
    }
    return pairs;
}

/// Adds the units of text to state's counts and its CR LF pairs to state.crLf.
inline void count(const std::u16string& text, State& state) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == 13 && i + 1 < text.size() && text[i + 1] == 10) {
            ++state.crLf;
        }
        ++state.counts[text[i]];
    }
}

/// One buffer analysed as the program does: too short, detect, decode, cut, count.
inline void analyseBuffer(const Bytes& data, const std::u16string& marker, State& state) {
    if (data.size() < 3) {
        return;
    }
    const Encoding encoding = detect(data);
    if (encoding == Encoding::Utf8) {
        ++state.utf8Files;
    } else if (encoding == Encoding::Utf16Le) {
        ++state.unicodeFiles;
    } else if (encoding == Encoding::Utf16Be) {
        ++state.unicodeFiles;
        ++state.bigEndianFiles;
    }
    state.sourceText = cutHeader(decode(data), marker);
    count(state.sourceText, state);
}

}  // namespace runemeter::reference
