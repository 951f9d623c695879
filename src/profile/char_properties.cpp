// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/char_properties.h"

#include <unicode/uchar.h>
#include <unicode/uscript.h>
#include <unicode/uversion.h>

#include <array>
#include <cstdio>

#include "suite/resource_strings.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

constexpr char32_t kLastCodePoint = 0x10FFFF;

std::string_view valueName(UProperty property, int value, UPropertyNameChoice choice) {
    const char* name = u_getPropertyValueName(property, value, choice);
    return name != nullptr ? std::string_view(name) : std::string_view();
}

std::string versionString(const UVersionInfo version) {
    char text[U_MAX_VERSION_STRING_LENGTH];
    u_versionToString(version, text);
    return text;
}

}  // namespace

std::string codePointNotation(char32_t codePoint) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(codePoint));
    return text;
}

std::string characterName(char32_t codePoint) {
    switch (codePoint) {
        case 9:
            return utf16ToUtf8(ResourceString(ResId::VTTab));
        case 10:
            return utf16ToUtf8(ResourceString(ResId::VTLineFeed));
        case 13:
            return utf16ToUtf8(ResourceString(ResId::VTCarriageReturn));
        default:
            break;
    }
    if (codePoint > kLastCodePoint) {
        return {};
    }
    // Names are ASCII; the longest is well below 128 characters.
    char name[128];
    for (const UCharNameChoice choice : {U_UNICODE_CHAR_NAME, U_EXTENDED_CHAR_NAME}) {
        UErrorCode error = U_ZERO_ERROR;
        const int32_t length = u_charName(static_cast<UChar32>(codePoint), choice, name,
                                          static_cast<int32_t>(sizeof name), &error);
        if (U_SUCCESS(error) && length > 0 && length < static_cast<int32_t>(sizeof name)) {
            return std::string(name, static_cast<std::size_t>(length));
        }
    }
    return {};
}

std::string_view categoryCode(char32_t codePoint) {
    return codePoint > kLastCodePoint
               ? std::string_view()
               : valueName(UCHAR_GENERAL_CATEGORY, u_charType(static_cast<UChar32>(codePoint)),
                           U_SHORT_PROPERTY_NAME);
}

std::string_view scriptName(char32_t codePoint) {
    if (codePoint > kLastCodePoint) {
        return {};
    }
    UErrorCode error = U_ZERO_ERROR;
    const UScriptCode script = uscript_getScript(static_cast<UChar32>(codePoint), &error);
    const char* name = U_SUCCESS(error) ? uscript_getName(script) : nullptr;
    return name != nullptr ? std::string_view(name) : std::string_view();
}

std::string_view blockName(char32_t codePoint) {
    return codePoint > kLastCodePoint
               ? std::string_view()
               : valueName(UCHAR_BLOCK, ublock_getCode(static_cast<UChar32>(codePoint)),
                           U_LONG_PROPERTY_NAME);
}

CharProperties charProperties(char32_t codePoint) {
    CharProperties properties;
    properties.notation = codePointNotation(codePoint);
    properties.name = characterName(codePoint);
    if (codePoint <= kLastCodePoint) {
        properties.category = categoryCode(codePoint);
        properties.categoryName =
            valueName(UCHAR_GENERAL_CATEGORY, u_charType(static_cast<UChar32>(codePoint)),
                      U_LONG_PROPERTY_NAME);
        properties.script = scriptName(codePoint);
        properties.block = blockName(codePoint);
    }
    return properties;
}

CharProperties sequenceProperties(std::span<const char32_t> codePoints) {
    if (codePoints.empty()) {
        return {};
    }
    CharProperties properties = charProperties(codePoints.front());
    for (const char32_t codePoint : codePoints.subspan(1)) {
        properties.notation += ' ' + codePointNotation(codePoint);
        properties.name += " + " + characterName(codePoint);
    }
    return properties;
}

std::vector<char32_t> codePointsOfCodeField(std::u16string_view codeField) {
    std::vector<char32_t> codePoints;
    std::uint32_t value = 0;
    bool digits = false;
    for (std::size_t i = 0; i <= codeField.size(); ++i) {
        const char16_t c = i < codeField.size() ? codeField[i] : u'+';
        if (c >= u'0' && c <= u'9') {
            value = value * 10 + static_cast<std::uint32_t>(c - u'0');
            if (value > kLastCodePoint) {
                return {};
            }
            digits = true;
        } else if (c == u'+' && digits) {
            codePoints.push_back(value);
            value = 0;
            digits = false;
        } else {
            return {};
        }
    }
    return codePoints;
}

bool breaksLine(std::span<const char32_t> codePoints) {
    if (codePoints.empty() || codePoints.front() > kLastCodePoint ||
        !u_isprint(static_cast<UChar32>(codePoints.front()))) {
        return true;
    }
    for (const char32_t codePoint : codePoints) {
        if (codePoint > kLastCodePoint) {
            return true;
        }
        switch (u_charType(static_cast<UChar32>(codePoint))) {
            case U_CONTROL_CHAR:
            case U_SURROGATE:
            case U_LINE_SEPARATOR:
            case U_PARAGRAPH_SEPARATOR:
                return true;
            default:
                break;
        }
    }
    return false;
}

std::string unicodeVersion() {
    UVersionInfo version;
    u_getUnicodeVersion(version);
    return versionString(version);
}

std::string unicodeVersionText() {
    UVersionInfo icu;
    u_getVersion(icu);
    return "Unicode " + unicodeVersion() + " (ICU " + versionString(icu) + ")";
}

std::u16string unicodeVersionLine() {
    const std::u16string version = utf8ToUtf16(unicodeVersionText());
    return formatWithStrings(ResourceString(ResId::VTUnicodeVersion),
                             std::array<std::u16string_view, 1>{version});
}

}  // namespace runemeter
