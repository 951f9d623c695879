// SPDX-License-Identifier: GPL-3.0-or-later
// The built runemeter-lang: dump and build give the same file back; errors name class and cause.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/files.h"

namespace runemeter {
namespace {

// Header fields, attribute words and bit patterns the text must carry, as dump writes them.
constexpr std::string_view kAwkward = R"(# Runemeter language file, text form (runemeter-lang dump)
format-version 7
compressed 0
version -7
build 4294967295
locale 0x0409
based-on 0x0407
english-name "Naïve \u{81} €"
localized-name "\"q\" \\ \t\u{0}x\u{D800}y😀"
is-native 258
attributes 0x0002
const-max-id -2147483648
property-max-id 45
ext-item-max-id 21

unit "Main" attributes=0x0011
  constant "Oddÿ" attributes=0xFFFF string-id=65535 id=-5 version=-2147483648 time=0xFFF8000000000001
    value "\u{7}bell\u{7F}\u{9F}\r\n"

form "TForm1" attributes=0x0022
  property "Nan" attributes=0x0000 id=40 type=ptFloat version=1 time=0x7FF0000000000000
    value nan bits=0x7FF8000000000123
  component "Button1" attributes=0x0033
    property "Anchors" attributes=0x0000 id=44 type=ptSet type-word=0x00ABCD07 version=1 time=0x7FF0000000000000

group "Types" attributes=0x0044
  item "Letter" attributes=0x0100 id=20 version=2 time=0x7FF0000000000000
    value "letter"
)";

test::ProcessResult tool(std::vector<std::string> args) {
    test::Launch launch;
    launch.argv = {RUNEMETER_LANG_TOOL};
    launch.argv.insert(launch.argv.end(), args.begin(), args.end());
    return test::runProgram(launch);
}

// Build warns once for each kind of field the version cannot hold; dump and build again give the
// same bytes; at version 7 the dump is the text itself.
TEST(LangTool, DumpThenBuildGivesTheSameFileForEveryFormatVersion) {
    const int warnings[] = {6, 5, 4, 3, 2, 2, 0};  // for versions 1 to 7
    test::TempDir dir;
    for (int fv = 1; fv <= 7; ++fv) {
        for (const std::string compressed : {"0", "1"}) {
            SCOPED_TRACE("format version " + std::to_string(fv) + ", compressed " + compressed);
            std::string text(kAwkward);
            text.replace(text.find("version 7\ncompressed 0"), 22,
                         "version " + std::to_string(fv) + "\ncompressed " + compressed);
            test::writeFile(dir / "in.txt", text);
            const test::ProcessResult built = tool({"build", dir / "in.txt", "-o", dir / "a.lng"});
            ASSERT_EQ(built.status, 0) << built.err;
            EXPECT_EQ(std::count(built.err.begin(), built.err.end(), '\n'), warnings[fv - 1])
                << built.err;
            ASSERT_EQ(tool({"dump", dir / "a.lng", "-o", dir / "dump.txt"}).status, 0);
            if (fv == 7) {
                EXPECT_EQ(test::readFile(dir / "dump.txt"), text);
            }
            ASSERT_EQ(tool({"build", dir / "dump.txt", "-o", dir / "b.lng"}).status, 0);
            EXPECT_EQ(test::readFile(dir / "b.lng"), test::readFile(dir / "a.lng"));
        }
    }
}

TEST(LangTool, UnreadableInputIsReportedWithItsClassAndMessage) {
    test::TempDir dir;
    test::writeFile(dir / "in.txt", kAwkward);
    ASSERT_EQ(tool({"build", dir / "in.txt", "-o", dir / "good.lng"}).status, 0);
    const std::string good = test::readFile(dir / "good.lng");
    test::writeFile(dir / "bad.lng", std::string("LX\x07\x00 this is no language file", 29));
    test::writeFile(dir / "newer.lng", good.substr(0, 2) + '\x08' + good.substr(3));
    test::writeFile(dir / "bad.txt", "format-version 7\nunit \"U\"\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"dump", dir / "bad.lng"}, "ELangFileError: Invalid file format"},
        {{"dump", dir / "newer.lng"},
         "ELangFileError: The language file can not be read. It was written by a newer version"},
        {{"decompress", dir / "bad.lng", dir / "x"}, "ECompressError: Wrong stream format"},
        {{"dump", dir / "missing.lng"}, "EFOpenError: Cannot open file"},
        {{"build", dir / "bad.txt", "-o", dir / "y"},
         "ELangTextError: Line 2: unit needs attributes="},
        {{"build", dir / "bad.txt"}, "build needs a text file and -o FILE"}};
    for (const auto& [args, message] : cases) {
        SCOPED_TRACE(message);
        const test::ProcessResult r = tool(args);
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("runemeter-lang: " + message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "x") || std::filesystem::exists(dir / "y"));
}

}  // namespace
}  // namespace runemeter
