// The engine on language files made by the tests: the language list, Init, switching, the
// language modules, the error reactions and the helpers of the form walk.

#include <gtest/gtest.h>

#include <chrono>

#include "localisation/LocOnFly.h"
#include "localisation/loc_engine_util.h"
#include "suite/resource_strings.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;

std::u16string total() {
    return ResourceString(ResId::VTTotal);
}

template <class Error>
std::string messageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "<no error>";
}

TEST(LocOnFlyInit, NativeOnly) {
    ProgramFolder p;
    p.writeNative();
    p.engine->Init(p.interfaces());
    ASSERT_TRUE(p.engine->Initialized());
    EXPECT_FALSE(p.engine->FInitialization);
    ASSERT_EQ(p.engine->LangList().Count(), 1u);
    EXPECT_TRUE(p.engine->LangList()[0].FNative);
    EXPECT_EQ(p.engine->LangList()[0].FFileName, "runemeter.ntv.lng");
    EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
    EXPECT_EQ(p.engine->FLangIndex, 0);
    EXPECT_TRUE(p.engine->FCheckSync);
    EXPECT_FALSE(p.engine->FProcessCharset);
    EXPECT_FALSE(p.engine->FProcessBiDiMode);
}

TEST(LocOnFlyInit, BiDiModeFromTheNativeFile) {
    ProgramFolder p;
    p.write("runemeter.ntv.lng", nativeLanguage(2));
    p.engine->Init(p.interfaces());
    EXPECT_TRUE(p.engine->FProcessBiDiMode);
}

TEST(LocOnFlyInit, RelativeFolderIsTakenFromTheProgramsFolder) {
    ProgramFolder p;
    p.writeNative();
    // The current folder holds no "interfaces"; the program's folder does.
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(p.dir.path());
    p.engine->Init("interfaces");
    std::filesystem::current_path(previous);
    ASSERT_TRUE(p.engine->Initialized());
    EXPECT_EQ(p.engine->LangList().FFolderPath, "interfaces");
    EXPECT_EQ(p.engine->LangList().FFullPath, p.interfaces());
}

TEST(LocOnFlyInit, MissingFolderAndMissingNativeFile) {
    {
        ProgramFolder p;
        const auto missing = p.bin() / "nowhere";
        EXPECT_EQ(messageOf<ELocOnFlyError>([&] { p.engine->Init("nowhere"); }),
                  "Specified path \"" + missing.string() + "\" does not exist");
        EXPECT_FALSE(p.engine->Initialized());
    }
    {
        ProgramFolder p;
        p.writeGerman();
        EXPECT_EQ(messageOf<ELocOnFlyError>([&] { p.engine->Init(p.interfaces()); }),
                  "Language file \"" + (p.interfaces() / "runemeter.ntv.lng").string() +
                      "\" is not found");
        EXPECT_FALSE(p.engine->Initialized());
    }
}

TEST(LocOnFlyInit, ListIsOrderedByEnglishNameAndSkipsDamagedFiles) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.writeFrench();
    writeFile(p.interfaces() / "runemeter.XXX.lng", toBytes("not a language file"));
    writeFile(p.interfaces() / "other.DEU.lng", writeLangFileImage(nativeLanguage(), false));
    p.engine->Init(p.interfaces());
    const TLFInfoList& list = p.engine->LangList();
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list[0].FEnglishName, u"English");
    EXPECT_EQ(list[1].FEnglishName, u"French");
    EXPECT_EQ(list[2].FEnglishName, u"German");
    EXPECT_EQ(list.IndexByLocale(kGerman), 2);
    EXPECT_EQ(list.IndexByLocale(0x0410), -1);
    ASSERT_EQ(p.engine->FSkippedFiles.size(), 1u);
    EXPECT_EQ(p.engine->FSkippedFiles[0].file.filename(), "runemeter.XXX.lng");
}

TEST(LocOnFlySwitch, BeforeInit) {
    ProgramFolder p;
    EXPECT_EQ(messageOf<ELocOnFlyError>([&] { p.engine->SwitchTo(kGerman); }),
              "Localizer is not initialized");
}

