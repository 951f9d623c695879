#include "suite/locale_table.h"

#include <algorithm>
#include <cstdlib>
#include <string>

namespace runemeter {

namespace {

struct LocaleRow {
    std::uint16_t id;
    std::u16string_view abbreviation;  // LOCALE_SABBREVLANGNAME
    std::u16string_view englishName;   // LOCALE_SENGLISHLANGUAGENAME
    int ansiCodePage;                  // 0: the language has no ANSI code page
    std::string_view posix;            // language_TERRITORY
    std::u16string_view displayName;   // empty: not in the message name table
};

// Sorted by id.
constexpr LocaleRow kLocales[] = {
    {0x0401, u"ARA", u"Arabic", 1256, "ar_SA", u"Arabic (Saudi Arabia)"},
    {0x0402, u"BGR", u"Bulgarian", 1251, "bg_BG", u"Bulgarian"},
    {0x0403, u"CAT", u"Catalan", 1252, "ca_ES", u"Catalan"},
    {0x0404, u"CHT", u"Chinese", 950, "zh_TW", u"Chinese (Taiwan)"},
    {0x0405, u"CSY", u"Czech", 1250, "cs_CZ", u"Czech"},
    {0x0406, u"DAN", u"Danish", 1252, "da_DK", u"Danish"},
    {0x0407, u"DEU", u"German", 1252, "de_DE", u"German (Germany)"},
    {0x0408, u"ELL", u"Greek", 1253, "el_GR", u"Greek"},
    {0x0409, u"ENU", u"English", 1252, "en_US", u"English (United States)"},
    {0x040A, u"ESP", u"Spanish", 1252, "", u"Spanish (Traditional Sort)"},
    {0x040B, u"FIN", u"Finnish", 1252, "fi_FI", u"Finnish"},
    {0x040C, u"FRA", u"French", 1252, "fr_FR", u"French (France)"},
    {0x040D, u"HEB", u"Hebrew", 1255, "he_IL", u"Hebrew"},
    {0x040E, u"HUN", u"Hungarian", 1250, "hu_HU", u"Hungarian"},
    {0x040F, u"ISL", u"Icelandic", 1252, "is_IS", u"Icelandic"},
    {0x0410, u"ITA", u"Italian", 1252, "it_IT", u"Italian (Italy)"},
    {0x0411, u"JPN", u"Japanese", 932, "ja_JP", u"Japanese"},
    {0x0412, u"KOR", u"Korean", 949, "ko_KR", u"Korean"},
    {0x0413, u"NLD", u"Dutch", 1252, "nl_NL", u"Dutch (Netherlands)"},
    {0x0414, u"NOR", u"Norwegian (Bokm\u00e5l)", 1252, "nb_NO", u"Norwegian (Bokmal)"},
    {0x0415, u"PLK", u"Polish", 1250, "pl_PL", u"Polish"},
    {0x0416, u"PTB", u"Portuguese", 1252, "pt_BR", u"Portuguese (Brazil)"},
    {0x0418, u"ROM", u"Romanian", 1250, "ro_RO", u"Romanian"},
    {0x0419, u"RUS", u"Russian", 1251, "ru_RU", u"Russian"},
    {0x041A, u"HRV", u"Croatian", 1250, "hr_HR", u"Croatian"},
    {0x041B, u"SKY", u"Slovak", 1250, "sk_SK", u"Slovak"},
    {0x041C, u"SQI", u"Albanian", 1250, "sq_AL", u"Albanian"},
    {0x041D, u"SVE", u"Swedish", 1252, "sv_SE", u"Swedish"},
    {0x041E, u"THA", u"Thai", 874, "th_TH", u"Thai"},
    {0x041F, u"TRK", u"Turkish", 1254, "tr_TR", u"Turkish"},
    {0x0421, u"IND", u"Indonesian", 1252, "id_ID", u"Indonesian"},
    {0x0422, u"UKR", u"Ukrainian", 1251, "uk_UA", u"Ukrainian"},
    {0x0423, u"BEL", u"Belarusian", 1251, "be_BY", u"Belarusian"},
    {0x0424, u"SLV", u"Slovenian", 1250, "sl_SI", u"Slovenian"},
    {0x0425, u"ETI", u"Estonian", 1257, "et_EE", u"Estonian"},
    {0x0426, u"LVI", u"Latvian", 1257, "lv_LV", u"Latvian"},
    {0x0427, u"LTH", u"Lithuanian", 1257, "lt_LT", u"Lithuanian"},
    {0x042A, u"VIT", u"Vietnamese", 1258, "vi_VN", u"Vietnamese"},
    {0x042D, u"EUQ", u"Basque", 1252, "eu_ES", u"Basque"},
    {0x0439, u"HIN", u"Hindi", 0, "hi_IN", u"Hindi"},
    {0x043E, u"MSL", u"Malay", 1252, "ms_MY", u"Malay (Malaysia)"},
    {0x0456, u"GLC", u"Galician", 1252, "gl_ES", u"Galician"},
    {0x0804, u"CHS", u"Chinese", 936, "zh_CN", u"Chinese (PRC)"},
    {0x0807, u"DES", u"German", 1252, "de_CH", u"German (Switzerland)"},
    {0x0809, u"ENG", u"English", 1252, "en_GB", u"English (United Kingdom)"},
    {0x080A, u"ESM", u"Spanish", 1252, "es_MX", u"Spanish (Mexico)"},
    {0x080C, u"FRB", u"French", 1252, "fr_BE", u"French (Belgium)"},
    {0x0810, u"ITS", u"Italian", 1252, "it_CH", u"Italian (Switzerland)"},
    {0x0813, u"NLB", u"Dutch", 1252, "nl_BE", u"Dutch (Belgium)"},
    {0x0814, u"NON", u"Norwegian (Nynorsk)", 1252, "nn_NO", u""},
    {0x0816, u"PTG", u"Portuguese", 1252, "pt_PT", u"Portuguese (Portugal)"},
    {0x081D, u"SVF", u"Swedish", 1252, "sv_FI", u""},
    {0x0C04, u"ZHH", u"Chinese", 950, "zh_HK", u"Chinese (Hong Kong S.A.R.)"},
    {0x0C07, u"DEA", u"German", 1252, "de_AT", u"German (Austria)"},
    {0x0C09, u"ENA", u"English", 1252, "en_AU", u"English (Australia)"},
    {0x0C0A, u"ESN", u"Spanish", 1252, "es_ES", u"Spanish (International Sort)"},
    {0x0C0C, u"FRC", u"French", 1252, "fr_CA", u""},
    {0x1004, u"ZHI", u"Chinese", 936, "zh_SG", u"Chinese (Singapore)"},
    {0x1007, u"DEL", u"German", 1252, "de_LU", u""},
    {0x1009, u"ENC", u"English", 1252, "en_CA", u"English (Canada)"},
    {0x100C, u"FRS", u"French", 1252, "fr_CH", u""},
    {0x1409, u"ENZ", u"English", 1252, "en_NZ", u""},
    {0x1809, u"ENI", u"English", 1252, "en_IE", u"English (Ireland)"},
};

bool hasSubLanguage(std::uint32_t langId) {
    return langId != (langId & 0x3FF);
}

const LocaleRow* findRow(std::uint32_t langId) {
    // A neutral identifier (primary language only) stands for its default sub-language.
    const std::uint32_t key = hasSubLanguage(langId) ? langId : (0x0400 | langId);
    const auto* end = std::end(kLocales);
    const auto* it =
        std::lower_bound(std::begin(kLocales), end, key,
                         [](const LocaleRow& row, std::uint32_t k) { return row.id < k; });
    return it != end && it->id == key ? it : nullptr;
}

std::u16string asciiToUtf16(std::string_view text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::u16string GetLocaleInfo(std::uint32_t langId, int infoType) {
    const LocaleRow* row = langId > 0xFFFF ? nullptr : findRow(langId);
    if (row == nullptr) {
        throw ELocalesError();
    }
    switch (infoType) {
        case LOCALE_SABBREVLANGNAME:
            return std::u16string(row->abbreviation);
        case LOCALE_SENGLISHLANGUAGENAME:
            return std::u16string(row->englishName);
        case LOCALE_IDEFAULTANSICODEPAGE:
            return asciiToUtf16(std::to_string(row->ansiCodePage));
        default:
            throw ELocalesError();
    }
}

std::u16string LanguageAbbreviation(std::uint32_t langId) {
    std::u16string abbreviation = GetLocaleInfo(langId, LOCALE_SABBREVLANGNAME);
    if (!hasSubLanguage(langId)) {
        abbreviation.resize(std::min<std::size_t>(abbreviation.size(), 2));
    }
    return abbreviation;
}

std::u16string LanguageName(std::uint32_t langId) {
    if (langId <= 0xFFFF) {
        const auto* end = std::end(kLocales);
        const auto* it = std::find_if(std::begin(kLocales), end,
                                      [&](const LocaleRow& row) { return row.id == langId; });
        if (it != end && !it->displayName.empty()) {
            return std::u16string(it->displayName);
        }
    }
    std::u16string name = GetLocaleInfo(langId, LOCALE_SENGLISHLANGUAGENAME);
    if (hasSubLanguage(langId)) {
        const std::size_t cut = name.find(u" (");
        if (cut != std::u16string::npos) {
            name.resize(cut);
        }
        while (!name.empty() && name.back() == u' ') {
            name.pop_back();
        }
        name += u" (" + LanguageAbbreviation(langId) + u")";
    }
    return name;
}

int AnsiCodePageOf(std::uint32_t langId) noexcept {
    const LocaleRow* row = langId > 0xFFFF ? nullptr : findRow(langId);
    return row == nullptr ? 1252 : row->ansiCodePage;
}

std::uint16_t LangIdFromPosixLocale(std::string_view name) noexcept {
    const std::size_t end = name.find_first_of(".@");
    if (end != std::string_view::npos) {
        name = name.substr(0, end);
    }
    if (name.empty() || name == "C" || name == "POSIX") {
        return 0;
    }
    for (const LocaleRow& row : kLocales) {
        if (!row.posix.empty() && row.posix == name) {
            return row.id;
        }
    }
    // Language alone ("fr", or "fr_LU" that the table lacks): the first row of that language.
    const std::string_view language = name.substr(0, name.find('_'));
    for (const LocaleRow& row : kLocales) {
        if (!row.posix.empty() && row.posix.substr(0, row.posix.find('_')) == language) {
            return row.id;
        }
    }
    return 0;
}

std::uint16_t UserDefaultLangID() noexcept {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            const std::uint16_t id = LangIdFromPosixLocale(value);
            if (id != 0) {
                return id;
            }
        }
    }
    return 0x0409;
}

}  // namespace runemeter
