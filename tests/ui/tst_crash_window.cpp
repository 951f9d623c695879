// An error thrown by a click handler of the real main window goes through the application's
// event dispatch to the crash reporter: the dialog, the saved report and the log lines.

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "frame/TForm1.h"
#include "frame/crash_application.h"
#include "frame/exception_handling_unit.h"
#include "frame/qt_text.h"
#include "suite/crash_reporter.h"
#include "suite/logging.h"
#include "suite/tool_services.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string withoutStamp(const std::string& line) {
    constexpr std::size_t kStamp = std::string_view("YYYY-MM-DD HH:MM:SS.mmm ").size();
    return line.size() < kStamp ? line : line.substr(kStamp);
}

std::string expected(std::u16string_view text, bool flag = true) {
    return withoutStamp(formatLogLine(text, flag, std::chrono::system_clock::now()));
}

// What the dialog watcher saw and did.
struct Seen {
    QStringList dialogs;  // object names, in order
    QString errorText;    // informative text of the error dialog
    bool continueOffered = false;
    QString savedText;  // informative text of the saved notice
};

}  // namespace

class TestCrashWindow : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void errorInClickHandlerIsReportedAndTheWindowGoesOn();
    void quitInTheDialogEndsTheEventLoop();
    void fatalErrorDialogOffersOnlyQuit();

private:
    // Answers the crash dialogs as they come up: presses `answer` in the error dialog and OK in
    // the notice that follows.
    void watchDialogs(const char* answer);
    [[nodiscard]] std::vector<std::string> logLines() const;
    [[nodiscard]] std::vector<std::string> expectedCrashLines(const fs::path& reportFile) const;
    [[nodiscard]] FormServices throwingServices();

    QTemporaryDir* m_dir = nullptr;
    fs::path m_log;
    fs::path m_programFolder;
    QTimer* m_watcher = nullptr;
    Seen m_seen;
    ReporterOptions m_savedOptions;
};

void TestCrashWindow::init() {
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    const fs::path root = pathFromQString(m_dir->path());
    m_log = root / "veltrane.log";
    std::ofstream(m_log).flush();
    m_programFolder = root / "program";
    fs::create_directories(m_programFolder);

    SetCurrentTool(kRunemeterTool);
    SetLogFilename(m_log);
    keeping_log = true;
    // Reports go to the temporary folder, not beside the test program.
    m_savedOptions = CrashReporter::instance().options();
    CrashReporter::instance().options().outputFolder = m_programFolder.string();
    m_seen = {};
}

void TestCrashWindow::cleanup() {
    if (m_watcher != nullptr) {
        m_watcher->stop();
        delete m_watcher;
        m_watcher = nullptr;
    }
    CrashReporter::instance().options() = m_savedOptions;
    keeping_log = false;
    SetLogFilename({});
    delete m_dir;
    m_dir = nullptr;
}

void TestCrashWindow::watchDialogs(const char* answer) {
    m_watcher = new QTimer;
    m_watcher->setInterval(20);
    const QString answerName = QString::fromLatin1(answer);
    connect(m_watcher, &QTimer::timeout, this, [this, answerName] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) {
            return;
        }
        m_seen.dialogs << box->objectName();
        if (box->objectName() == QLatin1String("CrashDialog")) {
            m_seen.errorText = box->informativeText();
            m_seen.continueOffered =
                box->findChild<QPushButton*>(QStringLiteral("ButtonContinue")) != nullptr;
            auto* button = box->findChild<QPushButton*>(answerName);
            if (button != nullptr) {
                button->click();
            } else {
                box->reject();
            }
        } else {
            if (box->objectName() == QLatin1String("CrashReportSaved")) {
                m_seen.savedText = box->informativeText();
            }
            box->accept();
        }
    });
    m_watcher->start();
}

std::vector<std::string> TestCrashWindow::logLines() const {
    std::ifstream in(m_log, std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
        lines.push_back(withoutStamp(line));
    }
    return lines;
}

std::vector<std::string> TestCrashWindow::expectedCrashLines(const fs::path& reportFile) const {
    std::vector<std::string> lines{expected(u"Veltrane Error noticed")};
    const std::vector<std::string> modules = loadedModules();
    for (std::size_t i = 0; i < modules.size(); ++i) {
        lines.push_back(expected(u"Module " + utf8ToUtf16(std::to_string(i + 1)) + u": " +
                                 utf8ToUtf16(modules[i])));
    }
    lines.push_back(expected(u"Showing error"));
    lines.push_back(expected(u"finished showing"));
    lines.push_back(expected(u"Saving error in " + utf8ToUtf16(reportFile.string())));
    lines.push_back(expected(u"Saved"));
    return lines;
}

