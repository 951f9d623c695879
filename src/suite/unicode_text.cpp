// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/unicode_text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <climits>
#include <cstdint>

#include "suite/utf8_one.h"

namespace runemeter {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

}  // namespace

void appendUtf16CodePoint(std::u16string& out, char32_t cp) {
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void appendUtf8CodePoint(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

namespace {

// One UTF-8 sequence starting at s[i], read by the decoder step the text decoders use: its code
// point and length when it is well-formed, otherwise U+FFFD and the length of its maximal
// invalid subpart (valid false). A U+FFFD the step writes is an encoded one only when it read
// exactly the three bytes EF BF BD.
struct Utf8Sequence {
    char32_t cp;
    std::size_t length;
    bool valid;
};

Utf8Sequence nextUtf8Sequence(const unsigned char* s, std::size_t n, std::size_t i) {
    char16_t units[2];
    char16_t* o = units;
    const unsigned char* const p = s + i;
    const std::size_t length = static_cast<std::size_t>(utf8::decodeUtf8One(p, s + n, o) - p);
    if (o - units == 2)
        return {0x10000 + ((char32_t{units[0]} - 0xD800) << 10) + (units[1] - 0xDC00u), 4, true};
    const bool encodedReplacement = length == 3 && p[0] == 0xEF && p[1] == 0xBF && p[2] == 0xBD;
    return {units[0], length, units[0] != kReplacement || encodedReplacement};
}

const unsigned char* bytesOf(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const unsigned char* s = bytesOf(utf8);
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Sequence seq = nextUtf8Sequence(s, utf8.size(), i);
        appendUtf16CodePoint(out, seq.cp);  // U+FFFD when malformed
        i += seq.length;
    }
    return out;
}

std::optional<Utf8Error> findInvalidUtf8(std::string_view utf8) {
    const unsigned char* s = bytesOf(utf8);
    for (std::size_t i = 0; i < utf8.size();) {
        const Utf8Sequence seq = nextUtf8Sequence(s, utf8.size(), i);
        if (!seq.valid)
            return Utf8Error{i, seq.length};
        i += seq.length;
    }
    return std::nullopt;
}

std::optional<Utf8Error> appendUtf8Strict(std::string_view utf8, std::u16string& out) {
    if (const auto error = findInvalidUtf8(utf8))
        return error;
    out += utf8ToUtf16(utf8);
    return std::nullopt;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size();) {
        const Utf16CodePoint cp = codePointAt(utf16, i);
        appendUtf8CodePoint(out, isSurrogate(cp.value) ? kReplacement : cp.value);
        i += cp.units;
    }
    return out;
}

std::string nameForMessage(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size());
    const unsigned char* s = bytesOf(bytes);
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char b = s[i];
        const Utf8Sequence seq = nextUtf8Sequence(s, bytes.size(), i);
        if (b == '\n' || b == '\r' || b == '\t') {
            out += b == '\n' ? "\\n" : b == '\r' ? "\\r" : "\\t";
        } else if (seq.valid && b >= 0x20 && b != 0x7F) {
            out.append(bytes.substr(i, seq.length));
            i += seq.length;
            continue;
        } else {
            // One escaped byte; what follows a malformed lead byte is looked at afresh.
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
        ++i;
    }
    return out;
}

std::u16string pathToDisplay(const std::filesystem::path& path) {
    return utf8ToUtf16(path.native());
}

std::filesystem::path pathFromText(std::u16string_view text) {
    return std::filesystem::path(utf16ToUtf8(text));
}

std::u16string foldCase(std::u16string_view text) {
    if (text.empty())
        return {};
    if (text.size() > INT32_MAX / 4)
        return std::u16string(text);  // beyond ICU's int32 lengths
    static_assert(sizeof(UChar) == sizeof(char16_t));
    const auto* src = reinterpret_cast<const UChar*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    // Full folding can lengthen a text (ß becomes ss); start with room for some growth and
    // retry once with the exact size ICU asks for.
    std::u16string out(text.size() + text.size() / 4 + 4, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    std::int32_t needed =
        u_strFoldCase(reinterpret_cast<UChar*>(out.data()), static_cast<std::int32_t>(out.size()),
                      src, length, U_FOLD_CASE_DEFAULT, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        out.assign(static_cast<std::size_t>(needed), u'\0');
        status = U_ZERO_ERROR;
        needed = u_strFoldCase(reinterpret_cast<UChar*>(out.data()),
                               static_cast<std::int32_t>(out.size()), src, length,
                               U_FOLD_CASE_DEFAULT, &status);
    }
    if (U_FAILURE(status))
        return std::u16string(text);
    out.resize(static_cast<std::size_t>(needed));
    return out;
}

std::u16string oneLine(std::u16string_view text) {
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string out;
    out.reserve(text.size());
    for (const char16_t unit : text) {
        if (unit == u'\n') {
            out += u"\\n";
        } else if (unit == u'\r') {
            out += u"\\r";
        } else if (unit == u'\t') {
            out += u"\\t";
        } else if (unit < 0x20 || (unit >= 0x7F && unit < 0xA0)) {
            out += u"\\x";
            out += kHex[unit >> 4];
            out += kHex[unit & 15];
        } else {
            out += unit;
        }
    }
    return out;
}

}  // namespace runemeter
