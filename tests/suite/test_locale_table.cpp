#include "suite/locale_table.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "localisation/LocOnFly.h"
#include "suite/unicode_text.h"

namespace runemeter {
namespace {

std::string text(const std::u16string& u) {
    return utf16ToUtf8(u);
}

// Ids the old table had keep their abbreviations (files on disk carry them); the others are
// named by ICU. Empty abbreviation: an unknown id.
TEST(LocaleTable, NamesAbbreviationsAndCodePagesOfAnyId) {
    struct Row {
        std::uint32_t id;
        const char* abbreviation;
        const char* name;
        int codePage;
        bool rightToLeft;
    };
    const Row rows[] = {
        {0x0407, "DEU", "German (Germany)", 1252, false},
        {0x0804, "CHS", "Chinese (China)", 936, false},
        {0x1809, "ENI", "English (Ireland)", 1252, false},
        {0x0019, "RU", "Russian", 1251, false},
        {0x0C01, "AR-EG", "Arabic (Egypt)", 1256, true},
        {0x0429, "FA-IR", "Persian (Iran)", 1256, true},
        {0x0029, "FA", "Persian", 1256, true},
        {0x0420, "UR-PK", "Urdu (Pakistan)", 1256, true},
        {0x241A, "SR-LATN-RS", "Serbian (Latin, Serbia)", 1250, false},
        {0x081A, "SR-LATN-CS", "Serbian (Latin, Serbia)", 1250, false},
        {0x0C1A, "SR-CYRL-CS", "Serbian (Cyrillic, Serbia)", 1251, false},
        {0x1407, "DE-LI", "German (Liechtenstein)", 1252, false},
        {0x0FFF, "", "", 1252, false},
        {0x3C07, "", "", 1252, false},  // a sub-language German does not have
        {0x0000, "", "", 1252, false},
        {0x10407, "", "", 1252, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        if (*row.abbreviation == '\0') {
            EXPECT_THROW((void)LanguageAbbreviation(row.id), ELocalesError);
            EXPECT_THROW((void)LanguageName(row.id), ELocalesError);
        } else {
            EXPECT_EQ(text(LanguageAbbreviation(row.id)), row.abbreviation);
            EXPECT_EQ(text(LanguageName(row.id)), row.name);
        }
        EXPECT_EQ(AnsiCodePageOf(row.id), row.codePage);
        EXPECT_EQ(IsRightToLeftLanguage(row.id), row.rightToLeft);
    }
    EXPECT_EQ(text(LanguageDisplayName(0x0C01, 0x0407)), "Arabisch (Ägypten)");
    EXPECT_EQ(text(LanguageDisplayName(0x0407, 0x040C)), "allemand (Allemagne)");
    EXPECT_THROW((void)GetLocaleInfo(0x0407, 99), ELocalesError);
}

// Abbreviations name files: two languages must never share one.
TEST(LocaleTable, NoTwoIdsShareAnAbbreviation) {
    std::map<std::u16string, std::uint32_t> seen;
    for (std::uint32_t id = 1; id <= 0xFFFF; ++id) {
        std::u16string abbreviation;
        try {
            abbreviation = foldCase(LanguageAbbreviation(id));
        } catch (const ELocalesError&) {
            continue;
        }
        const auto [at, fresh] = seen.emplace(abbreviation, id);
        EXPECT_TRUE(fresh) << text(abbreviation) << " for " << at->second << " and " << id;
    }
    EXPECT_GT(seen.size(), 200u) << "ICU names far more languages than the old table";
}

TEST(LocaleTable, PosixLocaleNames) {
    const std::pair<const char*, std::uint16_t> posix[] = {{"de_DE.UTF-8", 0x0407},
                                                           {"en_GB", 0x0809},
                                                           {"fr_LU.UTF-8", 0x140C},
                                                           {"fr", 0x040C},
                                                           {"fa_IR", 0x0429},
                                                           {"C", 0},
                                                           {"xx_YY", 0}};
    for (const auto& [name, id] : posix) {
        EXPECT_EQ(LangIdFromPosixLocale(name), id) << name;
    }
}

}  // namespace
}  // namespace runemeter
