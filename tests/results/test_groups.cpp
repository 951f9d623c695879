// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/groups.h"

#include <gtest/gtest.h>

#include <numeric>

namespace runemeter {
namespace {

// A profile of Latin, Greek, Han and Arabic letters, digits, punctuation, controls, a lone
// surrogate and a private-use character.
TEST(Groups, SumToTheProfileTotalForEveryKey) {
    AnalysisState state;
    CharCountTable& counts = *state.CharCounts;
    const std::pair<char16_t, int> text[] = {
        {u'a', 5},      {u'A', 2},   {u'\u00E9', 1}, {u'\u03B1', 3}, {u'\u4E2D', 4},
        {u'\u0628', 2}, {u'7', 6},   {u',', 2},      {u' ', 3},      {u'\t', 9},
        {u'\n', 4},     {0xD800, 1}, {0xE000, 1}};
    for (const auto& [code, n] : text) {
        counts[code] = n;
    }
    state.CrLfCount = 4;
    const Profile profile = BuildProfile(state, u"x");
    ASSERT_EQ(profile.totalCharacters, 30);

    struct Row {
        GroupKey key;
        std::vector<CharacterGroup> expected;
    };
    const Row rows[] = {
        {GroupKey::Script,
         {{"Common", 3, 11},
          {"Latin", 3, 8},
          {"Han", 1, 4},
          {"Greek", 1, 3},
          {"Arabic", 1, 2},
          {"Unknown", 2, 2}}},
        {GroupKey::Block,
         {{"Basic_Latin", 5, 18},
          {"CJK_Unified_Ideographs", 1, 4},
          {"Greek_And_Coptic", 1, 3},
          {"Arabic", 1, 2},
          {"High_Surrogates", 1, 1},
          {"Latin_1_Supplement", 1, 1},
          {"Private_Use_Area", 1, 1}}},
        {GroupKey::Category,
         {{"Ll", 3, 9},
          {"Lo", 2, 6},
          {"Nd", 1, 6},
          {"Zs", 1, 3},
          {"Lu", 1, 2},
          {"Po", 1, 2},
          {"Co", 1, 1},
          {"Cs", 1, 1}}},
        {GroupKey::Type,
         {{"letter", 6, 17}, {"digit", 1, 6}, {"other", 3, 5}, {"punctuation", 1, 2}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(groupKeyName(row.key)));
        const std::vector<CharacterGroup> groups = groupRows(profile.rows, row.key);
        const std::int64_t sum = std::accumulate(
            groups.begin(), groups.end(), std::int64_t{0},
            [](std::int64_t s, const CharacterGroup& g) { return s + g.frequency; });
        EXPECT_EQ(sum, profile.totalCharacters);
        EXPECT_EQ(groups, row.expected);
    }
}

// The charted characters: the most frequent character rows, ties in the rows' order; no
// control, line-break or total row, nothing that did not occur.
TEST(Groups, MostFrequentRowsAreCharacterRowsOnly) {
    AnalysisState state;
    CharCountTable& counts = *state.CharCounts;
    for (const auto& [code, n] :
         {std::pair{u'\t', 50}, {u'b', 3}, {u'a', 3}, {u'c', 9}, {u' ', 4}}) {
        counts[code] = n;
    }
    state.CrLfCount = 40;
    const Profile profile = BuildProfile(state, u"x");
    const std::vector<std::size_t> firstThree = mostFrequentRows(profile.rows, 3);
    ASSERT_EQ(firstThree.size(), 3u);
    std::vector<std::int64_t> frequencies;
    for (const std::size_t index : firstThree) {
        frequencies.push_back(profile.rows[index].frequency);
    }
    EXPECT_EQ(frequencies, (std::vector<std::int64_t>{9, 4, 3}));
    EXPECT_EQ(profile.rows[firstThree[2]].text.back(), u'a');  // before b, its equal
    EXPECT_EQ(mostFrequentRows(profile.rows, 100).size(), 4u);
}

}  // namespace
}  // namespace runemeter
