// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/copy_text.h"

namespace runemeter {
namespace {

TEST(CopyText, CleanRowText) {
    struct Case {
        const char* name;
        std::u16string rowText, expected;
    };
    static const std::vector<Case> cases{
        {"three blanks become two", u"a   b", u"a\t\tb"},
        {"four blanks become two", u"a    b", u"a\t\tb"},
        {"number sign at the end stays", u" 35 #", u"35\t#"},
        {"number sign and blank removed", u"x# y", u"xy"},
        {"pair halved before the sign is removed", u"x#  y", u"xy"},
        {"blanks only", u"   ", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(cleanRowTextForCopy(c.rowText), c.expected);
    }
}

TEST(CopyText, OneRowInBothModes) {
    struct Case {
        const char* name;
        const char16_t* text;
        std::int64_t frequency;
        const char16_t *all, *lettersOnly;
    };
    const Case cases[] = {
        {"capital A", u" 65 A", 120, u"65\tA\t120\r\n", u"65\tA\t120\r\n"},
        {"did not occur", u" 66 B", 0, u"66\tB\t0\r\n", u"66\tB\t0\r\n"},
        {"tab", u"  9  Tab", 7, u"9\tTab\t7\r\n", u""},
        {"line feed", u" 10  Line feed", 2, u"10\tLine\tfeed\t2\r\n", u""},
        {"double quote", u" 34 \"", 3, u"34\tquotes\t3\r\n", u""},
        {"code 1", u"  1 \u0001", 4, u"1\t4\r\n", u""},
        {"no-break space", u"160 \u00A0", 1, u"160\t\u00A0\t1\r\n", u""},
        {"digit", u" 55 7", 5, u"55\t7\t5\r\n", u""},
        {"letter beyond ASCII", u"233 \u00E9", 6, u"233\t\u00E9\t6\r\n", u"233\t\u00E9\t6\r\n"},
        {"five digits", u"20013 \u4E2D", 8, u"20013\t\u4E2D\t8\r\n", u"20013\t\u4E2D\t8\r\n"},
        {"lone surrogate as the unit", u"55296 \xD800", 1, u"55296\t\xD800\t1\r\n", u""},
        {"no grouping", u"101 e", 1234567, u"101\te\t1234567\r\n", u"101\te\t1234567\r\n"},
        {"letter with a code of 32 or less", u"20 A", 1, u"20\tA\t1\r\n", u""},
        {"two letters", u" 65 AB", 1, u"65\tAB\t1\r\n", u""},
        {"line-break row", u"Line breaks", 3, u"", u""},
        {"total row", u"Total", 10, u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<ProfileRow> rows{{c.text, c.frequency}};
        EXPECT_EQ(buildCopyText(rows, false), c.all);
        EXPECT_EQ(buildCopyText(rows, true), c.lettersOnly);
    }
}

TEST(CopyText, RowsKeepTheOrderTheyAreIn) {
    const std::vector<ProfileRow> rows{
        {u" 98 b", 5}, {u"Total", 8}, {u" 97 a", 2}, {u"  9  Tab", 1}, {u" 65 A", 1}};
    EXPECT_EQ(buildCopyText(rows, false), u"98\tb\t5\r\n97\ta\t2\r\n9\tTab\t1\r\n65\tA\t1\r\n");
    EXPECT_EQ(buildCopyText(rows, true), u"98\tb\t5\r\n97\ta\t2\r\n65\tA\t1\r\n");
}

}  // namespace
}  // namespace runemeter
