// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What "Save as" writes: the result in one of its four written forms, or the overview's
// charts as a picture; chosen by the file name's extension, else by the dialog's filter.

#include <optional>
#include <string>
#include <string_view>

#include "results/output_forms.h"

namespace runemeter {

/// The forms a file can be saved in, in the order the dialog's filters list them.
enum class SaveForm { CopyText, Table, Csv, Json, Png, Svg };

/// The form of a result file, or nothing for a picture.
[[nodiscard]] std::optional<ResultForm> resultFormOf(SaveForm form);

/// The extension a form's files get (".tsv", ".csv", ...).
[[nodiscard]] std::string_view saveFormExtension(SaveForm form);

/// The form and the file name a save uses. An extension that names one form (.csv, .json,
/// .png, .svg; case ignored) wins over the filter; .tsv and .txt fit both tab-separated forms,
/// so the filter chooses between them (another filter: the copy text). A name without an
/// extension takes the filter's form and its extension.
struct SaveChoice {
    SaveForm form;
    std::string fileName;
};
[[nodiscard]] SaveChoice chooseSaveForm(std::string_view fileName, SaveForm filter);

}  // namespace runemeter
