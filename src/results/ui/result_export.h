// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Saving a result: a file written whole or not at all, the overview's charts as a picture,
// and the save dialog's filters.

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "results/save_forms.h"

namespace runemeter {

class TOverviewTab;

/// Writes bytes to path through a temporary file in the same folder, renamed over path once
/// every byte is written, so a file already there stays whole when anything fails. Returns
/// the reason it failed, or an empty text.
[[nodiscard]] QString saveWhole(const QString& path, const QByteArray& bytes);

/// Both charts of the overview, one above the other, as a PNG or an SVG file's bytes.
[[nodiscard]] QByteArray chartsPicture(TOverviewTab& overview, SaveForm form);

/// The save dialog's filters in the order of SaveForm, in the language in force.
[[nodiscard]] QStringList saveFilters();

}  // namespace runemeter
