// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/number_format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "suite/unicode_text.h"
#include "support/files.h"

namespace runemeter {
namespace {

// Grouped by threes with the given separators (the C locale's group nothing); reals with two
// decimals, rounded half away from zero.
TEST(NumberFormat, NumbersAreGroupedByThreesAndRealsHaveTwoDecimals) {
    const test::ScopedEnv cLocale("LC_ALL", "C");
    const FormatSettings en{u'.', u','}, de{u',', u'\u00A0'}, c = formatSettingsFromEnvironment();
    const std::int64_t least = std::numeric_limits<std::int64_t>::min();
    const std::tuple<std::int64_t, FormatSettings, std::u16string> integers[] = {
        {-999, en, u"-999"},           {1000, en, u"1,000"},
        {-1234567, en, u"-1,234,567"}, {least, en, u"-9,223,372,036,854,775,808"},
        {12345, de, u"12\u00A0345"},   {1234567, c, u"1234567"}};
    for (const auto& [value, settings, text] : integers)
        EXPECT_EQ(IntToDecStr(value, settings), text) << value;
    const std::tuple<long double, FormatSettings, std::u16string> reals[] = {
        {0.125L, en, u"0.13"},
        {-0.125L, en, u"-0.13"},
        {-0.004L, en, u"0.00"},
        {999.999L, en, u"1,000.00"},
        {1234.567L, de, u"1\u00A0234,57"},
        {1e18L, c, u"1000000000000000000.00"},
        {std::nanl(""), en, u"NaN"}};
    for (const auto& [value, settings, text] : reals)
        EXPECT_EQ(RealToDecStr(value, settings), text) << utf16ToUtf8(text);
    const std::u16string largest = RealToDecStr(LDBL_MAX, c);
    EXPECT_GT(largest.size(), 4000u);
    EXPECT_EQ(largest.find_first_not_of(u"0123456789"), largest.size() - 3);
}

}  // namespace
}  // namespace runemeter
