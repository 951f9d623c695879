// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The crash reporter: what the program does with an exception nobody caught. It shows the error,
// saves a text report and quits when the user asks to, and tells whoever listens (the crash-event
// unit) about each step before and after it.
//
// The report file (<module name>.elf, UTF-8 text, one report appended after another so that
// earlier reports are kept):
//
// | line                         | holds                                             |
// |------------------------------|---------------------------------------------------|
// | "=== Error report ===" ...   | a separator line that starts every report         |
// | "Time: "                     | local time, YYYY-MM-DD HH:MM:SS                   |
// | "Program: "                  | program name and version                          |
// | "Executable: "               | the module file path                              |
// | "Process: "                  | process id                                        |
// | "Exception: "                | the exception's type name                         |
// | "Message: "                  | its message, line breaks kept, indented           |
// | "Modules:"                   | one "  N: path" line per loaded module            |
// | "Stack trace:"               | one "  #N frame" line, or "  (not available)"     |

#include <atomic>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace runemeter {

/// The steps of reporting one exception, in the order they would run.
enum class ReportingAction : std::uint8_t {
    ShowError = 0,
    FinishedShowing = 1,
    SaveReport = 2,
    Saved = 3,
    SendEmail = 4,
    SentEmail = 5,
    UploadReport = 6,
    Uploaded = 7,
    Quit = 8,
};

/// The reporter's settings that listeners see with each exception.
struct ReporterOptions {
    /// Where the report is saved (8-bit path, usually with a trailing '/').
    std::string outputFolder;
    /// The program's own file (8-bit path); the report is named after it.
    std::string moduleFilePath;
    /// The program's name and version for the report's head.
    std::string programName;
    std::string programVersion;
};

/// One unhandled exception as the reporter hands it to listeners.
struct ExceptionRecord {
    /// Distinct files of the executable mappings of the process, in address order.
    std::vector<std::string> modules;
    /// The option set in force for this exception; outputFolder is the folder really used once
    /// the save step has been prepared.
    ReporterOptions options;
    /// The exception's type (demangled where possible) and message.
    std::string typeName;
    std::string message;
    /// Stack frames at the time the reporter was called, innermost first; may be empty.
    std::vector<std::string> stackTrace;
    /// False when the program cannot go on (std::terminate): the dialog offers only quitting.
    bool canContinue = true;
};

/// What the user chose in the error dialog.
enum class ShowChoice { Continue, Quit };

/// The result of reporting one exception.
struct ReportOutcome {
    ShowChoice choice = ShowChoice::Continue;
    /// The report file when it was saved; empty otherwise.
    std::filesystem::path reportFile;
    /// True when this call was refused because another report was in progress.
    bool nested = false;
};

/// Shows the error to the user and returns the choice.
using ShowErrorProc = std::function<ShowChoice(const ExceptionRecord& record)>;
/// Tells the user where the report went (saved true) or why it could not be saved.
using ReportSavedProc =
    std::function<void(const ExceptionRecord& record, bool saved,
                       const std::filesystem::path& reportFile, const std::string& reason)>;
/// Ends the program in an orderly way; returns false when it cannot.
using QuitProc = std::function<bool()>;
/// Notification: an exception was noticed; handled is an out flag.
using ExceptionNoticedProc = std::function<void(const ExceptionRecord& record, bool& handled)>;
/// Notification: an action is about to run; it runs only when execute ends up true.
using ReportingActionProc =
    std::function<void(const ExceptionRecord& record, std::uint8_t kind, bool& execute)>;
/// Notification: an action threw or returned false.
using ReportingActionFailedProc =
    std::function<void(const ExceptionRecord& record, std::uint8_t kind)>;

/// The distinct file paths of the executable mappings in a /proc/<pid>/maps text, in address
/// order; anonymous and pseudo mappings ("[vdso]", "[heap]") are left out.
[[nodiscard]] std::vector<std::string> parseModuleList(std::string_view mapsText);

