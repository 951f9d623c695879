#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <sys/wait.h>

#include "localisation/lang_test_util.h"
#include "localisation/lang_text.h"

namespace runemeter {
namespace {

using testing::expectedAfterRead;
using testing::readFile;
using testing::sampleGerman;
using testing::sampleNative;
using testing::TempDir;
using testing::textRecord;
using testing::writeFile;

struct ToolResult {
    int exitCode = -1;
    std::string output;  // stdout and stderr together
};

ToolResult runTool(const std::string& arguments) {
    const std::string command = std::string(RUNEMETER_LANG_TOOL) + " " + arguments + " 2>&1";
    ToolResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string quoted(const std::filesystem::path& path) {
    return "'" + path.string() + "'";
}

// Every header field, attribute word and raw bit pattern that dump and build must carry.
LangFileImage awkwardImage(std::uint16_t fv) {
    LangFileImage image = sampleNative(fv);
    image.header.isNative = 0x0102;
    image.header.version = -7;
    image.header.build = 0xFFFFFFFF;
    image.header.constMaxId = INT32_MIN;
    image.header.englishName = u"Na\u00efve \u0081 \u20ac";
    image.header.localizedName = std::u16string(u"\"q\" \\ \t\x0000x\xD800y\U0001F600", 13);
    LangRecord odd = textRecord(u"Odd\u00ff", -5, u"\u0007bell\u007f\u009f\r\n", INT32_MIN, 0xFFFF);
    odd.timeBits = 0xFFF8000000000001ull;  // a NaN
    odd.stringId = 0xFFFF;
    image.units[1].constants.push_back(odd);
    LangRecord nan = testing::typedRecord(u"Nan", 40, TLocValueType::ptFloat, u"nan");
    nan.floatBits = 0x7FF8000000000123ull;
    LangRecord negZero = testing::typedRecord(u"NegZero", 41, TLocValueType::ptFloat, u"-0");
    LangRecord big =
        testing::typedRecord(u"Big", 42, TLocValueType::ptFloat, u"1.7976931348623157e+308");
    LangRecord minInt =
        testing::typedRecord(u"MinInt", 43, TLocValueType::ptInteger, u"-2147483648");
    LangRecord set = testing::typedRecord(u"Anchors", 44, TLocValueType::ptSet, u"");
    set.typeWord = 0x00ABCD07;
    LangRecord unknownType =
        testing::typedRecord(u"Future", 45, static_cast<TLocValueType>(200), u"");
    image.forms[0].properties.push_back(nan);
    image.forms[0].properties.push_back(negZero);
    image.forms[0].properties.push_back(big);
    image.forms[0].properties.push_back(minInt);
    image.forms[0].properties.push_back(set);
    image.forms[0].properties.push_back(unknownType);
    image.forms.push_back({u"Empty", 0, {}, {}});
    image.units.push_back({u"NoConstants", 1, {}});
    // What the reader gives for types without stored values.
    for (auto& r : image.forms[0].properties) {
        if (r.type() != TLocValueType::ptString && r.type() != TLocValueType::ptStringList &&
            !isNumericType(r.type())) {
            r.hasValue = false;
        }
    }
    return image;
}

TEST(LangText, ImageSurvivesTextForEveryFormatVersion) {
    for (std::uint16_t fv = 1; fv <= 7; ++fv) {
        SCOPED_TRACE("format version " + std::to_string(fv));
        const LangFileImage image = expectedAfterRead(awkwardImage(fv));
        const LangFileImage read = readLangFileImage(writeLangFileImage(image, false));
        ASSERT_EQ(read, image);
        bool compressed = false;
        const std::string text = langImageToText(read, true);
        EXPECT_EQ(langImageFromText(text, &compressed), read);
        EXPECT_TRUE(compressed);
    }
}

TEST(LangText, ToolDumpThenBuildGivesTheSameFile) {
    TempDir dir;
    for (std::uint16_t fv = 1; fv <= 7; ++fv) {
        for (const bool compress : {false, true}) {
            SCOPED_TRACE("format version " + std::to_string(fv) + (compress ? " compressed" : ""));
            const auto original = dir / ("v" + std::to_string(fv) + ".lng");
            const auto text = dir / "dump.txt";
            const auto rebuilt = dir / "rebuilt.lng";
            writeFile(original, writeLangFileImage(expectedAfterRead(awkwardImage(fv)), compress));
            const ToolResult dumped = runTool("dump " + quoted(original) + " -o " + quoted(text));
            ASSERT_EQ(dumped.exitCode, 0) << dumped.output;
            const ToolResult built = runTool("build " + quoted(text) + " -o " + quoted(rebuilt));
            ASSERT_EQ(built.exitCode, 0) << built.output;
            EXPECT_EQ(readFile(rebuilt), readFile(original));
        }
    }
}

TEST(LangText, ToolCompressDecompressAndInfo) {
    TempDir dir;
    const auto plain = dir / "app.DEU.lng";
    writeFile(plain, writeLangFileImage(sampleGerman(), false));
    ASSERT_EQ(runTool("compress " + quoted(plain) + " " + quoted(dir / "c.lng")).exitCode, 0);
    EXPECT_EQ(readFile(dir / "c.lng"), writeLangFileImage(sampleGerman(), true));
    ASSERT_EQ(runTool("decompress " + quoted(dir / "c.lng") + " " + quoted(dir / "p.lng")).exitCode,
              0);
    EXPECT_EQ(readFile(dir / "p.lng"), readFile(plain));
    const ToolResult info = runTool("info " + quoted(dir / "c.lng"));
    EXPECT_EQ(info.exitCode, 0);
    EXPECT_NE(info.output.find("compressed"), std::string::npos);
    EXPECT_NE(info.output.find("0x0407 German (Germany), abbreviation DEU"), std::string::npos);
    EXPECT_NE(info.output.find("Deutsch"), std::string::npos);
}

TEST(LangText, ToolReportsUnreadableFilesWithClassAndMessage) {
    TempDir dir;
    writeFile(dir / "bad.lng", testing::toBytesOf("LX\x07\x00 this is no language file"));
    auto newer = writeLangFileImage(sampleNative(), false);
    newer[2] = std::byte{8};
    writeFile(dir / "newer.lng", newer);
    auto truncated = writeLangFileImage(sampleNative(), false);
    truncated.resize(truncated.size() / 2);
    writeFile(dir / "cut.lng", truncated);
    auto packed = writeLangFileImage(sampleNative(), true);
    packed.push_back(std::byte{0x03});  // a copy token whose second byte is missing
    writeFile(dir / "cut.lzc", packed);
    writeFile(dir / "bad.txt", testing::toBytesOf("format-version 7\nunit \"U\"\n"));

    struct Case {
        std::string arguments;
        std::string expected;
    };
    const Case cases[] = {
        {"dump " + quoted(dir / "bad.lng"), "ELangFileError: Invalid file format"},
        {"info " + quoted(dir / "bad.lng"), "ELangFileError: Invalid file format"},
        {"dump " + quoted(dir / "newer.lng"),
         "ELangFileError: The language file can not be read. It was written by a newer version"},
        {"dump " + quoted(dir / "cut.lng"), "EReadError: Stream read error at offset"},
        {"dump " + quoted(dir / "cut.lzc"), "ECompressError: Compressed data ends inside a token"},
        {"decompress " + quoted(dir / "bad.lng") + " " + quoted(dir / "x"),
         "ECompressError: Wrong stream format"},
        {"dump " + quoted(dir / "missing.lng"), "EFOpenError: Cannot open file"},
        {"build " + quoted(dir / "bad.txt") + " -o " + quoted(dir / "y"),
         "ELangTextError: Line 2: unit needs attributes="},
        {"frobnicate", "unknown command"},
        {"build " + quoted(dir / "bad.txt"), "build needs a text file and -o FILE"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const ToolResult result = runTool(c.arguments);
        EXPECT_NE(result.exitCode, 0);
        EXPECT_NE(result.output.find(c.expected), std::string::npos) << result.output;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x"));
    EXPECT_FALSE(std::filesystem::exists(dir / "y"));
}

TEST(LangText, ToolWarnsAboutFieldsTheFormatVersionCannotHold) {
    TempDir dir;
    struct Case {
        std::uint16_t fv;
        std::vector<std::string> warnings;
    };
    const Case cases[] = {
        {7, {}},
        {6, {"format version 6 has no ext-item-max-id", "format version 6 has no external groups"}},
        {4, {"format version 4 has no build number; build 17 is not written"}},
        {3, {"format version 3 has no float or integer values; 2 value(s) are not written"}},
        {1, {"format version 1 has no attribute words", "format version 1 has no based-on"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("format version " + std::to_string(c.fv));
        LangFileImage image = sampleNative(7);
        image.header.formatVersion = c.fv;
        const auto text = dir / "in.txt";
        writeFile(text, testing::toBytesOf(langImageToText(image, false)));
        const ToolResult result =
            runTool("build " + quoted(text) + " -o " + quoted(dir / "out.lng"));
        EXPECT_EQ(result.exitCode, 0);
        for (const std::string& warning : c.warnings) {
            EXPECT_NE(result.output.find(warning), std::string::npos) << result.output;
        }
        if (c.warnings.empty()) {
            EXPECT_EQ(result.output, "");
        }
    }
}

TEST(LangText, QuotingEscapesOnlyControlsAndTheQuoteItself) {
    struct Case {
        const char* name;
        std::u16string text;
        std::string quoted;
    };
    const Case cases[] = {
        {"plain", u"Hello", "\"Hello\""},
        {"accents and CJK", u"caf\u00e9 \u4e2d", "\"caf\xC3\xA9 \xE4\xB8\xAD\""},
        {"quote and backslash", u"a\"b\\c", "\"a\\\"b\\\\c\""},
        {"line breaks and tab", u"a\r\nb\tc", "\"a\\r\\nb\\tc\""},
        {"other controls", std::u16string(u"\x0000\x001F\x007F\x0085", 4),
         "\"\\u{0}\\u{1F}\\u{7F}\\u{85}\""},
        {"surrogate pair", u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
        {"lone surrogates", std::u16string(u"\xDC00x\xD800", 3), "\"\\u{DC00}x\\u{D800}\""},
        {"hash sign", u"#1", "\"#1\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(quoteText(c.text), c.quoted);
        const std::string line = "english-name " + c.quoted + "  # comment";
        EXPECT_EQ(langImageFromText(line).header.englishName, c.text);
    }
}

TEST(LangText, MistakesInTheTextNameTheirLine) {
    struct Case {
        const char* name;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {"unknown keyword", "format-version 7\nfrob 1\n", "Line 2: unknown keyword \"frob\""},
        {"bad version", "format-version 9\n", "Line 1: format version must be 1 to 7"},
        {"constant outside unit", "constant \"C\" attributes=0 string-id=1 id=1 version=1 time=0\n",
         "Line 1: constant outside a unit"},
        {"missing field", "unit \"U\" attributes=0\n  constant \"C\" attributes=0 id=1\n",
         "Line 2: constant needs string-id="},
        {"unknown field", "unit \"U\" attributes=0 colour=red\n",
         "Line 1: unknown field colour= for unit"},
        {"value without record", "unit \"U\" attributes=0\nvalue \"x\"\n",
         "Line 2: value without a constant, property or item before it"},
        {"bad number",
         "form \"F\" attributes=0\nproperty \"P\" attributes=0 id=1 type=ptInteger "
         "version=1 time=0\nvalue 1.5\n",
         "Line 3: \"1.5\" is not a ptInteger value"},
        {"unknown type",
         "form \"F\" attributes=0\nproperty \"P\" attributes=0 id=1 type=ptFoo "
         "version=1 time=0\n",
         "Line 2: unknown value type \"ptFoo\""},
        {"out of range", "locale 0x10000\n", "Line 1: locale 0x10000 is out of range"},
        {"unclosed string", "english-name \"abc\n", "Line 1: a string without its closing quote"},
        {"bad escape", "english-name \"a\\qb\"\n", "Line 1: unknown escape \\q"},
        {"invalid UTF-8", "english-name \"\xC3\x28\"\n", "Line 1: invalid UTF-8"},
        {"header after body", "unit \"U\" attributes=0\nversion 3\n",
         "Line 2: version belongs before the first unit, form or group"},
        {"two values",
         "unit \"U\" attributes=0\nconstant \"C\" attributes=0 string-id=1 id=1 "
         "version=1 time=0\nvalue \"a\"\nvalue \"b\"\n",
         "Line 4: a second value for the same record"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)langImageFromText(c.text);
            ADD_FAILURE() << "no error";
        } catch (const ELangTextError& e) {
            EXPECT_EQ(std::string(e.what()), c.message);
        }
    }
}

TEST(LangText, DateTimeComments) {
    struct Case {
        double days;
        const char* text;
    };
    const Case cases[] = {
        {0, "1899-12-30 00:00:00"},     {2.5, "1900-01-01 12:00:00"},
        {45000, "2023-03-15 00:00:00"}, {46000.75, "2025-12-09 18:00:00"},
        {-1.25, "1899-12-29 06:00:00"}, {1e300, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.days);
        EXPECT_EQ(dateTimeText(c.days), c.text);
    }
}

}  // namespace
}  // namespace runemeter
