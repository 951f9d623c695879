// The desktop program: make sure the suite's shell runs, then show the main window.

#include <QApplication>
#include <QIcon>
#include <cstring>
#include <iostream>

#include "frame/start_tool.h"
#include "frame/tool_frame.h"
#include "frame/ui/crash_application.h"
#include "frame/ui/main_form.h"
#include "frame/ui/suite_link.h"
#include "frame/ui/termination_signals.h"
#include "profile/char_properties.h"
#include "suite/named_mutex.h"
#include "suite/tool_services.h"
#include "suite/ui/qt_text.h"

int main(int argc, char* argv[]) {
    using namespace runemeter;
    // Answered before anything starts, so that it needs no display and no suite.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "runemeter " << RUNEMETER_VERSION << "\n" << unicodeVersionText() << "\n";
        return 0;
    }
    initialiseUnits();
    // Its construction and destruction are the crash-event unit's start and end.
    CrashApplication application(argc, argv);
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
        // Logout, kill and Ctrl+C close the window as its close button does: nothing is lost.
        (void)closeOnTerminationSignals(form);
        result = QApplication::exec();
    }
    finaliseUnits(current_tool_var, GetShortToolFilename(current_tool_var), MainWindowHandle,
                  suiteFinaliseServices());
    return result;
}
