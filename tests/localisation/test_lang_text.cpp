// SPDX-License-Identifier: GPL-3.0-or-later
// The text form (every file surviving text and file again is checked by the fuzz_lang_file replay),
// and translations tied to the native file by names rather than by the IDs they were written with.

#include <gtest/gtest.h>

#include "localisation/lang_fixtures.h"
#include "localisation/lang_match.h"

namespace runemeter {
namespace {

using namespace runemeter::testing;

TEST(LangText, QuotingEscapesOnlyControlsAndTheQuoteItself) {
    const std::pair<std::u16string, std::string> rows[] = {
        {u"caf\u00e9 \u4e2d #1~\u00a0", "\"caf\xC3\xA9 \xE4\xB8\xAD #1~\xC2\xA0\""},
        {u"a\"b\\c\r\n\t", "\"a\\\"b\\\\c\\r\\n\\t\""},
        {std::u16string(u"\x0000\x001F\x007F\x009F", 4), "\"\\u{0}\\u{1F}\\u{7F}\\u{9F}\""},
        {u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
        {std::u16string(u"\xDC00x\xD800", 3), "\"\\u{DC00}x\\u{D800}\""},
    };
    for (const auto& [text, quoted] : rows) {
        SCOPED_TRACE(quoted);
        EXPECT_EQ(quoteText(text), quoted);
        EXPECT_EQ(langImageFromText("localized-name " + quoted).header.localizedName, text);
    }
}

TEST(LangText, MistakesNameTheirLine) {
    const std::string unit = "unit \"U\" attributes=0\n";
    const std::string constant = "constant \"C\" attributes=0 string-id=1 id=1 version=1 time=0\n";
    const std::pair<std::string, std::string> rows[] = {
        {"format-version 7\nfrob 1\n", "Line 2: unknown keyword \"frob\""},
        {unit + "constant \"C\" attributes=0 id=1\n", "Line 2: constant needs string-id="},
        {"english-name \"a\\qb\"\n", "Line 1: unknown escape \\q"},
        {unit + constant + "value 1\n", "Line 3: value needs a quoted text"},
        {unit + constant + "value \"a\"\nvalue \"b\"\n",
         "Line 4: a second value for the same record"},
        {"english-name \"a\\n\xC3\"\n", "Line 1: invalid UTF-8"},
    };
    for (const auto& [text, message] : rows) {
        SCOPED_TRACE(text);
        EXPECT_EQ(messageOf<ELangTextError>([&] { (void)langImageFromText(text); }), message);
    }
}

TEST(LangMatch, IdsComeFromTheNativeFile) {
    LangFileImage german = translation(kGerman, u"German", u"Summe", u"&Datei(en)");
    german.units[0].constants[0].id = 77;  // written against an older native file
    german.units[0].constants[0].stringId = 0;
    german.units[0].name = u"RESOURCE_STRINGS";  // names are not case sensitive
    german.forms[0].components[0].properties[0].id = 99;
    std::string error;
    ASSERT_TRUE(matchTranslationToNative(nativeLanguage(), german, error)) << error;
    EXPECT_EQ(german.units[0].constants[0].id, 1);
    EXPECT_EQ(german.units[0].constants[0].stringId, static_cast<std::uint16_t>(ResId::VTTotal));
    EXPECT_EQ(german.forms[0].components[0].properties[0].id, 11);
}

TEST(LangMatch, WhatTheNativeFileLacksIsRefused) {
    const std::pair<std::function<void(LangFileImage&)>, std::string> rows[] = {
        {[](LangFileImage& t) { t.units[0].name = u"other"; },
         "the native file has no unit \"other\""},
        {[](LangFileImage& t) { t.forms[0].components[0].properties[0].typeWord = 4; },
         "form \"Form1\", component \"Label1\": \"text\" has another value type there"},
        {[](LangFileImage& t) { t.header.isNative = 1; },
         "the translation is marked as a native file"},
    };
    for (const auto& [change, expected] : rows) {
        LangFileImage german = translation(kGerman, u"German", u"Summe", u"x");
        change(german);
        std::string error;
        EXPECT_FALSE(matchTranslationToNative(nativeLanguage(), german, error)) << expected;
        EXPECT_EQ(error, expected);
    }
}

}  // namespace
}  // namespace runemeter
