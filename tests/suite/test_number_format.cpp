#include "suite/number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>

#include "suite/unicode_text.h"
#include "support/files.h"

namespace runemeter {
namespace {

constexpr FormatSettings kEnglish{u'.', u','};
constexpr FormatSettings kGerman{u',', u'.'};
constexpr FormatSettings kUngrouped{u'.', 0};

TEST(NumberFormat, IntegersAreGroupedByThrees) {
    const struct {
        std::int64_t value;
        FormatSettings settings;
        std::u16string_view text;
    } rows[] = {
        {0, kEnglish, u"0"},
        {999, kEnglish, u"999"},
        {1000, kEnglish, u"1,000"},
        {123456, kEnglish, u"123,456"},
        {-999, kEnglish, u"-999"},
        {-1234567, kEnglish, u"-1,234,567"},
        {std::numeric_limits<std::int64_t>::max(), kEnglish, u"9,223,372,036,854,775,807"},
        {std::numeric_limits<std::int64_t>::min(), kEnglish, u"-9,223,372,036,854,775,808"},
        {1234567, kGerman, u"1.234.567"},
        {1234567, kUngrouped, u"1234567"},
        {12345, FormatSettings{u',', u'\u00A0'}, u"12\u00A0345"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(IntToDecStr(row.value, row.settings), row.text) << row.value;
}

TEST(NumberFormat, RealsHaveTwoDecimalsRoundedHalfAwayFromZero) {
    const struct {
        long double value;
        FormatSettings settings;
        std::u16string_view text;
    } rows[] = {
        {12, kEnglish, u"12.00"},
        {0.125L, kEnglish, u"0.13"},
        {-0.125L, kEnglish, u"-0.13"},
        {0.124L, kEnglish, u"0.12"},
        {-0.004L, kEnglish, u"0.00"},
        {999.999L, kEnglish, u"1,000.00"},
        {1234567.891L, kGerman, u"1.234.567,89"},
        {1234567.891L, kUngrouped, u"1234567.89"},
        {1e20L, kEnglish, u"100,000,000,000,000,000,000.00"},
        {std::nanl(""), kEnglish, u"NaN"},
        {std::numeric_limits<long double>::infinity(), kEnglish, u"INF"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(RealToDecStr(row.value, row.settings), row.text) << utf16ToUtf8(row.text);
    const std::u16string largest = RealToDecStr(LDBL_MAX, kUngrouped);
    ASSERT_GT(largest.size(), 4000u);
    EXPECT_EQ(largest.find_first_not_of(u"0123456789"), largest.size() - 3);
    EXPECT_TRUE(largest.ends_with(u".00"));
}

TEST(NumberFormat, AnUnknownLocaleFallsBackToTheCLocale) {
    for (const char* locale : {"C", "POSIX", "xx_NOWHERE.UTF-8", "@@@"}) {
        const test::ScopedEnv lcAll("LC_ALL", locale);
        const FormatSettings settings = formatSettingsFromEnvironment();
        EXPECT_EQ(settings.decimalSeparator, u'.') << locale;
        EXPECT_EQ(settings.thousandSeparator, char16_t{0}) << locale;  // no grouping
    }
}

}  // namespace
}  // namespace runemeter
