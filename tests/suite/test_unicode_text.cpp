#include <gtest/gtest.h>
#include <unicode/ustring.h>

#include <random>
#include <string>

#include "suite/unicode_text.h"

namespace runemeter {
namespace {

struct Utf8Case {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

// Test names show the row name, not a dump of the row.
void PrintTo(const Utf8Case& row, std::ostream* os) {
    *os << row.name;
}

class Utf8ToUtf16 : public ::testing::TestWithParam<Utf8Case> {};

TEST_P(Utf8ToUtf16, DecodesWithOneReplacementPerMaximalInvalidSubpart) {
    EXPECT_EQ(utf8ToUtf16(GetParam().utf8), GetParam().utf16);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf8ToUtf16,
    ::testing::Values(Utf8Case{"ascii", "abc", u"abc"}, Utf8Case{"empty", "", u""},
                      Utf8Case{"two_bytes", "\xC3\xA9", u"\u00E9"},
                      Utf8Case{"three_bytes", "\xE2\x82\xAC", u"\u20AC"},
                      Utf8Case{"four_bytes_become_a_pair", "\xF0\x9F\x98\x80", u"\U0001F600"},
                      Utf8Case{"lone_continuation", "a\x80z", u"a\uFFFDz"},
                      Utf8Case{"truncated_three_byte", "\xE2\x82z", u"\uFFFDz"},
                      Utf8Case{"truncated_at_end", "a\xF0\x9F\x98", u"a\uFFFD"},
                      Utf8Case{"overlong_two_byte", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      Utf8Case{"overlong_three_byte", "\xE0\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"surrogate_encoded", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"above_10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      Utf8Case{"byte_F5", "\xF5z", u"\uFFFDz"},
                      Utf8Case{"unicode_standard_example",
                               "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
                               u"a\uFFFD\uFFFD\uFFFDb\uFFFDc\uFFFD\uFFFDd"},
                      Utf8Case{"nul_kept", std::string("a\0b", 3), std::u16string(u"a\0b", 3)}),
    [](const auto& info) { return std::string(info.param.name); });

// ICU's converter follows the same replacement practice; compare on random bytes that are
// biased towards lead and continuation bytes so that every malformed shape occurs.
TEST(Utf8ToUtf16Reference, MatchesIcuOnRandomBytes) {
    std::mt19937 random(20261206);
    const unsigned char pool[] = {0x41, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                  0xDF, 0xE0, 0xE1, 0xED, 0xEF, 0xF0, 0xF1, 0xF4, 0xF5, 0xFF};
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char& c : bytes)
            c = static_cast<char>(pool[random() % sizeof pool]);
        std::u16string expected(bytes.size() * 2 + 1, u'\0');
        int32_t length = 0;
        UErrorCode status = U_ZERO_ERROR;
        u_strFromUTF8WithSub(reinterpret_cast<UChar*>(expected.data()),
                             static_cast<int32_t>(expected.size()), &length, bytes.data(),
                             static_cast<int32_t>(bytes.size()), 0xFFFD, nullptr, &status);
        ASSERT_TRUE(U_SUCCESS(status));
        expected.resize(static_cast<std::size_t>(length));
        ASSERT_EQ(utf8ToUtf16(bytes), expected) << "round " << round;
    }
}

struct Utf16Case {
    const char* name;
    std::u16string utf16;
    std::string utf8;
};

// Test names show the row name, not a dump of the row.
void PrintTo(const Utf16Case& row, std::ostream* os) {
    *os << row.name;
}

class Utf16ToUtf8 : public ::testing::TestWithParam<Utf16Case> {};

TEST_P(Utf16ToUtf8, EncodesAndReplacesLoneSurrogates) {
    EXPECT_EQ(utf16ToUtf8(GetParam().utf16), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Utf16ToUtf8,
    ::testing::Values(Utf16Case{"ascii", u"abc", "abc"},
                      Utf16Case{"bmp", u"\u00E9\u20AC", "\xC3\xA9\xE2\x82\xAC"},
                      Utf16Case{"pair", u"\U0001F600", "\xF0\x9F\x98\x80"},
                      Utf16Case{"lone_high_at_end", u"a\xD83D", "a\xEF\xBF\xBD"},
                      Utf16Case{"lone_low", u"\xDE00z", "\xEF\xBF\xBDz"},
                      Utf16Case{"high_then_letter", u"\xD83Dz", "\xEF\xBF\xBDz"},
                      Utf16Case{"reversed_pair", u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Utf16ToUtf8Reference, RoundTripsEveryValidCodePointSample) {
    std::mt19937 random(7);
    for (int round = 0; round < 5000; ++round) {
        std::u16string text;
        for (int i = 0; i < 6; ++i) {
            char32_t cp = random() % 0x110000;
            if (cp >= 0xD800 && cp <= 0xDFFF)
                cp = 0x41;
            if (cp < 0x10000) {
                text.push_back(static_cast<char16_t>(cp));
            } else {
                text.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
                text.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
            }
        }
        ASSERT_EQ(utf8ToUtf16(utf16ToUtf8(text)), text) << "round " << round;
    }
}

TEST(PathText, InvalidBytesOfANameAreShownAsReplacement) {
    EXPECT_EQ(pathToDisplay(std::filesystem::path("/tmp/bad\xFFname")), u"/tmp/bad\uFFFDname");
}

TEST(OneLine, WritesOutWhatWouldBreakALine) {
    struct Row {
        std::u16string text;
        std::u16string line;
    };
    const Row rows[] = {
        {u"plain name.txt", u"plain name.txt"},
        {u"a\nb\rc\td", u"a\\nb\\rc\\td"},
        {u"\x1B[2J\x7F\x85", u"\\x1B[2J\\x7F\\x85"},
        {u"K\u00F6ln \u20AC \U0001F600", u"K\u00F6ln \u20AC \U0001F600"},
        {u"\uFFFD stays", u"\uFFFD stays"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(oneLine(row.text), row.line) << utf16ToUtf8(row.text);
    }
}

TEST(PathText, TypedTextBecomesUtf8Bytes) {
    EXPECT_EQ(pathFromText(u"/tmp/caf\u00E9").native(), "/tmp/caf\xC3\xA9");
    EXPECT_EQ(pathToDisplay(pathFromText(u"/x/\u4E2D.txt")), u"/x/\u4E2D.txt");
}

struct FoldCase {
    const char* name;
    std::u16string in;
    std::u16string out;
};

// Test names show the row name, not a dump of the row.
void PrintTo(const FoldCase& row, std::ostream* os) {
    *os << row.name;
}

class FoldCaseTable : public ::testing::TestWithParam<FoldCase> {};

TEST_P(FoldCaseTable, Folds) {
    EXPECT_EQ(foldCase(GetParam().in), GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Table, FoldCaseTable,
    ::testing::Values(FoldCase{"ascii", u"ReadMe.TXT", u"readme.txt"}, FoldCase{"empty", u"", u""},
                      FoldCase{"sharp_s_expands", u"Stra\u00DFe", u"strasse"},
                      FoldCase{"greek_sigma", u"\u03A3\u03C2", u"\u03C3\u03C3"},
                      FoldCase{"long_text_grows", std::u16string(40, u'\u00DF'),
                               std::u16string(80, u's')},
                      FoldCase{"deseret_pair", u"\U00010400", u"\U00010428"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace runemeter
