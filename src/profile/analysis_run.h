// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One analysis run: validate the chosen path, find the files, read each one, build the counts.

#include <filesystem>
#include <optional>
#include <string>

#include "profile/analysis_observer.h"
#include "profile/analysis_state.h"
#include "profile/text_choices.h"
#include "suite/file_iterator.h"

namespace runemeter {

/// What the user chose: the path as typed, the mask box's text and the two options.
struct RunRequest {
    std::u16string path;  ///< as typed in the path edit
    std::u16string fileMask = u"*.txt";
    bool includeSubFolders = false;
    bool readZipfiles = true;
    std::u16string headerToCut;
    TextChoices text;  ///< unsigned text, counting unit, normalisation
};

/// Validates the chosen path and sets up the iterator. The two options are copied to the
/// iterator whether or not the path is valid. Returns whether the path is valid: not empty,
/// and an existing folder or, failing that, an existing file.
[[nodiscard]] bool CheckChosenPath(const RunRequest& request, TFileAndDirIterator& iterator);

/// Runs the whole analysis on an iterator set up by CheckChosenPath: clears the state, searches,
/// processes every file found (or until the observer asks to stop). Does not build the profile.
/// choices: how texts are read and counted (the defaults: as always). With ANSI reading, a run
/// that met texts without a signature that look like UTF-8 tells the observer once, at its end.
void runAnalysis(TFileAndDirIterator& iterator, const std::u16string& headerToCut,
                 AnalysisState& state, AnalysisObserver& observer, const TextChoices& choices = {});

}  // namespace runemeter
