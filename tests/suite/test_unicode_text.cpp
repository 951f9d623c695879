#include "suite/unicode_text.h"

#include <unicode/ustring.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "reference/utf8_cases.h"

namespace runemeter {
namespace {

TEST(UnicodeText, Utf8DecodesWithOneReplacementPerMaximalInvalidSubpart) {
    for (const reference::Utf8Case& row : reference::utf8Cases())
        EXPECT_EQ(utf8ToUtf16(row.bytes), row.replaced) << row.name;
    EXPECT_EQ(utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

// ICU's converter follows the same replacement practice: compare on random bytes biased
// towards lead and continuation bytes, so that every malformed shape occurs.
TEST(UnicodeText, Utf8DecodingMatchesIcuOnRandomBytes) {
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

TEST(UnicodeText, Utf16EncodesEveryLengthAndReplacesLoneSurrogates) {
    const std::pair<std::u16string, std::string> rows[] = {
        {u"\u007F\u0080\u07FF\u0800", "\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80"},
        {u"\uFFFF\U00010000\U0010FFFF", "\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},
        {u"a\xD83D", "a\xEF\xBF\xBD"},
        {u"\xDE00\xD83Dz", "\xEF\xBF\xBD\xEF\xBF\xBDz"}};
    for (const auto& [utf16, utf8] : rows)
        EXPECT_EQ(utf16ToUtf8(utf16), utf8) << utf8;
    EXPECT_EQ(utf8ToUtf16(rows[1].second), rows[1].first);
}

// File names in messages and log lines: nothing may split the line or reach the terminal.
TEST(UnicodeText, OneLineWritesOutLineBreaksAndControls) {
    EXPECT_EQ(oneLine(u"a\nb\rc\td\x1B[2J\x7F\x85 K\u00F6ln \U0001F600 \uFFFD"),
              u"a\\nb\\rc\\td\\x1B[2J\\x7F\\x85 K\u00F6ln \U0001F600 \uFFFD");
    EXPECT_EQ(pathToDisplay(std::filesystem::path("/tmp/bad\xFFname")), u"/tmp/bad\uFFFDname");
    EXPECT_EQ(pathFromText(u"/tmp/caf\u00E9").native(), "/tmp/caf\xC3\xA9");
}

TEST(UnicodeText, FoldCaseIsFullCaseFolding) {
    EXPECT_EQ(foldCase(u"ReadMe.TXT Stra\u00DFe \u03A3\u03C2 \U00010400"),
              u"readme.txt strasse \u03C3\u03C3 \U00010428");
    EXPECT_EQ(foldCase(std::u16string(40, u'\u00DF')), std::u16string(80, u's'));
}

}  // namespace
}  // namespace runemeter