TEST(LocOnFlySwitch, ToOneTranslationAndBack) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    std::vector<std::string> events;
    p.engine->FOnLangSwitchStart = [&](TLocalizerOnFly&) { events.push_back("start"); };
    p.engine->FOnLangSwitch = [&](TLocalizerOnFly&, TLFInfo& info) {
        events.push_back("switch " + std::to_string(info.FLocale));
    };
    p.engine->Init(p.interfaces());
    EXPECT_TRUE(events.empty()) << "Init gives no notifications";

    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(p.engine->CurrentLocale(), kGerman);
    EXPECT_EQ(total(), u"Summe");
    EXPECT_TRUE(std::filesystem::exists(p.modules() / "runemeter.DEU"));
    EXPECT_EQ(p.utils.GetCurrentInfo().Locale, kGerman);
    EXPECT_EQ(p.utils.GetCurrentInfo().Version, kExeResourceVersion);
    ASSERT_EQ(walker.labels.size(), 1u);
    EXPECT_EQ(walker.labels[0], u"&Datei(en)");

    p.engine->SwitchTo(kEnglishUK);
    EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
    EXPECT_EQ(total(), u"Total");
    EXPECT_EQ(walker.labels.back(), u"&file(s)");
    const std::vector<std::string> expected{"start", "switch 1031", "start", "switch 2057"};
    EXPECT_EQ(events, expected);
}

TEST(LocOnFlySwitch, TheLanguageShownAgainStillWalksAndNotifies) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    int starts = 0;
    int switches = 0;
    p.engine->FOnLangSwitchStart = [&](TLocalizerOnFly&) { ++starts; };
    p.engine->FOnLangSwitch = [&](TLocalizerOnFly&, TLFInfo&) { ++switches; };
    p.engine->Init(p.interfaces());
    p.engine->SwitchTo(kGerman);
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(switches, 2);
    EXPECT_EQ(walker.labels.size(), 2u);
    EXPECT_EQ(total(), u"Summe");
}

TEST(LocOnFlySwitch, AnUpToDateModuleIsNeitherRebuiltNorDeleted) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.engine->Init(p.interfaces());
    p.engine->SwitchTo(kGerman);
    const auto module = p.modules() / "runemeter.DEU";
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    std::filesystem::last_write_time(module, old);
    p.engine->SwitchTo(kEnglishUK);
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(std::filesystem::last_write_time(module), old);
    EXPECT_EQ(total(), u"Summe");
    EXPECT_EQ(p.engine->Storage().LanguageCount(), 2u) << "no second load of German";
}

TEST(LocOnFlySwitch, ADamagedModuleIsRebuilt) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.engine->Init(p.interfaces());
    std::filesystem::create_directories(p.modules());
    writeFile(p.modules() / "runemeter.DEU", toBytes("LOC_LIBSETTINGS_ but nothing more"));
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(total(), u"Summe");
    EXPECT_EQ(p.engine->CurrentLocale(), kGerman);
}

TEST(LocOnFlySwitch, AModuleOfAnotherVersionIsNotUsedButTheWindowsAreTranslated) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman(5);
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    p.engine->Init(p.interfaces());
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(total(), u"Total");
    EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK) << "the resources are the program's";
    ASSERT_EQ(walker.labels.size(), 1u);
    EXPECT_EQ(walker.labels[0], u"&Datei(en)");
}

TEST(LocOnFlySwitch, SeveralTranslations) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.writeFrench();
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    p.engine->Init(p.interfaces());
    p.engine->SwitchTo(kFrench);
    EXPECT_EQ(total(), u"Total général");
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(total(), u"Summe");
    p.engine->SwitchTo(kFrench);
    EXPECT_EQ(total(), u"Total général");
    EXPECT_EQ(p.engine->Storage().LanguageCount(), 3u);
    const std::vector<std::u16string> expected{u"&fichier(s) fr", u"&Datei(en)", u"&fichier(s) fr"};
    EXPECT_EQ(walker.labels, expected);
}

