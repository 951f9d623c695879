// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/path_box_extras.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QUrl>

#include "frame/recent_paths.h"
#include "suite/resource_strings.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

RecentPathsButton::RecentPathsButton(QLineEdit& pathBox, QWidget* parent)
    : QToolButton(parent), m_pathBox(pathBox) {
    setArrowType(Qt::DownArrow);
    setPopupMode(QToolButton::InstantPopup);
    setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));  // one arrow
    setProperty(kStoredListProperty, QStringList());
    auto* menu = new QMenu(this);
    setMenu(menu);
    connect(menu, &QMenu::aboutToShow, this, &RecentPathsButton::fillMenu);
    retranslate();
    m_pathBox.installEventFilter(this);
}

void RecentPathsButton::retranslate() {
    setWhatsThis(resourceText(ResId::VTRecentPathsWhatsThis));
    m_pathBox.setWhatsThis(resourceText(ResId::VTPathBoxWhatsThis));
}

std::vector<std::u16string> RecentPathsButton::paths() const {
    std::vector<std::u16string> stored;
    for (const QString& path : property(kStoredListProperty).toStringList()) {
        stored.push_back(toU16(path));
    }
    return CleanRecentPaths(stored);
}

void RecentPathsButton::add(const std::u16string& path) {
    QStringList list;
    for (const std::u16string& entry : WithRecentPath(paths(), path)) {
        list << fromU16(entry);
    }
    setProperty(kStoredListProperty, list);
}

void RecentPathsButton::popUp() {
    menu()->popup(m_pathBox.mapToGlobal(QPoint(0, m_pathBox.height())));
}

// The texts in the language now in force, whenever they are asked for.
bool RecentPathsButton::event(QEvent* event) {
    if (event->type() == QEvent::WhatsThis || event->type() == QEvent::QueryWhatsThis) {
        retranslate();
    }
    return QToolButton::event(event);
}

bool RecentPathsButton::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::WhatsThis || event->type() == QEvent::QueryWhatsThis) {
        retranslate();
    }
    return QToolButton::eventFilter(watched, event);
}

void RecentPathsButton::fillMenu() {
    QMenu* list = menu();
    list->clear();
    const std::vector<std::u16string> recent = paths();
    if (recent.empty()) {
        list->addAction(resourceText(ResId::VTNoRecentPaths))->setEnabled(false);
        return;
    }
    for (const std::u16string& path : recent) {
        // Shown as it was, without '&' becoming a mnemonic.
        const QString text = fromU16(path);
        QAction* action = list->addAction(QString(text).replace(u'&', QStringLiteral("&&")));
        connect(action, &QAction::triggered, this, [this, text] {
            m_pathBox.setText(text);
            m_pathBox.setFocus();
        });
    }
}

PathDropFilter::PathDropFilter(std::function<bool()> busy,
                               std::function<void(const QStringList&)> dropped,
                               std::function<void()> refused, QObject* parent)
    : QObject(parent),
      m_busy(std::move(busy)),
      m_dropped(std::move(dropped)),
      m_refused(std::move(refused)) {}

void PathDropFilter::watch(QWidget& widget) {
    widget.setAcceptDrops(true);
    widget.installEventFilter(this);
}

QStringList PathDropFilter::localPaths(const QMimeData& data) {
    QStringList paths;
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) {
            paths << QDir::toNativeSeparators(url.toLocalFile());
        }
    }
    return paths;
}

bool PathDropFilter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
        return QObject::eventFilter(watched, event);
    }
    auto* drop = static_cast<QDropEvent*>(event);
    const QMimeData* data = drop->mimeData();
    if (data == nullptr || localPaths(*data).isEmpty()) {
        // Not ours: a text dragged into the path box is still typed there.
        return QObject::eventFilter(watched, event);
    }
    if (m_busy()) {
        if (type == QEvent::DragEnter) {
            m_refused();
        }
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        m_dropped(localPaths(*data));
    }
    return true;
}

}  // namespace runemeter
