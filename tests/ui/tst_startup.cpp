// SPDX-License-Identifier: GPL-3.0-or-later
// Start-up: the shell check; the real program finds and starts the real shell beside it, and
// closes on the signals of a session's end.

#include <signal.h>

#include "frame/start_tool.h"
#include "frame/ui/suite_link.h"
#include "suite/named_mutex.h"
#include "support/files.h"
#include "ui/ui_test_support.h"

using namespace runemeter;
using namespace std::chrono_literals;

class TestStartup : public QObject {
    Q_OBJECT

    test::FreshHome m_home;

private slots:
    // StartTool with a fake suite tracing L launch, P poll, Y yield, M message. The shell is up
    // after a number of polls; -1: never, -2: its launch fails.
    void shellCheck() {
        SetCurrentTool(kRunemeterTool);
        QVERIFY(test::writeFile(m_home.at("bin/shell"), "#!/bin/sh\n"));
        QFile::setPermissions(m_home.at("bin/shell"), QFile::ReadOwner | QFile::ExeOwner);
        QVERIFY(test::writeFile(m_home.at("bin/plain"), "not a program"));
        struct Row {
            const char* name;
            bool mutex;
            std::uint64_t window;
            const char* file;
            int shell;
            QString trace;  // ending in "...": its beginning
            bool up;
        };
        const Row rows[] = {
            {"the suite runs: nothing looked for", true, 0, "bin/shell", 0, "", false},
            {"a registered shell is not started again", false, 4711, "bin/shell", 0, "", true},
            {"not a program: skipped silently", false, 0, "bin/plain", 0, "", false},
            {"a refused launch is reported", false, 0, "bin/shell", -2,
             "LM Can't start \r" + m_home.at("bin/shell") + " | Fatal Error", false},
            {"never up: the wait ends", false, 0, "bin/shell", -1, "LPYPYPY...", false}};
        for (const Row& row : rows) {
            QString did;
            StartToolServices s;
            s.shellWindow = [&] { return row.window; };
            s.shellInitialised = [&] {
                return (did += 'P').count('P') > row.shell && row.shell >= 0;
            };
            s.toolExecutable = [&](int tool) {
                return tool == kShellTool ? pathFromQString(m_home.at(row.file)) : "";
            };
            s.launch = [&](const std::filesystem::path&, const std::u16string& parameters) {
                did += 'L';
                return row.shell > -2 && parameters == u"shell";
            };
            s.yield = [&] { did += 'Y'; };
            s.message = [&](const std::u16string& text, const std::u16string& caption) {
                did += "M " + fromU16(text) + " | " + fromU16(caption);
            };
            s.timeout = 300ms;
            s.pollInterval = 1ms;
            QVERIFY2(ensureShellRunning(row.mutex, s) == row.up, row.name);
            const bool begins = row.trace.endsWith("...") && did.startsWith(row.trace.chopped(3));
            QVERIFY2(begins || did == row.trace, qPrintable(QString(row.name) + ": " + did));
        }
    }

    // The real program starts the real shell found beside it, and SIGTERM, SIGINT and SIGHUP
    // close its window as the close button does: status 0, the settings saved, the closing lines
    // logged.
    void theRealProgramStartsTheShellAndClosesOnSignals() {
        SetupSuiteSharingAt(kRunemeterTool, suitePathsFromEnvironment());
        const auto stopShell = qScopeGuard([] {
            if (const SuiteWindowId shell = GetShellWnd(); shell > 0)
                ::kill(static_cast<pid_t>(shell), SIGTERM);
        });
        QCOMPARE(QProcess::execute(VTSUITE_PATH, {"set", "logging", "on"}), 0);
        const QString user = m_home.at(".data/Veltrane/");
        for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
            QFile::remove(user + "runemeter.ini");
            QProcess window;
            window.start(QFileInfo(VTSUITE_PATH).dir().filePath("runemeter"), QStringList());
            const qint64 pid = window.processId();
            // Until the program itself runs, the child catches what the test program catches.
            const QString exe = QStringLiteral("/proc/%1/exe").arg(pid);
            QTRY_VERIFY_WITH_TIMEOUT(QFile::symLinkTarget(exe).endsWith("/runemeter") &&
                                         test::catchesSignal(pid, number),
                                     20000);
            QVERIFY(namedMutexExists(kSuiteMutexName) && GetShellWnd() && GetWShellInitialised());
            QCOMPARE(::kill(static_cast<pid_t>(pid), number), 0);
            QVERIFY(window.waitForFinished(20000));
            QVERIFY(window.exitStatus() == QProcess::NormalExit && window.exitCode() == 0);
            QVERIFY(QFile::exists(user + "runemeter.ini"));
        }
        QCOMPARE(test::readText(user + "veltrane.log").count("Closing Runemeter."), 3);
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
