// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/char_properties.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace runemeter {
namespace {

// Values from the Unicode character database, not from the code under test.
TEST(CharProperties, KnownCharacters) {
    struct Row {
        char32_t codePoint;
        const char *notation, *name, *category, *categoryName, *script, *block;
    };
    const Row rows[] = {
        {0x41, "U+0041", "LATIN CAPITAL LETTER A", "Lu", "Uppercase_Letter", "Latin",
         "Basic_Latin"},
        {0xE9, "U+00E9", "LATIN SMALL LETTER E WITH ACUTE", "Ll", "Lowercase_Letter", "Latin",
         "Latin_1_Supplement"},
        {0x301, "U+0301", "COMBINING ACUTE ACCENT", "Mn", "Nonspacing_Mark", "Inherited",
         "Combining_Diacritical_Marks"},
        {0x378, "U+0378", "<unassigned-0378>", "Cn", "Unassigned", "Unknown", "Greek_And_Coptic"},
        {0xE000, "U+E000", "<private use area-E000>", "Co", "Private_Use", "Unknown",
         "Private_Use_Area"},
        {0xFFFF, "U+FFFF", "<noncharacter-FFFF>", "Cn", "Unassigned", "Unknown", "Specials"},
        {0xD800, "U+D800", "<lead surrogate-D800>", "Cs", "Surrogate", "Unknown",
         "High_Surrogates"},
        {0x0A, "U+000A", "Line feed", "Cc", "Control", "Common", "Basic_Latin"},
        {0x01, "U+0001", "<control-0001>", "Cc", "Control", "Common", "Basic_Latin"},
        {0x1F600, "U+1F600", "GRINNING FACE", "So", "Other_Symbol", "Common", "Emoticons"},
        {0x4E2D, "U+4E2D", "CJK UNIFIED IDEOGRAPH-4E2D", "Lo", "Other_Letter", "Han",
         "CJK_Unified_Ideographs"},
        {0x628, "U+0628", "ARABIC LETTER BEH", "Lo", "Other_Letter", "Arabic", "Arabic"},
        {0xFFFD, "U+FFFD", "REPLACEMENT CHARACTER", "So", "Other_Symbol", "Common", "Specials"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.notation);
        const CharProperties p = charProperties(row.codePoint);
        EXPECT_EQ(p.notation, row.notation);
        EXPECT_EQ(p.name, row.name);
        EXPECT_EQ(p.category, row.category);
        EXPECT_EQ(p.categoryName, row.categoryName);
        EXPECT_EQ(p.script, row.script);
        EXPECT_EQ(p.block, row.block);
    }
    const char32_t sequence[] = {0x65, 0x301};
    const CharProperties e = sequenceProperties(sequence);
    EXPECT_EQ(e.notation, "U+0065 U+0301");
    EXPECT_EQ(e.name, "LATIN SMALL LETTER E + COMBINING ACUTE ACCENT");
    EXPECT_EQ(e.script, "Latin");
}

TEST(CharProperties, CodeFieldsAndLineBreakers) {
    struct Row {
        std::u16string_view field;
        std::vector<char32_t> codePoints;
        bool breaks;
    };
    const Row rows[] = {
        {u"128512", {0x1F600}, false},
        {u"101+769", {0x65, 0x301}, false},
        {u"128104+8205+128105", {0x1F468, 0x200D, 0x1F469}, false},  // joiner inside
        {u"9", {9}, true},
        {u"133", {0x85}, true},  // next line
        {u"8233", {0x2029}, true},
        {u"55296", {0xD800}, true},
        {u"8205", {0x200D}, true},  // a joiner alone is not printable
        {u"1114112", {}, true},     // beyond U+10FFFF
        {u"65+", {}, true},
        {u"Total", {}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.field.begin(), row.field.end()));
        const std::vector<char32_t> codePoints = codePointsOfCodeField(row.field);
        EXPECT_EQ(codePoints, row.codePoints);
        EXPECT_EQ(breaksLine(codePoints), row.breaks);
    }
}

}  // namespace
}  // namespace runemeter
