#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/sorting.h"

namespace runemeter {
namespace {

std::vector<ProfileRow> rowsOf(const std::vector<char16_t>& codes) {
    std::vector<ProfileRow> rows;
    std::int64_t frequency = 1;
    for (const char16_t code : codes) {
        rows.push_back({characterRowText(code), frequency++});
    }
    return rows;
}

std::vector<std::u16string> textsOf(const std::vector<ProfileRow>& rows) {
    std::vector<std::u16string> texts;
    for (const ProfileRow& row : rows) {
        texts.push_back(row.text);
    }
    return texts;
}

TEST(Sorting, CompareRowsByText) {
    struct Case {
        const char* name;
        std::u16string a, b;
        int sign;
    };
    const std::vector<Case> cases{
        {"equal", u" 65 A", u" 65 A", 0},
        {"leading blank sorts first", u" 65 A", u"100 d", -1},
        {"shorter code first", u"100 d", u"1000 \u03E8", -1},
        {"dictionary order of digits", u"1001 \u03E9", u"101 e", -1},
        {"letters after digits", u"Line breaks", u"65535 \uFFFF", 1},
        {"by code unit, not by code point", std::u16string(u"x") + char16_t{0xD800}, u"x\uFFFD",
         -1},
        {"upper before lower", u"Total", u"total", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int result = CompareRowsByText({c.a, 0}, {c.b, 0});
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
        const int reverse = CompareRowsByText({c.b, 0}, {c.a, 0});
        EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign);
    }
}

TEST(Sorting, CompareRowsByFrequencyPutsTheLargerFirst) {
    struct Case {
        const char* name;
        std::int64_t a, b;
        int sign;
    };
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    const std::vector<Case> cases{
        {"larger first", 5, 3, -1},
        {"smaller after", 3, 5, 1},
        {"equal", 4, 4, 0},
        {"beyond 32 bits", 5000000000, 4000000000, -1},
        {"extremes do not overflow", kMax, kMin, -1},
        {"extremes reversed", kMin, kMax, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int result = CompareRowsByFrequency({u"a", c.a}, {u"b", c.b});
        EXPECT_EQ((result > 0) - (result < 0), c.sign);
    }
}

TEST(Sorting, TextSectionsGiveCodeUnitOrder) {
    std::vector<char16_t> codes{9,     65,    100,   1000,  10000, 10001, 10002, 10003,
                                10004, 10005, 10006, 10007, 10008, 10009, 1001,  10010,
                                101,   13,    10,    32,    99,    1002};
    const std::vector<std::u16string> expected{
        characterRowText(9),     characterRowText(10),    characterRowText(13),
        characterRowText(32),    characterRowText(65),    characterRowText(99),
        characterRowText(100),   characterRowText(1000),  characterRowText(10000),
        characterRowText(10001), characterRowText(10002), characterRowText(10003),
        characterRowText(10004), characterRowText(10005), characterRowText(10006),
        characterRowText(10007), characterRowText(10008), characterRowText(10009),
        characterRowText(1001),  characterRowText(10010), characterRowText(1002),
        characterRowText(101),   u"Line breaks",          u"Total"};
    std::vector<ProfileRow> rows = rowsOf(codes);
    rows.push_back({u"Total", 99});
    rows.push_back({u"Line breaks", 7});
    std::mt19937 random(12345);
    for (const int section : {0, 1, 2}) {
        SCOPED_TRACE(section);
        std::vector<ProfileRow> shuffled = rows;
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        sortRowsBySection(shuffled, section);
        EXPECT_EQ(textsOf(shuffled), expected);
    }
}

TEST(Sorting, FrequencySectionsPutTheLargestFirstAndKeepEqualsInOrder) {
    const std::vector<ProfileRow> rows{{u" 13  Carriage return", 0},
                                       {u"Line breaks", 0},
                                       {u" 48 0", 0},
                                       {u" 65 A", 3},
                                       {u" 66 B", 0},
                                       {u" 97 a", 1},
                                       {u" 98 b", 3},
                                       {u"Total", 7}};
    const std::vector<ProfileRow> expected{{u"Total", 7},
                                           {u" 65 A", 3},
                                           {u" 98 b", 3},
                                           {u" 97 a", 1},
                                           {u" 13  Carriage return", 0},
                                           {u"Line breaks", 0},
                                           {u" 48 0", 0},
                                           {u" 66 B", 0}};
    for (const int section : {3, 4}) {
        SCOPED_TRACE(section);
        std::vector<ProfileRow> sorted = rows;
        sortRowsBySection(sorted, section);
        EXPECT_EQ(sorted, expected);
        // A second click sorts the same way; the order never reverses.
        sortRowsBySection(sorted, section);
        EXPECT_EQ(sorted, expected);
    }
}

TEST(Sorting, OtherSectionsLeaveTheOrder) {
    const std::vector<ProfileRow> rows{{u"Total", 1}, {u" 65 A", 5}, {u"  9  Tab", 3}};
    for (const int section : {-1, 5, 100}) {
        SCOPED_TRACE(section);
        std::vector<ProfileRow> copy = rows;
        sortRowsBySection(copy, section);
        EXPECT_EQ(copy, rows);
    }
    std::vector<ProfileRow> empty;
    sortRowsBySection(empty, 0);
    EXPECT_TRUE(empty.empty());
}

TEST(Sorting, TextsAndFrequenciesMoveTogether) {
    AnalysisState state;
    std::mt19937 random(777);
    std::uniform_int_distribution<int> code(0, 65535);
    std::uniform_int_distribution<std::int64_t> count(1, 1000);
    for (int i = 0; i < 3000; ++i) {
        (*state.CharCounts)[static_cast<std::size_t>(code(random))] = count(random);
    }
    const Profile profile = BuildProfile(state, u"");
    std::map<std::u16string, std::int64_t> before;
    for (const ProfileRow& row : profile.rows) {
        before[row.text] = row.frequency;
    }
    for (const int section : {0, 3}) {
        SCOPED_TRACE(section);
        std::vector<ProfileRow> rows = profile.rows;
        sortRowsBySection(rows, section);
        ASSERT_EQ(rows.size(), profile.rows.size());
        std::map<std::u16string, std::int64_t> after;
        for (const ProfileRow& row : rows) {
            after[row.text] = row.frequency;
        }
        EXPECT_EQ(after, before);
        for (std::size_t i = 1; i < rows.size(); ++i) {
            ASSERT_LE(section == 0 ? CompareRowsByText(rows[i - 1], rows[i])
                                   : CompareRowsByFrequency(rows[i - 1], rows[i]),
                      0)
                << "rows " << i - 1 << " and " << i;
        }
    }
}

}  // namespace
}  // namespace runemeter
