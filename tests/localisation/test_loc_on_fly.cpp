// SPDX-License-Identifier: GPL-3.0-or-later
// The engine on language files of the tests: the language list, switching with its modules
// built, reused, rebuilt or refused, and the error reactions; the modules themselves.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>

#include "localisation/lang_fixtures.h"
#include "suite/unicode_text.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;

void writeFrench(const ProgramFolder& p) {
    p.write("runemeter.FRA.lng", translation(kFrench, u"French", u"Total général", u"&fichier"));
}

TEST(LocOnFly, InitListsTheLanguagesByNameAndSkipsDamagedFiles) {
    ProgramFolder p;
    EXPECT_EQ(
        messageOf([&] { p.engine->Init(p.interfaces()); }),
        "Language file \"" + (p.interfaces() / "runemeter.ntv.lng").string() + "\" is not found");
    EXPECT_EQ(messageOf([&] { p.engine->SwitchTo(kGerman); }), "Localizer is not initialized");
    p.writeNative();
    p.writeGerman();
    writeFrench(p);
    writeFile(p.interfaces() / "runemeter.XXX.lng", std::string("not a language file"));
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(p.dir.path());  // a folder without "interfaces"
    p.engine->Init("interfaces");                 // taken from the program's folder
    std::filesystem::current_path(previous);
    const TLFInfoList& list = p.engine->LangList();
    ASSERT_EQ(list.Count(), 3u);
    EXPECT_EQ(list[0].FEnglishName + list[1].FEnglishName + list[2].FEnglishName,
              u"EnglishFrenchGerman");
    ASSERT_EQ(p.engine->FSkippedFiles.size(), 1u);
    EXPECT_EQ(p.engine->FSkippedFiles[0].file.filename(), "runemeter.XXX.lng");
    EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
}

TEST(LocOnFly, Switching) {
    struct Row {
        const char* name;
        std::string files;  // G German, F French, M a damaged German module, O/N German of
                            // older/newer resources, o an outdated label, s the same shown as it is
        std::vector<std::uint32_t> switches;
        std::u16string total;  // the program's resource text afterwards
        std::vector<std::u16string> labels;
        std::uint32_t locale;
    };
    const std::u16string de = u"&Datei(en)", en = u"&file(s)", fr = u"&fichier";
    const Row rows[] = {
        {"to a translation", "G", {kGerman}, u"Summe", {de}, kGerman},
        {"and back", "G", {kGerman, kEnglishUK}, u"Total", {de, en}, kEnglishUK},
        {"the same again", "G", {kGerman, kGerman}, u"Summe", {de, de}, kGerman},
        {"the native language", "G", {kEnglishUK}, u"Total", {en}, kEnglishUK},
        {"several", "GF", {kFrench, kGerman, kFrench}, u"Total général", {fr, de, fr}, kFrench},
        {"a damaged module is rebuilt", "GM", {kGerman}, u"Summe", {de}, kGerman},
        {"a module of older resources", "O", {kGerman}, u"Total", {de}, kEnglishUK},
        {"a module of newer resources", "N", {kGerman}, u"Total", {de}, kEnglishUK},
        {"an outdated text shows the native one", "o", {kGerman}, u"Summe", {en}, kGerman},
        {"unless the file asks otherwise", "s", {kGerman}, u"Summe", {u"alt"}, kGerman},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ProgramFolder p;
        p.writeNative();
        for (const char c : row.files) {
            if (c == 'G' || c == 'O' || c == 'N') {
                p.writeGerman(kExeResourceVersion + (c == 'O' ? -1 : c == 'N' ? 1 : 0));
            } else if (c == 'F') {
                writeFrench(p);
            } else if (c == 'M') {
                writeFile(p.modules() / "runemeter.DEU",
                          std::string("LOC_LIBSETTINGS_ and no more"));
            } else {
                p.write("runemeter.DEU.lng",
                        translation(kGerman, u"German", u"Summe", u"alt", kExeResourceVersion, 0,
                                    c == 's' ? kValueAttrShowOutdated : 0));
            }
        }
        RecordingWalker walker;
        p.engine->FFormWalker = &walker;
        std::vector<std::string> events;
        p.engine->FOnLangSwitchStart = [&](TLocalizerOnFly&) { events.push_back("start"); };
        p.engine->FOnLangSwitch = [&](TLocalizerOnFly&, TLFInfo& info) {
            events.push_back("switch " + std::to_string(info.FLocale));
        };
        p.engine->Init(p.interfaces());
        EXPECT_TRUE(events.empty()) << "Init gives no notifications";
        std::vector<std::string> expected;
        for (const std::uint32_t language : row.switches) {
            p.engine->SwitchTo(language);
            expected.insert(expected.end(), {"start", "switch " + std::to_string(language)});
        }
        EXPECT_EQ(ResourceString(ResId::VTTotal), row.total);
        EXPECT_EQ(walker.labels, row.labels);
        EXPECT_EQ(p.engine->CurrentLocale(), row.locale);
        EXPECT_EQ(events, expected);
    }
}

