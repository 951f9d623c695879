// SPDX-License-Identifier: GPL-3.0-or-later
// Following the suite's interface language, and the shipped language files.

#include "frame/interface_language.h"

#include <gtest/gtest.h>

#include "localisation/lang_fixtures.h"
#include "suite/resource_strings.h"
#include "suite/tool_services.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;
using Languages = std::vector<std::uint32_t>;

// The suite's side of the language choice.
struct Suite {
    std::uint32_t chosen = 0;
    TextSettings text = defaultTextSettings();
    Languages helpFiles;
    InterfaceLanguageServices services() {
        return {[this] { return chosen; }, [this] { return text; },
                [this](const TextSettings& settings) { text = settings; },
                [this](std::uint32_t language) { helpFiles.push_back(language); }};
    }
};

bool prepare(ProgramFolder& p, Suite& suite) {
    return CheckLocalisation(*p.engine, p.interfaces(), p.interfaces() / "runemeter.ntv.lng",
                             p.dir / "user/modules", suite.services());
}

TEST(InterfaceLanguage, TheEngineIsPreparedOnlyWithTheNativeFile) {
    for (const bool native : {false, true}) {
        SCOPED_TRACE(native ? "the native file only" : "a translation only");
        ProgramFolder p;
        Suite suite;
        native ? p.writeNative() : p.writeGerman();
        SeveralLanguages = true;  // left as it is when nothing is prepared
        EXPECT_EQ(prepare(p, suite), native);
        EXPECT_EQ(p.engine->FTranslatePackages, native);
        EXPECT_EQ(SeveralLanguages, !native);
        EXPECT_EQ(p.engine->FFullDLLDir, native ? p.dir / "user/modules" : p.modules());
    }
    SeveralLanguages = false;
}

// Code 59 follows the chosen language, else its primary language, unless that is shown already
// or has no file.
TEST(InterfaceLanguage, TheNotificationFollowsTheChosenLanguage) {
    ProgramFolder p;
    Suite suite;
    p.writeNative();
    p.write("runemeter.DE.lng", translation(0x0007, u"German", u"Summe", u"&Datei(en)"));
    ASSERT_TRUE(prepare(p, suite));
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    const SuiteMessage message = makeSuiteNotification(kNotifyLanguageChanged, kShellTool, 7);
    // German (Austria) has no file of its own; German is shown then; Italian has no file.
    for (const std::uint32_t chosen : {0x0C07u, 0x0007u, 0x0410u}) {
        SCOPED_TRACE(chosen);
        suite.chosen = chosen;
        EXPECT_EQ(HandleSuiteNotification(*p.engine, message, suite.services()), 0);
        EXPECT_EQ(p.engine->CurrentLocale(), 0x0007u);
        EXPECT_EQ(ResourceString(ResId::VTTotal), u"Summe");
        EXPECT_EQ(walker.labels.size(), 1u);
        EXPECT_EQ(suite.helpFiles, Languages{0x0007});
    }
}

// A translation of another version: its module is refused, so the engine keeps showing the
// native language, never the entry's; the handler must not switch again and again.
TEST(InterfaceLanguage, TheSwitchHandlerEndsWhenTheModuleIsRefused) {
    ProgramFolder p;
    Suite suite;
    p.writeNative();
    p.writeGerman(7);
    ASSERT_TRUE(prepare(p, suite));
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(walker.labels.size(), 2u) << "the switch and one of the handler's own";
    EXPECT_EQ(suite.helpFiles, Languages{kGerman});
}

TEST(InterfaceLanguage, ChineseSetsTheSharedInterfaceFont) {
    for (const std::uint32_t chosen : {0x0804u, 0x0404u, kGerman, 0u}) {
        SCOPED_TRACE(chosen);
        Suite suite;
        suite.chosen = chosen;
        suite.text.setFontCharset(134);
        AdjustTextSettingsForLanguage(suite.services());
        const bool chinese = chosen == 0x0804 || chosen == 0x0404;
        EXPECT_EQ(suite.text.fontName(), chinese ? "Tahoma" : defaultTextSettings().fontName());
        EXPECT_EQ(suite.text.fontCharset(), chinese ? 1 : 134);
    }
}

// Upgrades one after another: the program's unchanged copies follow the shipped files; a file
// the user changed (or put there) stays, and a newer shipped file goes beside it, once.
TEST(InterfaceLanguage, ShippedFilesRefreshOnlyTheProgramsUnchangedCopies) {
    // shipped native, shipped German, user's edit of the native file, files told about,
    // the user's native file afterwards (the user's own German always stays).
    const std::tuple<const char*, const char*, const char*, std::string, const char*> steps[] = {
        {"n1", "d1", "", "runemeter.DEU.lng", "n1"},  // first start
        {"n2", "d2", "", "runemeter.DEU.lng", "n2"},  // upgrade
        {"n2", "d2", "", "", "n2"},                   // the same again tells nothing
        {"n2", "d2", "edited", "", "edited"},         // changed, nothing newer
        {"n3", "d2", "", "runemeter.ntv.lng", "edited"},
        {"n3", "d2", "n3", "", "n3"},  // equal to the shipped file again
        {"n4", "d2", "", "", "n4"}};   // so it follows the next upgrade
    TempDir dir;
    writeFile(dir / "user/runemeter.DEU.lng", "mine");
    for (const auto& [native, german, edit, told, after] : steps) {
        SCOPED_TRACE(std::string(native) + " " + edit);
        writeFile(dir / "share/runemeter.ntv.lng", native);
        writeFile(dir / "share/runemeter.DEU.lng", german);
        if (*edit != '\0') {
            writeFile(dir / "user/runemeter.ntv.lng", edit);
        }
        const ShippedLanguages result = InstallShippedLanguages(dir / "share", dir / "user");
        std::string names;
        for (const auto& [kept, beside] : result.keptBeside) {
            names += kept.filename().string();
            EXPECT_EQ(readFile(beside), readFile(dir / "share" / kept.filename()));
        }
        EXPECT_EQ(names, told);
        EXPECT_EQ(readFile(dir / "user/runemeter.ntv.lng"), after);
        EXPECT_EQ(readFile(dir / "user/runemeter.DEU.lng"), "mine");
    }
}

// Help pages, made by the build, follow the shipped ones; the English page also stands in at
// the fallback place of the help file rule.
TEST(InterfaceLanguage, HelpPagesFollowTheShippedOnes) {
    TempDir dir;
    writeFile(dir / "share/veltrane_9.html", "new page");
    writeFile(dir / "user/interfaces/veltrane_9.html", "old page");
    EXPECT_EQ(InstallShippedLanguages(dir / "share", dir / "user/interfaces").copied, 1);
    EXPECT_EQ(readFile(dir / "user/interfaces/veltrane_9.html"), "new page");
    EXPECT_EQ(InstallShippedLanguages(dir / "share", dir / "user/interfaces").copied, 0);
    EXPECT_TRUE(InstallFallbackHelp(dir / "user", "runemeter"));
    EXPECT_EQ(readFile(dir / "user/runemeter.html"), "new page");
    EXPECT_FALSE(InstallFallbackHelp(dir / "user", "runemeter"));
}

}  // namespace
}  // namespace runemeter
