// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Number texts for display, with the separators of the user's locale.

#include <cstdint>
#include <string>

namespace runemeter {

/// Separators used for numbers shown to the user.
struct FormatSettings {
    char16_t decimalSeparator = u'.';
    char16_t thousandSeparator = u',';  ///< 0 means no digit grouping
};

/// The process-wide format settings: '.' and ',' until the program sets them from the locale.
[[nodiscard]] FormatSettings& Myformatsettings();

/// Separators of the locale named by the environment (LC_NUMERIC / LANG); those of the C locale
/// (no grouping) when unset or not installed. Never throws.
[[nodiscard]] FormatSettings formatSettingsFromEnvironment();

/// Integer with digit grouping: 1234567 -> "1,234,567".
[[nodiscard]] std::u16string IntToDecStr(std::int64_t value, const FormatSettings& settings);

/// Real number with two decimals and digit grouping: 12.5 -> "12.50".
[[nodiscard]] std::u16string RealToDecStr(long double value, const FormatSettings& settings);

}  // namespace runemeter
