// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the window and the start-up reach the suite: the suite's calls bound to the hooks that
// TForm1, StartTool and the program end use.

#include "frame/start_tool.h"
#include "frame/tool_frame.h"
#include "frame/ui/main_form.h"

namespace runemeter {

/// Unit initialisation: tool number 13, the shared state, the log file name, the default
/// colours; no main window yet.
void initialiseUnits();

/// Messages of the suite's code become modal message boxes (call once a QApplication exists).
void installMessageBoxes();

/// SetUpLogging: lines are kept only when logging is on and the log file already exists.
void SetUpLogging();

/// The suite's calls for the window.
[[nodiscard]] FormServices suiteFormServices();

/// The suite's calls for StartTool; the shell is launched detached.
[[nodiscard]] StartToolServices suiteStartToolServices();

/// The suite's calls for the program end.
[[nodiscard]] FinaliseServices suiteFinaliseServices();

}  // namespace runemeter
