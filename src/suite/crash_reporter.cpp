// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/crash_reporter.h"

#include <cxxabi.h>
#include <execinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <sstream>
#include <system_error>
#include <typeinfo>
#include <unordered_set>

namespace runemeter {

namespace {

constexpr int kMaxFrames = 64;

std::string localTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    if (localtime_r(&now, &parts) == nullptr) {
        return "(unknown)";
    }
    char text[32];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parts);
    return std::string(text, n);
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A folder takes the report when the file can be created in it or appended to.
bool canWriteReport(const std::string& folder, const std::string& fileName) {
    if (folder.empty()) {
        return false;
    }
    const std::string file = folder + fileName;
    if (::access(file.c_str(), F_OK) == 0) {
        return ::access(file.c_str(), W_OK) == 0;
    }
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

void writeStderr(const std::string& text) noexcept {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

std::vector<std::string> parseModuleList(std::string_view mapsText) {
    std::vector<std::string> modules;
    std::unordered_set<std::string> seen;
    while (!mapsText.empty()) {
        const std::size_t end = mapsText.find('\n');
        std::string_view line = mapsText.substr(0, end);
        mapsText = end == std::string_view::npos ? std::string_view() : mapsText.substr(end + 1);

        // address perms offset dev inode path; the path is everything after the fifth field.
        std::string_view fields[5];
        bool complete = true;
        for (std::string_view& field : fields) {
            const std::size_t start = line.find_first_not_of(' ');
            if (start == std::string_view::npos) {
                complete = false;
                break;
            }
            line.remove_prefix(start);
            const std::size_t stop = line.find(' ');
            field = line.substr(0, stop);
            line = stop == std::string_view::npos ? std::string_view() : line.substr(stop);
        }
        if (!complete || fields[1].size() < 3 || fields[1][2] != 'x') {
            continue;
        }
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string_view::npos || line[start] != '/') {
            continue;
        }
        std::string path(line.substr(start));
        constexpr std::string_view kDeleted = " (deleted)";
        if (path.size() > kDeleted.size() && path.ends_with(kDeleted)) {
            path.resize(path.size() - kDeleted.size());
        }
        if (seen.insert(path).second) {
            modules.push_back(std::move(path));
        }
    }
    return modules;
}

std::vector<std::string> loadedModules() {
    std::ifstream in("/proc/self/maps", std::ios::binary);
    if (!in) {
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    return parseModuleList(text.str());
}

std::string runningExecutable() {
    std::error_code error;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : exe.string();
}

std::string demangledName(const char* mangled) {
    if (mangled == nullptr) {
        return {};
    }
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> plain(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    return status == 0 && plain ? std::string(plain.get()) : std::string(mangled);
}

std::vector<std::string> currentStackTrace(int skip) {
    void* frames[kMaxFrames];
    const int count = ::backtrace(frames, kMaxFrames);
    std::unique_ptr<char*, void (*)(void*)> symbols(::backtrace_symbols(frames, count), std::free);
    std::vector<std::string> trace;
    if (!symbols) {
        return trace;
    }
    // Frame 0 is this function.
    for (int i = 1 + (skip > 0 ? skip : 0); i < count; ++i) {
        std::string line = symbols.get()[i];
        // "file(mangled+offset) [address]": demangle the name between '(' and '+'.
        const std::size_t open = line.find('(');
        const std::size_t plus = line.find('+', open == std::string::npos ? 0 : open);
        if (open != std::string::npos && plus != std::string::npos && plus > open + 1) {
            const std::string mangled = line.substr(open + 1, plus - open - 1);
            line.replace(open + 1, plus - open - 1, demangledName(mangled.c_str()));
        }
        trace.push_back(std::move(line));
    }
    return trace;
}

void describeException(const std::exception_ptr& error, std::string& typeName,
                       std::string& message) {
    typeName.clear();
    message.clear();
    if (!error) {
        typeName = "(no exception)";
        return;
    }
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        typeName = demangledName(typeid(e).name());
        message = e.what();
    } catch (const std::string& text) {
        typeName = "std::string";
        message = text;
    } catch (const char* text) {
        typeName = "const char*";
        message = text != nullptr ? text : "";
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        typeName = type != nullptr ? demangledName(type->name()) : "unknown exception";
    }
}

std::string formatReport(const ExceptionRecord& record, const std::string& localTime) {
    std::string text;
    text += "=== Error report ===\n";
    text += "Time: " + localTime + "\n";
    text += "Program: " + record.options.programName;
    if (!record.options.programVersion.empty()) {
        text += " " + record.options.programVersion;
    }
    text += "\n";
    text += "Executable: " + record.options.moduleFilePath + "\n";
    text += "Process: " + std::to_string(::getpid()) + "\n";
    text += "Exception: " + record.typeName + "\n";
    text += "Message:";
    // Continuation lines are indented so a message never imitates a heading of the report.
    std::string_view rest = record.message;
    do {
        const std::size_t end = rest.find('\n');
        text += " ";
        text += rest.substr(0, end);
        text += "\n";
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!rest.empty()) {
            text += " ";
        }
    } while (!rest.empty());
    text += "Modules:\n";
    for (std::size_t i = 0; i < record.modules.size(); ++i) {
        text += "  " + std::to_string(i + 1) + ": " + record.modules[i] + "\n";
    }
    text += "Stack trace:\n";
    if (record.stackTrace.empty()) {
        text += "  (not available)\n";
    }
    for (std::size_t i = 0; i < record.stackTrace.size(); ++i) {
        text += "  #" + std::to_string(i) + " " + record.stackTrace[i] + "\n";
    }
    text += "\n";
    return text;
}

std::string reportFileName(std::string_view moduleFilePath) {
    const std::size_t slash = moduleFilePath.rfind('/');
    std::string name(slash == std::string_view::npos ? moduleFilePath
                                                     : moduleFilePath.substr(slash + 1));
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) {
        name.resize(dot);
    }
    return name + ".elf";
}

std::string withTrailingDelimiter(std::string folder) {
    if (!folder.empty() && folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

CrashReporter& CrashReporter::instance() {
    static CrashReporter reporter;
    return reporter;
}

CrashReporter::CrashReporter() {
    m_options.moduleFilePath = runningExecutable();
    m_options.outputFolder = folderOf(m_options.moduleFilePath);
    m_options.programName = std::filesystem::path(m_options.moduleFilePath).stem().string();
#ifdef RUNEMETER_VERSION
    m_options.programVersion = RUNEMETER_VERSION;
#endif
}

void CrashReporter::setFallbackFolder(std::function<std::filesystem::path()> provider) {
    m_fallbackFolder = std::move(provider);
}

void CrashReporter::setShowError(ShowErrorProc proc) {
    m_showError = std::move(proc);
}

void CrashReporter::setReportSaved(ReportSavedProc proc) {
    m_reportSaved = std::move(proc);
}

void CrashReporter::setQuit(QuitProc proc) {
    m_quit = std::move(proc);
}

void CrashReporter::setNotifications(ExceptionNoticedProc noticed, ReportingActionProc action,
                                     ReportingActionFailedProc failed) {
    m_noticed = std::move(noticed);
    m_action = std::move(action);
    m_failed = std::move(failed);
}

ReportOutcome CrashReporter::report(const std::exception_ptr& error, bool canContinue) noexcept {
    try {
        std::string typeName;
        std::string message;
        describeException(error, typeName, message);
        return report(typeName, message, canContinue);
    } catch (...) {
        writeStderr("error report failed: out of memory\n");
        return {canContinue ? ShowChoice::Continue : ShowChoice::Quit, {}, false};
    }
}

ReportOutcome CrashReporter::report(const std::string& typeName, const std::string& message,
                                    bool canContinue) noexcept {
    try {
        ExceptionRecord record;
        record.typeName = typeName;
        record.message = message;
        record.canContinue = canContinue;
        // Skip this frame and the public report() overload above it where there is one.
        record.stackTrace = currentStackTrace(1);
        record.modules = loadedModules();
        record.options = m_options;
        return run(std::move(record));
    } catch (...) {
        writeStderr("error report failed: " + typeName + ": " + message + "\n");
        return {canContinue ? ShowChoice::Continue : ShowChoice::Quit, {}, false};
    }
}

ReportOutcome CrashReporter::run(ExceptionRecord record) noexcept {
    ReportOutcome outcome;
    outcome.choice = record.canContinue ? ShowChoice::Continue : ShowChoice::Quit;

    if (m_busy.exchange(true)) {
        // A second error while one is being reported (from the dialog's own event loop, from a
        // listener, from another thread) must not open a second dialog or recurse.
        outcome.nested = true;
        try {
            writeStderr("error while reporting another error: " + record.typeName + ": " +
                        record.message + "\n");
        } catch (...) {
            writeStderr("error while reporting another error\n");
        }
        notifyFailed(record, ReportingAction::ShowError);
        return outcome;
    }

    try {
        runActions(record, outcome);
    } catch (...) {
        // Out of memory between the steps: what was done stands, the rest is dropped.
        std::fputs("error report incomplete\n", stderr);
    }
    m_busy = false;
    return outcome;
}

void CrashReporter::runActions(ExceptionRecord& record, ReportOutcome& outcome) {
    bool handled = true;
    if (m_noticed) {
        try {
            m_noticed(record, handled);
        } catch (...) {
            handled = true;
        }
    }
    if (!handled) {
        // A listener took the error over: the reporter only leaves a trace.
        writeStderr("unhandled error: " + record.typeName + ": " + record.message + "\n");
        return;
    }

    const bool shown = runAction(record, ReportingAction::ShowError, [&] {
        if (m_showError) {
            outcome.choice = m_showError(record);
        } else {
            writeStderr("error: " + record.typeName + ": " + record.message + "\n");
            outcome.choice = ShowChoice::Quit;
        }
        if (!record.canContinue) {
            outcome.choice = ShowChoice::Quit;
        }
        return true;
    });
    if (shown) {
        runAction(record, ReportingAction::FinishedShowing, [] { return true; });
    }

    const std::string fileName = reportFileName(record.options.moduleFilePath);
    m_saveError.clear();
    prepareOutputFolder(record);
    const std::filesystem::path reportFile =
        std::filesystem::path(withTrailingDelimiter(record.options.outputFolder) + fileName);
    bool saveTried = false;
    const bool saved = runAction(record, ReportingAction::SaveReport, [&] {
        saveTried = true;
        if (record.options.outputFolder.empty()) {
            m_saveError = "no folder for the report";
            return false;
        }
        std::ofstream out(reportFile, std::ios::binary | std::ios::app);
        if (!out) {
            m_saveError = "cannot open " + reportFile.string() + ": " + std::strerror(errno);
            return false;
        }
        out << formatReport(record, localTimeText());
        out.close();
        if (!out) {
            m_saveError = "cannot write " + reportFile.string();
            return false;
        }
        return true;
    });
    if (saved) {
        outcome.reportFile = reportFile;
        runAction(record, ReportingAction::Saved, [&] {
            if (m_reportSaved) {
                m_reportSaved(record, true, reportFile, std::string());
            } else {
                writeStderr("error report saved in " + reportFile.string() + "\n");
            }
            return true;
        });
    } else if (saveTried) {
        // The user is told, so a missing report is never a surprise.
        try {
            if (m_reportSaved) {
                m_reportSaved(record, false, reportFile, m_saveError);
            } else {
                writeStderr("error report not saved: " + m_saveError + "\n");
            }
        } catch (...) {
            writeStderr("error report not saved: " + m_saveError + "\n");
        }
    }

    if (outcome.choice == ShowChoice::Quit) {
        runAction(record, ReportingAction::Quit, [&] {
            // A fatal error ends the program right after the report anyway.
            if (!record.canContinue) {
                return true;
            }
            if (m_quit) {
                return m_quit();
            }
            std::exit(EXIT_FAILURE);
        });
    }
}

bool CrashReporter::runAction(ExceptionRecord& record, ReportingAction action,
                              const std::function<bool()>& body) noexcept {
    const auto kind = static_cast<std::uint8_t>(action);
    bool execute = true;
    if (m_action) {
        try {
            m_action(record, kind, execute);
        } catch (...) {
            // A broken listener does not stop the report; what it decided so far stands.
        }
    }
    if (!execute) {
        return false;
    }
    bool ok = false;
    try {
        ok = body();
    } catch (...) {
        ok = false;
    }
    if (!ok) {
        notifyFailed(record, action);
    }
    return ok;
}

void CrashReporter::notifyFailed(const ExceptionRecord& record, ReportingAction action) noexcept {
    if (!m_failed) {
        return;
    }
    try {
        m_failed(record, static_cast<std::uint8_t>(action));
    } catch (...) {
        // Nothing is left to tell: the failure notification itself failed.
    }
}

bool CrashReporter::prepareOutputFolder(ExceptionRecord& record) noexcept {
    try {
        const std::string fileName = reportFileName(record.options.moduleFilePath);
        std::string folder = withTrailingDelimiter(record.options.outputFolder);
        if (folder.empty()) {
            folder = folderOf(record.options.moduleFilePath);
        }
        if (canWriteReport(folder, fileName)) {
            record.options.outputFolder = folder;
            return true;
        }
        if (m_fallbackFolder) {
            const std::filesystem::path fallback = m_fallbackFolder();
            if (!fallback.empty()) {
                std::error_code ignored;
                std::filesystem::create_directories(fallback, ignored);
                const std::string other = withTrailingDelimiter(fallback.string());
                if (canWriteReport(other, fileName)) {
                    record.options.outputFolder = other;
                    return true;
                }
            }
        }
        record.options.outputFolder = folder;
    } catch (...) {
        // The save step then reports the folder it could not use.
    }
    return false;
}

namespace {

[[noreturn]] void reportAndAbort() {
    // Only the first terminate reports; a second one (from inside the report) aborts at once.
    static std::atomic<bool> terminating{false};
    if (!terminating.exchange(true)) {
        const std::exception_ptr error = std::current_exception();
        if (error) {
            CrashReporter::instance().report(error, false);
        } else {
            CrashReporter::instance().report("std::terminate", "the program was terminated", false);
        }
    }
    std::abort();
}

}  // namespace

void installTerminateReporter() {
    std::set_terminate(reportAndAbort);
}

}  // namespace runemeter
