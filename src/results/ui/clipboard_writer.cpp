// SPDX-License-Identifier: GPL-3.0-or-later
#include "results/ui/clipboard_writer.h"

#include <QClipboard>
#include <QGuiApplication>

namespace runemeter {

void TMyClipboard::setText(const QString& text) {
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}

QString TMyClipboard::text() const {
    return QGuiApplication::clipboard()->text(QClipboard::Clipboard);
}

TMyClipboard& SharedClipboard() {
    static TMyClipboard clipboard;
    return clipboard;
}

}  // namespace runemeter
