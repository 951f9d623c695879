#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "profile/analysis_state.h"
#include "profile/profile.h"
#include "suite/resource_strings.h"

namespace runemeter {
namespace {

class ProfileTest : public ::testing::Test {
protected:
    void TearDown() override { setResourceStringTranslations({}); }
    AnalysisState state;
};

// The row of a two-digit code: blank, two digits, blank, the character.
ProfileRow twoDigitRow(char16_t code, std::int64_t frequency) {
    const std::u16string text{u' ', static_cast<char16_t>(u'0' + code / 10),
                              static_cast<char16_t>(u'0' + code % 10), u' ', code};
    return {text, frequency};
}

std::vector<ProfileRow> digitAndCapitalRows() {
    std::vector<ProfileRow> rows;
    for (char16_t c = u'0'; c <= u'9'; ++c) {
        rows.push_back(twoDigitRow(c, 0));
    }
    for (char16_t c = u'A'; c <= u'Z'; ++c) {
        rows.push_back(twoDigitRow(c, 0));
    }
    return rows;
}

TEST(CharacterRowText, WidthsAndNames) {
    struct Case {
        const char* name;
        char16_t code;
        std::u16string expected;
    };
    const std::vector<Case> cases{
        {"code 0 keeps its unit", 0, std::u16string(u"  0 ") + char16_t{0}},
        {"code 1 keeps its unit", 1, u"  1 \u0001"},
        {"tab: two blanks and the name", 9, u"  9  Tab"},
        {"line feed", 10, u" 10  Line feed"},
        {"carriage return", 13, u" 13  Carriage return"},
        {"space", 32, u" 32  Space"},
        {"two digits", 65, u" 65 A"},
        {"three digits", 100, u"100 d"},
        {"no-break space kept", 160, u"160 \u00A0"},
        {"four digits", 1000, u"1000 \u03E8"},
        {"lone surrogate kept", 0xD800, std::u16string(u"55296 ") + char16_t{0xD800}},
        {"five digits", 65535, u"65535 \uFFFF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(characterRowText(c.code), c.expected);
    }
}

TEST_F(ProfileTest, NamesFollowTheLanguageInForce) {
    const std::vector<std::pair<ResId, std::u16string>> german{{ResId::VTTab, u"Tabulator"},
                                                               {ResId::VTSpace, u"Leerzeichen"}};
    setResourceStringTranslations(german);
    EXPECT_EQ(characterRowText(9), u"  9  Tabulator");
    EXPECT_EQ(characterRowText(32), u" 32  Leerzeichen");
}

TEST_F(ProfileTest, RunThatReadNothingGivesThe39FixedRows) {
    std::vector<ProfileRow> expected{{u" 13  Carriage return", 0}, {u"Line breaks", 0}};
    for (const ProfileRow& row : digitAndCapitalRows()) {
        expected.push_back(row);
    }
    expected.push_back({u"Total", 0});
    ASSERT_EQ(expected.size(), 39u);

    const Profile profile = BuildProfile(state, u"/home/user/texts");
    EXPECT_EQ(profile.rows, expected);
    EXPECT_EQ(profile.labelFileInfo, u"");
    EXPECT_EQ(profile.labelResults, u"based on 0 files");
    EXPECT_EQ(profile.totalCharacters, 0);
}

TEST_F(ProfileTest, TextABCrLf) {
    (*state.CharCounts)[u'a'] = 1;
    (*state.CharCounts)[u'b'] = 1;
    (*state.CharCounts)[13] = 1;
    (*state.CharCounts)[10] = 1;
    state.CrLfCount = 1;
    state.FilesRead = 1;
    state.TotalCharacters = 99;  // stale value of an earlier run

    std::vector<ProfileRow> expected{
        {u" 10  Line feed", 1}, {u" 13  Carriage return", 1}, {u"Line breaks", 1}};
    for (const ProfileRow& row : digitAndCapitalRows()) {
        expected.push_back(row);
    }
    expected.push_back({u" 97 a", 1});
    expected.push_back({u" 98 b", 1});
    expected.push_back({u"Total", 2});

    const Profile profile = BuildProfile(state, u"a.txt");
    EXPECT_EQ(profile.rows, expected);
    EXPECT_EQ(profile.totalCharacters, 2);
    EXPECT_EQ(state.TotalCharacters, 2);
}

TEST_F(ProfileTest, TotalCountsCodes32AndAboveOnly) {
    CharCountTable& counts = *state.CharCounts;
    counts[9] = 7;
    counts[31] = 5;
    counts[32] = 2;
    counts[u'x'] = 3000000000;  // beyond 32 bits
    counts[65535] = 3;
    const Profile profile = BuildProfile(state, u"");
    EXPECT_EQ(profile.totalCharacters, 3000000005);
    EXPECT_EQ(profile.rows.back(), (ProfileRow{u"Total", 3000000005}));
    EXPECT_EQ(profile.rows[profile.rows.size() - 2], (ProfileRow{u"65535 \uFFFF", 3}));
}

TEST_F(ProfileTest, AbsentLowerCaseHasNoRowWhileAbsentCapitalHasOne) {
    (*state.CharCounts)[u'q'] = 4;
    const Profile profile = BuildProfile(state, u"");
    auto has = [&profile](std::u16string_view text) {
        for (const ProfileRow& row : profile.rows) {
            if (row.text == text) {
                return true;
            }
        }
        return false;
    };
    EXPECT_TRUE(has(u"113 q"));
    EXPECT_FALSE(has(u"114 r"));
    EXPECT_TRUE(has(u" 82 R"));
}

TEST_F(ProfileTest, SecondBuildGivesTheSameProfile) {
    (*state.CharCounts)[u'z'] = 2;
    (*state.CharCounts)[0x4E2D] = 1;
    state.FilesRead = 2;
    const Profile first = BuildProfile(state, u"dir");
    const Profile second = BuildProfile(state, u"dir");
    EXPECT_EQ(first.rows, second.rows);
    EXPECT_EQ(first.labelFileInfo, second.labelFileInfo);
    EXPECT_EQ(first.labelResults, second.labelResults);
}

TEST_F(ProfileTest, SummaryLines) {
    struct Case {
        const char* name;
        std::int64_t files, unicode, bigEndian, utf8;
        std::u16string_view fileInfo;
        std::u16string_view results;
    };
    const std::vector<Case> cases{
        {"one ANSI file", 1, 0, 0, 0, u"ANSI", u"/data/chosen"},
        {"one UTF-16 LE file", 1, 1, 0, 0, u"Unicode", u"/data/chosen"},
        {"one UTF-16 BE file", 1, 1, 1, 0, u"Unicode big-endian", u"/data/chosen"},
        {"one UTF-8 file", 1, 0, 0, 1, u"UTF-8", u"/data/chosen"},
        {"ANSI, LE and BE", 3, 2, 1, 0, u"ANSI: 1; Unicode: 1; Unicode big-endian: 1",
         u"based on 3 files"},
        {"two BE files", 2, 2, 2, 0, u"Unicode: 0; Unicode big-endian: 2", u"based on 2 files"},
        {"ANSI and UTF-8", 3, 0, 0, 2, u"ANSI: 1; UTF-8: 2", u"based on 3 files"},
        {"LE and UTF-8", 2, 1, 0, 1, u"Unicode: 1; UTF-8: 1", u"based on 2 files"},
        {"only UTF-8", 4, 0, 0, 4, u"UTF-8: 4", u"based on 4 files"},
        {"numbers without grouping", 1234, 0, 0, 0, u"ANSI: 1234", u"based on 1234 files"},
        {"beyond the precision of a float", 16777217, 0, 0, 0, u"ANSI: 16777217",
         u"based on 16777217 files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.FilesRead = c.files;
        state.UnicodeFileCount = c.unicode;
        state.BigEndianFileCount = c.bigEndian;
        state.Utf8FileCount = c.utf8;
        const Profile profile = BuildProfile(state, u"/data/chosen");
        EXPECT_EQ(profile.labelFileInfo, c.fileInfo);
        EXPECT_EQ(profile.labelResults, c.results);
    }
}

TEST_F(ProfileTest, LabelsFollowTheLanguageInForce) {
    const std::vector<std::pair<ResId, std::u16string>> german{
        {ResId::VTEnter, u"Zeilenumbrüche"},
        {ResId::VTTotal, u"Summe"},
        {ResId::VTBasedOnNmanyFiles, u"aus %.0f Dateien"}};
    setResourceStringTranslations(german);
    state.FilesRead = 5;
    const Profile profile = BuildProfile(state, u"");
    EXPECT_EQ(profile.rows[1].text, u"Zeilenumbrüche");
    EXPECT_EQ(profile.rows.back().text, u"Summe");
    EXPECT_EQ(profile.labelResults, u"aus 5 Dateien");
}

}  // namespace
}  // namespace runemeter
