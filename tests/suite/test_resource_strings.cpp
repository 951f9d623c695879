// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/resource_strings.h"

#include <gtest/gtest.h>

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
}

// A set replaces the one before it whole; an empty text, or a line-break or total label that
// begins with a digit (it would be copied as a character row), keeps the English text.
TEST_F(ResourceStrings, TranslationsReplaceTheirIdsOnlyAndUnusableOnesAreRefused) {
    std::u16string english[4];
    const ResId ids[] = {ResId::VTTab, ResId::VTLetter, ResId::VTEnter, ResId::VTTotal};
    for (int i = 0; i < 4; ++i)
        english[i] = ResourceString(ids[i]);
    setResourceStringTranslations(Texts{{ResId::VTTab, u"Tabulator"},
                                        {ResId::VTLetter, u""},
                                        {ResId::VTEnter, u"2 breaks"},
                                        {ResId::VTTotal, u"  9 total"}});
    EXPECT_EQ(ResourceString(ResId::VTTab), u"Tabulator");
    for (int i = 1; i < 4; ++i)
        EXPECT_EQ(ResourceString(ids[i]), english[i]) << i;
    setResourceStringTranslations(Texts{{ResId::VTLetter, u"Buchstabe"}});
    EXPECT_EQ(ResourceString(ResId::VTTab), english[0]);  // the earlier set is replaced whole
}

TEST_F(ResourceStrings, PatternsTakeANumberWithTheLocalesSeparators) {
    Myformatsettings() = FormatSettings{u',', u'.'};
    const std::tuple<std::u16string_view, double, std::u16string_view> rows[] = {
        {u"%.0f files", 3, u"3 files"}, {u"%.2f", 2.5, u"2,50"},           {u"%f", 2.25, u"2,25"},
        {u"%g", 16777217, u"16777217"}, {u"%n", 1234567, u"1.234.567,00"}, {u"%.0f", -0.2, u"0"},
        {u"%.0f%%/%.0f", 50, u"50%/"},  {u"%d %.x %", 4, u"%d %.x %"}};
    for (const auto& [pattern, value, text] : rows)
        EXPECT_EQ(formatWithNumber(pattern, value), text) << utf16ToUtf8(pattern);
}

}  // namespace
}  // namespace runemeter
