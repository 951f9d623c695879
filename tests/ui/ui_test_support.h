// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Helpers of the widget tests: a fresh home folder, files in it, the window's messages and runs.

#include <QtTest>
#include <QtWidgets>

#include <filesystem>
#include <functional>

#include "frame/ui/main_form.h"
#include "suite/ui/qt_text.h"

namespace runemeter::test {

/// A temporary home with its own XDG folders, so no test touches the user's real files.
class FreshHome {
public:
    FreshHome() {
        for (const QString variable : {"HOME=", "XDG_CONFIG_HOME=/.config", "XDG_DATA_HOME=/.data",
                                       "XDG_CACHE_HOME=/.cache", "XDG_RUNTIME_DIR=/run"}) {
            qputenv(qPrintable(variable.section('=', 0, 0)),
                    (m_dir.path() + variable.section('=', 1)).toLocal8Bit());
        }
        QDir(m_dir.path()).mkpath("run");
        QFile::setPermissions(at("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    /// A path below the home folder.
    [[nodiscard]] QString at(const QString& path) const { return m_dir.path() + "/" + path; }

private:
    QTemporaryDir m_dir;
};

/// Writes bytes to a file, creating its folder; false when it cannot.
inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

/// The text of a UTF-8 file; empty when it cannot be read.
inline QString readText(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

/// The window's modal messages, and what to do while one is open (its run waits meanwhile).
struct MessageHook {
    QStringList texts;
    std::function<void()> whileShown;
    [[nodiscard]] std::function<void(const QString&, const QString&)> service() {
        return [this](const QString& text, const QString&) {
            texts << text;
            if (whileShown) {
                whileShown();
            }
        };
    }
};

/// Types path into the window, clicks Analyse and waits for the run's end; false on time-out.
inline bool runOn(TForm1& form, const QString& path) {
    form.ElFolderNameEdit1->setText(path);
    QSignalSpy finished(&form, &TForm1::runFinished);
    form.ButtonAnalyse->click();
    return finished.wait(20000);
}

}  // namespace runemeter::test
