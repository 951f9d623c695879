#include "suite/resource_strings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "suite/number_format.h"
#include "suite/unicode_text.h"

namespace runemeter {
namespace {

using Texts = std::vector<std::pair<ResId, std::u16string>>;

// Puts English and the default separators back after every test.
class ResourceStrings : public ::testing::Test {
protected:
    void TearDown() override {
        setResourceStringTranslations({});
        Myformatsettings() = FormatSettings{};
    }
};

// What the callers pass: the string arguments of each pattern (-1: one number), none elsewhere.
TEST_F(ResourceStrings, EveryEntryIsFoundByNameAndTakesWhatItsCallersPass) {
    const std::map<ResId, int> arguments = {
        {ResId::VTHelpFileIs, 1},    {ResId::VTClosingATool, 1},      {ResId::VTFileIsEmpty, 1},
        {ResId::VTFailedToRead, 1},  {ResId::VTNoHelpFile, 1},        {ResId::VTArchiveDamaged, 2},
        {ResId::VTMemberDamaged, 3}, {ResId::VTBasedOnNmanyFiles, -1}};
    const std::u16string_view args[] = {u"<1>", u"<2>", u"<3>"};
    std::set<std::string_view> names;
    for (const ResourceStringEntry& entry : resourceStringTable()) {
        SCOPED_TRACE(std::string(entry.name));
        EXPECT_TRUE(names.insert(entry.name).second);
        EXPECT_EQ(findResourceString(entry.name), &entry);
        const std::u16string text = ResourceString(entry.id);
        EXPECT_EQ(text, entry.english);
        ASSERT_FALSE(text.empty());
        const int wanted = arguments.contains(entry.id) ? arguments.at(entry.id) : 0;
        const std::u16string filled =
            wanted < 0 ? formatWithNumber(text, 1234.0) : formatWithStrings(text, args);
        EXPECT_EQ(filled.find(u'%'), std::u16string::npos) << utf16ToUtf8(filled);
        for (int a = 0; a < 3; ++a)
            EXPECT_EQ(filled.find(args[a]) != std::u16string::npos, a < wanted);
        EXPECT_EQ(filled.find(u"1234") != std::u16string::npos, wanted < 0);
    }
    EXPECT_EQ(findResourceString("VTNoSuchString"), nullptr);
    // The copy text tells label rows from character rows by a first character that is no digit.
    for (const ResId id : {ResId::VTEnter, ResId::VTTotal}) {
        const char16_t first = ResourceString(id).front();
        EXPECT_FALSE((first >= u'0' && first <= u'9') || first <= u' ');
    }
}

TEST_F(ResourceStrings, TranslationsReplaceTheirIdsOnlyAndUnusableOnesAreRefused) {
    const std::u16string tab = ResourceString(ResId::VTTab),
                         letter = ResourceString(ResId::VTLetter),
                         enter = ResourceString(ResId::VTEnter),
                         total = ResourceString(ResId::VTTotal);
    setResourceStringTranslations(Texts{{ResId::VTTab, u"Tabulator"}, {ResId::VTLetter, u""}});
    EXPECT_EQ(ResourceString(ResId::VTTab), u"Tabulator");
    EXPECT_EQ(ResourceString(ResId::VTLetter), letter);
    EXPECT_EQ(ResourceString(ResId::VTTotal), total);
    setResourceStringTranslations(Texts{{ResId::VTTotal, u"Total g\u00E9n\u00E9ral"}});
    EXPECT_EQ(ResourceString(ResId::VTTab), tab);  // the earlier set is replaced whole
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total g\u00E9n\u00E9ral");
    setResourceStringTranslations({});
    EXPECT_EQ(ResourceString(ResId::VTTotal), total);
    for (const auto& [id, text] : Texts{{ResId::VTEnter, u"2 breaks"},
                                        {ResId::VTTotal, u"  9 total"},
                                        {ResId::VTTotal, u"   "}}) {
        setResourceStringTranslations(Texts{{id, text}});
        EXPECT_EQ(ResourceString(id), id == ResId::VTTotal ? total : enter) << utf16ToUtf8(text);
    }
}

TEST_F(ResourceStrings, PatternsTakeStrings) {
    const struct {
        std::u16string_view pattern;
        std::vector<std::u16string_view> args;
        std::u16string_view text;
    } rows[] = {
        {u"%s then %s", {u"x", u"y"}, u"x then y"},
        {u"100%% of %s", {u"it"}, u"100% of it"},
        {u"[%s]", {u"%s"}, u"[%s]"},
        {u"%s and %s", {u"one"}, u"one and "},
        {u"only %s", {u"a", u"b"}, u"only a"},
        {u"%d %x %", {}, u"%d %x %"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(formatWithStrings(row.pattern, row.args), row.text) << utf16ToUtf8(row.pattern);
}

TEST_F(ResourceStrings, PatternsTakeANumberWithTheLocalesSeparators) {
    Myformatsettings() = FormatSettings{u',', u'.'};
    const struct {
        std::u16string_view pattern;
        double value;
        std::u16string_view text;
    } rows[] = {
        {u"based on %.0f files", 3, u"based on 3 files"},
        {u"%.0f", 1234567, u"1234567"},
        {u"%.2f", 2.5, u"2,50"},
        {u"%f", 2.25, u"2,25"},
        {u"%g", 2.5, u"2,5"},
        {u"%g", 16777217, u"16777217"},
        {u"%n", 1234567, u"1.234.567,00"},
        {u"%.0n", 1234, u"1.234"},
        {u"%.1f", -2.26, u"-2,3"},
        {u"%.0f", -0.2, u"0"},
        {u"%.0f%%", 50, u"50%"},
        {u"%.0f/%.0f", 7, u"7/"},
        {u"%s files", 4, u"4 files"},
        {u"%d %.x %", 4, u"%d %.x %"},
        {u"%.0f", std::nan(""), u"NaN"},
        {u"%.0f", -std::numeric_limits<double>::infinity(), u"-INF"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(formatWithNumber(row.pattern, row.value), row.text) << utf16ToUtf8(row.pattern);
}

}  // namespace
}  // namespace runemeter
