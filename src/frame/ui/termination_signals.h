// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The signals that end a desktop session's programs (SIGTERM at logout or from kill, SIGHUP when
// the terminal goes, SIGINT from Ctrl+C) close the window as its close button does.

class QWidget;

namespace runemeter {

/// From now on SIGTERM, SIGINT and SIGHUP close window on its own thread: a message that
/// waits for the user is answered first, the run in hand is stopped after its file, the
/// settings are saved and the closing lines logged as at any close. The handler only writes
/// the signal's number to a pipe that the window's event loop watches. False when the pipe
/// cannot be made; the signals then keep their default action.
bool closeOnTerminationSignals(QWidget& window);

}  // namespace runemeter
