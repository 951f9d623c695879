#include "suite/locale_table.h"

#include <gtest/gtest.h>

#include <string>

#include "suite/unicode_text.h"

namespace runemeter {
namespace {

std::string info(std::uint32_t id, int type) {
    return utf16ToUtf8(GetLocaleInfo(id, type));
}

// The first, a middle and the last row of the table, and what is derived from a row.
TEST(LocaleTable, AnswersFromItsRowsAndDerivesTheRest) {
    EXPECT_EQ(info(0x0401, LOCALE_SABBREVLANGNAME), "ARA");
    EXPECT_EQ(info(0x0401, LOCALE_IDEFAULTANSICODEPAGE), "1256");
    EXPECT_EQ(info(0x0804, LOCALE_SENGLISHLANGUAGENAME), "Chinese");
    EXPECT_EQ(AnsiCodePageOf(0x0804), 936);
    EXPECT_EQ(utf16ToUtf8(LanguageAbbreviation(0x1809)), "ENI");
    EXPECT_EQ(utf16ToUtf8(LanguageAbbreviation(0x0007)), "DE");  // no sub-language: two letters
    EXPECT_EQ(utf16ToUtf8(LanguageName(1031)), "German (Germany)");
    EXPECT_EQ(utf16ToUtf8(LanguageName(0x0C0C)), "French (FRC)");  // not in the name table
    EXPECT_EQ(utf16ToUtf8(LanguageName(0x0007)), "German");
    EXPECT_EQ(AnsiCodePageOf(0x0FFF), 1252);
    for (const std::uint32_t id : {0x0000u, 0x0FFFu, 0x7C04u, 0x10407u, 0x003Fu}) {
        EXPECT_THROW((void)LanguageAbbreviation(id), ELocalesError) << id;
        EXPECT_THROW((void)LanguageName(id), ELocalesError) << id;
    }
    EXPECT_THROW((void)GetLocaleInfo(0x0407, 99), ELocalesError);
}

TEST(LocaleTable, PosixLocaleNames) {
    const std::pair<const char*, std::uint16_t> rows[] = {
        {"de_DE.UTF-8", 0x0407},  {"en_GB", 0x0809}, {"fr", 0x040C}, {"fr_LU.UTF-8", 0x040C},
        {"zh_CN.GB2312", 0x0804}, {"C", 0},          {"", 0},        {"xx_YY", 0}};
    for (const auto& [posix, id] : rows)
        EXPECT_EQ(LangIdFromPosixLocale(posix), id) << posix;
}

}  // namespace
}  // namespace runemeter
