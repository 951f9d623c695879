#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "suite/locale_table.h"

namespace runemeter {
namespace {

std::string narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
}

TEST(LocaleTable, AbbreviationsAndEnglishNames) {
    struct Case {
        std::uint32_t id;
        const char* abbreviation;
        const char* english;
        int codePage;
    };
    const Case cases[] = {
        {0x0407, "DEU", "German", 1252},  {0x040C, "FRA", "French", 1252},
        {0x0804, "CHS", "Chinese", 936},  {0x0809, "ENG", "English", 1252},
        {0x0409, "ENU", "English", 1252}, {0x0419, "RUS", "Russian", 1251},
        {0x0415, "PLK", "Polish", 1250},  {0x0411, "JPN", "Japanese", 932},
        {0x0404, "CHT", "Chinese", 950},  {0x0C0A, "ESN", "Spanish", 1252},
        {0x0408, "ELL", "Greek", 1253},   {0x041F, "TRK", "Turkish", 1254},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.abbreviation);
        EXPECT_EQ(narrow(GetLocaleInfo(c.id, LOCALE_SABBREVLANGNAME)), c.abbreviation);
        EXPECT_EQ(narrow(LanguageAbbreviation(c.id)), c.abbreviation);
        EXPECT_EQ(narrow(GetLocaleInfo(c.id, LOCALE_SENGLISHLANGUAGENAME)), c.english);
        EXPECT_EQ(AnsiCodePageOf(c.id), c.codePage);
    }
}

TEST(LocaleTable, IdentifierWithoutSubLanguageGetsTwoLetters) {
    struct Case {
        std::uint32_t id;
        const char* abbreviation;
    };
    const Case cases[] = {{0x0007, "DE"}, {0x000C, "FR"}, {0x0009, "EN"}, {0x0019, "RU"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.abbreviation);
        EXPECT_EQ(narrow(LanguageAbbreviation(c.id)), c.abbreviation);
    }
}

TEST(LocaleTable, UnknownIdentifiersRaiseLocalesError) {
    for (const std::uint32_t id : {0x0000u, 0x0FFFu, 0x7C04u, 0x10407u, 0x003Fu}) {
        SCOPED_TRACE(id);
        try {
            (void)LanguageAbbreviation(id);
            ADD_FAILURE() << "no error";
        } catch (const ELocalesError& e) {
            EXPECT_STREQ(e.what(), "Can not get locale info");
            EXPECT_EQ(e.className(), "ELocalesError");
        }
        EXPECT_THROW((void)LanguageName(id), ELocalesError);
    }
    EXPECT_THROW((void)GetLocaleInfo(0x0407, 99), ELocalesError);
}

TEST(LocaleTable, LanguageNamesWithFallBack) {
    struct Case {
        std::uint32_t id;
        const char* name;
    };
    const Case cases[] = {
        {1028, "Chinese (Taiwan)"},
        {1031, "German (Germany)"},
        {1033, "English (United States)"},
        {1034, "Spanish (Traditional Sort)"},
        {1055, "Turkish"},
        {2057, "English (United Kingdom)"},
        // Outside the name table: the English language name and the abbreviation.
        {0x0C0C, "French (FRC)"},
        {0x0814, "Norwegian (NON)"},
        {0x0007, "German"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(narrow(LanguageName(c.id)), c.name);
    }
}

TEST(LocaleTable, PosixLocaleNames) {
    struct Case {
        const char* posix;
        std::uint16_t id;
    };
    const Case cases[] = {
        {"de_DE.UTF-8", 0x0407},  {"en_GB", 0x0809}, {"fr", 0x040C}, {"fr_LU.UTF-8", 0x040C},
        {"zh_CN.GB2312", 0x0804}, {"C", 0},          {"", 0},        {"xx_YY", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.posix);
        EXPECT_EQ(LangIdFromPosixLocale(c.posix), c.id);
    }
}

}  // namespace
}  // namespace runemeter
