// Start-up and program end: the shell check, StartTool, the window's closing line and the
// units' closing lines in the suite's log.

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <signal.h>

#include <chrono>
#include <memory>
#include <thread>

#include "frame/TForm1.h"
#include "frame/qt_text.h"
#include "frame/start_tool.h"
#include "frame/suite_link.h"
#include "frame/tool_frame.h"
#include "suite/logging.h"
#include "suite/named_mutex.h"
#include "suite/resource_strings.h"
#include "suite/shared_state.h"
#include "suite/tool_services.h"
#include "ui/ui_test_support.h"

using namespace runemeter;
using namespace std::chrono_literals;

namespace {

/// StartTool's services recording what was asked of them.
struct FakeSuite {
    std::uint64_t shellWindow = 0;
    int initialisedAfterPolls = -1;  ///< -1: never
    std::filesystem::path executable;
    bool launchSucceeds = true;
    int launches = 0;
    int polls = 0;
    int yields = 0;
    std::u16string launchedWith;
    std::vector<std::pair<std::u16string, std::u16string>> messages;

    StartToolServices services() {
        StartToolServices s;
        s.shellWindow = [this] { return shellWindow; };
        s.shellInitialised = [this] {
            ++polls;
            return initialisedAfterPolls >= 0 && polls > initialisedAfterPolls;
        };
        s.toolExecutable = [this](int) { return executable; };
        s.launch = [this](const std::filesystem::path&, const std::u16string& parameters) {
            ++launches;
            launchedWith = parameters;
            return launchSucceeds;
        };
        s.yield = [this] { ++yields; };
        s.message = [this](const std::u16string& text, const std::u16string& caption) {
            messages.emplace_back(text, caption);
        };
        s.timeout = 300ms;
        s.pollInterval = 1ms;
        return s;
    }
};

QStringList readLogTexts(const QString& file) {
    QFile log(file);
    if (!log.open(QIODevice::ReadOnly)) {
        return {};
    }
    QStringList texts;
    for (const QByteArray& line : log.readAll().split('\n')) {
        if (!line.isEmpty()) {
            texts << QString::fromUtf8(line);
        }
    }
    return texts;
}

}  // namespace

class TestStartup : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::FreshHome> m_home;
    QString m_executable;

