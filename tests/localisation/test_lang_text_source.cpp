// Translations written as text and turned into language files against the native file.

#include <gtest/gtest.h>

#include "localisation/LocLangFile.h"
#include "localisation/lang_text_source.h"
#include "localisation/loc_engine_util.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;

TEST(LangTextSource, BuildsATranslationThatLoadsAgainstTheNative) {
    const LangFileImage native = nativeLanguage();
    const std::string source =
        "# German\n"
        "locale = 0x0407\n"
        "english-name = German\n"
        "localized-name = Deutsch\n"
        "\n"
        "[Form1]\n"
        "Label1.text = &Datei(en) \\\\ \\n zwei\n"
        "[unit resource_strings]\n"
        "VTTotal = Summe\r\n";
    LangFileImage translated;
    std::string error;
    ASSERT_TRUE(translationFromText(native, source, translated, error)) << error;
    EXPECT_EQ(translated.header.locale, kGerman);
    EXPECT_EQ(translated.header.basedOnLangId, kEnglishUK);
    EXPECT_EQ(translated.header.isNative, 0);
    EXPECT_EQ(translated.header.version, native.header.version);
    EXPECT_EQ(translated.header.localizedName, u"Deutsch");

    TempDir dir;
    writeFile(dir / "n.lng", writeLangFileImage(native, false));
    writeFile(dir / "t.lng", writeLangFileImage(translated, true));
    TLocStorage store;
    TLangFile::Create(dir / "n.lng", true)->Load(&store, -1);
    const std::size_t german = store.AddLanguage(kGerman);
    TLangFile::Create(dir / "t.lng", true)->Load(&store, static_cast<int>(german));
    const TLocProperty* label =
        store.FForms.Find(u"Form1")->FComponents.Find(u"Label1")->FProperties.Find(u"text");
    EXPECT_EQ(label->FValues[german]->Value(), u"&Datei(en) \\ \n zwei");
    EXPECT_EQ(label->FValues[german]->FValueVersion, label->FValues[0]->FValueVersion);
    const TLocConstant* total = store.FindConstByIntID(1);
    EXPECT_EQ(total->FValues[german]->Value(), u"Summe");
    const TLocProperty* title = store.FForms.Find(u"Form1")->FProperties.Find(u"windowTitle");
    EXPECT_EQ(title->FValues[german]->Value(), u"") << "left out: not in the file";
}

TEST(LangTextSource, ClearMessagesForBadSources) {
    struct Row {
        const char* name;
        const char* source;
        const char* error;
    };
    const Row rows[] = {
        {"no locale", "[Form1]\nwindowTitle = x\n", "the source sets no locale"},
        {"bad locale", "locale = 0x10000\n",
         "line 1: locale must be a language identifier from 1 to 0xFFFF"},
        {"unknown setting", "colour = red\n", "line 1: unknown setting \"colour\""},
        {"no equals sign", "locale = 7\n[Form1]\nwindowTitle\n", "line 3: expected 'key = value'"},
        {"unknown key", "locale = 7\n[Form1]\nLabel9.text = x\n",
         "line 3: the native file has no \"Label9.text\" in [Form1]"},
        {"unknown form", "locale = 7\n[Form2]\nwindowTitle = x\n",
         "line 3: the native file has no \"windowTitle\" in [Form2]"},
        {"twice", "locale = 7\n[Form1]\nwindowTitle = a\nwindowTitle = b\n",
         "line 4: \"windowTitle\" is translated twice"},
        {"bad escape", "locale = 7\n[Form1]\nwindowTitle = a\\q\n",
         "line 3: only \\n, \\t and \\\\ may follow a backslash"},
        {"open section", "locale = 7\n[Form1\n", "line 2: a section name must end with ']'"},
        {"bad switch", "show-untranslated = maybe\n",
         "line 1: show-untranslated must be yes or no"},
    };
    for (const Row& row : rows) {
        LangFileImage translated;
        std::string error;
        EXPECT_FALSE(translationFromText(nativeLanguage(), row.source, translated, error))
            << row.name;
        EXPECT_EQ(error, row.error) << row.name;
    }
}

}  // namespace
}  // namespace runemeter
