#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"

namespace runemeter {
namespace {

CliParseResult parse(std::vector<std::string_view> args) {
    return parseCliOptions(args);
}

TEST(CliOptions, DefaultsAreTheWindowDefaults) {
    const CliParseResult r = parse({"folder"});
    ASSERT_FALSE(r.exitNow);
    EXPECT_EQ(r.options.path, "folder");
    EXPECT_EQ(r.options.mask, "*.txt");
    EXPECT_FALSE(r.options.subfolders);
    EXPECT_TRUE(r.options.readZips);
    EXPECT_EQ(r.options.sort, CliSort::Code);
    EXPECT_EQ(r.options.format, CliFormat::Tsv);
    EXPECT_FALSE(r.options.lettersOnly);
    EXPECT_TRUE(r.options.header.empty());
}

TEST(CliOptions, EveryOptionIsTaken) {
    const CliParseResult r =
        parse({"--mask", "*.md;*.txt", "--subfolders", "--no-zips", "--header=###", "--sort",
               "freq", "--letters-only", "--format", "json", "--", "-odd name"});
    ASSERT_FALSE(r.exitNow) << r.output;
    EXPECT_EQ(r.options.mask, "*.md;*.txt");
    EXPECT_TRUE(r.options.subfolders);
    EXPECT_FALSE(r.options.readZips);
    EXPECT_EQ(r.options.header, "###");
    EXPECT_EQ(r.options.sort, CliSort::Frequency);
    EXPECT_TRUE(r.options.lettersOnly);
    EXPECT_EQ(r.options.format, CliFormat::Json);
    EXPECT_EQ(r.options.path, "-odd name");
}

struct BadArguments {
    const char* name;
    std::vector<std::string_view> args;
    const char* reasonPart;
};

TEST(CliOptions, BadArgumentsExitWithTwoAndOneReason) {
    const BadArguments cases[] = {
        {"no path", {}, "no PATH"},
        {"two paths", {"a", "b"}, "more than one PATH"},
        {"unknown option", {"--frobnicate", "a"}, "unknown option"},
        {"missing value", {"a", "--mask"}, "needs a value"},
        {"empty mask", {"--mask", " ; ", "a"}, "mask is empty"},
        {"bad sort", {"--sort", "size", "a"}, "unknown sort order"},
        {"bad format", {"--format=xml", "a"}, "unknown format"},
        {"flag with value", {"--subfolders=yes", "a"}, "unknown option"},
    };
    for (const BadArguments& c : cases) {
        SCOPED_TRACE(c.name);
        const CliParseResult r = parseCliOptions(c.args);
        EXPECT_TRUE(r.exitNow);
        EXPECT_EQ(r.exitStatus, 2);
        EXPECT_NE(r.output.find(c.reasonPart), std::string::npos) << r.output;
    }
}

TEST(CliOptions, HelpAndVersionExitWithZero) {
    for (std::string_view option : {"--help", "--version"}) {
        const CliParseResult r = parse({option});
        EXPECT_TRUE(r.exitNow);
        EXPECT_EQ(r.exitStatus, 0);
        EXPECT_FALSE(r.output.empty());
    }
    EXPECT_NE(parse({"--help"}).output.find("--letters-only"), std::string::npos);
}

}  // namespace
}  // namespace runemeter
