// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The application object of the desktop program: every exception that escapes an event handler
// ends here and goes to the crash reporter, whose dialog this file also provides.

#include <QApplication>

#include <atomic>
#include <chrono>

#include "suite/crash_reporter.h"

class QMessageBox;

namespace runemeter {

/// A QApplication that hands exceptions escaping event handlers to the crash reporter. Its
/// construction is the crash-event unit's initialisation, its destruction the finalisation.
class CrashApplication : public QApplication {
    Q_OBJECT
public:
    /// Initialises the crash-event unit and sets the reporter's dialog, notice and quit step.
    CrashApplication(int& argc, char** argv);
    /// Takes the window hooks out of the reporter and finalises the crash-event unit.
    ~CrashApplication() override;

    /// How long a report from another thread waits for the window thread to take its dialog
    /// up (5 s unless set). When the window thread is itself blocked, for instance waiting for
    /// that very thread, the report goes on without the dialog once this time has passed.
    void setWindowThreadPickUp(std::chrono::milliseconds wait) { m_windowThreadPickUp = wait; }

    /// Dispatches one event; an exception from the receiver is reported, not passed on.
    bool notify(QObject* receiver, QEvent* event) override;

    /// Builds the error dialog for a record (not shown): object name "CrashDialog", buttons
    /// "ButtonContinue" (when the program can go on) and "ButtonQuit".
    [[nodiscard]] static QMessageBox* createErrorDialog(const ExceptionRecord& record);
    /// Shows the error dialog modally and returns the user's choice.
    [[nodiscard]] static ShowChoice showErrorDialog(const ExceptionRecord& record);
    /// Tells the user where the report was saved, or why it could not be.
    static void showReportSaved(bool saved, const std::filesystem::path& reportFile,
                                const std::string& reason);

private:
    std::atomic<std::chrono::milliseconds> m_windowThreadPickUp{std::chrono::seconds(5)};
};

}  // namespace runemeter
