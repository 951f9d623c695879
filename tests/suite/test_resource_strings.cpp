#include "suite/resource_strings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <tuple>
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

// Language files refer to the ids: they count up from x01 within each hundred, without gaps.
TEST_F(ResourceStrings, EveryEntryIsFoundByItsNameAndItsIdIsWhereLanguageFilesLookForIt) {
    std::set<std::string_view> names;
    unsigned previous = 0;
    for (const ResourceStringEntry& entry : resourceStringTable()) {
        EXPECT_TRUE(names.insert(entry.name).second) << entry.name;
        EXPECT_EQ(findResourceString(entry.name), &entry);
        EXPECT_EQ(ResourceString(entry.id), entry.english);
        const auto id = static_cast<unsigned>(entry.id);
        EXPECT_EQ(id, id / 100 == previous / 100 ? previous + 1 : id / 100 * 100 + 1) << entry.name;
        previous = id;
    }
    EXPECT_EQ(findResourceString("VTNoSuchString"), nullptr);
    // The copy text tells label rows from character rows by a first character that is no digit.
    for (const ResId id : {ResId::VTEnter, ResId::VTTotal}) {
        const char16_t first = ResourceString(id).front();
        EXPECT_FALSE((first >= u'0' && first <= u'9') || first <= u' ');
    }
}

// A set replaces the one before it whole; an empty text, or a line-break or total label that
// begins with a digit (it would be copied as a character row), keeps the English text.
TEST_F(ResourceStrings, TranslationsReplaceTheirIdsOnlyAndUnusableOnesAreRefused) {
    const std::u16string tab = ResourceString(ResId::VTTab),
                         letter = ResourceString(ResId::VTLetter),
                         enter = ResourceString(ResId::VTEnter),
                         total = ResourceString(ResId::VTTotal);
    setResourceStringTranslations(Texts{{ResId::VTTab, u"Tabulator"}, {ResId::VTTotal, u"Summe"}});
    EXPECT_EQ(ResourceString(ResId::VTTab), u"Tabulator");
    EXPECT_EQ(ResourceString(ResId::VTLetter), letter);
    setResourceStringTranslations(Texts{
        {ResId::VTLetter, u""}, {ResId::VTEnter, u"2 breaks"}, {ResId::VTTotal, u"  9 total"}});
    EXPECT_EQ(ResourceString(ResId::VTTab), tab);
    EXPECT_EQ(ResourceString(ResId::VTLetter), letter);
    EXPECT_EQ(ResourceString(ResId::VTEnter), enter);
    EXPECT_EQ(ResourceString(ResId::VTTotal), total);
}

TEST_F(ResourceStrings, PatternsTakeANumberWithTheLocalesSeparators) {
    Myformatsettings() = FormatSettings{u',', u'.'};
    const std::tuple<std::u16string_view, double, std::u16string_view> rows[] = {
        {u"%.0f files", 3, u"3 files"}, {u"%.0f", 1234567, u"1234567"},
        {u"%.2f", 2.5, u"2,50"},        {u"%f", 2.25, u"2,25"},
        {u"%g", 16777217, u"16777217"}, {u"%n", 1234567, u"1.234.567,00"},
        {u"%.1f", -2.26, u"-2,3"},      {u"%.0f", -0.2, u"0"},
        {u"%.0f%%", 50, u"50%"},        {u"%.0f/%.0f", 7, u"7/"},
        {u"%s files", 4, u"4 files"},   {u"%d %.x %", 4, u"%d %.x %"}};
    for (const auto& [pattern, value, text] : rows)
        EXPECT_EQ(formatWithNumber(pattern, value), text) << utf16ToUtf8(pattern);
}

}  // namespace
}  // namespace runemeter