TEST(LocOnFlySwitch, UnloadInactiveLanguagesAndDeleteUnusedModules) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.writeFrench();
    p.engine->FUnloadInactiveLanguages = true;
    p.engine->FDeleteUnusedLDll = true;
    p.engine->Init(p.interfaces());
    p.engine->SwitchTo(kGerman);
    p.engine->SwitchTo(kFrench);
    EXPECT_EQ(p.engine->Storage().LanguageCount(), 2u);
    EXPECT_EQ(p.engine->Storage().IndexOfLocale(kGerman), -1);
    EXPECT_FALSE(std::filesystem::exists(p.modules() / "runemeter.DEU"));
    EXPECT_TRUE(std::filesystem::exists(p.modules() / "runemeter.FRA"));
    p.engine->SwitchTo(kFrench);
    EXPECT_TRUE(std::filesystem::exists(p.modules() / "runemeter.FRA"))
        << "the module in use is never deleted";
    EXPECT_EQ(total(), u"Total général");
}

TEST(LocOnFlySwitch, NativeLanguageUsesTheNativeFile) {
    ProgramFolder p;
    p.writeNative();
    RecordingWalker walker;
    p.engine->FFormWalker = &walker;
    p.engine->Init(p.interfaces());
    p.engine->SwitchTo(kEnglishUK);
    EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
    ASSERT_EQ(walker.labels.size(), 1u);
    EXPECT_EQ(walker.labels[0], u"&file(s)");
}

TEST(LocOnFlySwitch, OutdatedTranslationsShowTheNativeTextUnlessAsked) {
    struct Row {
        const char* name;
        std::uint16_t attributes;
        std::u16string expected;
    };
    const Row rows[] = {
        {"native text", 0, u"&file(s)"},
        {"shown as is", kValueAttrShowOutdated, u"alt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProgramFolder p;
        p.writeNative();
        p.write("runemeter.DEU.lng", translation(kGerman, u"German", u"Summe", u"alt",
                                                 kExeResourceVersion, 0, row.attributes));
        RecordingWalker walker;
        p.engine->FFormWalker = &walker;
        p.engine->Init(p.interfaces());
        p.engine->SwitchTo(kGerman);
        ASSERT_EQ(walker.labels.size(), 1u);
        EXPECT_EQ(walker.labels[0], row.expected);
    }
}

TEST(LocOnFlySwitch, ATranslationThatDisappearedAfterTheListWasBuilt) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.engine->Init(p.interfaces());
    std::filesystem::remove(p.interfaces() / "runemeter.DEU.lng");
    EXPECT_EQ(messageOf<ELocOnFlyError>([&] { p.engine->SwitchTo(kGerman); }),
              "Language \"German (Germany)\" is not found");
    EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
    EXPECT_EQ(total(), u"Total");
}

TEST(LocOnFlyErrors, EachReaction) {
    struct Row {
        const char* name;
        TErrorReaction reaction;
        bool throws;
        int messages;
    };
    const Row rows[] = {
        {"exception", TErrorReaction::erException, true, 0},
        {"message", TErrorReaction::erMessage, false, 1},
        {"ignore", TErrorReaction::erIgnore, false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProgramFolder p;
        p.writeNative();
        p.engine->Init(p.interfaces());
        p.engine->FErrorReaction = row.reaction;
        std::vector<std::pair<std::u16string, std::u16string>> shown;
        p.engine->FMessageProc = [&](std::u16string_view text, std::u16string_view caption) {
            shown.emplace_back(text, caption);
        };
        bool threw = false;
        try {
            p.engine->SwitchTo(kGerman);
        } catch (const ELocOnFlyError&) {
            threw = true;
        }
        EXPECT_EQ(threw, row.throws);
        ASSERT_EQ(static_cast<int>(shown.size()), row.messages);
        if (row.messages > 0) {
            EXPECT_EQ(shown[0].first, u"Language \"German (Germany)\" is not found");
            EXPECT_EQ(shown[0].second, u"Localizer Error");
        }
        EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
    }
}

TEST(LocOnFlyErrors, SwitchToFileAndSwitchToExt) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.engine->Init(p.interfaces());
    const auto missing = p.interfaces() / "runemeter.ITA.lng";
    EXPECT_EQ(messageOf<ELocOnFlyError>([&] { p.engine->SwitchToFile(missing); }),
              "Language file \"" + missing.string() + "\" is not found");
    p.engine->SwitchToFile(p.interfaces() / "runemeter.DEU.lng");
    EXPECT_EQ(total(), u"Summe");
    p.engine->SwitchToExt(u"EXE");
    EXPECT_EQ(total(), u"Total");
    p.engine->SwitchToExt(u"deu");  // the file is named in capitals
    EXPECT_EQ(total(), u"Summe");
    p.engine->SwitchToExt(u"ntv");
    EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
}

