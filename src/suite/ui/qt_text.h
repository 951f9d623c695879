// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one place where the window's QString meets the core's UTF-16 text and file paths.

#include <QString>

#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>

#include "suite/resource_strings.h"

namespace runemeter {

/// QString to the core's UTF-16 text, unit for unit (lone surrogates kept).
[[nodiscard]] std::u16string toU16(const QString& text);

/// The core's UTF-16 text to a QString, unit for unit.
[[nodiscard]] QString fromU16(std::u16string_view text);

/// The text in force for a resource string.
[[nodiscard]] QString resourceText(ResId id);

/// The text in force for a resource string with its %s filled by args in turn.
[[nodiscard]] QString formatResource(ResId id, std::initializer_list<std::u16string> args);

/// A path for display; bytes that are not UTF-8 show as U+FFFD.
[[nodiscard]] QString pathToQString(const std::filesystem::path& path);

/// A path typed or chosen by the user, in the file system's encoding.
[[nodiscard]] std::filesystem::path pathFromQString(const QString& text);

}  // namespace runemeter
