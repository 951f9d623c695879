// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop program: make sure the suite's shell runs, then show the main window, and
// analyse the path given on the command line at once.

#include <QApplication>
#include <QIcon>
#include <QMetaObject>

#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

#include "frame/start_tool.h"
#include "frame/tool_frame.h"
#include "frame/ui/crash_application.h"
#include "frame/ui/main_form.h"
#include "frame/ui/suite_link.h"
#include "frame/ui/termination_signals.h"
#include "frame/window_arguments.h"
#include "suite/named_mutex.h"
#include "suite/tool_services.h"
#include "suite/ui/qt_text.h"

int main(int argc, char* argv[]) {
    using namespace runemeter;
    // Read before Qt sees them: --help and --version need no display.
    const std::vector<std::string_view> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::error_code noFolder;
    const WindowArguments given =
        ParseWindowArguments(args, std::filesystem::current_path(noFolder));
    if (given.action != WindowArguments::Action::Open) {
        const bool print = given.action == WindowArguments::Action::Print;
        std::fputs(given.text.c_str(), print ? stdout : stderr);
        return print ? 0 : 2;
    }
    initialiseUnits();
    // Its construction and destruction are the crash-event unit's start and end.
    // Qt gets the program name only: its own options ("-style", "-platform") would otherwise
    // take paths given after "--" (QT_QPA_PLATFORM and the like still apply).
    int qtArgc = argc > 0 ? 1 : 0;
    CrashApplication application(qtArgc, argv);
    installMessageBoxes();

    // The shell is started when it is not running; the tool starts whatever the outcome.
    (void)ensureShellRunning(namedMutexExists(kSuiteMutexName), suiteStartToolServices());

    QApplication::setApplicationName(QStringLiteral("runemeter"));
    // The desktop entry's name, and its icon: from the icon theme when installed, else beside the
    // program (the build folder has the same layout).
    const QString appId = QStringLiteral("org.veltrane.Runemeter");
    QGuiApplication::setDesktopFileName(appId);
    QIcon icon = QIcon::fromTheme(appId);
    if (icon.isNull()) {
        icon = QIcon(QApplication::applicationDirPath() +
                     QStringLiteral("/../share/icons/hicolor/256x256/apps/") + appId +
                     QStringLiteral(".png"));
    }
    QApplication::setWindowIcon(icon);
    QApplication::setApplicationDisplayName(fromU16(Tool_Name(kRunemeterTool)));
    int result = 0;
    {
        TForm1 form(suiteFormServices());
        form.show();
        // After the window is shown with the last session's settings; the path given wins.
        if (!given.paths.empty()) {
            QStringList paths;
            for (const std::filesystem::path& path : given.paths) {
                paths << pathToQString(path);
            }
            QMetaObject::invokeMethod(
                &form, [&form, paths] { form.OpenPaths(paths); }, Qt::QueuedConnection);
        }
        // Logout, kill and Ctrl+C close the window as its close button does: nothing is lost.
        (void)closeOnTerminationSignals(form);
        result = QApplication::exec();
    }
    finaliseUnits(current_tool_var, GetShortToolFilename(current_tool_var), MainWindowHandle,
                  suiteFinaliseServices());
    return result;
}
