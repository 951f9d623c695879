#pragma once

// Translations written as text: the source form of the language files shipped with the
// program. A source names the native items it translates; IDs, types and versions are taken
// from the native file, so a source can never refer to an item the program does not have.
//
//   # a comment
//   locale = 0x0407              (language identifier, decimal or 0x hex; required)
//   english-name = German
//   localized-name = Deutsch
//   show-untranslated = no       (yes: outdated translations are shown as they are)
//   [Form1]                      (a form of the native file)
//   windowTitle = Runemeter      (the form's own property)
//   Label1.text = &Datei(en)     (component "." property; split at the last ".")
//   [unit resource_strings]      (a unit of the native file)
//   VTTotal = Summe
//
// Values: "\n" is a line break, "\t" a tab, "\\" a backslash; blanks around "=" are dropped.

#include <string>
#include <string_view>

#include "localisation/lang_file_format.h"

namespace runemeter {

/// Builds the image of a translation of native from a text source (UTF-8). Returns false and
/// sets error to "line N: what" for anything the source gets wrong.
[[nodiscard]] bool translationFromText(const LangFileImage& native, std::string_view source,
                                       LangFileImage& translation, std::string& error);

}  // namespace runemeter
