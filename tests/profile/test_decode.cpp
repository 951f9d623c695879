// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/decode.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <bit>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "profile/random_text.h"
#include "profile/utf8_count.h"
#include "reference/utf8_cases.h"

namespace runemeter {
namespace {

using namespace std::string_literals;
using testing::asSpan;
using testing::Bytes;
using testing::bytesOf;

// ICU's converters as a second, independent opinion on UTF-8 and Windows-1252.
std::u16string icuDecode(const Bytes& input, const char* converterName) {
    const Bytes bytes = reference::untilZeroByte(input);  // as the decoders do
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(converterName, &status);
    std::u16string out(bytes.size() + 1, u'\0');
    out.resize(static_cast<std::size_t>(ucnv_toUChars(
        converter, out.data(), static_cast<int32_t>(out.size()),
        reinterpret_cast<const char*>(bytes.data()), static_cast<int32_t>(bytes.size()), &status)));
    ucnv_close(converter);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    return out;
}

// The signature decides, in the order UTF-8, UTF-16 LE, UTF-16 BE, else ANSI; every decoder
// stops at the first zero byte (UTF-16: zero unit) and replaces what the output held.
TEST(DecodeText, EdgeCases) {
    const std::vector<std::pair<std::string, std::u16string>> rows = {
        {"\xEF\xBBz", u"\u00EF\u00BBz"},             // two bytes of the UTF-8 signature
        {"\xEF\xBB\xBF\xEF\xBB\xBF", u"\uFEFF"},     // a second signature is a character
        {"\xEF\xBB\xBF\xE2\x82\0\xAC"s, u"\uFFFD"},  // a zero byte ends the text
        {"\xFF\xFEx\0y"s, u"x"},                     // an odd last byte is dropped
        {"\xFF\xFE\xEF"s, u""},                      // the LE mark comes first
        {"\xFE\xFF\0x\0\0\0y"s, u"x"},               // a zero unit ends the text
        {"\xFF\xFE\0\x30y\0"s, u"\u3000y"},          // a zero byte inside a unit does not
        {"\xFF\xFE\x3D\xD8\x00\xDE\x00\xDC"s, u"\U0001F600\xDC00"},  // surrogates as they come
        {"x\0y\0"s, u"x"},  // UTF-16 without a mark is ANSI
    };
    for (const auto& [data, expected] : rows) {
        std::u16string out(100, u'x');
        decodeText(asSpan(bytesOf(data)), detectEncoding(asSpan(bytesOf(data))), out);
        EXPECT_EQ(out, expected) << ::testing::PrintToString(data);
        EXPECT_EQ(reference::decode(bytesOf(data)), expected) << ::testing::PrintToString(data);
    }
}

// The UTF-8 edge cases at every offset of an ASCII run, so that each crosses the blocks of the
// decoder and of every counting kernel this processor has: decoded and counted as worked out by
// hand (a kernel counts all into one table, which holds nothing once the expected units are out).
TEST(DecodeUtf8, EdgeCasesAtEveryBlockOffset) {
    auto lanes = std::make_unique<LaneTables>();
    std::vector<LeadBits> leads;
    for (const reference::Utf8Case& c : reference::utf8Cases()) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(reference::decodeUtf8(bytesOf(c.bytes)), c.replaced);
        for (const Utf8Counting way :
             {Utf8Counting::Scalar, Utf8Counting::Avx2, Utf8Counting::Avx512}) {
            if (!utf8CountingAvailable(way))
                continue;
            for (auto& lane : *lanes)
                lane.fill(0);
            for (std::size_t at = 0; at <= 80; ++at) {
                for (const std::size_t after : {at % 5, 80 - at}) {
                    const Bytes text =
                        bytesOf(std::string(at, 'a') + c.bytes + std::string(after, 'b'));
                    const std::u16string expected =
                        std::u16string(at, u'a') + c.replaced + std::u16string(after, u'b');
                    std::u16string out;
                    decodeUtf8(asSpan(text), out);
                    ASSERT_EQ(out, expected) << "at " << at << ", " << after << " after";
                    countUtf8Units(asSpan(text), *lanes, way);
                    for (const char16_t unit : expected)
                        --(*lanes)[0][unit];
                    // The same count, noting where the bytes F0 and above are.
                    const std::size_t noted =
                        countUtf8UnitsNotingLeads(asSpan(text), *lanes, leads, way);
                    for (const char16_t unit : expected)
                        --(*lanes)[0][unit];
                    std::vector<std::size_t> found, wanted;
                    for (std::size_t b = 0; b < noted; ++b)
                        for (std::uint64_t bits = leads[b].bits; bits != 0; bits &= bits - 1)
                            found.push_back(leads[b].offset + std::countr_zero(bits));
                    for (std::size_t i = 0; i < text.size(); ++i)
                        if (text[i] >= 0xF0)
                            wanted.push_back(i);
                    ASSERT_EQ(found, wanted) << "at " << at << ", " << after << " after";
                }
            }
            std::size_t u = 1;  // entry 0 holds the bytes that begin no unit
            while (u < 65536 &&
                   (*lanes)[0][u] + (*lanes)[1][u] + (*lanes)[2][u] + (*lanes)[3][u] == 0)
                ++u;
            EXPECT_EQ(u, 65536u) << "kernel " << static_cast<int>(way) << " miscounts this unit";
        }
    }
}

// Random UTF-8 (valid, damaged, any bytes) and every Windows-1252 byte, in blocks of 16 with and
// without 80..9F: the decoders, the reference and ICU agree.
TEST(Decoders, MatchReferenceAndIcu) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 300; ++round) {
        const unsigned corruptOneIn[] = {0, 1, 20};  // valid, any bytes but zero, damaged
        const Bytes input = testing::randomUtf8(rng, rng() % 300, corruptOneIn[round % 3]);
        std::u16string out;
        decodeUtf8(asSpan(input), out);
        ASSERT_EQ(out, reference::decodeUtf8(input)) << "round " << round;
        ASSERT_EQ(out, icuDecode(input, "UTF-8")) << "round " << round;
    }
    Bytes all;
    for (int b = 1; b < 256; ++b)
        all.push_back(static_cast<std::uint8_t>(b));
    std::u16string out;
    decodeWindows1252(asSpan(all), out);
    EXPECT_EQ(out, reference::decodeCp1252(all));
    EXPECT_EQ(out, icuDecode(all, "windows-1252"));
}

// A text of several 64 KiB decoding blocks, ended by a zero byte at an odd offset and a zero unit.
TEST(Decoders, LongTextsMatchReference) {
    std::mt19937 rng(65536);
    Bytes input = testing::randomUtf8(rng, 300001, 5000);
    input[200001] = input[200002] = input[200003] = 0;
    std::u16string out;
    decodeUtf8(asSpan(input), out);
    EXPECT_EQ(out, reference::decodeUtf8(input));
    decodeWindows1252(asSpan(input), out);
    EXPECT_EQ(out, reference::decodeCp1252(input));
    decodeUtf16Le(asSpan(input), out);
    EXPECT_EQ(out, reference::decodeUtf16(input, false));
    decodeUtf16Be(asSpan(input), out);
    EXPECT_EQ(out, reference::decodeUtf16(input, true));
}

}  // namespace
}  // namespace runemeter
