// Following the suite's interface language: preparing the engine, the start-up rule, the
// notification, the Chinese font rule, and the shipped files copied to the user.

#include <gtest/gtest.h>

#include "frame/interface_language.h"
#include "localisation/loc_engine_util.h"
#include "suite/resource_strings.h"
#include "suite/tool_services.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;

struct Suite {
    std::uint32_t chosen = 0;
    TextSettings text = defaultTextSettings();
    std::vector<std::uint32_t> helpFiles;
    int textWrites = 0;

    InterfaceLanguageServices services() {
        InterfaceLanguageServices s;
        s.chosenLanguage = [this] { return chosen; };
        s.textSettings = [this] { return text; };
        s.setTextSettings = [this](const TextSettings& t) {
            text = t;
            ++textWrites;
        };
        s.chooseHelpFile = [this](std::uint32_t language) { helpFiles.push_back(language); };
        return s;
    }
};

bool prepare(ProgramFolder& p, Suite& suite) {
    return CheckLocalisation(*p.engine, p.interfaces(), p.interfaces() / "runemeter.ntv.lng",
                             p.modules(), suite.services());
}

TEST(CheckLocalisation, NothingWithoutTheFolderOrTheNativeFile) {
    ProgramFolder p;
    Suite suite;
    SeveralLanguages = true;
    EXPECT_FALSE(CheckLocalisation(*p.engine, p.dir.path() / "none", p.dir.path() / "none/x",
                                   p.modules(), suite.services()));
    EXPECT_FALSE(p.engine->Initialized());
    p.writeGerman();
    EXPECT_FALSE(prepare(p, suite));
    EXPECT_FALSE(p.engine->Initialized());
    EXPECT_TRUE(SeveralLanguages) << "left as it was";
    SeveralLanguages = false;
}

TEST(CheckLocalisation, PreparesTheEngine) {
    struct Row {
        const char* name;
        bool withGerman;
        bool several;
    };
    for (const Row& row : {Row{"one file", false, false}, Row{"two files", true, true}}) {
        SCOPED_TRACE(row.name);
        ProgramFolder p;
        Suite suite;
        p.writeNative();
        if (row.withGerman) {
            p.writeGerman();
        }
        ASSERT_TRUE(prepare(p, suite));
        EXPECT_TRUE(p.engine->Initialized());
        EXPECT_TRUE(p.engine->FTranslatePackages);
        EXPECT_TRUE(static_cast<bool>(p.engine->FOnLangSwitch));
        EXPECT_EQ(SeveralLanguages, row.several);
        EXPECT_EQ(p.engine->FFullDLLDir, p.modules());
        SeveralLanguages = false;
    }
}

TEST(InterfaceLanguage, FollowsTheChosenLanguageAtStart) {
    struct Row {
        const char* name;
        bool several;
        std::uint32_t chosen;
        bool follows;
    };
    const Row rows[] = {
        {"nothing chosen", true, 0, false},
        {"one language file only", false, kGerman, false},
        {"another primary language", true, kGerman, true},
        {"another sub-language only", true, 0x0409, false},
        {"the language shown", true, kEnglishUK, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FollowsChosenLanguageAtStart(row.several, row.chosen, kEnglishUK), row.follows)
            << row.name;
    }
}

TEST(InterfaceLanguage, FollowChosenLanguageFallsBackToThePrimaryLanguage) {
    ProgramFolder p;
    Suite suite;
    p.writeNative();
    LangFileImage neutral = translation(0x0007, u"German", u"Summe", u"&Datei(en)");
    p.write("runemeter.DE.lng", neutral);
    ASSERT_TRUE(prepare(p, suite));
    suite.chosen = 0x0C07;  // German (Austria): no file of its own
    EXPECT_EQ(FollowChosenLanguage(*p.engine, suite.services()), 1);
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Summe");
    EXPECT_EQ(suite.helpFiles, std::vector<std::uint32_t>{0x0007});

    suite.chosen = 0x0410;  // Italian: neither as a whole nor as its primary language
    EXPECT_LT(FollowChosenLanguage(*p.engine, suite.services()), 0);
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Summe") << "nothing switched";
    EXPECT_EQ(suite.helpFiles.size(), 1u) << "the help file stays";
}

