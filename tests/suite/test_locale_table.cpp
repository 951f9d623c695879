#include "suite/locale_table.h"

#include <gtest/gtest.h>

#include <string>

#include "suite/unicode_text.h"

namespace runemeter {
namespace {

std::string text(const std::u16string& u) {
    return utf16ToUtf8(u);
}

// The first, a middle and the last row of the table, and what is derived from a row.
TEST(LocaleTable, AnswersFromItsRowsAndDerivesTheRest) {
    EXPECT_EQ(text(GetLocaleInfo(0x0401, LOCALE_SABBREVLANGNAME)), "ARA");
    EXPECT_EQ(text(GetLocaleInfo(0x0407, LOCALE_SABBREVLANGNAME)), "DEU");
    EXPECT_EQ(text(GetLocaleInfo(0x0804, LOCALE_SENGLISHLANGUAGENAME)), "Chinese");
    EXPECT_EQ(text(GetLocaleInfo(0x0804, LOCALE_IDEFAULTANSICODEPAGE)), "936");
    EXPECT_EQ(text(LanguageAbbreviation(0x1809)) + text(LanguageAbbreviation(0x0019)), "ENIRU");
    EXPECT_EQ(text(LanguageName(1031)) + ", " + text(LanguageName(0x0C0C)),
              "German (Germany), French (FRC)");
    EXPECT_EQ(AnsiCodePageOf(0x0FFF), 1252);
    for (const std::uint32_t id : {0x0000u, 0x0FFFu, 0x10407u})
        EXPECT_THROW((void)LanguageName(id), ELocalesError) << id;
    EXPECT_THROW((void)GetLocaleInfo(0x0407, 99), ELocalesError);
    const std::pair<const char*, std::uint16_t> posix[] = {{"de_DE.UTF-8", 0x0407},
                                                           {"en_GB", 0x0809},
                                                           {"fr_LU.UTF-8", 0x040C},
                                                           {"C", 0},
                                                           {"xx_YY", 0}};
    for (const auto& [name, id] : posix)
        EXPECT_EQ(LangIdFromPosixLocale(name), id) << name;
}

}  // namespace
}  // namespace runemeter
