// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's clipboard object: Unicode text onto the desktop clipboard.

#include <QString>

namespace runemeter {

/// The clipboard as the tool uses it: plain Unicode text only.
class TMyClipboard {
public:
    /// Puts text on the clipboard (and the selection is left alone).
    void setText(const QString& text);
    /// The clipboard's current text.
    [[nodiscard]] QString text() const;
};

/// The one clipboard object of the program, made on first use.
[[nodiscard]] TMyClipboard& SharedClipboard();

}  // namespace runemeter
