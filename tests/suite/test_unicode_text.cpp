// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/unicode_text.h"

#include <unicode/unistr.h>

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>

#include "reference/utf8_cases.h"

namespace runemeter {
namespace {

// The decoder and the validator on one table: the validator's error lies exactly where the
// decoder writes its first U+FFFD, and spans the bytes that one U+FFFD stands for.
TEST(UnicodeText, Utf8DecodesWithOneReplacementPerMaximalInvalidSubpart) {
    for (const reference::Utf8Case& row : reference::utf8Cases()) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(utf8ToUtf16(row.bytes), row.replaced);
        const auto error = findInvalidUtf8(row.bytes);
        std::u16string strict = u"x";
        EXPECT_EQ(appendUtf8Strict(row.bytes, strict).has_value(), !row.valid);
        EXPECT_EQ(strict, row.valid ? u"x" + row.replaced : u"x");
        ASSERT_EQ(error.has_value(), !row.valid);
        if (error) {
            EXPECT_EQ(utf8ToUtf16(row.bytes.substr(0, error->offset)),
                      row.replaced.substr(0, row.replaced.find(u'\uFFFD')));
            EXPECT_EQ(utf8ToUtf16(row.bytes.substr(error->offset, error->length)), u"\uFFFD");
        }
    }
    EXPECT_EQ(utf8ToUtf16(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
}

// ICU's converter follows the same replacement practice: compare on random bytes biased
// towards lead and continuation bytes, so that every malformed shape occurs.
TEST(UnicodeText, Utf8DecodingMatchesIcuOnRandomBytes) {
    std::mt19937 random(20261206);
    const char pool[] =
        "\x41\x80\x8F\x90\x9F\xA0\xBF\xC0\xC1\xC2\xDF\xE0\xE1\xED\xEF\xF0\xF1\xF4\xF5\xFF";
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(random() % 12, '\0');
        for (char& c : bytes)
            c = pool[random() % (sizeof pool - 1)];
        const icu::UnicodeString icu = icu::UnicodeString::fromUTF8(bytes);
        ASSERT_EQ(utf8ToUtf16(bytes), std::u16string(icu.getBuffer(), icu.length())) << round;
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
    // Bytes of a name: a malformed lead escapes one byte and what follows is read afresh.
    EXPECT_EQ(nameForMessage("a\nb\x1B[\x7F K\xC3\xB6ln\xE2\x82z\xC3"),
              "a\\nb\\x1B[\\x7F K\xC3\xB6ln\\xE2\\x82z\\xC3");
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
