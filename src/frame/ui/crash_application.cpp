// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/crash_application.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

#include "frame/exception_handling_unit.h"
#include "suite/resource_strings.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt's event queue orders what a thread did before it posted a call before the call itself, with
// locks that ThreadSanitizer does not see (Qt is not built with it): these two tell it so for an
// object handed over with the call. Nothing in other builds.
void handOver([[maybe_unused]] void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(object);
#endif
}
void takeOver([[maybe_unused]] void* object) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(object);
#endif
}

bool onWindowThread() {
    return QCoreApplication::instance() != nullptr &&
           QThread::currentThread() == QCoreApplication::instance()->thread();
}

// Runs work on the window thread and waits for it; false when it could not run there, or
// when the window thread did not take it up within pickUp (it may be blocked, waiting for this
// very thread): then the work is dropped instead of hanging both threads.
bool runOnWindowThread(const std::function<void()>& work, std::chrono::milliseconds pickUp) {
    if (QCoreApplication::instance() == nullptr) {
        return false;
    }
    if (onWindowThread()) {
        work();
        return true;
    }
    struct Handshake {
        std::mutex mutex;
        std::condition_variable changed;
        bool started = false;
        bool finished = false;
        bool abandoned = false;
    };
    auto handshake = std::make_shared<Handshake>();
    handOver(handshake.get());
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [handshake, work] {
            takeOver(handshake.get());
            {
                const std::lock_guard lock(handshake->mutex);
                if (handshake->abandoned) {
                    return;
                }
                handshake->started = true;
            }
            try {
                work();
            } catch (...) {
                // The waiting thread learns of it through finished alone.
            }
            const std::lock_guard lock(handshake->mutex);
            handshake->finished = true;
            handshake->changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(handshake->mutex);
    if (!handshake->changed.wait_for(lock, pickUp, [&] { return handshake->started; })) {
        handshake->abandoned = true;
        return false;
    }
    handshake->changed.wait(lock, [&] { return handshake->finished; });
    return true;
}

QString dialogTitle() {
    const QString name = QGuiApplication::applicationDisplayName();
    const QString error = resourceText(ResId::VTErrorTitle);
    return name.isEmpty() ? error : name + QStringLiteral(" - ") + error;
}

}  // namespace

CrashApplication::CrashApplication(int& argc, char** argv) : QApplication(argc, argv) {
    exception_handling_unit::initialization(argc > 0 && argv != nullptr ? argv[0] : "");
    CrashReporter& reporter = CrashReporter::instance();
    reporter.setShowError([this](const ExceptionRecord& record) {
        ShowChoice choice = record.canContinue ? ShowChoice::Continue : ShowChoice::Quit;
        if (!runOnWindowThread([&] { choice = showErrorDialog(record); },
                               m_windowThreadPickUp.load())) {
            std::fprintf(stderr, "error: %s: %s\n", record.typeName.c_str(),
                         record.message.c_str());
        }
        return choice;
    });
    reporter.setReportSaved([this](const ExceptionRecord&, bool saved,
                                   const std::filesystem::path& reportFile,
                                   const std::string& reason) {
        // Also on standard error, for whoever started the program from a terminal.
        if (saved) {
            std::fprintf(stderr, "error report saved in %s\n", reportFile.c_str());
        } else {
            std::fprintf(stderr, "error report not saved: %s\n", reason.c_str());
        }
        (void)runOnWindowThread([&] { showReportSaved(saved, reportFile, reason); },
                                m_windowThreadPickUp.load());
    });
    reporter.setQuit([] {
        // An orderly end: the event loop returns and the program closes as usual.
        QCoreApplication::exit(1);
        return true;
    });
}

CrashApplication::~CrashApplication() {
    CrashReporter& reporter = CrashReporter::instance();
    reporter.setShowError(nullptr);
    reporter.setReportSaved(nullptr);
    reporter.setQuit(nullptr);
    exception_handling_unit::finalization();
}

bool CrashApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        (void)CrashReporter::instance().report(std::current_exception());
        return false;
    }
}

QMessageBox* CrashApplication::createErrorDialog(const ExceptionRecord& record) {
    auto* box = new QMessageBox(QMessageBox::Critical, dialogTitle(),
                                resourceText(ResId::VTUnexpectedError));
    box->setObjectName(QStringLiteral("CrashDialog"));
    QString details = fromUtf8(record.message);
    if (details.isEmpty()) {
        details = resourceText(ResId::VTNoErrorMessage);
    }
    details += QStringLiteral("\n\n") + fromUtf8(record.typeName);
    details += QStringLiteral("\n\n") +
               resourceText(record.canContinue ? ResId::VTMayContinue : ResId::VTCannotContinue);
    box->setInformativeText(details);

    QString trace;
    for (const std::string& frame : record.stackTrace) {
        trace += fromUtf8(frame) + QLatin1Char('\n');
    }
    if (!trace.isEmpty()) {
        box->setDetailedText(trace);
    }

    QPushButton* quit = box->addButton(resourceText(ResId::VTQuit), QMessageBox::DestructiveRole);
    quit->setObjectName(QStringLiteral("ButtonQuit"));
    if (record.canContinue) {
        QPushButton* go = box->addButton(resourceText(ResId::VTContinue), QMessageBox::AcceptRole);
        go->setObjectName(QStringLiteral("ButtonContinue"));
        // Enter and Escape both keep the program running: nothing is lost by accident.
        box->setDefaultButton(go);
        box->setEscapeButton(go);
    } else {
        box->setDefaultButton(quit);
        box->setEscapeButton(quit);
    }
    return box;
}

ShowChoice CrashApplication::showErrorDialog(const ExceptionRecord& record) {
    std::unique_ptr<QMessageBox> box(createErrorDialog(record));
    box->exec();
    if (!record.canContinue) {
        return ShowChoice::Quit;
    }
    const QAbstractButton* clicked = box->clickedButton();
    return clicked != nullptr && clicked->objectName() == QLatin1String("ButtonQuit")
               ? ShowChoice::Quit
               : ShowChoice::Continue;
}

void CrashApplication::showReportSaved(bool saved, const std::filesystem::path& reportFile,
                                       const std::string& reason) {
    QMessageBox box(saved ? QMessageBox::Information : QMessageBox::Warning, dialogTitle(),
                    resourceText(saved ? ResId::VTReportSavedAs : ResId::VTReportNotSaved));
    box.setObjectName(QStringLiteral("CrashReportSaved"));
    box.setInformativeText(saved ? pathToQString(reportFile) : fromUtf8(reason));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    box.exec();
}

}  // namespace runemeter
