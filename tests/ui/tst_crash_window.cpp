// SPDX-License-Identifier: GPL-3.0-or-later
// An error in a click handler of the real window: the dialog, the saved report, the log. A report
// from another thread waits for the window thread only while that thread can take it up.

#include <stdexcept>
#include <thread>

#include "frame/ui/crash_application.h"
#include "suite/logging.h"
#include "suite/tool_services.h"
#include "ui/ui_test_support.h"

namespace runemeter {

using namespace std::chrono_literals;

class TestCrashWindow : public QObject {
    Q_OBJECT

    std::unique_ptr<test::FreshHome> m_dir;
    QTimer m_watcher;
    QString m_answer;       // the button pressed in the error dialog
    QStringList m_dialogs;  // object name and informative text of each dialog answered

    void answerDialogs() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box != nullptr && box->isVisible()) {
            m_dialogs << box->objectName() << box->informativeText();
            if (box->escapeButton() != nullptr) {  // what Escape and Enter choose
                m_dialogs << box->escapeButton()->objectName() + box->defaultButton()->objectName();
            }
            auto* button = box->findChild<QPushButton*>(m_answer);
            box->objectName() == "CrashDialog" && button ? button->click() : box->accept();
        }
    }
private slots:
    void initTestCase() {
        connect(&m_watcher, &QTimer::timeout, this, &TestCrashWindow::answerDialogs);
        SetCurrentTool(kRunemeterTool);
    }
    void cleanupTestCase() { keeping_log = false; }

    void init() {
        m_dir = std::make_unique<test::FreshHome>();
        QVERIFY(test::writeFile(m_dir->at("veltrane.log"), ""));
        SetLogFilename(pathFromQString(m_dir->at("veltrane.log")));
        keeping_log = true;
        // Reports go to the temporary folder, not beside the test program.
        CrashReporter::instance().options().outputFolder = m_dir->at("reports").toStdString();
        QDir().mkpath(m_dir->at("reports"));
        m_answer = "ButtonContinue";
        m_dialogs.clear();
        m_watcher.start(20);
    }

    void errorInAClickHandler_data() {
        QTest::addColumn<QString>("answer");
        QTest::newRow("Continue: the window goes on") << "ButtonContinue";
        QTest::newRow("Quit ends the event loop") << "ButtonQuit";
    }
    void errorInAClickHandler() {
        QFETCH(QString, answer);
        const bool quit = answer == "ButtonQuit";
        m_answer = answer;
        FormServices services;
        services.userFolder = [this] { return pathFromQString(m_dir->at("user")); };
        // With no help file, the Help button shows a message; here that message fails.
        services.message = [](const QString&, const QString&) {
            throw std::runtime_error("help message went wrong");
        };
        TForm1 form(services);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(test::writeFile(m_dir->at("veltrane.log"), ""));
        QTimer::singleShot(0, form.ButtonHelp, &QPushButton::click);
        if (quit) {  // a guard ends the loop should the quit step fail
            QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
            QCOMPARE(QApplication::exec(), 1);
        } else {
            QTRY_COMPARE(m_dialogs.size(), 5);
        }
        const QString report =
            m_dir->at("reports/") + QString::fromStdString(reportFileName(
                                        CrashReporter::instance().options().moduleFilePath));
        QCOMPARE(m_dialogs.size(), 5);
        QVERIFY2(m_dialogs[1].startsWith("help message went wrong\n\nstd::runtime_error\n\n"),
                 qPrintable(m_dialogs[1]));
        QCOMPARE(m_dialogs,
                 QStringList({"CrashDialog", m_dialogs[1], "ButtonContinueButtonContinue",
                              "CrashReportSaved", report}));
        const QString text = test::readText(report);
        QVERIFY2(text.contains("Exception: std::runtime_error\nMessage: help message went wrong\n"),
                 qPrintable(text));
        // The log tells the steps (their order is the crash-event unit's own test).
        const QString log = test::readText(m_dir->at("veltrane.log"));
        QVERIFY2(log.contains("[runemeter] Veltrane Error noticed\n") &&
                     log.contains("[runemeter] Saving error in " + report + "\n"),
                 qPrintable(log));
        QCOMPARE(log.endsWith("[runemeter] Quitting\n"), quit);
        if (!quit) {  // the window is still there and a second error is reported alike
            QVERIFY(form.isVisible() && !CrashReporter::instance().busy());
            QTest::mouseClick(form.ButtonHelp, Qt::LeftButton);
            QTRY_COMPARE(m_dialogs.size(), 10);
            QCOMPARE(test::readText(report).count("=== Error report ==="), 2);
        }
    }

    void reportFromAnotherThread_data() {
        QTest::addColumn<bool>("blocked");
        QTest::newRow("shown on the window thread") << false;
        QTest::newRow("the window thread waits for it: not shown") << true;
    }
    void reportFromAnotherThread() {
        QFETCH(bool, blocked);
        auto* app = static_cast<CrashApplication*>(QCoreApplication::instance());
        app->setWindowThreadPickUp(blocked ? 100ms : 5s);
        ReportOutcome outcome;
        std::thread worker(
            [&] { outcome = CrashReporter::instance().report("std::runtime_error", "worker"); });
        if (!blocked) {
            QTRY_COMPARE(m_dialogs.size(), 5);
        }
        worker.join();      // blocked: as when the window closes during a run and waits for it
        QTest::qWait(100);  // requests that came too late are dropped, not shown afterwards
        app->setWindowThreadPickUp(5s);
        QCOMPARE(m_dialogs.size(), blocked ? 0 : 5);
        QCOMPARE(outcome.choice, ShowChoice::Continue);
        QVERIFY(std::filesystem::exists(outcome.reportFile));
    }
};

}  // namespace runemeter

// An exception leaving a handler unwinds through Qt's frames, built without clean-up code, so
// the interrupted dispatch's events are never freed: sanitizer builds are told so here.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:QMutableEventPoint::detach\nleak:QEventPoint::QEventPoint\n"
           "leak:QtSharedPointer::ExternalRefCountData::getAndRef\nleak:QArrayData::allocate\n";
}

int main(int argc, char** argv) {
    const runemeter::test::FreshHome home;  // nothing touches the real user's suite settings
    runemeter::CrashApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Runemeter"));
    runemeter::TestCrashWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash_window.moc"
