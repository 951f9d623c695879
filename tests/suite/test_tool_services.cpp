#include "suite/tool_services.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace runemeter {
namespace {

struct ToolCase {
    const char* name;
    mini_tool_type tool;
    std::u16string toolName;
    std::u16string file;
};

TEST(ToolNames, KnownToolsHaveNameAndFileUnknownOnesANumber) {
    const std::vector<ToolCase> cases = {
        {"shell", 3, u"Veltrane Shell", u"vtsuite"},
        {"this tool", 13, u"Runemeter", u"runemeter"},
        {"unknown", 200, u"Tool 200", u""},
        {"zero", 0, u"Tool 0", u""},
    };
    for (const ToolCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Tool_Name(c.tool), c.toolName);
        EXPECT_EQ(GetShortToolFilename(c.tool), c.file);
    }
}

TEST(ToolFiles, ToolsAreLookedForBesideTheRunningProgram) {
    char self[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
    const std::filesystem::path folder = std::filesystem::path(self).parent_path();
    EXPECT_EQ(GetFullToolFilename(kShellTool), folder / "vtsuite");
    EXPECT_TRUE(GetFullToolFilename(99).empty());

    setToolFolder("/opt/veltrane/bin");
    EXPECT_EQ(GetFullToolFilename(kRunemeterTool), "/opt/veltrane/bin/runemeter");
    setToolFolder({});
    EXPECT_EQ(toolFolder(), folder);
}

struct LanguageCase {
    std::uint32_t id;
    std::uint32_t primary;
};

TEST(PrimaryLanguageNumber, IsTheLowTenBits) {
    const std::vector<LanguageCase> cases = {
        {0x0409, 9}, {0x0809, 9}, {0x0804, 4}, {0x0404, 4}, {0x0C07, 7}, {0xFFFF, 0x3FF}, {0, 0},
    };
    for (const LanguageCase& c : cases) {
        EXPECT_EQ(PrimaryLanguage(c.id), c.primary) << "id " << c.id;
    }
}

TEST(MessageHooks, WithoutAHandlerTheMessageGoesToStderr) {
    MyPMsgDlgProc = nullptr;
    testing::internal::CaptureStderr();
    const int answer =
        MyPMsgDlg(u"Can't start \r/x/vtsuite \u00FC", u"Fatal Error", kMbIconExclamation);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(answer, kIdOk);
    EXPECT_EQ(err, "Fatal Error: Can't start \r/x/vtsuite \xC3\xBC\n");
}

TEST(MessageHooks, HandlersSetByTheWindowAreCalled) {
    std::u16string seenText;
    std::u16string seenCaption;
    std::uint32_t seenFlags = 0;
    MyPMsgDlgProc = [&](std::u16string_view text, std::u16string_view caption,
                        std::uint32_t flags) {
        seenText = text;
        seenCaption = caption;
        seenFlags = flags;
        return 7;
    };
    EXPECT_EQ(MyPMsgDlg(u"text", u"caption", 48), 7);
    EXPECT_EQ(seenText, u"text");
    EXPECT_EQ(seenCaption, u"caption");
    EXPECT_EQ(seenFlags, 48u);
    MyPMsgDlgProc = nullptr;

    int yields = 0;
    MyYieldProcess();  // nothing set: nothing happens
    AYieldProcessProc = [&] { ++yields; };
    MyYieldProcess();
    MyYieldProcess();
    AYieldProcessProc = nullptr;
    EXPECT_EQ(yields, 2);
}

}  // namespace
}  // namespace runemeter
