// Translations tied to the native file by names rather than by the IDs they were written with.

#include <gtest/gtest.h>

#include "localisation/LocLangFile.h"
#include "localisation/lang_match.h"
#include "localisation/loc_engine_util.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;

TEST(LangMatch, IdsComeFromTheNativeFile) {
    const LangFileImage native = nativeLanguage();
    LangFileImage german = translation(kGerman, u"German", u"Summe", u"&Datei(en)");
    german.units[0].constants[0].id = 77;  // written against an older native file
    german.units[0].constants[0].stringId = 0;
    german.units[0].name = u"RESOURCE_STRINGS";  // names are not case sensitive
    german.forms[0].components[0].properties[0].id = 99;
    std::string error;
    ASSERT_TRUE(matchTranslationToNative(native, german, error)) << error;
    EXPECT_EQ(german.units[0].constants[0].id, 1);
    EXPECT_EQ(german.units[0].constants[0].stringId, static_cast<std::uint16_t>(ResId::VTTotal));
    EXPECT_EQ(german.forms[0].components[0].properties[0].id, 2);

    // The translation now loads onto the right items.
    TempDir dir;
    writeFile(dir / "n.lng", writeLangFileImage(native, false));
    writeFile(dir / "t.lng", writeLangFileImage(german, true));
    TLocStorage store;
    TLangFile::Create(dir / "n.lng", true)->Load(&store, -1);
    const std::size_t index = store.AddLanguage(kGerman);
    TLangFile::Create(dir / "t.lng", true)->Load(&store, static_cast<int>(index));
    EXPECT_EQ(store.FindConstByIntID(1)->FValues[index]->Value(), u"Summe");
    EXPECT_EQ(store.FindPropByIntID(2)->FValues[index]->Value(), u"&Datei(en)");
}

TEST(LangMatch, WhatTheNativeFileLacksIsRefused) {
    struct Row {
        const char* name;
        std::function<void(LangFileImage&)> change;
        const char* error;
    };
    const Row rows[] = {
        {"unit", [](LangFileImage& t) { t.units[0].name = u"other"; },
         "the native file has no unit \"other\""},
        {"constant", [](LangFileImage& t) { t.units[0].constants[0].name = u"VTNone"; },
         "unit \"resource_strings\" has no \"VTNone\""},
        {"form", [](LangFileImage& t) { t.forms[0].name = u"Form9"; },
         "the native file has no form \"Form9\""},
        {"component", [](LangFileImage& t) { t.forms[0].components[0].name = u"Label9"; },
         "form \"Form1\" has no component \"Label9\""},
        {"property",
         [](LangFileImage& t) { t.forms[0].components[0].properties[0].name = u"title"; },
         "form \"Form1\", component \"Label1\" has no \"title\""},
        {"value type",
         [](LangFileImage& t) {
             t.forms[0].components[0].properties[0].typeWord =
                 static_cast<std::uint32_t>(TLocValueType::ptStringList);
         },
         "form \"Form1\", component \"Label1\": \"text\" has another value type there"},
        {"native mark", [](LangFileImage& t) { t.header.isNative = 1; },
         "the translation is marked as a native file"},
    };
    for (const Row& row : rows) {
        LangFileImage german = translation(kGerman, u"German", u"Summe", u"x");
        row.change(german);
        std::string error;
        EXPECT_FALSE(matchTranslationToNative(nativeLanguage(), german, error)) << row.name;
        EXPECT_EQ(error, row.error) << row.name;
    }
}

}  // namespace
}  // namespace runemeter
