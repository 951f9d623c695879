// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/suite_link.h"

#include <QApplication>
#include <QMessageBox>
#include <QProcess>

#include <system_error>

#include "frame/ui/interface_language_ui.h"
#include "suite/logging.h"
#include "suite/shared_state.h"
#include "suite/tool_services.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

void initialiseUnits() {
    SetCurrentTool(kRunemeterTool);
    SetupSuiteSharing(current_tool_var);
    SetLogFilename(GetLogFilename());
    colours_and_typefaces = GetDefaultColoursAndTypefaces();
    MainWindowHandle = 0;
}

void installMessageBoxes() {
    MyPMsgDlgProc = [](std::u16string_view text, std::u16string_view caption, std::uint32_t flags) {
        QWidget* parent = QApplication::activeWindow();
        const QMessageBox::Icon icon = (flags & kMbIconExclamation) == kMbIconExclamation
                                           ? QMessageBox::Warning
                                           : QMessageBox::Information;
        QMessageBox box(icon, fromU16(caption), fromU16(text), QMessageBox::Ok, parent);
        box.exec();
        return kIdOk;
    };
}

void SetUpLogging() {
    const std::filesystem::path logFile = GetLogFilename();
    SetLogFilename(logFile);
    std::error_code ec;
    keeping_log = GetLogging() && !logFile.empty() && std::filesystem::exists(logFile, ec);
}

FormServices suiteFormServices() {
    FormServices services;
    services.message = [](const QString& text, const QString& caption) {
        (void)MyPMsgDlg(toU16(text), toU16(caption), kMbOk | kMbIconExclamation);
    };
    services.log = [](const std::u16string& text, bool flag) { AddToLogFile(text, flag); };
    services.registerWindow = [](int tool, std::uint64_t window) {
        SetUpLogging();
        const auto number = static_cast<mini_tool_type>(tool);
        (void)SetNewWnd(number, window);
        (void)SetActiveMainToolWindow(number, window);
        user_read_write_folder = GetUserReadWriteDir();
    };
    services.userFolder = [] { return GetUserReadWriteDir(); };
    services.helpFile = [] { return GetHelpfilename(); };
    services.chosenLanguage = [] { return GetChosenLanguageInterface(); };
    services.toolName = [] { return Tool_Name(current_tool_var); };
    services.interfaceLanguage = [](TForm1& form) {
        SetUpInterfaceLanguage(form, GetUserReadWriteDir(), suiteInterfaceLanguageServices());
    };
    services.interfaceFont = [](TForm1&) {
        ApplyInterfaceFont(GetTextSettings(), colours_and_typefaces[kInterfaceFontColourWord]);
    };
    return services;
}

StartToolServices suiteStartToolServices() {
    StartToolServices services;
    services.shellWindow = [] { return GetShellWnd(); };
    services.shellInitialised = [] { return GetWShellInitialised(); };
    services.toolExecutable = [](int tool) {
        return GetFullToolFilename(static_cast<mini_tool_type>(tool));
    };
    services.launch = [](const std::filesystem::path& file, const std::u16string& parameters) {
        QStringList arguments;
        if (!parameters.empty()) {
            arguments = QProcess::splitCommand(fromU16(parameters));
        }
        return QProcess::startDetached(pathToQString(file), arguments);
    };
    services.yield = [] { QCoreApplication::processEvents(); };
    services.message = [](const std::u16string& text, const std::u16string& caption) {
        (void)MyPMsgDlg(text, caption, kMbOk | kMbIconExclamation);
    };
    return services;
}

FinaliseServices suiteFinaliseServices() {
    FinaliseServices services;
    services.keepingLog = [] { return keeping_log.load(); };
    services.log = [](const std::u16string& text, bool flag) { AddToLogFile(text, flag); };
    services.unsetWnd = [](int tool, std::uint64_t window) {
        (void)UnSetWnd(static_cast<mini_tool_type>(tool), window);
    };
    return services;
}

}  // namespace runemeter
