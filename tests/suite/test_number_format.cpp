#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "suite/number_format.h"

namespace runemeter {
namespace {

constexpr FormatSettings kEnglish{u'.', u','};
constexpr FormatSettings kGerman{u',', u'.'};
constexpr FormatSettings kUngrouped{u'.', 0};
constexpr FormatSettings kNoBreakSpace{u',', u'\u00A0'};

TEST(NumberFormat, IntToDecStr) {
    struct Case {
        const char* name;
        std::int64_t value;
        FormatSettings settings;
        std::u16string_view expected;
    };
    const std::vector<Case> cases{
        {"zero", 0, kEnglish, u"0"},
        {"three digits, no separator", 999, kEnglish, u"999"},
        {"four digits", 1000, kEnglish, u"1,000"},
        {"seven digits", 1234567, kEnglish, u"1,234,567"},
        {"six digits, no leading separator", 123456, kEnglish, u"123,456"},
        {"negative", -1234567, kEnglish, u"-1,234,567"},
        {"negative three digits, no separator after sign", -999, kEnglish, u"-999"},
        {"beyond 32 bits", 3000000000, kEnglish, u"3,000,000,000"},
        {"largest", std::numeric_limits<std::int64_t>::max(), kEnglish,
         u"9,223,372,036,854,775,807"},
        {"smallest", std::numeric_limits<std::int64_t>::min(), kEnglish,
         u"-9,223,372,036,854,775,808"},
        {"dot separator", 1234567, kGerman, u"1.234.567"},
        {"no grouping", 1234567, kUngrouped, u"1234567"},
        {"no-break space", 12345, kNoBreakSpace, u"12\u00A0345"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IntToDecStr(c.value, c.settings), c.expected);
    }
}

TEST(NumberFormat, RealToDecStr) {
    struct Case {
        const char* name;
        long double value;
        FormatSettings settings;
        std::u16string_view expected;
    };
    const std::vector<Case> cases{
        {"whole number", 12, kEnglish, u"12.00"},
        {"zero", 0, kEnglish, u"0.00"},
        {"below one", 0.5L, kEnglish, u"0.50"},
        {"half rounds up", 0.125L, kEnglish, u"0.13"},
        {"half rounds away from zero when negative", -0.125L, kEnglish, u"-0.13"},
        {"rounds down", 0.124L, kEnglish, u"0.12"},
        {"tiny negative shows no sign", -0.004L, kEnglish, u"0.00"},
        {"carry into the whole part", 999.999L, kEnglish, u"1,000.00"},
        {"grouping", 1234.5L, kEnglish, u"1,234.50"},
        {"german separators", 1234567.891L, kGerman, u"1.234.567,89"},
        {"no grouping", 1234567.891L, kUngrouped, u"1234567.89"},
        {"one hundred per cent", 100, kEnglish, u"100.00"},
        {"beyond 64-bit hundredths", 1e20L, kEnglish, u"100,000,000,000,000,000,000.00"},
        {"not a number", std::nanl(""), kEnglish, u"NaN"},
        {"infinite", std::numeric_limits<long double>::infinity(), kEnglish, u"INF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RealToDecStr(c.value, c.settings), c.expected);
    }
}

TEST(NumberFormat, RealToDecStrOfTheLargestValueIsAllDigits) {
    const std::u16string text = RealToDecStr(LDBL_MAX, kUngrouped);
    ASSERT_GT(text.size(), 4000u);
    EXPECT_EQ(text.substr(text.size() - 3), u".00");
    for (std::size_t i = 0; i + 3 < text.size(); ++i) {
        ASSERT_TRUE(text[i] >= u'0' && text[i] <= u'9') << "position " << i;
    }
}

// Sets LC_ALL for one test and puts the old value back.
class ScopedLocaleEnvironment {
public:
    explicit ScopedLocaleEnvironment(const char* value) {
        if (const char* old = std::getenv("LC_ALL")) {
            m_old = old;
        }
        ::setenv("LC_ALL", value, 1);
    }
    ~ScopedLocaleEnvironment() {
        if (m_old) {
            ::setenv("LC_ALL", m_old->c_str(), 1);
        } else {
            ::unsetenv("LC_ALL");
        }
    }

private:
    std::optional<std::string> m_old;
};

TEST(NumberFormat, EnvironmentLocaleFallsBackToTheCLocale) {
    struct Case {
        const char* name;
        const char* lcAll;
    };
    const std::vector<Case> cases{
        {"C locale", "C"},
        {"POSIX locale", "POSIX"},
        {"locale that is not installed", "xx_NOWHERE.UTF-8"},
        {"malformed name", "@@@"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScopedLocaleEnvironment env(c.lcAll);
        FormatSettings settings;
        ASSERT_NO_THROW(settings = formatSettingsFromEnvironment());
        EXPECT_EQ(settings.decimalSeparator, u'.');
        // The C locale groups no digits.
        EXPECT_EQ(settings.thousandSeparator, char16_t{0});
    }
}

}  // namespace
}  // namespace runemeter
