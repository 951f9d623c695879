// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/exception_handling_unit.h"

#include <filesystem>
#include <mutex>

#include "suite/logging.h"
#include "suite/shared_state.h"
#include "suite/tool_services.h"
#include "suite/unicode_text.h"

namespace runemeter::exception_handling_unit {

namespace {

std::mutex counterMutex;
int counter = 0;

void log(std::u16string_view text, bool flag = true) {
    AddToLogFile(text, flag);
}

// 8-bit texts of the reporter are the file system's UTF-8 bytes.
std::u16string widen(std::string_view text) {
    return utf8ToUtf16(text);
}

std::filesystem::path userFolder() {
    // The window sets the user folder when it is created; before that the suite's state has it.
    if (!user_read_write_folder.empty()) {
        return user_read_write_folder;
    }
    return GetUserReadWriteDir();
}

}  // namespace

std::string executableFolder(std::string_view executablePath) {
    const std::size_t slash = executablePath.rfind('/');
    return slash == std::string_view::npos ? std::string()
                                           : std::string(executablePath.substr(0, slash + 1));
}

void initialization(std::string_view argv0) {
    {
        const std::lock_guard guard(counterMutex);
        if (counter++ != 0) {
            return;
        }
    }
    CrashReporter& reporter = CrashReporter::instance();
    std::string executable = runningExecutable();
    if (executable.empty() && !argv0.empty()) {
        std::error_code ignored;
        executable = std::filesystem::absolute(std::filesystem::path(argv0), ignored).string();
    }
    if (!executable.empty()) {
        reporter.options().moduleFilePath = executable;
        reporter.options().outputFolder = executableFolder(executable);
    }
    reporter.options().programName = utf16ToUtf8(Tool_Name(kRunemeterTool));
    reporter.setFallbackFolder(userFolder);
    reporter.setNotifications(onExceptionNoticed, onReportingAction, onReportingActionFailed);
    installTerminateReporter();
}

void finalization() {
    {
        const std::lock_guard guard(counterMutex);
        if (counter == 0 || --counter != 0) {
            return;
        }
    }
    if (keeping_log) {
        log(u"quitting exception_handling_unit\r\n" + std::u16string(50, u'*'));
    }
}

int initializationCount() {
    const std::lock_guard guard(counterMutex);
    return counter;
}

void onExceptionNoticed(const ExceptionRecord& record, bool& handled) {
    (void)record;
    if (keeping_log) {
        log(u"Veltrane Error noticed");
    }
    handled = true;
}

void onReportingAction(const ExceptionRecord& record, std::uint8_t kind, bool& execute) {
    execute = true;
    if (!keeping_log || kind > 8) {
        return;
    }
    switch (kind) {
        case 0:
            for (std::size_t i = 0; i < record.modules.size(); ++i) {
                log(u"Module " + widen(std::to_string(i + 1)) + u": " + widen(record.modules[i]));
            }
            log(u"Showing error");
            break;
        case 1:
            log(u"finished showing");
            break;
        case 2:
            log(u"Saving error in " + widen(withTrailingDelimiter(record.options.outputFolder)) +
                widen(reportFileName(record.options.moduleFilePath)));
            break;
        case 3:
            log(u"Saved");
            break;
        case 4:
            log(u"Sending email");
            break;
        case 5:
            log(u"Sent email");
            break;
        case 8:
            log(u"Quitting");
            break;
        default:
            break;
    }
}

void onReportingActionFailed(const ExceptionRecord& record, std::uint8_t kind) {
    (void)record;
    if (!keeping_log) {
        return;
    }
    log(u"***", false);
    switch (kind) {
        case 0:
            log(u"Failed to show");
            break;
        case 1:
            log(u"Failed to complete showing");
            break;
        case 2:
            log(u"Failed to save");
            break;
        case 3:
            log(u"Failed to complete save");
            break;
        case 4:
            log(u"Failed to send");
            break;
        case 5:
            log(u"Failed to complete send");
            break;
        case 8:
            log(u"Failed to quit");
            break;
        default:
            break;
    }
}

}  // namespace runemeter::exception_handling_unit