TEST(InterfaceLanguage, ChineseSetsTheSharedInterfaceFont) {
    struct Row {
        const char* name;
        std::uint32_t chosen;
        bool changed;
    };
    const Row rows[] = {
        {"Chinese (PRC)", 0x0804, true},
        {"Chinese (Taiwan)", 0x0404, true},
        {"German", kGerman, false},
        {"nothing chosen", 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Suite suite;
        suite.chosen = row.chosen;
        suite.text.setFontCharset(134);
        suite.text.setFontSize(12);
        AdjustTextSettingsForLanguage(suite.services());
        EXPECT_EQ(suite.textWrites, row.changed ? 1 : 0);
        EXPECT_EQ(suite.text.fontName(), row.changed ? "Tahoma" : "DejaVu Sans");
        EXPECT_EQ(suite.text.fontCharset(), row.changed ? 1 : 134);
        EXPECT_EQ(suite.text.fontSize(), 12);
    }
}

TEST(InterfaceLanguage, NotificationCode59FollowsTheChosenLanguage) {
    struct Row {
        const char* name;
        std::uint16_t code;
        std::uint32_t chosen;
        std::uint32_t expected;
    };
    const Row rows[] = {
        {"language changed", kNotifyLanguageChanged, kGerman, kGerman},
        {"another code", 58, kGerman, kEnglishUK},
        {"a language without a file", kNotifyLanguageChanged, 0x0410, kEnglishUK},
        {"the language shown", kNotifyLanguageChanged, kEnglishUK, kEnglishUK},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProgramFolder p;
        Suite suite;
        p.writeNative();
        p.writeGerman();
        ASSERT_TRUE(prepare(p, suite));
        RecordingWalker walker;
        p.engine->FFormWalker = &walker;
        suite.chosen = row.chosen;
        const SuiteMessage message = makeSuiteNotification(row.code, kShellTool, 77);
        EXPECT_EQ(HandleSuiteNotification(*p.engine, message, suite.services()), 0);
        EXPECT_EQ(p.engine->CurrentLocale(), row.expected);
        EXPECT_EQ(walker.labels.size(), row.expected == kGerman ? 1u : 0u);
    }
}

TEST(InterfaceLanguage, TheSwitchHandlerEndsWhenTheModuleIsRefused) {
    // A translation of another version: its module is refused, so the engine keeps showing
    // its own resources' language, which is never the entry's.
    ProgramFolder p;
    Suite suite;
    p.writeNative();
    p.writeGerman(7);
    ASSERT_TRUE(prepare(p, suite));
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(walker.labels.size(), 2u) << "the switch and one of the handler's own";
    EXPECT_EQ(walker.labels.back(), u"&Datei(en)");
    EXPECT_EQ(suite.helpFiles, std::vector<std::uint32_t>{kGerman});
}

TEST(InterfaceLanguage, SuiteMessages) {
    const SuiteMessage message = makeSuiteNotification(59, 13, 0x1122334455667788);
    EXPECT_EQ(message.code(), 59);
    EXPECT_EQ(message.senderTool(), 13);
    EXPECT_EQ(message.wParam, 59u | (13u << 16));
    const auto bytes = encodeSuiteMessage(message);
    EXPECT_EQ(bytes[0], std::byte{0x01});  // 1025 little-endian
    EXPECT_EQ(bytes[1], std::byte{0x04});
    EXPECT_EQ(decodeSuiteMessage(bytes), message);
    EXPECT_FALSE(decodeSuiteMessage(std::span(bytes).first(15)));
    auto other = bytes;
    other[0] = std::byte{0x02};
    EXPECT_FALSE(decodeSuiteMessage(other)) << "another message number";
}

TEST(InterfaceLanguage, ShippedFilesNeverReplaceTheUsersOwn) {
    TempDir dir;
    const auto shipped = dir.path() / "share";
    const auto interfaces = dir.path() / "user" / "interfaces";
    std::filesystem::create_directories(shipped);
    writeFile(shipped / "runemeter.ntv.lng", toBytes("shipped native"));
    writeFile(shipped / "runemeter.DEU.lng", toBytes("shipped German"));
    std::filesystem::create_directories(interfaces);
    writeFile(interfaces / "runemeter.DEU.lng", toBytes("the user's German"));
    EXPECT_EQ(InstallShippedLanguages(shipped, interfaces), 1);
    EXPECT_EQ(readFile(interfaces / "runemeter.DEU.lng"), toBytes("the user's German"));
    EXPECT_EQ(readFile(interfaces / "runemeter.ntv.lng"), toBytes("shipped native"));
    EXPECT_EQ(InstallShippedLanguages(shipped, interfaces), 0);
    EXPECT_EQ(InstallShippedLanguages(dir.path() / "missing", interfaces), 0);
}

}  // namespace
}  // namespace runemeter
