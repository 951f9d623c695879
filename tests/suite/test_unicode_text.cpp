#include "suite/unicode_text.h"

#include <unicode/ustring.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

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
    const struct {
        std::u16string utf16;
        std::string utf8;
    } rows[] = {
        {u"\u007F\u0080", "\x7F\xC2\x80"},
        {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},
        {u"\uFFFF\U00010000", "\xEF\xBF\xBF\xF0\x90\x80\x80"},
        {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
        {u"a\xD83D", "a\xEF\xBF\xBD"},
        {u"\xD83Dz", "\xEF\xBF\xBDz"},
        {u"\xDE00\xD83D", "\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(utf16ToUtf8(row.utf16), row.utf8) << row.utf8;
        const bool replaced = row.utf8.find("\xEF\xBF\xBD") != std::string::npos;
        EXPECT_TRUE(replaced || utf8ToUtf16(row.utf8) == row.utf16) << row.utf8;
    }
}

TEST(UnicodeText, OneLineWritesOutWhatWouldBreakALineOrReachTheTerminal) {
    const struct {
        std::u16string text;
        std::u16string line;
    } rows[] = {
        {u"plain name.txt", u"plain name.txt"},
        {u"a\nb\rc\td", u"a\\nb\\rc\\td"},
        {u"\x1B[2J\x7F\x85", u"\\x1B[2J\\x7F\\x85"},
        {u"K\u00F6ln \u20AC \U0001F600 \uFFFD", u"K\u00F6ln \u20AC \U0001F600 \uFFFD"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(oneLine(row.text), row.line) << utf16ToUtf8(row.text);
}

TEST(UnicodeText, PathsAreUtf8BytesShownWithReplacements) {
    EXPECT_EQ(pathToDisplay(std::filesystem::path("/tmp/bad\xFFname")), u"/tmp/bad\uFFFDname");
    EXPECT_EQ(pathFromText(u"/tmp/caf\u00E9").native(), "/tmp/caf\xC3\xA9");
}

TEST(UnicodeText, FoldCaseIsFullCaseFolding) {
    const struct {
        std::u16string in;
        std::u16string out;
    } rows[] = {
        {u"ReadMe.TXT", u"readme.txt"},
        {u"Stra\u00DFe", u"strasse"},
        {u"\u03A3\u03C2", u"\u03C3\u03C3"},
        {std::u16string(40, u'\u00DF'), std::u16string(80, u's')},
        {u"\U00010400", u"\U00010428"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(foldCase(row.in), row.out) << utf16ToUtf8(row.in);
}

}  // namespace
}  // namespace runemeter
