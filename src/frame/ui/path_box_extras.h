// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Two ways into the path box besides typing it: the arrow button beside it that offers the
// paths analysed last (also Alt+Down in the box), and files or folders dropped on the window.

#include <QObject>
#include <QStringList>
#include <QToolButton>

#include <functional>
#include <string>
#include <vector>

#include "frame/ui/control_states.h"

class QLineEdit;
class QMimeData;

namespace runemeter {

/// The arrow button beside a path box: its menu lists the recent paths, most recent first;
/// choosing one puts it in the box. The list is kept in kStoredListProperty. The button keeps
/// its own and the box's What's This texts in the interface language in force.
class RecentPathsButton : public QToolButton {
    Q_OBJECT
public:
    RecentPathsButton(QLineEdit& pathBox, QWidget* parent);

    /// The recent paths, cleaned of blanks and repeats, at most ten.
    [[nodiscard]] std::vector<std::u16string> paths() const;
    /// Puts path in front of the list.
    void add(const std::u16string& path);
    /// Opens the list below the path box.
    void popUp();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void fillMenu();
    void retranslate();

    QLineEdit& m_pathBox;
};

/// Accepts local files and folders (text/uri-list) dropped on the widgets it watches and hands
/// their paths on; while busy() says so, it accepts no drop and says why instead.
class PathDropFilter : public QObject {
    Q_OBJECT
public:
    PathDropFilter(std::function<bool()> busy, std::function<void(const QStringList&)> dropped,
                   std::function<void()> refused, QObject* parent);
    /// Watches widget and lets it take drops.
    void watch(QWidget& widget);
    /// The local paths among a drop's URLs, in their order.
    [[nodiscard]] static QStringList localPaths(const QMimeData& data);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::function<bool()> m_busy;
    std::function<void(const QStringList&)> m_dropped;
    std::function<void()> m_refused;
};

}  // namespace runemeter
