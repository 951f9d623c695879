#include "suite/unicode_text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>
#include <unicode/utypes.h>

#include <climits>
#include <cstdint>

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

std::u16string utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b0 = s[i];
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        // Length of the sequence and the allowed range of its second byte; the narrowed ranges
        // reject overlong forms, surrogates and values above U+10FFFF at the earliest byte, so
        // each maximal invalid subpart gives exactly one replacement.
        int length = 0;
        unsigned char lo = 0x80;
        unsigned char hi = 0xBF;
        char32_t cp = 0;
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            cp = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            cp = b0 & 0x0F;
            if (b0 == 0xE0)
                lo = 0xA0;
            if (b0 == 0xED)
                hi = 0x9F;
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            cp = b0 & 0x07;
            if (b0 == 0xF0)
                lo = 0x90;
            if (b0 == 0xF4)
                hi = 0x8F;
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        bool complete = true;
        for (int k = 1; k < length; ++k, ++j) {
            const unsigned char lower = k == 1 ? lo : 0x80;
            const unsigned char upper = k == 1 ? hi : 0xBF;
            if (j >= n || s[j] < lower || s[j] > upper) {
                complete = false;
                break;
            }
            cp = (cp << 6) | (s[j] & 0x3F);
        }
        if (complete) {
            appendUtf16CodePoint(out, cp);
        } else {
            out.push_back(kReplacement);
        }
        i = j;
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    const std::size_t n = utf16.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < n && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            const char32_t cp =
                0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
            appendUtf8CodePoint(out, cp);
            ++i;
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8CodePoint(out, kReplacement);
        } else {
            appendUtf8CodePoint(out, u);
        }
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
