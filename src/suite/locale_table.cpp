// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/locale_table.h"

#include <unicode/uloc.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

namespace runemeter {

namespace {

// The identifiers whose file abbreviations and code pages were fixed before names came from
// ICU. Their abbreviations name language files on disk, so they never change.
struct LocaleRow {
    std::uint16_t id;
    std::u16string_view abbreviation;  // LOCALE_SABBREVLANGNAME
    int ansiCodePage;                  // 0: the language has no ANSI code page
    std::string_view posix;            // language_TERRITORY; empty: not chosen by name
};

// Sorted by id.
constexpr LocaleRow kLocales[] = {
    {0x0401, u"ARA", 1256, "ar_SA"}, {0x0402, u"BGR", 1251, "bg_BG"},
    {0x0403, u"CAT", 1252, "ca_ES"}, {0x0404, u"CHT", 950, "zh_TW"},
    {0x0405, u"CSY", 1250, "cs_CZ"}, {0x0406, u"DAN", 1252, "da_DK"},
    {0x0407, u"DEU", 1252, "de_DE"}, {0x0408, u"ELL", 1253, "el_GR"},
    {0x0409, u"ENU", 1252, "en_US"}, {0x040A, u"ESP", 1252, ""},
    {0x040B, u"FIN", 1252, "fi_FI"}, {0x040C, u"FRA", 1252, "fr_FR"},
    {0x040D, u"HEB", 1255, "he_IL"}, {0x040E, u"HUN", 1250, "hu_HU"},
    {0x040F, u"ISL", 1252, "is_IS"}, {0x0410, u"ITA", 1252, "it_IT"},
    {0x0411, u"JPN", 932, "ja_JP"},  {0x0412, u"KOR", 949, "ko_KR"},
    {0x0413, u"NLD", 1252, "nl_NL"}, {0x0414, u"NOR", 1252, "nb_NO"},
    {0x0415, u"PLK", 1250, "pl_PL"}, {0x0416, u"PTB", 1252, "pt_BR"},
    {0x0418, u"ROM", 1250, "ro_RO"}, {0x0419, u"RUS", 1251, "ru_RU"},
    {0x041A, u"HRV", 1250, "hr_HR"}, {0x041B, u"SKY", 1250, "sk_SK"},
    {0x041C, u"SQI", 1250, "sq_AL"}, {0x041D, u"SVE", 1252, "sv_SE"},
    {0x041E, u"THA", 874, "th_TH"},  {0x041F, u"TRK", 1254, "tr_TR"},
    {0x0421, u"IND", 1252, "id_ID"}, {0x0422, u"UKR", 1251, "uk_UA"},
    {0x0423, u"BEL", 1251, "be_BY"}, {0x0424, u"SLV", 1250, "sl_SI"},
    {0x0425, u"ETI", 1257, "et_EE"}, {0x0426, u"LVI", 1257, "lv_LV"},
    {0x0427, u"LTH", 1257, "lt_LT"}, {0x042A, u"VIT", 1258, "vi_VN"},
    {0x042D, u"EUQ", 1252, "eu_ES"}, {0x0439, u"HIN", 0, "hi_IN"},
    {0x043E, u"MSL", 1252, "ms_MY"}, {0x0456, u"GLC", 1252, "gl_ES"},
    {0x0804, u"CHS", 936, "zh_CN"},  {0x0807, u"DES", 1252, "de_CH"},
    {0x0809, u"ENG", 1252, "en_GB"}, {0x080A, u"ESM", 1252, "es_MX"},
    {0x080C, u"FRB", 1252, "fr_BE"}, {0x0810, u"ITS", 1252, "it_CH"},
    {0x0813, u"NLB", 1252, "nl_BE"}, {0x0814, u"NON", 1252, "nn_NO"},
    {0x0816, u"PTG", 1252, "pt_PT"}, {0x081D, u"SVF", 1252, "sv_FI"},
    {0x0C04, u"ZHH", 950, "zh_HK"},  {0x0C07, u"DEA", 1252, "de_AT"},
    {0x0C09, u"ENA", 1252, "en_AU"}, {0x0C0A, u"ESN", 1252, "es_ES"},
    {0x0C0C, u"FRC", 1252, "fr_CA"}, {0x1004, u"ZHI", 936, "zh_SG"},
    {0x1007, u"DEL", 1252, "de_LU"}, {0x1009, u"ENC", 1252, "en_CA"},
    {0x100C, u"FRS", 1252, "fr_CH"}, {0x1409, u"ENZ", 1252, "en_NZ"},
    {0x1809, u"ENI", 1252, "en_IE"},
};

bool hasSubLanguage(std::uint32_t langId) {
    return langId != (langId & 0x3FF);
}

const LocaleRow* findRow(std::uint32_t langId) {
    if (langId == 0 || langId > 0xFFFF) {
        return nullptr;
    }
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

std::string icuLocaleOrEmpty(std::uint32_t langId) {
    if (langId == 0 || langId > 0xFFFF) {
        return {};
    }
    std::array<char, ULOC_FULLNAME_CAPACITY> name{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        uloc_getLocaleForLCID(langId, name.data(), static_cast<int32_t>(name.size()), &status);
    if (U_FAILURE(status) || length <= 0 || status == U_STRING_NOT_TERMINATED_WARNING) {
        return {};
    }
    // ICU answers an unknown sub-language with the bare language; only an identifier that
    // comes back from its name is the language asked for.
    if (uloc_getLCID(name.data()) != langId) {
        return {};
    }
    return std::string(name.data(), static_cast<std::size_t>(length));
}

std::string icuLocale(std::uint32_t langId) {
    std::string name = icuLocaleOrEmpty(langId);
    if (name.empty()) {
        throw ELocalesError();
    }
    return name;
}

std::u16string displayName(const std::string& locale, const std::string& inLocale,
                           bool languageOnly) {
    std::array<UChar, 256> buffer{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        languageOnly ? uloc_getDisplayLanguage(locale.c_str(), inLocale.c_str(), buffer.data(),
                                               static_cast<int32_t>(buffer.size()), &status)
                     : uloc_getDisplayName(locale.c_str(), inLocale.c_str(), buffer.data(),
                                           static_cast<int32_t>(buffer.size()), &status);
    if (U_FAILURE(status) || length <= 0) {
        throw ELocalesError();
    }
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()),
                          static_cast<std::size_t>(std::min<int32_t>(length, 256)));
}

// Abbreviation of an identifier outside the table: ICU's language tag in capitals ("AR-EG",
// "SR-LATN-RS", "FA" for neutral Persian). The hyphen keeps it apart from every three-letter
// abbreviation of the table.
std::u16string icuAbbreviation(std::uint32_t langId) {
    const std::string locale = icuLocale(langId);
    std::array<char, ULOC_FULLNAME_CAPACITY> tag{};
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = uloc_toLanguageTag(locale.c_str(), tag.data(),
                                              static_cast<int32_t>(tag.size()), true, &status);
    if (U_FAILURE(status) || length <= 0 || status == U_STRING_NOT_TERMINATED_WARNING) {
        throw ELocalesError();
    }
    std::u16string abbreviation;
    for (int32_t i = 0; i < length; ++i) {
        const char c = tag[static_cast<std::size_t>(i)];
        abbreviation.push_back(static_cast<char16_t>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c));
    }
    // A bare language could still meet the two-letter form of a table language.
    for (const LocaleRow& row : kLocales) {
        if (row.abbreviation == abbreviation || row.abbreviation.substr(0, 2) == abbreviation) {
            throw ELocalesError();
        }
    }
    return abbreviation;
}

// The 8-bit code page of a language outside the table, from the script ICU expects for it.
int codePageByScript(std::uint32_t langId) {
    const std::string locale = icuLocaleOrEmpty(langId);
    if (locale.empty()) {
        return 1252;
    }
    std::array<char, ULOC_FULLNAME_CAPACITY> full{};
    std::array<char, ULOC_SCRIPT_CAPACITY> script{};
    std::array<char, ULOC_LANG_CAPACITY> language{};
    UErrorCode status = U_ZERO_ERROR;
    uloc_addLikelySubtags(locale.c_str(), full.data(), static_cast<int32_t>(full.size()), &status);
    uloc_getScript(full.data(), script.data(), static_cast<int32_t>(script.size()), &status);
    uloc_getLanguage(full.data(), language.data(), static_cast<int32_t>(language.size()), &status);
    if (U_FAILURE(status)) {
        return 1252;
    }
    const std::string_view s(script.data());
    const std::string_view lang(language.data());
    constexpr std::pair<std::string_view, int> kScripts[] = {
        {"Arab", 1256}, {"Hebr", 1255}, {"Grek", 1253}, {"Cyrl", 1251}, {"Thai", 874},
        {"Hans", 936},  {"Hant", 950},  {"Jpan", 932},  {"Kore", 949}};
    for (const auto& [name, codePage] : kScripts) {
        if (s == name) {
            return codePage;
        }
    }
    if (s != "Latn") {
        return 0;  // a script no 8-bit code page holds: Unicode only
    }
    constexpr std::pair<std::string_view, int> kLatin[] = {
        {"bs", 1250}, {"cs", 1250}, {"hr", 1250}, {"hsb", 1250}, {"hu", 1250}, {"pl", 1250},
        {"ro", 1250}, {"sk", 1250}, {"sl", 1250}, {"sq", 1250},  {"sr", 1250}, {"az", 1254},
        {"tr", 1254}, {"uz", 1254}, {"et", 1257}, {"lt", 1257},  {"lv", 1257}, {"vi", 1258}};
    for (const auto& [name, codePage] : kLatin) {
        if (lang == name) {
            return codePage;
        }
    }
    return 1252;
}

}  // namespace

std::string IcuLocaleName(std::uint32_t langId) {
    return icuLocale(langId);
}

std::u16string GetLocaleInfo(std::uint32_t langId, int infoType) {
    const LocaleRow* row = findRow(langId);
    switch (infoType) {
        case LOCALE_SABBREVLANGNAME:
            return row != nullptr ? std::u16string(row->abbreviation) : icuAbbreviation(langId);
        case LOCALE_SENGLISHLANGUAGENAME:
            return displayName(icuLocale(langId), "en", true);
        case LOCALE_IDEFAULTANSICODEPAGE:
            if (row == nullptr) {
                (void)icuLocale(langId);  // an unknown identifier has no code page to tell
            }
            return asciiToUtf16(std::to_string(AnsiCodePageOf(langId)));
        default:
            throw ELocalesError();
    }
}

std::u16string LanguageAbbreviation(std::uint32_t langId) {
    std::u16string abbreviation = GetLocaleInfo(langId, LOCALE_SABBREVLANGNAME);
    if (!hasSubLanguage(langId) && findRow(langId) != nullptr) {
        abbreviation.resize(std::min<std::size_t>(abbreviation.size(), 2));
    }
    return abbreviation;
}

std::u16string LanguageName(std::uint32_t langId) {
    return displayName(icuLocale(langId), "en", false);
}

std::u16string LanguageDisplayName(std::uint32_t langId, std::uint32_t inLanguage) {
    const std::string in = icuLocaleOrEmpty(inLanguage);
    return displayName(icuLocale(langId), in.empty() ? std::string("en") : in, false);
}

int AnsiCodePageOf(std::uint32_t langId) noexcept {
    const LocaleRow* row = findRow(langId);
    if (row != nullptr) {
        return row->ansiCodePage;
    }
    return codePageByScript(langId);
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
    // Any other territory ICU knows ("fr_LU", "fa_IR"); a language alone takes the table's
    // first row of it ("fr": France), else ICU's ("fa").
    const std::string_view language = name.substr(0, name.find('_'));
    const bool territory = language.size() != name.size();
    for (int pass = 0; pass < 2; ++pass) {
        if ((pass == 0) == territory) {
            const std::string full(name);
            const std::uint32_t fromIcu = uloc_getLCID(full.c_str());
            if (fromIcu != 0 && !icuLocaleOrEmpty(fromIcu).empty()) {
                return static_cast<std::uint16_t>(fromIcu);
            }
            continue;
        }
        for (const LocaleRow& row : kLocales) {
            if (!row.posix.empty() && row.posix.substr(0, row.posix.find('_')) == language) {
                return row.id;
            }
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
