// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "profile/profile.h"
#include "results/sorting.h"

namespace runemeter {
namespace {

TEST(Sorting, TextSectionsGiveCodeUnitOrder) {
    const std::vector<ProfileRow> expected{
        {u"  9  Tab", 6},    {u" 32  Space", 1},   {u" 65 A", 4},       {u"100 d", 2},
        {u"1000 \u03E8", 9}, {u"10000 \u2710", 3}, {u"1001 \u03E9", 8}, {u"101 e", 7},
        {u"Line breaks", 5}, {u"Total", 0}};
    for (const int section : {0, 1, 2}) {
        SCOPED_TRACE(section);
        std::vector<ProfileRow> rows = expected;
        std::reverse(rows.begin(), rows.end());
        std::rotate(rows.begin(), rows.begin() + 3, rows.end());
        sortRowsBySection(rows, section);
        EXPECT_EQ(rows, expected);
    }
}

// Rows of equal frequency keep their code order, so the same click always gives the same list;
// with a list this long an unstable sort mixes them. Frequencies go beyond 32 bits.
TEST(Sorting, FrequencySectionsPutTheLargestFirstAndKeepEqualsInOrder) {
    constexpr std::int64_t kBig = std::int64_t{1} << 32;
    std::vector<ProfileRow> rows;
    for (char16_t code = 0; code < 300; ++code) {
        rows.push_back({characterRowText(code), code % 7 == 0 ? kBig : code % 3});
    }
    for (const int section : {3, 4}) {
        SCOPED_TRACE(section);
        std::vector<ProfileRow> sorted = rows;
        sortRowsBySection(sorted, section);
        std::vector<ProfileRow> expected;
        for (const std::int64_t frequency :
             {kBig, std::int64_t{2}, std::int64_t{1}, std::int64_t{0}}) {
            std::copy_if(rows.begin(), rows.end(), std::back_inserter(expected),
                         [&](const ProfileRow& r) { return r.frequency == frequency; });
        }
        EXPECT_EQ(sorted, expected);
        sortRowsBySection(sorted, section);
        EXPECT_EQ(sorted, expected);
    }
    for (const int section : {-1, 5}) {
        std::vector<ProfileRow> unchanged = rows;
        sortRowsBySection(unchanged, section);
        EXPECT_EQ(unchanged, rows) << section;
    }
}

}  // namespace
}  // namespace runemeter
