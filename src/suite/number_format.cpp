// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/number_format.h"
#include "suite/unicode_text.h"

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <locale>
#include <string>

namespace runemeter {

namespace {

// A wide character usable as a separator: one UTF-16 unit that is not a surrogate.
bool fitsOneUnit(wchar_t c) {
    const auto v = static_cast<std::uint32_t>(c);
    return v != 0 && v <= 0xFFFF && !isSurrogate(v);
}

FormatSettings settingsOf(const std::locale& locale) {
    FormatSettings settings;
    const auto& punct = std::use_facet<std::numpunct<wchar_t>>(locale);
    const wchar_t point = punct.decimal_point();
    settings.decimalSeparator = fitsOneUnit(point) ? static_cast<char16_t>(point) : u'.';
    const std::string grouping = punct.grouping();
    const wchar_t sep = punct.thousands_sep();
    const bool groups = !grouping.empty() && grouping.front() > 0;
    settings.thousandSeparator =
        groups && fitsOneUnit(sep) && sep != point ? static_cast<char16_t>(sep) : char16_t{0};
    return settings;
}

// Digits of a magnitude with a separator between groups of three (none when 0).
void appendGrouped(std::u16string& out, const std::string& digits, char16_t thousandSeparator) {
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (thousandSeparator != 0 && i > 0 && (digits.size() - i) % 3 == 0) {
            out.push_back(thousandSeparator);
        }
        out.push_back(static_cast<char16_t>(digits[i]));
    }
}

}  // namespace

FormatSettings& Myformatsettings() {
    static FormatSettings settings;
    return settings;
}

FormatSettings formatSettingsFromEnvironment() {
    try {
        return settingsOf(std::locale(""));
    } catch (const std::exception&) {
        // The environment names a locale that is not installed: fall back to the C locale.
        return settingsOf(std::locale::classic());
    }
}

std::u16string IntToDecStr(std::int64_t value, const FormatSettings& settings) {
    // The magnitude is taken unsigned so that the smallest int64 has one too.
    const std::uint64_t magnitude =
        value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::u16string out;
    if (value < 0) {
        out.push_back(u'-');
    }
    appendGrouped(out, std::to_string(magnitude), settings.thousandSeparator);
    return out;
}

std::u16string RealToDecStr(long double value, const FormatSettings& settings) {
    if (std::isnan(value)) {
        return u"NaN";
    }
    if (std::isinf(value)) {
        return value < 0 ? u"-INF" : u"INF";
    }
    // Hundredths rounded half away from zero; printed as a whole number, which is exact.
    const long double magnitude = std::fabs(value);
    const bool huge = magnitude > LDBL_MAX / 100.0L;
    const long double hundredths = huge ? magnitude : std::round(magnitude * 100.0L);
    std::array<char, 5000> buffer{};
    const int length = std::snprintf(buffer.data(), buffer.size(), "%.0Lf", hundredths);
    std::string digits(buffer.data(), length > 0 ? static_cast<std::size_t>(length) : 0);
    if (huge) {
        // So large that it has no fraction at all; times 100 it would overflow.
        digits += "00";
    }
    if (digits.size() < 3) {
        digits.insert(0, 3 - digits.size(), '0');
    }
    std::u16string out;
    if (value < 0 && hundredths != 0) {
        out.push_back(u'-');
    }
    appendGrouped(out, digits.substr(0, digits.size() - 2), settings.thousandSeparator);
    out.push_back(settings.decimalSeparator);
    out.push_back(static_cast<char16_t>(digits[digits.size() - 2]));
    out.push_back(static_cast<char16_t>(digits[digits.size() - 1]));
    return out;
}

}  // namespace runemeter