private slots:
    void initTestCase() {
        m_home = std::make_unique<test::FreshHome>();
        QVERIFY(m_home->isValid());
        SetCurrentTool(kRunemeterTool);
        SetupSuiteSharingAt(kRunemeterTool, suitePathsFromEnvironment());
        m_executable = m_home->path() + "/bin/shell";
        QVERIFY(test::writeFile(m_executable, "#!/bin/sh\n"));
        QFile::setPermissions(m_executable, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(test::writeFile(m_home->path() + "/bin/plain", "not a program"));
    }

    void withTheMutexNothingIsLookedFor() {
        FakeSuite suite;
        suite.executable = pathFromQString(m_executable);
        QVERIFY(!ensureShellRunning(true, suite.services()));
        QCOMPARE(suite.launches, 0);
        QCOMPARE(suite.polls, 0);
    }

    void aRegisteredShellIsNotStartedAgain() {
        FakeSuite suite;
        suite.executable = pathFromQString(m_executable);
        suite.shellWindow = 4711;
        QVERIFY(ensureShellRunning(false, suite.services()));
        QCOMPARE(suite.launches, 0);
    }

    void notAProgramIsSkippedSilently_data() {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing") << m_home->path() + "/bin/none";
        QTest::newRow("not executable") << m_home->path() + "/bin/plain";
        QTest::newRow("a folder") << m_home->path() + "/bin";
        QTest::newRow("no name") << QString();
    }

    void notAProgramIsSkippedSilently() {
        QFETCH(QString, file);
        FakeSuite suite;
        suite.executable = pathFromQString(file);
        QVERIFY(!StartTool(kShellTool, u"", suite.services()));
        QCOMPARE(suite.launches, 0);
        QVERIFY(suite.messages.empty());
    }

    void aRefusedLaunchIsReported() {
        FakeSuite suite;
        suite.executable = pathFromQString(m_executable);
        suite.launchSucceeds = false;
        QVERIFY(!StartTool(kShellTool, u"", suite.services()));
        QCOMPARE(suite.messages.size(), std::size_t{1});
        QCOMPARE(fromU16(suite.messages[0].first), "Can't start \r" + m_executable);
        QCOMPARE(fromU16(suite.messages[0].second), QStringLiteral("Fatal Error"));
        QCOMPARE(suite.polls, 0);
    }

    void theShellIsWaitedForUntilItIsUp() {
        FakeSuite suite;
        suite.executable = pathFromQString(m_executable);
        suite.initialisedAfterPolls = 5;
        QVERIFY(ensureShellRunning(false, suite.services()));
        QCOMPARE(suite.launches, 1);
        QCOMPARE(fromU16(suite.launchedWith), QStringLiteral("shell"));
        QCOMPARE(suite.polls, 6);
        QVERIFY(suite.yields >= 6);  // the window keeps handling events while it waits
    }

    void aShellThatNeverComesUpEndsTheWait() {
        FakeSuite suite;
        suite.executable = pathFromQString(m_executable);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(!StartTool(kShellTool, u"", suite.services()));
        QVERIFY(timer.elapsed() >= 300);
        QVERIFY(timer.elapsed() < 5000);
        QVERIFY(suite.polls > 1);
    }

    void theRealShellIsStartedAndFound() {
#ifndef VTSUITE_PATH
        QSKIP("vtsuite is not built");
#else
        const std::filesystem::path vtsuite = VTSUITE_PATH;
        setToolFolder(vtsuite.parent_path());
        QVERIFY(!namedMutexExists(kSuiteMutexName));
        StartToolServices services = suiteStartToolServices();
        services.timeout = 20s;
        QVERIFY(ensureShellRunning(namedMutexExists(kSuiteMutexName), services));
        QVERIFY(namedMutexExists(kSuiteMutexName));
        const SuiteWindowId shell = GetShellWnd();
        QVERIFY(shell != 0);
        QVERIFY(GetWShellInitialised());
        // Now the mutex is there: a second start-up launches nothing.
        FakeSuite suite;
        suite.executable = vtsuite;
        QVERIFY(!ensureShellRunning(namedMutexExists(kSuiteMutexName), suite.services()));
        QCOMPARE(suite.launches, 0);
        // The shell's window id is its process id.
        QCOMPARE(::kill(static_cast<pid_t>(shell), SIGTERM), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!namedMutexExists(kSuiteMutexName), 10000);
        setToolFolder({});
#endif
    }

    void closingLinesGoToTheLogInOrder() {
        const QString logFile = m_home->path() + "/suite.log";
        QVERIFY(test::writeFile(logFile, ""));
        QVERIFY(suiteStore()->update([&](SuiteState& state) {
            state.logging = true;
            state.logFile = pathFromQString(logFile);
        }));
        SetUpLogging();
        QVERIFY(keeping_log);
        {
            FormServices services = suiteFormServices();
            services.message = [](const QString&, const QString&) {};
            TForm1 form(services);
            QVERIFY(MainWindowHandle != 0);
            bool registered = false;
            for (const ToolWindow& window : GetRegisteredWindows()) {
                registered = registered ||
                             (window.tool == kRunemeterTool && window.window == MainWindowHandle);
            }
            QVERIFY(registered);
        }
        const std::uint64_t handle = MainWindowHandle;
        finaliseUnits(current_tool_var, GetShortToolFilename(current_tool_var), MainWindowHandle,
                      suiteFinaliseServices());
        QCOMPARE(MainWindowHandle, std::uint64_t{0});
        for (const ToolWindow& window : GetRegisteredWindows()) {
            QVERIFY(!(window.tool == kRunemeterTool && window.window == handle));
        }

        const QStringList lines = readLogTexts(logFile);
        const QStringList expected{
            "********** " +
                fromU16(formatWithStrings(ResourceString(ResId::VTClosingATool),
                                          std::array<std::u16string_view, 1>{u"Runemeter"})),
            "quit form_stuff2, ",
            "quit veltrane_minimal_progress, ",
            "quit chosenfilesBaseU, ",
            "quit myTagSwapLists, ",
            "quit MultiPurposeDrawgridU, ",
            "quit iniFileU, ",
            "quit language_detailsU, ",
            "unsetting runemeter main window " + QString::number(handle),
            "quit veltrane_minimal, ",
            "quit TEXTBUF",
        };
        QVERIFY2(lines.size() >= expected.size(), qPrintable(lines.join('\n')));
        const QStringList tail = lines.mid(lines.size() - expected.size());
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QVERIFY2(tail[i].endsWith(expected[i]),
                     qPrintable(QString("line %1: %2").arg(i).arg(tail[i])));
        }
        keeping_log = false;
    }

    void withoutALogTheWindowIsStillUnregistered() {
        std::vector<std::pair<int, std::uint64_t>> unset;
        int logged = 0;
        FinaliseServices services;
        services.keepingLog = [] { return false; };
        services.log = [&logged](const std::u16string&, bool) { ++logged; };
        services.unsetWnd = [&unset](int tool, std::uint64_t window) {
            unset.emplace_back(tool, window);
        };
        std::uint64_t handle = 99;
        finaliseUnits(kRunemeterTool, u"runemeter", handle, services);
        QCOMPARE(logged, 0);
        QCOMPARE(unset.size(), std::size_t{1});
        QCOMPARE(unset[0].second, std::uint64_t{99});
        QCOMPARE(handle, std::uint64_t{0});
        // The shell keeps its own entry.
        handle = 98;
        unset.clear();
        finaliseUnits(kShellTool, u"vtsuite", handle, services);
        QVERIFY(unset.empty());
        QCOMPARE(handle, std::uint64_t{0});
    }

    void helpFileRule() {
        const std::filesystem::path user = pathFromQString(m_home->path() + "/helpuser");
        QCOMPARE(pathToQString(ChooseHelpFile(user, 0x0409, "runemeter")),
                 m_home->path() + "/helpuser/runemeter.chm");
        QVERIFY(test::writeFile(m_home->path() + "/helpuser/interfaces/veltrane_9.chm", "x"));
        QCOMPARE(pathToQString(ChooseHelpFile(user, 0x0809, "runemeter")),
                 m_home->path() + "/helpuser/interfaces/veltrane_9.chm");
        QCOMPARE(pathToQString(ChooseHelpFile(user, 0x0407, "runemeter")),
                 m_home->path() + "/helpuser/runemeter.chm");
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