TEST(LocOnFly, AnUpToDateModuleIsReusedAndOnlyUnusedModulesGo) {
    ProgramFolder p;
    p.writeNative();
    p.writeGerman();
    writeFrench(p);
    p.engine->Init(p.interfaces());
    p.engine->SwitchTo(kGerman);
    const auto module = p.modules() / "runemeter.DEU";
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(24);
    std::filesystem::last_write_time(module, old);
    p.engine->SwitchTo(kEnglishUK);
    p.engine->SwitchTo(kGerman);
    EXPECT_EQ(std::filesystem::last_write_time(module), old) << "not built again";
    EXPECT_EQ(p.engine->Storage().LanguageCount(), 2u) << "not loaded again";
    p.engine->FUnloadInactiveLanguages = true;
    p.engine->FDeleteUnusedLDll = true;
    p.engine->SwitchTo(kFrench);
    EXPECT_EQ(p.engine->Storage().LanguageCount(), 2u);
    EXPECT_FALSE(std::filesystem::exists(module));
    p.engine->SwitchTo(kFrench);
    EXPECT_TRUE(std::filesystem::exists(p.modules() / "runemeter.FRA")) << "the module in use";
    EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total général");
}

TEST(LocOnFly, ATranslationThatDisappearedIsReportedAsAskedFor) {
    const std::string missing = "Language \"German (Germany)\" is not found";
    for (const bool message : {false, true}) {
        SCOPED_TRACE(message ? "message" : "exception");
        ProgramFolder p;
        p.writeNative();
        p.writeGerman();
        p.engine->Init(p.interfaces());
        std::filesystem::remove(p.interfaces() / "runemeter.DEU.lng");
        p.engine->FErrorReaction =
            message ? TErrorReaction::erMessage : TErrorReaction::erException;
        std::vector<std::string> shown;
        p.engine->FMessageProc = [&](std::u16string_view text, std::u16string_view caption) {
            shown.push_back(utf16ToUtf8(caption) + ": " + utf16ToUtf8(text));
        };
        EXPECT_EQ(messageOf([&] { p.engine->SwitchTo(kGerman); }),
                  message ? "<no error>" : missing);
        EXPECT_EQ(shown, std::vector<std::string>(message, "Localizer Error: " + missing));
        EXPECT_EQ(p.engine->CurrentLocale(), kEnglishUK);
        EXPECT_EQ(ResourceString(ResId::VTTotal), u"Total");
    }
}

TEST(LanguageModule, EveryCutAndTrailingBytesAreRefused) {
    LanguageModule module{{{}, kGerman, kExeResourceVersion, u"German", u"Deutsch – ß", 9},
                          {{ResId::VTTotal, u"Summe"}, {ResId::VTEnter, u""}}};
    const std::vector<std::byte> bytes = writeLanguageModule(module);
    LanguageModule read;
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_FALSE(readLanguageModule(std::span(bytes).first(size), read)) << size;
    }
    std::vector<std::byte> longer = bytes;
    longer.push_back(std::byte{0});
    EXPECT_FALSE(readLanguageModule(longer, read));
}

TEST(LanguageModule, TranslatesWhatTheStoreHasAndWhatStillMatchesTheProgram) {
    ProgramFolder p;
    TLocStorage storage;
    TLocUnit* unit = storage.AddUnit(u"resource_strings");
    TLocConstant* total = unit->AddConstant(u"VTTotal", 1, std::uint16_t(ResId::VTTotal));
    TLocConstant* letter = unit->AddConstant(u"VTLetter", 2, std::uint16_t(ResId::VTLetter));
    storage.AddLanguage(kGerman);
    total->FValues[0]->SetValue(u"Total");
    total->FValues[1]->SetValue(u"Summe");
    letter->FValues[0]->SetValue(u"a letter");  // no longer the program's text
    letter->FValues[1]->SetValue(u"ein Buchstabe");
    for (const bool checkSync : {false, true}) {
        SCOPED_TRACE(checkSync);
        const auto module = p.modules() / "runemeter.DEU";
        p.utils.CreateLDLL(module, {}, checkSync, storage, 1,
                           {{}, kGerman, kExeResourceVersion, {}, {}, 0});
        p.utils.LoadResource(module);
        EXPECT_EQ(ResourceString(ResId::VTTotal), u"Summe");
        EXPECT_EQ(ResourceString(ResId::VTLetter), checkSync ? u"letter" : u"ein Buchstabe");
        EXPECT_EQ(ResourceString(ResId::VTDigit), u"digit") << "untranslated";
    }
}

// A FIFO, or a file far larger than any module, is refused before it is read.
TEST(LanguageModule, NoFileOrAHugeOneIsRefusedUnread) {
    ProgramFolder p;
    const auto fifo = p.dir / "runemeter.FRA";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(messageOf([&] { p.utils.LoadResource(fifo); }),
              "Error loading resource file \"" + fifo.string() + "\"");
    const auto huge = p.dir / "runemeter.ITA";
    writeFile(huge, std::string("LOC_LIBSETTINGS_"));
    std::error_code ec;
    std::filesystem::resize_file(huge, std::uintmax_t{1} << 34, ec);  // 16 GiB, sparse
    EXPECT_THROW(p.utils.LoadResource(huge), ELULoadResLibError);
    EXPECT_FALSE(p.utils.ModuleIsCurrent());
}

}  // namespace
}  // namespace runemeter
