// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/locale_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "suite/unicode_text.h"

namespace runemeter {
namespace {

// Ids of the old table keep their abbreviations (files on disk carry them); others are named
// by ICU. Empty abbreviation: an unknown id (0x3C07: a sub-language German does not have).
TEST(LocaleTable, NamesAbbreviationsAndCodePagesOfAnyId) {
    const std::tuple<std::uint32_t, const char*, const char*, int> rows[] = {
        {0x0407, "DEU", "German (Germany)", 1252},
        {0x0019, "RU", "Russian", 1251},
        {0x0C01, "AR-EG", "Arabic (Egypt)", 1256},
        {0x0429, "FA-IR", "Persian (Iran)", 1256},
        {0x0029, "FA", "Persian", 1256},
        {0x0420, "UR-PK", "Urdu (Pakistan)", 1256},
        {0x241A, "SR-LATN-RS", "Serbian (Latin, Serbia)", 1250},
        {0x081A, "SR-LATN-CS", "Serbian (Latin, Serbia)", 1250},
        {0x0C1A, "SR-CYRL-CS", "Serbian (Cyrillic, Serbia)", 1251},
        {0x0FFF, "", "", 1252},
        {0x3C07, "", "", 1252},
        {0x10407, "", "", 1252}};
    for (const auto& [id, abbreviation, name, codePage] : rows) {
        SCOPED_TRACE(id);
        if (*abbreviation == '\0') {
            EXPECT_THROW((void)LanguageAbbreviation(id), ELocalesError);
            EXPECT_THROW((void)LanguageName(id), ELocalesError);
        } else {
            EXPECT_EQ(utf16ToUtf8(LanguageAbbreviation(id)), abbreviation);
            EXPECT_EQ(utf16ToUtf8(LanguageName(id)), name);
        }
        EXPECT_EQ(AnsiCodePageOf(id), codePage);
    }
    EXPECT_EQ(utf16ToUtf8(LanguageDisplayName(0x0C01, 0x0407)), "Arabisch (Ägypten)");
    EXPECT_EQ(LangIdFromPosixLocale("fr_LU.UTF-8"), 0x140C);
    EXPECT_EQ(LangIdFromPosixLocale("fr"), 0x040C);
    EXPECT_EQ(LangIdFromPosixLocale("xx_YY"), 0);
}

// Abbreviations name files: two languages must never share one.
TEST(LocaleTable, NoTwoIdsShareAnAbbreviation) {
    std::map<std::u16string, std::uint32_t> seen;
    for (std::uint32_t id = 1; id <= 0xFFFF; ++id) {
        try {
            const auto [at, fresh] = seen.emplace(foldCase(LanguageAbbreviation(id)), id);
            EXPECT_TRUE(fresh) << utf16ToUtf8(at->first) << ": " << at->second << ", " << id;
        } catch (const ELocalesError&) {
        }
    }
    EXPECT_GT(seen.size(), 200u);
}

}  // namespace
}  // namespace runemeter
