// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Windows language identifiers and what belongs to them: the abbreviation that names language
// files, the ANSI code page, and the language's names. Names come from ICU, which maps every
// identifier it knows to a locale; the abbreviations and code pages fixed before that stay in
// a table, because files on disk carry those abbreviations.

#include <cstdint>
#include <string>
#include <string_view>

#include "suite/named_error.h"

namespace runemeter {

/// A language identifier neither the table nor ICU knows.
class ELocalesError : public NamedError {
public:
    /// Always "Can not get locale info".
    ELocalesError() : NamedError("Can not get locale info") {}
    [[nodiscard]] std::string_view className() const noexcept override { return "ELocalesError"; }
};

/// Information type: three-letter abbreviated language name ("DEU").
inline constexpr int LOCALE_SABBREVLANGNAME = 3;
/// Information type: English name of the language ("German").
inline constexpr int LOCALE_SENGLISHLANGUAGENAME = 4097;
/// Information type: ANSI code page as decimal text ("1252").
inline constexpr int LOCALE_IDEFAULTANSICODEPAGE = 4100;

/// The locale information of one identifier; an identifier without a sub-language part is
/// answered for its default sub-language. Throws ELocalesError for an unknown identifier or type.
/// Abbreviations outside the table are ICU's language tag in capitals ("AR-EG", "SR-LATN-RS").
[[nodiscard]] std::u16string GetLocaleInfo(std::uint32_t langId, int infoType);

/// The language abbreviation of file names: the abbreviated name, cut to its first two letters
/// when the identifier has no sub-language part. Throws ELocalesError.
[[nodiscard]] std::u16string LanguageAbbreviation(std::uint32_t langId);

/// ICU's locale for an identifier ("ar_EG", "sr_Latn_RS"). Throws ELocalesError when ICU has
/// none, or answers with another identifier's locale (an unknown sub-language).
[[nodiscard]] std::string IcuLocaleName(std::uint32_t langId);

/// English display name for messages ("German (Germany)", "Arabic (Egypt)"). Throws
/// ELocalesError.
[[nodiscard]] std::u16string LanguageName(std::uint32_t langId);

/// The name of a language in another language ("Arabisch (Ägypten)" for 0x0C01 in 0x0407);
/// in English when inLanguage is unknown. Throws ELocalesError for an unknown langId.
[[nodiscard]] std::u16string LanguageDisplayName(std::uint32_t langId, std::uint32_t inLanguage);

/// ANSI code page of a language: the table's, else by the script ICU expects for it (Arabic
/// 1256, Cyrillic 1251, ..., Latin 1252 or the central European, Turkish, Baltic or Vietnamese
/// page by language); 1252 when the identifier is unknown, 0 for Unicode-only ones.
[[nodiscard]] int AnsiCodePageOf(std::uint32_t langId) noexcept;

/// The identifier for a POSIX locale name such as "de_DE.UTF-8" or "fr"; 0 when unknown.
[[nodiscard]] std::uint16_t LangIdFromPosixLocale(std::string_view name) noexcept;

/// The user's default language from LC_ALL / LC_MESSAGES / LANG, else English (United States).
[[nodiscard]] std::uint16_t UserDefaultLangID() noexcept;

}  // namespace runemeter
