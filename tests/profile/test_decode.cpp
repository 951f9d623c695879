#include "profile/decode.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "profile/random_text.h"
#include "reference/reference_text.h"

namespace runemeter {
namespace {

using testing::asSpan;
using testing::Bytes;
using testing::hexUnits;

// ICU's converters as a second, independent opinion on UTF-8 and Windows-1252.
std::u16string icuDecode(const Bytes& input, const char* converterName) {
    const Bytes bytes = reference::untilZeroByte(input);
    UErrorCode status = U_ZERO_ERROR;
    UConverter* converter = ucnv_open(converterName, &status);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    std::u16string out(bytes.size() + 1, u'\0');
    const int32_t length = ucnv_toUChars(converter, out.data(), static_cast<int32_t>(out.size()),
                                         reinterpret_cast<const char*>(bytes.data()),
                                         static_cast<int32_t>(bytes.size()), &status);
    ucnv_close(converter);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::u16string decodeWhole(const Bytes& data) {
    std::u16string out;
    decodeText(asSpan(data), detectEncoding(asSpan(data)), out);
    return out;
}

struct DetectCase {
    const char* name;
    Bytes data;
    TextEncoding expected;
};

TEST(DetectEncoding, SignatureDecidesInOrder) {
    const std::vector<DetectCase> cases = {
        {"utf8 signature", {0xEF, 0xBB, 0xBF, 'a'}, TextEncoding::Utf8},
        {"utf8 signature alone", {0xEF, 0xBB, 0xBF}, TextEncoding::Utf8},
        {"utf16 le", {0xFF, 0xFE, 'a', 0}, TextEncoding::Utf16Le},
        {"utf16 be", {0xFE, 0xFF, 0, 'a'}, TextEncoding::Utf16Be},
        {"utf16 le mark then utf8 signature bytes", {0xFF, 0xFE, 0xEF}, TextEncoding::Utf16Le},
        {"two bytes of utf8 signature", {0xEF, 0xBB, 'a'}, TextEncoding::Ansi},
        {"utf8 text without signature", {0xC3, 0xA9, 'a'}, TextEncoding::Ansi},
        {"utf16 without mark", {'a', 0, 'b', 0}, TextEncoding::Ansi},
        {"swapped le mark bytes elsewhere", {'x', 0xFF, 0xFE}, TextEncoding::Ansi},
        {"empty", {}, TextEncoding::Ansi},
    };
    for (const DetectCase& c : cases) {
        EXPECT_EQ(detectEncoding(asSpan(c.data)), c.expected) << c.name;
    }
}

TEST(TextAfterSignature, SkipsSignatureAndNeverOverruns) {
    const Bytes data = {0xEF, 0xBB, 0xBF, 'a', 'b'};
    EXPECT_EQ(textAfterSignature(asSpan(data), TextEncoding::Utf8).size(), 2u);
    EXPECT_EQ(textAfterSignature(asSpan(data), TextEncoding::Utf16Le).size(), 3u);
    EXPECT_EQ(textAfterSignature(asSpan(data), TextEncoding::Ansi).size(), 5u);
    const Bytes shortData = {0xFF};
    EXPECT_TRUE(textAfterSignature(asSpan(shortData), TextEncoding::Utf16Le).empty());
    EXPECT_TRUE(textAfterSignature(asSpan(shortData), TextEncoding::Utf8).empty());
}

struct DecodeCase {
    const char* name;
    Bytes data;
    std::u16string expected;
};

TEST(DecodeText, EdgeCases) {
    const std::vector<DecodeCase> cases = {
        {"be AB", {0xFE, 0xFF, 0x00, 0x41, 0x00, 0x42}, u"AB"},
        {"le AB", {0xFF, 0xFE, 0x41, 0x00, 0x42, 0x00}, u"AB"},
        {"le odd size drops last byte", {0xFF, 0xFE, 0x41, 0x00, 0x42}, u"A"},
        {"be odd size drops last byte", {0xFE, 0xFF, 0x00, 0x41, 0x00}, u"A"},
        {"utf8 signature only", {0xEF, 0xBB, 0xBF}, u""},
        {"le mark and one byte", {0xFF, 0xFE, 0x41}, u""},
        {"le zero unit ends text", {0xFF, 0xFE, 'a', 0, 0, 0, 'b', 0}, u"a"},
        {"le zero byte inside a unit does not end", {0xFF, 0xFE, 0, 0x30, 'b', 0}, u"\u3000b"},
        {"be zero unit ends text", {0xFE, 0xFF, 0, 'a', 0, 0, 0, 'b'}, u"a"},
        {"le unit straddling a zero pair", {0xFF, 0xFE, 'a', 0, 0, 'b', 0, 0}, u"a\u6200"},
        {"utf16 without mark stops at first zero byte", {'a', 0, 'b', 0}, u"a"},
        {"ansi zero byte ends text", {'a', 'b', 0, 'c', 'd'}, u"ab"},
        {"ansi euro and undefined bytes",
         {0x80, 0x81, 0x8D, 0x8F, 0x90, 0x9D, 0x9F, 0xA0, 0xFF},
         u"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00A0\u00FF"},
        {"ansi utf8 bytes stay bytes", {0xC3, 0xA9, 'x'}, u"\u00C3\u00A9x"},
        {"utf8 zero byte ends text", {0xEF, 0xBB, 0xBF, 'a', 0, 'b'}, u"a"},
        {"utf8 supplementary becomes pair",
         {0xEF, 0xBB, 0xBF, 0xF0, 0x9F, 0x98, 0x80},
         u"\U0001F600"},
        {"utf8 second signature is a character", {0xEF, 0xBB, 0xBF, 0xEF, 0xBB, 0xBF}, u"\uFEFF"},
        {"le surrogates pass unchanged", {0xFF, 0xFE, 0x3D, 0xD8, 0x00, 0xDE}, u"\U0001F600"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(decodeWhole(c.data), c.expected)
            << c.name << ": got " << hexUnits(decodeWhole(c.data));
    }
}

TEST(DecodeUtf8, MalformedInputGivesOneReplacementPerMaximalSubpart) {
    const std::u16string r = u"\uFFFD";
    const std::vector<DecodeCase> cases = {
        {"stray continuation", {0x80}, r},
        {"two stray continuations", {0x80, 0xBF}, r + r},
        {"overlong two bytes", {0xC0, 0x80}, r + r},
        {"overlong C1", {0xC1, 0xBF}, r + r},
        {"overlong three bytes", {0xE0, 0x80, 0x80}, r + r + r},
        {"overlong four bytes", {0xF0, 0x80, 0x80, 0x80}, r + r + r + r},
        {"encoded surrogate D800", {0xED, 0xA0, 0x80}, r + r + r},
        {"encoded surrogate DFFF", {0xED, 0xBF, 0xBF}, r + r + r},
        {"last before surrogates", {0xED, 0x9F, 0xBF}, u"\uD7FF"},
        {"above 10FFFF", {0xF4, 0x90, 0x80, 0x80}, r + r + r + r},
        {"10FFFF itself", {0xF4, 0x8F, 0xBF, 0xBF}, u"\U0010FFFF"},
        {"F5 lead", {0xF5, 0x80, 0x80, 0x80}, r + r + r + r},
        {"five byte form", {0xF8, 0x88, 0x80, 0x80, 0x80}, r + r + r + r + r},
        {"FE and FF", {0xFE, 0xFF}, r + r},
        {"truncated two at end", {'a', 0xC3}, u"a" + r},
        {"truncated three at end", {'a', 0xE2, 0x82}, u"a" + r},
        {"truncated four at end", {'a', 0xF0, 0x9F, 0x98}, u"a" + r},
        {"truncated three before ascii", {0xE2, 0x82, 'A'}, r + u"A"},
        {"truncated four before lead", {0xF0, 0x9F, 0xC3, 0xA9}, r + u"\u00E9"},
        {"truncated by zero byte", {0xE2, 0x82, 0, 0xAC}, r},
        {"standard example",
         {0x61, 0xF1, 0x80, 0x80, 0xE1, 0x80, 0xC2, 0x62, 0x80, 0x63, 0x80, 0xBF, 0x64},
         u"a" + r + r + r + u"b" + r + u"c" + r + r + u"d"},
        {"valid mix",
         {0x24, 0xC2, 0xA2, 0xE2, 0x82, 0xAC, 0xF0, 0x90, 0x8D, 0x88},
         u"$\u00A2\u20AC\U00010348"},
    };
    for (const DecodeCase& c : cases) {
        std::u16string out;
        decodeUtf8(asSpan(c.data), out);
        EXPECT_EQ(out, c.expected) << c.name << ": got " << hexUnits(out);
        EXPECT_EQ(reference::decodeUtf8(c.data), c.expected) << "reference: " << c.name;
    }
}

// The ASCII fast path works in blocks of 16: put one special sequence at every position of
// every short length, at several start offsets, so each block boundary is crossed.
TEST(DecodeUtf8, FastPathBoundariesMatchReference) {
    const std::vector<Bytes> specials = {
        {0xC3, 0xA9}, {0xE2, 0x82, 0xAC}, {0xF0, 0x9F, 0x98, 0x80}, {0x80},
        {0xE2, 0x82}, {0xF0, 0x9F, 0x98}, {0xED, 0xA0, 0x80},       {0xFF},
        {0},
    };
    for (const std::size_t offset : {0, 1, 3, 8}) {
        for (std::size_t length = 0; length <= 48; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                for (const Bytes& special : specials) {
                    Bytes buffer(offset, 'x');
                    for (std::size_t i = 0; i < length; ++i) {
                        buffer.push_back(static_cast<std::uint8_t>('a' + i % 26));
                    }
                    buffer.insert(buffer.begin() + static_cast<std::ptrdiff_t>(offset + at),
                                  special.begin(), special.end());
                    const Bytes text(buffer.begin() + static_cast<std::ptrdiff_t>(offset),
                                     buffer.end());
                    std::u16string out;
                    decodeUtf8(asSpan(buffer).subspan(offset), out);
                    ASSERT_EQ(out, reference::decodeUtf8(text))
                        << "offset " << offset << " length " << length << " at " << at
                        << " special " << hexUnits(std::u16string(special.begin(), special.end()));
                }
            }
        }
    }
}

TEST(DecodeUtf8, RandomInputMatchesReferenceAndIcu) {
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<std::size_t> size(0, 300);
    for (int round = 0; round < 3000; ++round) {
        const std::size_t n = round < 100 ? static_cast<std::size_t>(round) : size(rng);
        Bytes input;
        switch (round % 4) {
            case 0:
                input = testing::randomBytes(rng, n, 512);
                break;
            case 1:
                input = testing::randomUtf8(rng, n);
                break;
            case 2:
                input = testing::randomUtf8(rng, n, 20);
                break;
            default:
                input = testing::randomUtf8(rng, n, 200);
                break;
        }
        std::u16string out;
        decodeUtf8(asSpan(input), out);
        const std::u16string expected = reference::decodeUtf8(input);
        ASSERT_EQ(out, expected) << "round " << round << ": got " << hexUnits(out);
        ASSERT_EQ(out, icuDecode(input, "UTF-8")) << "round " << round;
    }
}

TEST(DecodeUtf8, LargeMixedTextMatchesReference) {
    std::mt19937 rng(7);
    const Bytes input = testing::randomUtf8(rng, 1 << 20, 5000);
    std::u16string out;
    decodeUtf8(asSpan(input), out);
    EXPECT_EQ(out, reference::decodeUtf8(input));
}

TEST(DecodeWindows1252, EveryByteMatchesReferenceAndIcu) {
    Bytes all;
    for (int b = 1; b < 256; ++b) {
        all.push_back(static_cast<std::uint8_t>(b));
    }
    std::u16string out;
    decodeWindows1252(asSpan(all), out);
    EXPECT_EQ(out, reference::decodeCp1252(all));
    EXPECT_EQ(out, icuDecode(all, "windows-1252"));
}

// Blocks of 16 without bytes 80..9F are widened directly: put such a byte, and a zero byte,
// at every position of short Latin texts.
TEST(DecodeWindows1252, FastPathBoundariesMatchReference) {
    for (const std::uint8_t special : {0x80, 0x8D, 0x9F, 0xA0, 0x7F, 0x00}) {
        for (std::size_t length = 0; length <= 48; ++length) {
            for (std::size_t at = 0; at <= length; ++at) {
                Bytes text;
                for (std::size_t i = 0; i < length; ++i) {
                    text.push_back(static_cast<std::uint8_t>(i % 2 == 0 ? 'a' + i % 26 : 0xC0 + i));
                }
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), special);
                std::u16string out;
                decodeWindows1252(asSpan(text), out);
                ASSERT_EQ(out, reference::decodeCp1252(text))
                    << "length " << length << " at " << at << " byte " << int{special};
            }
        }
    }
}

TEST(DecodeUtf16, RandomInputMatchesReference) {
    std::mt19937 rng(1252);
    std::uniform_int_distribution<std::size_t> size(0, 90);
    for (int round = 0; round < 4000; ++round) {
        // Zeros are frequent, so zero bytes inside units and zero units at every position occur.
        const Bytes input = testing::randomBytes(rng, size(rng), round % 2 == 0 ? 6 : 40);
        for (std::size_t offset = 0; offset < 3 && offset <= input.size(); ++offset) {
            const Bytes text(input.begin() + static_cast<std::ptrdiff_t>(offset), input.end());
            std::u16string le;
            std::u16string be;
            decodeUtf16Le(asSpan(input).subspan(offset), le);
            decodeUtf16Be(asSpan(input).subspan(offset), be);
            ASSERT_EQ(le, reference::decodeUtf16(text, false)) << "round " << round;
            ASSERT_EQ(be, reference::decodeUtf16(text, true)) << "round " << round;
        }
    }
}

// Texts of several decoding blocks, ended early by a zero far inside or running to the end.
TEST(Decoders, LongTextsMatchReference) {
    std::mt19937 rng(65536);
    for (const std::size_t zeroAt : {std::size_t{0}, std::size_t{200001}}) {
        Bytes input = testing::randomBytes(rng, 300001);
        if (zeroAt != 0) {
            input[zeroAt] = 0;
            input[zeroAt + 1] = 0;
        }
        std::u16string out(5, u'x');
        decodeWindows1252(asSpan(input), out);
        EXPECT_EQ(out, reference::decodeCp1252(input)) << "zero at " << zeroAt;
        decodeUtf16Le(asSpan(input), out);
        EXPECT_EQ(out, reference::decodeUtf16(input, false)) << "zero at " << zeroAt;
        decodeUtf16Be(asSpan(input), out);
        EXPECT_EQ(out, reference::decodeUtf16(input, true)) << "zero at " << zeroAt;
    }
}

// The decoders overwrite the output in place; nothing of a longer previous text may remain.
TEST(Decoders, ReusedOutputHoldsOnlyTheNewText) {
    const Bytes ascii = {'a', 'b', 'c'};
    const Bytes le = {'a', 0, 'b', 0};
    std::u16string out(1000, u'x');
    decodeUtf8(asSpan(ascii), out);
    EXPECT_EQ(out, u"abc");
    out.assign(1000, u'x');
    decodeWindows1252(asSpan(ascii), out);
    EXPECT_EQ(out, u"abc");
    out.assign(1000, u'x');
    decodeUtf16Le(asSpan(le), out);
    EXPECT_EQ(out, u"ab");
    out.assign(1000, u'x');
    decodeUtf16Be(asSpan(le), out);
    EXPECT_EQ(out, u"\u6100\u6200");
    out.assign(1000, u'x');
    decodeUtf8(std::span<const std::byte>(), out);
    EXPECT_EQ(out, u"");
}

TEST(DecodeText, RandomFilesMatchReference) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<std::size_t> size(0, 200);
    const std::vector<Bytes> signatures = {{0xEF, 0xBB, 0xBF}, {0xFF, 0xFE}, {0xFE, 0xFF}, {}};
    for (int round = 0; round < 2000; ++round) {
        Bytes data = signatures[static_cast<std::size_t>(round) % signatures.size()];
        const Bytes body = round % 3 == 0 ? testing::randomBytes(rng, size(rng), 64)
                                          : testing::randomUtf8(rng, size(rng), 50);
        data.insert(data.end(), body.begin(), body.end());
        ASSERT_EQ(decodeWhole(data), reference::decode(data)) << "round " << round;
    }
}

}  // namespace
}  // namespace runemeter
