// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "profile/large_buffer.h"
#include "profile/unsigned_text.h"
#include "reference/reference_units.h"

namespace runemeter {
namespace {

using reference::UnitCounts;

constexpr CountingUnit kUnits[] = {CountingUnit::Utf16, CountingUnit::CodePoint,
                                   CountingUnit::Grapheme};
constexpr Normalisation kForms[] = {Normalisation::None, Normalisation::Nfc, Normalisation::Nfd,
                                    Normalisation::Nfkc, Normalisation::Nfkd};

std::u16string zalgo() {
    std::u16string text = u"Z";
    for (char16_t mark = 0; mark < 200; ++mark) {
        text += static_cast<char16_t>(0x300 + mark % 0x70);
    }
    return text + u"algo\u0301";
}

std::u16string repeated(std::u16string_view text, int times) {
    std::u16string out;
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

// Every unit and form, streamed in pieces of 1 to 7 units and split in two at each position
// (every step-th for the long rows), against ICU on the whole text.
TEST(UnitCounting, StreamedInPiecesAndHalvesMatchesWholeText) {
    const struct {
        const char* name;
        std::u16string text;
        std::size_t step;
    } rows[] = {
        {"multilingual",
         u"Gr\u00FC\u00DFe aus K\u00F6ln \u2013 10 \u20AC, \u039A\u03B1\u03BB\u03B7\u03BC\u03AD"
         u"\u03C1\u03B1 \u041C\u0438\u0440, \u65E5\u672C\u8A9E\u306E\u304B\u3099\u3002 "
         u"\u0627\u0644\u0633\u0644\u0627\u0645 \u0928\u092E\u0938\u094D\u0924\u0947 "
         u"\u0915\u094D\u0937 \uD55C\uAD6D\u11A8 \U0001F1E9\U0001F1EA\U0001F1EB\U0001F1F7\U0001F1EE"
         u" \U0001F468\u200D\U0001F469\u200D\U0001F467 \U0001F44D\U0001F3FD e\u0301 \u1100\u1161"
         u"\u11A8 \u0600\u0661 \U0001F469\u200D\u2764\uFE0F\u200D\U0001F468 \U0001D15E\u0344 "
         u"a\u0301\U0001D165\U0001D16D "
         u"\u2126 \uFB01 \u1E9B\u0323\r\n\r\r\n\u00A9\u200D"
         u"\U0001F525 \u0E01\u0E33 \u0BA8\u0BBF",
         1},
        {"lone surrogates",
         u"a\xD800"
         u"b\xDC00\xDBFF\xDFFF\xDC00\xD800\U0001F600\xD83D\u0301\xDE00\xD800",
         1},
        {"Zalgo", zalgo(), 1},
        {"joined script without spaces", repeated(u"\u0928\u092E\u0938\u094D\u0924\u0947", 250),
         53},
    };
    for (const auto& row : rows) {
        for (const Normalisation form : kForms) {
            for (const CountingUnit unit : kUnits) {
                SCOPED_TRACE(testing::Message()
                             << row.name << ", form " << int(form) << ", unit " << int(unit));
                const UnitCounts expected =
                    reference::counted(reference::normalised(row.text, form), unit);
                for (std::size_t split = 0; split <= row.text.size(); split += row.step) {
                    ASSERT_EQ(reference::streamed(row.text, unit, form, 1 + split % 7, split),
                              expected)
                        << "split at " << split;
                }
                for (std::size_t piece = 1; piece <= 7; ++piece) {
                    ASSERT_EQ(reference::streamed(row.text, unit, form, piece, 4), expected)
                        << "pieces of " << piece;
                }
            }
        }
    }
}

// The worked examples, worked out by hand: both the stages and the reference must give them.
TEST(UnitCounting, WorkedExamples) {
    const struct {
        std::u16string text;
        CountingUnit unit;
        Normalisation form;
        UnitCounts expected;
    } rows[] = {
        {u"\U0001F600\U0001F600",
         CountingUnit::CodePoint,
         Normalisation::None,
         {{u"\U0001F600", 2}}},
        {u"\U0001F600", CountingUnit::Utf16, Normalisation::None, {{u"\xD83D", 1}, {u"\xDE00", 1}}},
        {u"\xDE00\xD83D",
         CountingUnit::CodePoint,
         Normalisation::None,
         {{u"\xD83D", 1}, {u"\xDE00", 1}}},
        {u"e\u0301\u00E9", CountingUnit::CodePoint, Normalisation::Nfc, {{u"\u00E9", 2}}},
        {u"e\u0301\u00E9",
         CountingUnit::Grapheme,
         Normalisation::None,
         {{u"e\u0301", 1}, {u"\u00E9", 1}}},
        {u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466",
         CountingUnit::Grapheme,
         Normalisation::None,
         {{u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466", 1}}},
        {u"\u1100\u1161\u11A8",
         CountingUnit::Grapheme,
         Normalisation::None,
         {{u"\u1100\u1161\u11A8", 1}}},
        {u"\u1100\u1161\u11A8", CountingUnit::CodePoint, Normalisation::Nfc, {{u"\uAC01", 1}}},
        {u"a\r\n",
         CountingUnit::Grapheme,
         Normalisation::None,
         {{u"a", 1}, {u"\r", 1}, {u"\n", 1}}},
        {u"\uFB01", CountingUnit::Grapheme, Normalisation::Nfkd, {{u"f", 1}, {u"i", 1}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(reference::counted(row.text, CountingUnit::Utf16)));
        EXPECT_EQ(reference::counted(reference::normalised(row.text, row.form), row.unit),
                  row.expected);
        EXPECT_EQ(reference::streamed(row.text, row.unit, row.form, 1, 1), row.expected);
    }
}

// A text without a signature, in pieces of every size from 1 to 7 bytes and whole.
TEST(UnsignedText, ReadingByMode) {
    const struct {
        std::string bytes;
        UnsignedMode mode;
        bool utf8;       // counted among the UTF-8 files
        bool looksUtf8;  // the hint of ANSI mode
        int restart;     // read again as ANSI: 1 in pieces of one byte, 2 also whole
    } rows[] = {
        {"Gr\xC3\xBC\xC3\x9F"
         "e aus K\xC3\xB6ln",
         UnsignedMode::Auto, true, false, 0},
        {"\xF0\x9F\x98\x80 \xE2\x82\xAC", UnsignedMode::Auto, true, false, 0},
        {"Gr\xFC\xDF"
         "e",
         UnsignedMode::Auto, false, false, 0},
        {"plain ASCII text", UnsignedMode::Auto, false, false, 0},
        {"\xC3\xA9 then \xFF", UnsignedMode::Auto, false, false, 1},
        {"\xC3\xA9 cut at the end \xE2\x82", UnsignedMode::Auto, false, false, 2},
        {"cut at the end \xE2\x82", UnsignedMode::Auto, false, false, 0},
        {"\xC0\xAF overlong", UnsignedMode::Auto, false, false, 0},
        {"\xED\xA0\x80 surrogate", UnsignedMode::Auto, false, false, 0},
        {"\xF4\x90\x80\x80 too high", UnsignedMode::Auto, false, false, 0},
        {"Gr\xC3\xBC\xC3\x9F"
         "e",
         UnsignedMode::Ansi, false, true, 0},
        {"Gr\xFC\xDF"
         "e",
         UnsignedMode::Ansi, false, false, 0},
        {"ASCII", UnsignedMode::Ansi, false, false, 0},
        {"Gr\xFC\xDF"
         "e",
         UnsignedMode::Utf8, true, false, 0},
    };
    for (const auto& row : rows) {
        for (std::size_t piece = 1; piece <= 8; ++piece) {
            const std::size_t size = piece == 8 ? row.bytes.size() : piece;
            SCOPED_TRACE(testing::Message() << testing::PrintToString(row.bytes) << " mode "
                                            << int(row.mode) << ", pieces of " << size);
            UnsignedText text(row.mode);
            bool restart = false;
            for (std::size_t i = 0; i < row.bytes.size(); i += size) {
                const auto bytes = std::as_bytes(
                    std::span(row.bytes).subspan(i).first(std::min(size, row.bytes.size() - i)));
                restart = text.add(bytes) == UnsignedText::Step::Restart || restart;
            }
            restart = text.finish() == UnsignedText::Step::Restart || restart;
            EXPECT_EQ(text.countsAsUtf8(), row.utf8);
            EXPECT_EQ(text.reading() == UnsignedReading::Utf8, row.utf8);
            EXPECT_EQ(text.looksLikeUtf8(), row.looksUtf8);
            if (size == 1 || size == row.bytes.size()) {
                EXPECT_EQ(restart, row.restart == 2 || (size == 1 && row.restart == 1));
            }
            Utf8LookingFiles hint;
            hint.note(text);
            EXPECT_EQ(hint.takeHint(), row.looksUtf8);
            EXPECT_FALSE(hint.takeHint());
        }
    }
}

// A table given back is handed out again for the next table of its size, and must come zeroed.
TEST(ZeroedTable, ReusedTableComesBackZeroed) {
    using Table = std::array<std::int64_t, 3000>;
    const void* given = nullptr;
    {
        auto table = makeZeroedTable<Table>();
        table->fill(-1);
        given = table.get();
    }
    const auto again = makeZeroedTable<Table>();
    ASSERT_EQ(static_cast<const void*>(again.get()), given);
    EXPECT_TRUE(std::all_of(again->begin(), again->end(), [](std::int64_t c) { return c == 0; }));
}

}  // namespace
}  // namespace runemeter
