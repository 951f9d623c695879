// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/text_choices.h"

#include <array>
#include <cstddef>
#include <utility>

namespace runemeter {
namespace {

constexpr std::array kUnsignedNames = {std::pair{UnsignedMode::Ansi, std::string_view("ansi")},
                                       std::pair{UnsignedMode::Utf8, std::string_view("utf8")},
                                       std::pair{UnsignedMode::Auto, std::string_view("auto")}};
constexpr std::array kUnitNames = {
    std::pair{CountingUnit::Utf16, std::string_view("utf16")},
    std::pair{CountingUnit::CodePoint, std::string_view("codepoint")},
    std::pair{CountingUnit::Grapheme, std::string_view("grapheme")}};
constexpr std::array kFormNames = {std::pair{Normalisation::None, std::string_view("none")},
                                   std::pair{Normalisation::Nfc, std::string_view("nfc")},
                                   std::pair{Normalisation::Nfd, std::string_view("nfd")},
                                   std::pair{Normalisation::Nfkc, std::string_view("nfkc")},
                                   std::pair{Normalisation::Nfkd, std::string_view("nfkd")}};

template <typename Table, typename Value>
std::string_view nameIn(const Table& table, Value value) {
    for (const auto& [v, name] : table) {
        if (v == value) {
            return name;
        }
    }
    return {};
}

template <typename Table>
auto valueIn(const Table& table, std::string_view name)
    -> std::optional<typename Table::value_type::first_type> {
    for (const auto& [v, n] : table) {
        if (n == name) {
            return v;
        }
    }
    return std::nullopt;
}

}  // namespace

std::string_view choiceName(UnsignedMode mode) {
    return nameIn(kUnsignedNames, mode);
}
std::string_view choiceName(CountingUnit unit) {
    return nameIn(kUnitNames, unit);
}
std::string_view choiceName(Normalisation form) {
    return nameIn(kFormNames, form);
}

std::optional<UnsignedMode> unsignedModeNamed(std::string_view name) {
    return valueIn(kUnsignedNames, name);
}
std::optional<CountingUnit> countingUnitNamed(std::string_view name) {
    return valueIn(kUnitNames, name);
}
std::optional<Normalisation> normalisationNamed(std::string_view name) {
    return valueIn(kFormNames, name);
}

}  // namespace runemeter
