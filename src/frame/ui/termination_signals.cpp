// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/termination_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>

namespace runemeter {

namespace {

// Read end and write end; made once for the process.
int g_signalPipe[2] = {-1, -1};

// Only async-signal-safe calls: one write, errno left as it was.
extern "C" void onTerminationSignal(int number) {
    const int saved = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

// Answers the dialogs that wait for the user (innermost first), so that nothing holds the close.
void answerModalDialogs() {
    for (int i = 0; i < 16; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            return;
        }
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        if (QApplication::activeModalWidget() == modal) {
            return;  // it will not go: the window's close still happens after it
        }
    }
}

}  // namespace

bool closeOnTerminationSignals(QWidget& window) {
    if (g_signalPipe[0] < 0 && ::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        g_signalPipe[0] = g_signalPipe[1] = -1;
        return false;
    }
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &window);
    QPointer<QWidget> guarded(&window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [guarded] {
        unsigned char numbers[64];
        while (::read(g_signalPipe[0], numbers, sizeof numbers) > 0) {
        }
        answerModalDialogs();
        if (!guarded.isNull()) {
            guarded->close();
        }
    });
    struct sigaction action {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
        (void)::sigaction(number, &action, nullptr);
    }
    return true;
}

}  // namespace runemeter