FormServices TestCrashWindow::throwingServices() {
    FormServices services;
    const fs::path user = pathFromQString(m_dir->path()) / "user";
    services.userFolder = [user] { return user; };
    services.helpFile = [] { return fs::path(); };
    services.chosenLanguage = [] { return 0u; };
    services.registerWindow = [](int, std::uint64_t) {};
    services.log = [](const std::u16string&, bool) {};
    // With no help file, the Help button shows a message; here that message fails.
    services.message = [](const QString&, const QString&) {
        throw std::runtime_error("help message went wrong");
    };
    return services;
}

void TestCrashWindow::errorInClickHandlerIsReportedAndTheWindowGoesOn() {
    TForm1 form(throwingServices());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    std::ofstream(m_log, std::ios::trunc).flush();
    watchDialogs("ButtonContinue");

    QTest::mouseClick(form.ButtonHelp, Qt::LeftButton);
    QTRY_COMPARE(m_seen.dialogs.size(), 2);

    QCOMPARE(m_seen.dialogs, (QStringList{"CrashDialog", "CrashReportSaved"}));
    QVERIFY2(m_seen.errorText.contains(QStringLiteral("help message went wrong")),
             qPrintable(m_seen.errorText));
    QVERIFY(m_seen.errorText.contains(QStringLiteral("std::runtime_error")));
    QVERIFY(m_seen.continueOffered);

    const std::string reportName =
        reportFileName(CrashReporter::instance().options().moduleFilePath);
    const fs::path reportFile = m_programFolder / reportName;
    QCOMPARE(m_seen.savedText, pathToQString(reportFile));
    const std::string report = readFile(reportFile);
    QVERIFY2(report.find("Exception: std::runtime_error\n") != std::string::npos, report.c_str());
    QVERIFY(report.find("Message: help message went wrong\n") != std::string::npos);
    QVERIFY(report.find("Program: Runemeter ") != std::string::npos);

    QCOMPARE(logLines(), expectedCrashLines(reportFile));

    // The window is still there and a second error is reported the same way.
    QVERIFY(form.isVisible());
    QVERIFY(!CrashReporter::instance().busy());
    QTest::mouseClick(form.ButtonHelp, Qt::LeftButton);
    QTRY_COMPARE(m_seen.dialogs.size(), 4);
    const std::string twice = readFile(reportFile);
    const std::size_t first = twice.find("=== Error report ===");
    QVERIFY(first != std::string::npos);
    QVERIFY(twice.find("=== Error report ===", first + 1) != std::string::npos);
}

void TestCrashWindow::quitInTheDialogEndsTheEventLoop() {
    TForm1 form(throwingServices());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    std::ofstream(m_log, std::ios::trunc).flush();
    watchDialogs("ButtonQuit");

    QTimer::singleShot(0, &form, [&form] { QTest::mouseClick(form.ButtonHelp, Qt::LeftButton); });
    // A guard so that a broken quit step fails the test instead of hanging it.
    QTimer::singleShot(20000, [] { QCoreApplication::exit(99); });
    const int status = QApplication::exec();

    QCOMPARE(status, 1);
    QCOMPARE(m_seen.dialogs, (QStringList{"CrashDialog", "CrashReportSaved"}));
    const fs::path reportFile =
        m_programFolder / reportFileName(CrashReporter::instance().options().moduleFilePath);
    std::vector<std::string> lines = expectedCrashLines(reportFile);
    lines.push_back(expected(u"Quitting"));
    QCOMPARE(logLines(), lines);
}

void TestCrashWindow::fatalErrorDialogOffersOnlyQuit() {
    ExceptionRecord record;
    record.typeName = "std::bad_alloc";
    record.message = "std::bad_alloc";
    record.canContinue = false;
    std::unique_ptr<QMessageBox> box(CrashApplication::createErrorDialog(record));
    QVERIFY(box->findChild<QPushButton*>(QStringLiteral("ButtonContinue")) == nullptr);
    auto* quit = box->findChild<QPushButton*>(QStringLiteral("ButtonQuit"));
    QVERIFY(quit != nullptr);
    QCOMPARE(box->escapeButton(), static_cast<QAbstractButton*>(quit));

    record.canContinue = true;
    box.reset(CrashApplication::createErrorDialog(record));
    auto* go = box->findChild<QPushButton*>(QStringLiteral("ButtonContinue"));
    QVERIFY(go != nullptr);
    QCOMPARE(box->escapeButton(), static_cast<QAbstractButton*>(go));
    QCOMPARE(box->defaultButton(), go);
}

}  // namespace runemeter

int main(int argc, char** argv) {
    // A fresh home so that nothing touches the real user's suite settings.
    QTemporaryDir home;
    const QByteArray h = home.path().toUtf8();
    qputenv("HOME", h);
    qputenv("XDG_CONFIG_HOME", h + "/config");
    qputenv("XDG_DATA_HOME", h + "/data");
    qputenv("XDG_RUNTIME_DIR", h + "/runtime");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    runemeter::CrashApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Runemeter"));
    runemeter::TestCrashWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_crash_window.moc"
