// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The character inspector beside the results list, and the filter that shows only the rows
// the list font has no glyph for. The texts come from the core (results/inspector_text.h);
// here are the fonts: which one has a glyph, which one draws it.

#include <QFont>
#include <QHash>
#include <QRawFont>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "profile/profile.h"

class QAction;
class QBoxLayout;
class QCheckBox;
class QLabel;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QSplitter;

namespace runemeter {

class TLMDListBox;

/// True when the font has a glyph for every code point.
[[nodiscard]] bool fontHasAll(const QRawFont& font, std::span<const char32_t> codePoints);

/// Finds the fonts that draw characters; remembers the installed font found per code point.
class FontFinder {
public:
    /// The family that draws the code points: font's own when it has them all, else for each
    /// one it lacks an installed family that has it (several joined by ", "). Empty: some code
    /// point has no installed font. raw: the font as QRawFont::fromFont gives it.
    [[nodiscard]] QString drawingFamily(std::span<const char32_t> codePoints, const QFont& font,
                                        const QRawFont& raw);
    /// An installed family with a glyph for the code point; empty when none has one.
    [[nodiscard]] QString installedFamilyFor(char32_t codePoint);

private:
    QHash<char32_t, QString> m_found;
    QStringList m_families;             ///< the installed families, at the first search
    std::vector<QRawFont> m_installed;  ///< the first of them, loaded as the search reached them
};

/// The pane beside the list: the selected row's character, large, in the list font and in the
/// font that draws it, and the inspector's lines. Also owns the "Missing from the list font"
/// filter box under the list, the command that shows or hides the pane (F9), and the count of
/// missing rows in the status bar.
class TCharacterInspector : public QWidget {
    Q_OBJECT
public:
    /// Puts list and pane side by side in a splitter, in place of the list in layout.
    TCharacterInspector(QMainWindow& window, TLMDListBox& list, QBoxLayout& layout);

    QSplitter* Splitter = nullptr;
    QCheckBox* FilterBox = nullptr;     ///< "Missing from the list font"
    QAction* ShowAction = nullptr;      ///< checkable; F9 and the list's context menu
    QLabel* MissingCount = nullptr;     ///< in the status bar while the filter is on
    QPlainTextEdit* Details = nullptr;  ///< the inspector's lines
    /// Adds the window's own entries (context help) to the context menu opened at a place.
    std::function<void(QMenu&, const QPoint&)> contextMenuExtras;

    /// Shows what the current row of the list is (called when the current row changes).
    void showCurrentRow();
    /// The What's This texts and the shown row again, in the language now in force.
    void retranslate();
    /// The family the pane names as drawing the current row; empty when none does.
    [[nodiscard]] const QString& drawingFamily() const { return m_drawingFamily; }

    void setVisible(bool visible) override;

private:
    void applyFilter(bool on);
    void showMissingCount(int count);
    void showContextMenu(QWidget* from, const QPoint& pos);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

    QMainWindow& m_window;
    TLMDListBox& m_list;

    class GlyphView;
    GlyphView* m_inListFont = nullptr;
    GlyphView* m_inDrawingFont = nullptr;
    FontFinder m_finder;
    QString m_drawingFamily;
};

}  // namespace runemeter
