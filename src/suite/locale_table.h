#pragma once

// Built-in table of Windows language identifiers: what the system asks the operating system for
// (abbreviated and English language names, ANSI code page) and the English display names used in
// messages.

#include <cstdint>
#include <string>
#include <string_view>

#include "suite/named_error.h"

namespace runemeter {

/// A language identifier the table does not know.
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
[[nodiscard]] std::u16string GetLocaleInfo(std::uint32_t langId, int infoType);

/// The language abbreviation of file names: the abbreviated name, cut to its first two letters
/// when the identifier has no sub-language part. Throws ELocalesError.
[[nodiscard]] std::u16string LanguageAbbreviation(std::uint32_t langId);

/// English display name for messages ("German (Germany)"); identifiers outside the name table
/// get the English language name plus " (" abbreviation ")". Throws ELocalesError.
[[nodiscard]] std::u16string LanguageName(std::uint32_t langId);

/// ANSI code page of a language; 1252 when the identifier is unknown, 0 for Unicode-only ones.
[[nodiscard]] int AnsiCodePageOf(std::uint32_t langId) noexcept;

/// The identifier for a POSIX locale name such as "de_DE.UTF-8" or "fr"; 0 when unknown.
[[nodiscard]] std::uint16_t LangIdFromPosixLocale(std::string_view name) noexcept;

/// The user's default language from LC_ALL / LC_MESSAGES / LANG, else English (United States).
[[nodiscard]] std::uint16_t UserDefaultLangID() noexcept;

}  // namespace runemeter
