#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "profile/analysis_state.h"
#include "profile/profile.h"
#include "results/copy_text.h"
#include "results/row_fields.h"
#include "results/sorting.h"

namespace runemeter {
namespace {

TEST(CopyText, CleanRowText) {
    struct Case {
        const char* name;
        std::u16string rowText;
        std::u16string_view expected;
    };
    const std::vector<Case> cases{
        {"character row", u" 65 A", u"65\tA"},
        {"named code: pairs halved, blanks to tabs", u"  9  Tab", u"9\tTab"},
        {"name with a blank", u" 10  Line feed", u"10\tLine\tfeed"},
        {"three blanks become two", u"a   b", u"a\t\tb"},
        {"four blanks become two", u"a    b", u"a\t\tb"},
        {"double quote", u" 34 \"", u"34\tquotes"},
        {"number sign at the end stays", u" 35 #", u"35\t#"},
        {"number sign and blank removed", u"x# y", u"xy"},
        {"pair halved before the sign is removed", u"x#  y", u"xy"},
        {"control character trimmed", u"  1 \u0001", u"1"},
        {"no-break space is no blank", u"160 \u00A0", u"160\t\u00A0"},
        {"empty", u"", u""},
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
        ProfileRow row;
        std::u16string all;
        std::u16string_view lettersOnly;
    };
    const std::vector<Case> cases{
        {"capital A", {characterRowText(65), 120}, u"65\tA\t120\r\n", u"65\tA\t120\r\n"},
        {"capital that did not occur", {characterRowText(66), 0}, u"66\tB\t0\r\n", u"66\tB\t0\r\n"},
        {"tab", {characterRowText(9), 7}, u"9\tTab\t7\r\n", u""},
        {"line feed", {characterRowText(10), 2}, u"10\tLine\tfeed\t2\r\n", u""},
        {"space", {characterRowText(32), 9}, u"32\tSpace\t9\r\n", u""},
        {"double quote", {characterRowText(34), 3}, u"34\tquotes\t3\r\n", u""},
        {"number sign", {characterRowText(35), 2}, u"35\t#\t2\r\n", u""},
        {"code 1", {characterRowText(1), 4}, u"1\t4\r\n", u""},
        {"no-break space", {characterRowText(160), 1}, u"160\t\u00A0\t1\r\n", u""},
        {"digit", {characterRowText(u'7'), 5}, u"55\t7\t5\r\n", u""},
        {"letter beyond ASCII",
         {characterRowText(0xE9), 6},
         u"233\t\u00E9\t6\r\n",
         u"233\t\u00E9\t6\r\n"},
        {"five-digit letter",
         {characterRowText(0x4E2D), 8},
         u"20013\t\u4E2D\t8\r\n",
         u"20013\t\u4E2D\t8\r\n"},
        {"lone surrogate copied as the unit",
         {characterRowText(0xD800), 1},
         std::u16string(u"55296\t") + char16_t{0xD800} + u"\t1\r\n",
         u""},
        {"frequency without grouping",
         {characterRowText(u'e'), 1234567},
         u"101\te\t1234567\r\n",
         u"101\te\t1234567\r\n"},
        {"negative frequency", {characterRowText(u'e'), -5}, u"101\te\t-5\r\n", u"101\te\t-5\r\n"},
        {"letter with a code of 32 or less", {u"20 A", 1}, u"20\tA\t1\r\n", u""},
        {"two letters", {u"65 AB", 1}, u"65\tAB\t1\r\n", u""},
        {"line-break row", {u"Line breaks", 3}, u"", u""},
        {"total row", {u"Total", 10}, u"", u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<ProfileRow> rows{c.row};
        EXPECT_EQ(buildCopyText(rows, false), c.all);
        EXPECT_EQ(buildCopyText(rows, true), c.lettersOnly);
    }
}

TEST(CopyText, FollowsTheCurrentOrder) {
    AnalysisState state;
    (*state.CharCounts)[u'a'] = 2;
    (*state.CharCounts)[u'b'] = 5;
    (*state.CharCounts)[u'A'] = 1;
    state.FilesRead = 1;
    Profile profile = BuildProfile(state, u"a.txt");
    sortRowsBySection(profile.rows, 4);
    const std::u16string text = buildCopyText(profile.rows, true);
    // Larger first; the capitals that did not occur follow in code order.
    const std::u16string_view head = u"98\tb\t5\r\n97\ta\t2\r\n65\tA\t1\r\n66\tB\t0\r\n";
    const std::u16string_view tail = u"89\tY\t0\r\n90\tZ\t0\r\n";
    ASSERT_GT(text.size(), head.size() + tail.size());
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(CopyText, NoRowsGiveNoText) {
    EXPECT_EQ(buildCopyText({}, false), u"");
    const std::vector<ProfileRow> labels{{u"Line breaks", 1}, {u"Total", 2}};
    EXPECT_EQ(buildCopyText(labels, false), u"");
}

// One copied line split into code, middle fields and frequency.
struct CopiedLine {
    std::int64_t code = 0;
    std::u16string middle;
    std::int64_t frequency = 0;
};

std::vector<CopiedLine> parseCopyText(std::u16string_view text) {
    std::vector<CopiedLine> lines;
    while (!text.empty()) {
        const std::size_t end = text.find(u"\r\n");
        if (end == std::u16string_view::npos) {
            ADD_FAILURE() << "text does not end with CR LF";
            break;
        }
        const std::u16string_view line = text.substr(0, end);
        text.remove_prefix(end + 2);
        const std::size_t firstTab = line.find(u'\t');
        const std::size_t lastTab = line.rfind(u'\t');
        if (firstTab == std::u16string_view::npos) {
            ADD_FAILURE() << "line without a tab";
            continue;
        }
        CopiedLine parsed;
        parsed.code = std::stoll(std::string(line.begin(), line.begin() + firstTab));
        if (lastTab > firstTab) {
            parsed.middle = line.substr(firstTab + 1, lastTab - firstTab - 1);
        }
        parsed.frequency = std::stoll(std::string(line.begin() + lastTab + 1, line.end()));
        lines.push_back(parsed);
    }
    return lines;
}

TEST(CopyText, RandomProfileCopiedAndParsedBackKeepsEveryFrequency) {
    AnalysisState state;
    CharCountTable& counts = *state.CharCounts;
    std::mt19937_64 random(20261206);
    std::uniform_int_distribution<int> code(0, 65535);
    std::uniform_int_distribution<std::int64_t> count(1, std::int64_t{1} << 40);
    for (int i = 0; i < 5000; ++i) {
        counts[static_cast<std::size_t>(code(random))] = count(random);
    }
    for (int c = 0; c <= 40; ++c) {
        counts[static_cast<std::size_t>(c)] = count(random);  // every control and 32 to 40
    }
    state.CrLfCount = 17;
    state.FilesRead = 3;
    Profile profile = BuildProfile(state, u"");
    sortRowsBySection(profile.rows, 3);

    std::map<std::int64_t, std::int64_t> expected;
    for (std::size_t c = 0; c < counts.size(); ++c) {
        if (counts[c] > 0 || c == 13 || (c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'Z')) {
            expected[static_cast<std::int64_t>(c)] = counts[c];
        }
    }

    const std::vector<CopiedLine> all = parseCopyText(buildCopyText(profile.rows, false));
    EXPECT_EQ(all.size(), profile.rows.size() - 2);  // the two label rows are left out
    std::map<std::int64_t, std::int64_t> copied;
    for (const CopiedLine& line : all) {
        EXPECT_TRUE(copied.emplace(line.code, line.frequency).second) << "code " << line.code;
    }
    EXPECT_EQ(copied, expected);

    // Letters only: a subset of the lines, each one letter above code 32.
    const std::vector<CopiedLine> letters = parseCopyText(buildCopyText(profile.rows, true));
    EXPECT_GT(letters.size(), 26u);
    EXPECT_LT(letters.size(), all.size());
    for (const CopiedLine& line : letters) {
        SCOPED_TRACE(line.code);
        ASSERT_EQ(line.middle.size(), 1u);
        EXPECT_EQ(line.middle.front(), static_cast<char16_t>(line.code));
        EXPECT_GT(line.code, 32);
        EXPECT_EQ(classifyCodeUnit(line.middle.front()), CharacterType::Letter);
        EXPECT_EQ(line.frequency, expected.at(line.code));
    }
}

}  // namespace
}  // namespace runemeter
