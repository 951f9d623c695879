// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The text form of a language file: a line-based UTF-8 document that carries every field of
// the binary file, so that text -> file -> text and file -> text -> file are exact. The grammar
// is described in docs/language-files.md.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

#include "localisation/lang_file_format.h"
#include "suite/input_error.h"
#include "suite/named_error.h"

namespace runemeter {

/// A text form that can not be read: the reader's error, whose message is "Line N: ...".
class ELangTextError : public NamedError {
public:
    explicit ELangTextError(InputError error)
        : NamedError("Line " + std::to_string(error.line) + ": " + error.message),
          m_error(std::move(error)) {}
    [[nodiscard]] std::string_view className() const noexcept override { return "ELangTextError"; }
    [[nodiscard]] const InputError& error() const noexcept { return m_error; }

private:
    InputError m_error;
};

/// The text of an image; compressed is written as the "compressed" header line.
[[nodiscard]] std::string langImageToText(const LangFileImage& image, bool compressed);

/// The image of a text; compressed receives the "compressed" header line (false when absent).
/// Throws ELangTextError "Line N: ...".
[[nodiscard]] LangFileImage langImageFromText(std::string_view text, bool* compressed = nullptr);

/// A date-time (days since 1899-12-30) as "YYYY-MM-DD HH:MM:SS"; empty when out of range.
[[nodiscard]] std::string dateTimeText(double days);

/// Quotes a UTF-16 text: UTF-8, with \\ \" \n \r \t and \u{X} for other controls and lone
/// surrogates.
[[nodiscard]] std::string quoteText(std::u16string_view text);

}  // namespace runemeter
