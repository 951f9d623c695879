// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/profile.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "suite/resource_strings.h"

namespace runemeter {
namespace {

// Every row of a run: the codes counted, CR, the digits and the capitals always, the line-break
// row (the CR LF pairs) right after CR; the code right-aligned in four places, then the
// character or a blank and a name; the total of the codes from 32 on, past 32 bits.
TEST(BuildProfile, RowsOfARun) {
    AnalysisState state;
    CharCountTable& counts = *state.CharCounts;
    for (const int code : {9, 9, 10, 13, 65, 65, 233, 0xD800, 65535, 65535, 65535})
        ++counts[code];
    counts[u'a'] = 3000000000;
    state.CrLfCount = 1;
    state.TotalCharacters = 99;  // a stale one
    using Row = ProfileRow;
    std::vector<Row> expected = {Row(u"  9  Tab", 2), Row(u" 10  Line feed", 1),
                                 Row(u" 13  Carriage return", 1), Row(u"Line breaks", 1)};
    for (char16_t c = u'0'; c <= u'Z'; ++c)  // digits and capitals: two-digit codes
        if (c <= u'9' || c >= u'A')
            expected.push_back({{u' ', static_cast<char16_t>(u'0' + c / 10),
                                 static_cast<char16_t>(u'0' + c % 10), u' ', c},
                                c == u'A' ? 2 : 0});
    expected.insert(expected.end(),
                    {Row(u" 97 a", 3000000000), Row(u"233 \u00E9", 1), Row(u"55296 \xD800", 1),
                     Row(u"65535 \uFFFF", 3), Row(u"Total", 3000000007)});
    const Profile profile = BuildProfile(state, u"/chosen");
    EXPECT_EQ(profile.rows, expected);
    EXPECT_EQ(profile.totalCharacters, 3000000007);
    EXPECT_EQ(state.TotalCharacters, 3000000007);
}

// The encodings line and the results line: one file shows its encoding and the chosen path,
// several the files of each encoding that occurs and their number; in the language in force.
TEST(BuildProfile, SummaryLines) {
    struct Row {
        std::int64_t files, unicode, bigEndian, utf8;
        std::u16string_view fileInfo, results;
    };
    const std::vector<Row> rows = {
        {0, 0, 0, 0, u"", u"based on 0 files"},
        {1, 0, 0, 0, u"ANSI", u"/data/chosen"},
        {1, 1, 0, 0, u"Unicode", u"/data/chosen"},
        {1, 1, 1, 0, u"Unicode big-endian", u"/data/chosen"},
        {1, 0, 0, 1, u"UTF-8", u"/data/chosen"},
        {3, 2, 1, 0, u"ANSI: 1; Unicode: 1; Unicode big-endian: 1", u"based on 3 files"},
        {2, 2, 2, 0, u"Unicode: 0; Unicode big-endian: 2", u"based on 2 files"},
        {1234, 0, 0, 1234, u"UTF-8: 1234", u"based on 1234 files"},
        {16777217, 0, 0, 0, u"ANSI: 16777217", u"based on 16777217 files"},  // past a float
    };
    for (const Row& row : rows) {
        AnalysisState state;
        state.FilesRead = row.files;
        state.UnicodeFileCount = row.unicode;
        state.BigEndianFileCount = row.bigEndian;
        state.Utf8FileCount = row.utf8;
        const Profile profile = BuildProfile(state, u"/data/chosen");
        EXPECT_EQ(profile.labelFileInfo, row.fileInfo) << row.files << " files";
        EXPECT_EQ(profile.labelResults, row.results) << row.files << " files";
    }
    const std::vector<std::pair<ResId, std::u16string>> german{
        {ResId::VTTab, u"Tabulator"}, {ResId::VTBasedOnNmanyFiles, u"aus %.0f Dateien"}};
    setResourceStringTranslations(german);
    AnalysisState state;
    state.FilesRead = 5;
    (*state.CharCounts)[9] = 1;
    const Profile profile = BuildProfile(state, u"");
    setResourceStringTranslations({});
    EXPECT_EQ(profile.rows[0].text, u"  9  Tabulator");
    EXPECT_EQ(profile.labelResults, u"aus 5 Dateien");
}

}  // namespace
}  // namespace runemeter
