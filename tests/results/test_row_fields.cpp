// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/row_fields.h"
#include "suite/number_format.h"

namespace runemeter {
namespace {

TEST(RowFields, CharacterTypeByGeneralCategory) {
    using enum CharacterType;
    // Lu Ll Lt Lm Lo; Nd; Pc Pd Ps Pe Pi Pf Po; No Nl Sm Sc Zs Cc Cn and a surrogate.
    const std::vector<std::pair<std::u16string, CharacterType>> cases{
        {u"Az\u01C5\u02B0\u4E2D\u00E9", Letter},
        {u"7\u0663", Digit},
        {u"_-(]\u00AB\u00BB\"", Punctuation},
        {u"\u00B2\u216B+$ \u00A0\u0001\uFFFF" + std::u16string(1, char16_t{0xD800}), None}};
    for (const auto& [units, expected] : cases) {
        for (const char16_t unit : units) {
            SCOPED_TRACE(static_cast<int>(unit));
            EXPECT_EQ(classifyCodeUnit(unit), expected);
        }
    }
}

// The five texts joined with '|': code, character, type, share, frequency, and the colour, each
// rule at its boundaries. The code is shown for a whole number only; the character is what
// follows the first blank, trimmed; the share from 0.01 % on, not for control codes or labels.
TEST(RowFields, ColumnTextsAndColours) {
    struct Case {
        std::u16string rowText;
        std::int64_t frequency, total;
        std::u16string texts;
        RowColour colour;
    };
    using enum RowColour;
    const std::u16string lone(1, char16_t{0xDC00});
    const std::vector<Case> cases{
        {u" 65 A", 120, 1000, u"65|A|letter|12.00%|120", WindowText},
        {u"  9  Tab", 7, 1000, u"9|Tab|||7", Red},
        {u" 31 x", 1, 3, u"31|x|letter||1", Red},
        {u" 53 5", 1, 3, u"53|5|digit|33.33%|1", WindowText},
        {u" 65 A", 1, 10000, u"65|A|letter|0.01%|1", WindowText},
        {u" 65 A", 1, 10001, u"65|A|letter||1", WindowText},
        {u" 65 A", 1, 0, u"65|A|letter||1", WindowText},
        {u" 97 a", 1000000000, 4000000000, u"97|a|letter|25.00%|1,000,000,000", WindowText},
        {u" 10  Line feed", 2, 3, u"10|Line feed|||2", Red},
        {u"  1 \u0001", 2, 3, u"1||||2", Red},
        {u" 32  Space", 1, 3, u"32|Space||33.33%|1", WindowText},
        {u"12ab x", 1, 3, u"|x|letter||1", Red},
        {u"99999999999999999999 x", 1, 3, u"|x|letter||1", WindowText},
        {u"127 x", 1, 4, u"127|x|letter|25.00%|1", WindowText},
        {u"128 x", 1, 4, u"128|x|letter|25.00%|1", Blue},
        {u"191 \u00BF", 2, 3, u"191|\u00BF|punctuation|66.67%|2", Blue},
        {u"256 x", 1, 4, u"256|x|letter|25.00%|1", Blue},
        {u"257 x", 1, 4, u"257|x|letter|25.00%|1", WindowText},
        {u" 66 B", 0, 1000, u"66|B|letter||", GrayText},
        {u"56320 " + lone, 1, 4, u"56320|" + lone + u"||25.00%|1", WindowText},
        {u"Line breaks", 3, 1000, u"|Line breaks|||3", Red},
        {u"Line breaks", 0, 1000, u"|Line breaks|||", GrayText},
        {u"Total", 1234567, 1234567, u"|Total|||1,234,567", Red}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.rowText));
        const RowColumnTexts t =
            rowColumnTexts(c.rowText, c.frequency, c.total, false, FormatSettings{u'.', u','});
        EXPECT_EQ(t.code + u"|" + t.character + u"|" + t.type + u"|" + t.share + u"|" + t.frequency,
                  c.texts);
        EXPECT_EQ(t.colour, c.colour);
    }
    EXPECT_EQ(rowColumnTexts(u"  9 x", 1, 3, true, {}).colour, Window);
}

// Last, mirrored in a 500 px list: numbers still end at their section's right edge.
TEST(RowFields, TextPositionsFollowTheSections) {
    const int width[5] = {60, 140, 100, 80, 90};
    const int text[5] = {15, 10, 25, 30, 40};
    for (const int scrolled : {0, 50}) {
        SCOPED_TRACE(scrolled);
        const int left[5] = {-scrolled, 60 - scrolled, 200 - scrolled, 300 - scrolled,
                             380 - scrolled};
        const RowTextPositions p = rowTextPositions(left, width, text, false);
        EXPECT_EQ((std::array{p.code, p.character, p.type, p.share, p.frequency}),
                  (std::array{25 - scrolled, 62 - scrolled, 202 - scrolled, 348 - scrolled,
                              428 - scrolled}));
    }
    const int mirrored[5] = {440, 300, 200, 120, 30};
    const RowTextPositions p = rowTextPositions(mirrored, width, text, true);
    EXPECT_EQ((std::array{p.code, p.character, p.type, p.share, p.frequency}),
              (std::array{465, 428, 273, 168, 78}));
}

}  // namespace
}  // namespace runemeter
