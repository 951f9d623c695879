#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "suite/number_format.h"
#include "suite/resource_strings.h"

namespace runemeter {
namespace {

// Puts English back after every test that installs translations.
class ResourceStrings : public ::testing::Test {
protected:
    void TearDown() override {
        setResourceStringTranslations({});
        Myformatsettings() = FormatSettings{};
    }
};

struct ExpectedEntry {
    ResId id;
    const char* name;
    int stringArguments;  // -1: takes a number instead
};

constexpr std::array<ExpectedEntry, 22> kExpected{{
    {ResId::VTTab, "VTTab", 0},
    {ResId::VTLineFeed, "VTLineFeed", 0},
    {ResId::VTCarriageReturn, "VTCarriageReturn", 0},
    {ResId::VTSpace, "VTSpace", 0},
    {ResId::VTEnter, "VTEnter", 0},
    {ResId::VTTotal, "VTTotal", 0},
    {ResId::VTHelpFileIs, "VTHelpFileIs", 1},
    {ResId::VTClosingATool, "VTClosingATool", 1},
    {ResId::VTAnsi, "VTAnsi", 0},
    {ResId::VTUnicode, "VTUnicode", 0},
    {ResId::VTUnicodeBigEndian, "VTUnicodeBigEndian", 0},
    {ResId::VTUTF8, "VTUTF8", 0},
    {ResId::VTBasedOnNmanyFiles, "VTBasedOnNmanyFiles", -1},
    {ResId::VTLetter, "VTLetter", 0},
    {ResId::VTDigit, "VTDigit", 0},
    {ResId::VTPunctuation, "VTPunctuation", 0},
    {ResId::VTFileIsEmpty, "VTFileIsEmpty", 1},
    {ResId::VTFailedToRead, "VTFailedToRead", 1},
    {ResId::VTClipboardHasText, "VTClipboardHasText", 0},
    {ResId::VTNoHelpFile, "VTNoHelpFile", 1},
    {ResId::VTArchiveDamaged, "VTArchiveDamaged", 2},
    {ResId::VTMemberDamaged, "VTMemberDamaged", 3},
}};

std::size_t countOf(std::u16string_view text, std::u16string_view part) {
    std::size_t n = 0;
    for (std::size_t pos = text.find(part); pos != std::u16string_view::npos;
         pos = text.find(part, pos + part.size())) {
        ++n;
    }
    return n;
}

TEST_F(ResourceStrings, TableHoldsEveryIdOnceUnderItsName) {
    const auto table = resourceStringTable();
    ASSERT_EQ(table.size(), kExpected.size());
    std::set<std::string_view> names;
    for (std::size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(kExpected[i].name);
        EXPECT_EQ(table[i].id, kExpected[i].id);
        EXPECT_EQ(table[i].name, kExpected[i].name);
        EXPECT_FALSE(table[i].english.empty());
        EXPECT_TRUE(names.insert(table[i].name).second);
        const ResourceStringEntry* found = findResourceString(kExpected[i].name);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->id, kExpected[i].id);
        EXPECT_EQ(ResourceString(kExpected[i].id), table[i].english);
    }
    EXPECT_EQ(findResourceString("VTNoSuchString"), nullptr);
    EXPECT_EQ(findResourceString(""), nullptr);
}

TEST_F(ResourceStrings, PatternsTakeTheirArgumentsAndNoOthers) {
    const std::array<std::u16string_view, 3> args{u"<first>", u"<second>", u"<third>"};
    for (const ExpectedEntry& e : kExpected) {
        SCOPED_TRACE(e.name);
        const std::u16string pattern = ResourceString(e.id);
        if (e.stringArguments < 0) {
            const std::u16string text = formatWithNumber(pattern, 1234.0);
            EXPECT_NE(text.find(u"1234"), std::u16string::npos);
            EXPECT_EQ(text.find(u'%'), std::u16string::npos);
            continue;
        }
        const std::u16string text = formatWithStrings(pattern, args);
        for (int a = 0; a < 3; ++a) {
            EXPECT_EQ(countOf(text, args[static_cast<std::size_t>(a)]),
                      a < e.stringArguments ? 1u : 0u);
        }
        EXPECT_EQ(text.find(u'%'), std::u16string::npos);
    }
}

TEST_F(ResourceStrings, LabelsThatRowsAreToldApartBy) {
    // The copy text skips rows that do not begin with a digit; the labels must not.
    for (const ResId id : {ResId::VTEnter, ResId::VTTotal}) {
        const std::u16string text = ResourceString(id);
        ASSERT_FALSE(text.empty());
        EXPECT_FALSE(text.front() >= u'0' && text.front() <= u'9');
        EXPECT_GT(text.front(), u' ');
    }
}

TEST_F(ResourceStrings, TranslationsReplaceOnlyTheirIdsAndResetToEnglish) {
    const std::u16string englishTotal = ResourceString(ResId::VTTotal);
    const std::vector<std::pair<ResId, std::u16string>> german{{ResId::VTTab, u"Tabulator"},
                                                               {ResId::VTEnter, u"Zeilenumbrüche"}};
    setResourceStringTranslations(german);
    EXPECT_EQ(ResourceString(ResId::VTTab), u"Tabulator");
    EXPECT_EQ(ResourceString(ResId::VTEnter), u"Zeilenumbrüche");
    EXPECT_EQ(ResourceString(ResId::VTTotal), englishTotal);

    // A second set replaces the first as a whole.
    const std::vector<std::pair<ResId, std::u16string>> french{{ResId::VTTotal, u"Total général"}};
    setResourceStringTranslations(french);
    EXPECT_EQ(ResourceString(ResId::VTTab), u"Tab");
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total général");

    setResourceStringTranslations({});
    EXPECT_EQ(ResourceString(ResId::VTTotal), englishTotal);
}

TEST_F(ResourceStrings, UnusableTranslationsKeepTheEnglishText) {
    struct Case {
        const char* name;
        const char* entry;
        std::u16string text;
    };
    const std::vector<Case> cases{
        {"empty text", "VTLetter", u""},
        {"line-break label starting with a digit", "VTEnter", u"2 breaks"},
        {"total label starting with a digit after blanks", "VTTotal", u"  9 total"},
        {"total label of blanks only", "VTTotal", u"   "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ResourceStringEntry* entry = findResourceString(c.entry);
        ASSERT_NE(entry, nullptr);
        const std::vector<std::pair<ResId, std::u16string>> texts{{entry->id, c.text}};
        setResourceStringTranslations(texts);
        EXPECT_EQ(ResourceString(entry->id), entry->english);
    }
}

TEST_F(ResourceStrings, FormatWithStrings) {
    struct Case {
        const char* name;
        std::u16string_view pattern;
        std::vector<std::u16string_view> args;
        std::u16string_view expected;
    };
    const std::vector<Case> cases{
        {"one argument", u"The file %s is empty.", {u"a.txt"}, u"The file a.txt is empty."},
        {"two in order", u"%s then %s", {u"x", u"y"}, u"x then y"},
        {"percent sign", u"100%% of %s", {u"it"}, u"100% of it"},
        {"argument holding %s is not reformatted", u"[%s]", {u"%s"}, u"[%s]"},
        {"missing argument gives nothing", u"%s and %s", {u"one"}, u"one and "},
        {"extra argument ignored", u"only %s", {u"a", u"b"}, u"only a"},
        {"other sequences kept", u"%d %x %", {}, u"%d %x %"},
        {"empty pattern", u"", {u"a"}, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formatWithStrings(c.pattern, c.args), c.expected);
    }
}

TEST_F(ResourceStrings, FormatWithNumber) {
    Myformatsettings() = FormatSettings{u',', u'.'};
    struct Case {
        const char* name;
        std::u16string_view pattern;
        double value;
        std::u16string_view expected;
    };
    const std::vector<Case> cases{
        {"no decimals", u"based on %.0f files", 3, u"based on 3 files"},
        {"no decimals, no grouping", u"%.0f", 1234567, u"1234567"},
        {"zero files", u"based on %.0f files", 0, u"based on 0 files"},
        {"two decimals, locale separator", u"%.2f", 2.5, u"2,50"},
        {"plain f has two decimals", u"%f", 2.25, u"2,25"},
        {"general", u"%g", 2.5, u"2,5"},
        {"general of a whole number", u"%g", 16777217, u"16777217"},
        {"number groups digits", u"%n", 1234567, u"1.234.567,00"},
        {"number with no decimals", u"%.0n", 1234, u"1.234"},
        {"negative", u"%.1f", -2.26, u"-2,3"},
        {"minus zero shows no sign", u"%.0f", -0.2, u"0"},
        {"percent sign", u"%.0f%%", 50, u"50%"},
        {"second conversion gives nothing", u"%.0f/%.0f", 7, u"7/"},
        {"string conversion takes the number", u"%s files", 4, u"4 files"},
        {"unknown sequence kept", u"%d %.x %", 4, u"%d %.x %"},
        {"not a number", u"%.0f", std::nan(""), u"NaN"},
        {"infinite", u"%.0f", -std::numeric_limits<double>::infinity(), u"-INF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(formatWithNumber(c.pattern, c.value), c.expected);
    }
}

}  // namespace
}  // namespace runemeter