TEST(LocOnFlyErrors, AModuleThatCannotBeDeleted) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    p.engine->Init(p.interfaces());
    // Something that is not a file, and not empty, stands where the module goes.
    std::filesystem::create_directories(p.modules() / "runemeter.DEU" / "inside");
    EXPECT_EQ(messageOf<ELocOnFlyError>([&] { p.engine->SwitchTo(kGerman); }),
              "Can not delete file \"" + (p.modules() / "runemeter.DEU").string() + "\"");
    EXPECT_EQ(total(), u"Total");
}

// ---- helpers of the walk

TEST(LocOnFlyHelpers, StoreFormName) {
    struct Row {
        const char* className;
        std::u16string expected;
    };
    const Row rows[] = {
        {"runemeter::TForm1", u"Form1"},
        {"TDataModule2", u"DataModule2"},
        {"a::b::TBase", u"Base"},
        {"", u""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StoreFormName(row.className), row.expected) << row.className;
    }
    EXPECT_EQ(StoreFormName("T" + std::string(300, 'x')).size(), 128u);
}

TEST(LocOnFlyHelpers, SplitIndexedPath) {
    struct Row {
        const char16_t* name;
        bool valid;
        std::u16string component;
        std::u16string property;
        int index;
        std::u16string remainder;
    };
    const Row rows[] = {
        {u"PageControl1.Pages[2]", true, u"PageControl1", u"Pages", 2, u""},
        {u"Columns[0]", true, u"", u"Columns", 0, u""},
        {u"A.B.Items[10].Sub[1]", true, u"A.B", u"Items", 10, u"Sub[1]"},
        {u"NoIndex", false, u"", u"", 0, u""},
        {u"Bad[]", false, u"", u"", 0, u""},
        {u"Bad[x]", false, u"", u"", 0, u""},
        {u"[3]", false, u"", u"", 0, u""},
        {u"Open[3", false, u"", u"", 0, u""},
        {u"Huge[99999999999]", false, u"", u"", 0, u""},
    };
    for (const Row& row : rows) {
        const auto name = std::u16string(row.name);
        SCOPED_TRACE(std::string(name.begin(), name.end()));
        const std::optional<IndexedPath> path = SplitIndexedPath(row.name);
        ASSERT_EQ(path.has_value(), row.valid);
        if (path) {
            EXPECT_EQ(path->componentPath, row.component);
            EXPECT_EQ(path->propertyName, row.property);
            EXPECT_EQ(path->index, row.index);
            EXPECT_EQ(path->remainder, row.remainder);
        }
    }
}

TEST(LocOnFlyHelpers, ValueToApply) {
    TLocStorage storage;
    storage.FLocales[0] = kEnglishUK;
    TLocForm* form = storage.AddForm(u"Form1");
    TLocProperty* property = form->AddProperty(u"text", 1, TLocValueType::ptString);
    const std::size_t german = storage.AddLanguage(kGerman);
    property->FValues[0]->SetValue(u"native");
    property->FValues[0]->FValueVersion = 2;
    property->FValues[german]->SetValue(u"übersetzt");
    property->FValues[german]->FValueVersion = 2;
    EXPECT_EQ(ValueToApply(*property, german, false)->Value(), u"übersetzt");
    property->FValues[german]->FValueVersion = 1;
    EXPECT_EQ(ValueToApply(*property, german, false)->Value(), u"native");
    EXPECT_EQ(ValueToApply(*property, german, true)->Value(), u"übersetzt");
    property->FValues[german]->FAttributes = 8;
    EXPECT_EQ(ValueToApply(*property, german, true), nullptr);
    EXPECT_EQ(ValueToApply(*property, 7, true), nullptr);
}

TEST(LocOnFlyHelpers, RightToLeftLanguages) {
    EXPECT_TRUE(IsRightToLeftLanguage(0x040D));   // Hebrew
    EXPECT_TRUE(IsRightToLeftLanguage(0x0401));   // Arabic
    EXPECT_FALSE(IsRightToLeftLanguage(0x041E));  // Thai
    EXPECT_FALSE(IsRightToLeftLanguage(kGerman));
}

}  // namespace
}  // namespace runemeter
