// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Ties a translation to the native file it translates by names: every record of the
// translation is looked up by unit and constant, form, component and property, or group and
// item name in the native file and takes that record's ID (and string ID or value type). The
// IDs a translation source was written with therefore never decide which text it replaces.

#include <string>

#include "localisation/lang_file_format.h"

namespace runemeter {

/// Matches every record of translation to native by names. Returns false and sets error to
/// what does not match (the translation is then partly changed); a record the native file
/// lacks is an error, so a source cannot translate something the program does not have.
[[nodiscard]] bool matchTranslationToNative(const LangFileImage& native, LangFileImage& translation,
                                            std::string& error);

}  // namespace runemeter