/// The module list of this process (from /proc/self/maps); empty when it cannot be read.
[[nodiscard]] std::vector<std::string> loadedModules();

/// The running executable's path (from /proc/self/exe); empty when it cannot be read.
[[nodiscard]] std::string runningExecutable();

/// The stack of the calling thread, innermost first, skipping `skip` frames of the caller.
[[nodiscard]] std::vector<std::string> currentStackTrace(int skip = 0);

/// A demangled type name; the mangled name when it cannot be demangled.
[[nodiscard]] std::string demangledName(const char* mangled);

/// The type name and message of an exception held in `error` ("unknown exception" types for
/// anything not derived from std::exception).
void describeException(const std::exception_ptr& error, std::string& typeName,
                       std::string& message);

/// The text of one report as it is appended to the report file.
[[nodiscard]] std::string formatReport(const ExceptionRecord& record, const std::string& localTime);

/// The report file name for a module: its file name with the extension changed to ".elf".
[[nodiscard]] std::string reportFileName(std::string_view moduleFilePath);

/// A folder path with a trailing '/' added when missing (empty stays empty).
[[nodiscard]] std::string withTrailingDelimiter(std::string folder);

/// Reports unhandled exceptions; one per process, reached through instance().
class CrashReporter {
public:
    /// The process-wide reporter.
    [[nodiscard]] static CrashReporter& instance();

    /// A reporter with default settings: output folder = the executable's folder.
    CrashReporter();
    CrashReporter(const CrashReporter&) = delete;
    CrashReporter& operator=(const CrashReporter&) = delete;

    /// The option set; change it before exceptions happen.
    [[nodiscard]] ReporterOptions& options() { return m_options; }

    /// The folder used when the output folder cannot be written (the suite's user folder).
    void setFallbackFolder(std::function<std::filesystem::path()> provider);
    /// Replaces the dialog; empty: the error is written to standard error and Quit is chosen.
    void setShowError(ShowErrorProc proc);
    /// Replaces the notice after saving; empty: a line on standard error.
    void setReportSaved(ReportSavedProc proc);
    /// Replaces the quit step; empty: the quit step fails (nothing can end the program).
    void setQuit(QuitProc proc);
    /// Installs the three notifications (any may be empty).
    void setNotifications(ExceptionNoticedProc noticed, ReportingActionProc action,
                          ReportingActionFailedProc failed);

    /// Reports the exception in `error` (shows, saves, quits on request). Never throws; a call
    /// made while another report is in progress only raises the failure notification.
    ReportOutcome report(const std::exception_ptr& error, bool canContinue = true) noexcept;
    /// Reports an error given by type name and message.
    ReportOutcome report(const std::string& typeName, const std::string& message,
                         bool canContinue = true) noexcept;

    /// True while a report is being made.
    [[nodiscard]] bool busy() const { return m_busy.load(); }

private:
    ReportOutcome run(ExceptionRecord record) noexcept;
    void runActions(ExceptionRecord& record, ReportOutcome& outcome);
    bool runAction(ExceptionRecord& record, ReportingAction action,
                   const std::function<bool()>& body) noexcept;
    void notifyFailed(const ExceptionRecord& record, ReportingAction action) noexcept;
    bool prepareOutputFolder(ExceptionRecord& record) noexcept;

    ReporterOptions m_options;
    std::function<std::filesystem::path()> m_fallbackFolder;
    ShowErrorProc m_showError;
    ReportSavedProc m_reportSaved;
    QuitProc m_quit;
    ExceptionNoticedProc m_noticed;
    ReportingActionProc m_action;
    ReportingActionFailedProc m_failed;
    std::string m_saveError;
    std::atomic<bool> m_busy{false};
};

/// Makes std::terminate report the current exception (not allowed to continue) and abort.
void installTerminateReporter();

}  // namespace runemeter
