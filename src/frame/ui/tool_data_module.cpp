// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/tool_data_module.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QWidget>

#include "frame/about_text.h"

namespace runemeter {

namespace {

TDataModule2* s_instance = nullptr;

void destroyInstance() {
    delete s_instance;
    s_instance = nullptr;
}

// The tool's own number; the suite's programs share the image list.
constexpr int kThisTool = 13;
constexpr int kShellTool = 3;
constexpr int kFirstToolImage = 100;
constexpr int kToolImages = 50;

// Images of the menu commands.
constexpr int kImageNew = 0;
constexpr int kImageOpen = 1;
constexpr int kImageSave = 2;
constexpr int kImagePrint = 3;
constexpr int kImageExit = 4;
constexpr int kImageHelpContents = 5;
constexpr int kImageContextHelp = 6;
constexpr int kImageAbout = 7;

constexpr int kNoTag = -1;

QIcon themed(const char* name, QStyle::StandardPixmap fallback) {
    return QIcon::fromTheme(QString::fromLatin1(name),
                            QApplication::style()->standardIcon(fallback));
}

// The style has no copy image; two overlapping pages drawn in the palette's text colour say it.
QIcon drawnCopyIcon() {
    QIcon icon;
    for (const int size : {16, 24, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        const QColor ink = QApplication::palette().color(QPalette::WindowText);
        painter.setPen(QPen(ink, size / 16.0));
        painter.setBrush(QApplication::palette().color(QPalette::Base));
        const int page = size * 10 / 16;
        const int step = size * 5 / 16;
        painter.drawRect(1, 1, page - 2, page - 2);
        painter.drawRect(step, step, page - 2, page - 2);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QAction* addCommand(QMenu* menu, const QString& caption, int tag, const QKeySequence& shortcut,
                    const QIcon& icon) {
    QAction* action = menu->addAction(icon, caption);
    action->setData(tag);
    action->setShortcut(shortcut);
    // The menu is data here; its shortcuts must not fire in the tool's window.
    action->setShortcutContext(Qt::WidgetShortcut);
    return action;
}

int tagOf(const QAction* action) {
    const QVariant data = action->data();
    return data.isValid() ? data.toInt() : kNoTag;
}

}  // namespace

int ToolTypeToImageListNumber(int tool) {
    if (tool < 0 || tool >= kToolImages) {
        return -1;
    }
    return kFirstToolImage + tool;
}

int HelpContextFor(const QWidget* widget) {
    int context = 0;
    while (widget) {
        context = widget->property(kHelpContextProperty).toInt();
        if (context >= 1 || !widget->parentWidget()) {
            break;
        }
        widget = widget->parentWidget();
    }
    return context;
}

TDataModule2* TDataModule2::instance() {
    if (!s_instance) {
        Q_ASSERT_X(qobject_cast<QApplication*>(QCoreApplication::instance()), "TDataModule2",
                   "needs a QApplication");
        s_instance = new TDataModule2;
        // Post routines run first in the application's destructor, while widgets may still go.
        qAddPostRoutine(destroyInstance);
    }
    return s_instance;
}

bool TDataModule2::exists() {
    return s_instance != nullptr;
}

TDataModule2::TDataModule2() {
    // The name language files store the menus under: fixed.
    setObjectName(QStringLiteral("DataModule2"));
    m_exitHandler = [](bool) { QCoreApplication::quit(); };
    DataModuleCreate();
}

TDataModule2::~TDataModule2() {
    delete PopupActionBar1;
    delete MainMenu1;
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

void TDataModule2::LoadupTheImageLists() {
    ImageListMain = QList<QIcon>(kImageListMainSize);
    ImageListMain[kImageNew] = themed("document-new", QStyle::SP_FileIcon);
    ImageListMain[kImageOpen] = themed("document-open", QStyle::SP_DialogOpenButton);
    ImageListMain[kImageSave] = themed("document-save", QStyle::SP_DialogSaveButton);
    ImageListMain[kImagePrint] = themed("document-print", QStyle::SP_FileDialogDetailedView);
    ImageListMain[kImageExit] = themed("application-exit", QStyle::SP_DialogCloseButton);
    ImageListMain[kImageHelpContents] = themed("help-contents", QStyle::SP_DialogHelpButton);
    ImageListMain[kImageContextHelp] =
        themed("help-contextual", QStyle::SP_TitleBarContextHelpButton);
    ImageListMain[kImageAbout] = themed("help-about", QStyle::SP_MessageBoxInformation);
    ImageListMain[kImageAnalyse] = themed("system-run", QStyle::SP_MediaPlay);
    ImageListMain[kImageStop] = themed("process-stop", QStyle::SP_BrowserStop);
    ImageListMain[kImageCopy] = QIcon::fromTheme(QStringLiteral("edit-copy"), drawnCopyIcon());
    ImageListMain[ToolTypeToImageListNumber(kShellTool)] =
        themed("utilities-terminal", QStyle::SP_ComputerIcon);
    ImageListMain[ToolTypeToImageListNumber(kThisTool)] =
        themed("accessories-character-map", QStyle::SP_FileDialogInfoView);

    ImageListHelpOKCancel16 = {themed("help-contents", QStyle::SP_DialogHelpButton),
                               themed("dialog-ok", QStyle::SP_DialogOkButton),
                               themed("dialog-cancel", QStyle::SP_DialogCancelButton)};
}

void TDataModule2::buildMainMenu() {
    MainMenu1 = new QMenuBar;
    MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
    MainMenu1->setNativeMenuBar(false);
    auto group = [this](const char* title, const char* name) {
        QMenu* menu = MainMenu1->addMenu(QString::fromLatin1(title));
        menu->setObjectName(QString::fromLatin1(name));
        menu->menuAction()->setData(kNoTag);
        return menu;
    };
    QMenu* file = group("&File", "File1");
    group("&Edit", "Edit1");
    group("&View", "View1");
    QMenu* compute = group("&Compute", "Compute1");
    group("&Settings", "Settings1");
    group("&Windows", "Windows1");
    QMenu* help = group("&Help", "Help1");

    const QList<QIcon>& images = ImageListMain;
    addCommand(file, QStringLiteral("&New"), 8, QKeySequence(Qt::CTRL | Qt::Key_N),
               images[kImageNew]);
    addCommand(file, QStringLiteral("&Open..."), 3, QKeySequence(Qt::CTRL | Qt::Key_O),
               images[kImageOpen]);
    addCommand(file, QStringLiteral("&Save"), 1, QKeySequence(Qt::CTRL | Qt::Key_S),
               images[kImageSave]);
    addCommand(file, QStringLiteral("&Print..."), 4, QKeySequence(Qt::CTRL | Qt::Key_P),
               images[kImagePrint]);
    file->addSeparator()->setData(kNoTag);
    QAction* exit = addCommand(file, QStringLiteral("E&xit"), 91,
                               QKeySequence(Qt::CTRL | Qt::Key_Q), images[kImageExit]);
    exit->setObjectName(QStringLiteral("Exit1"));
    connect(exit, &QAction::triggered, this, &TDataModule2::Exit1Click);
    QAction* fastExit =
        addCommand(file, QStringLiteral("&Fast exit"), kNoTag, QKeySequence(), images[kImageExit]);
    fastExit->setObjectName(QStringLiteral("FastExit1"));
    connect(fastExit, &QAction::triggered, this, &TDataModule2::FastExit1Click);

    QAction* specific =
        addCommand(compute, QStringLiteral("&Specific to this Tool"), 66, QKeySequence(), QIcon());
    specific->setObjectName(QStringLiteral("SpecifictothisTool1"));

    addCommand(help, QStringLiteral("&Help contents"), 144, QKeySequence(Qt::Key_F1),
               images[kImageHelpContents]);
    addCommand(help, QStringLiteral("&Context Help"), 103, QKeySequence(Qt::SHIFT | Qt::Key_F1),
               images[kImageContextHelp]);
    help->addSeparator()->setData(kNoTag);
    QAction* about = addCommand(help, QStringLiteral("&About and Memory"), 145, QKeySequence(),
                                images[kImageAbout]);
    about->setObjectName(QStringLiteral("AboutandMemory1"));
    connect(about, &QAction::triggered, this, &TDataModule2::AboutandMemory1Click);
}

void TDataModule2::collectCustomisable(QAction* action, bool topLevel) {
    QMenu* subMenu = action->menu();
    MenuItemFacts facts;
    facts.caption = action->text().toStdU16String();
    facts.tag = tagOf(action);
    facts.separator = action->isSeparator();
    facts.hasSubItems = subMenu != nullptr;
    facts.topLevel = topLevel;
    if (IsCustomisableItem(facts)) {
        const std::u16string plain = StripHotkeyMarker(facts.caption);
        action->setText(QString::fromStdU16String(plain));
        CustomisableMenuItems.add(plain, facts.tag);
        m_customisable.push_back(action);
    }
    if (subMenu) {
        for (QAction* child : subMenu->actions()) {
            collectCustomisable(child, false);
        }
    }
}

void TDataModule2::DataModuleCreate() {
    LoadupTheImageLists();
    buildMainMenu();

    PopupActionBar1 = new QMenu;
    PopupActionBar1->setObjectName(QStringLiteral("PopupActionBar1"));
    WhatsThis1 = PopupActionBar1->addAction(ImageListHelpOKCancel16[kImageHelp],
                                            QStringLiteral("context help"));
    WhatsThis1->setObjectName(QStringLiteral("WhatsThis1"));
    WhatsThis1->setData(kNoTag);  // no suite command: not customisable
    WhatsThis1->setProperty(kHelpContextProperty, 0);
    connect(WhatsThis1, &QAction::triggered, this, &TDataModule2::WhatsThis1Click);
    // The suite's menu is not shown in this window: the context menu reaches the About box.
    About1 =
        PopupActionBar1->addAction(ImageListMain[kImageAbout], QStringLiteral("&About Runemeter"));
    About1->setObjectName(QStringLiteral("About1"));
    About1->setData(kNoTag);  // the suite's command is About and Memory in the main menu
    connect(About1, &QAction::triggered, this, &TDataModule2::AboutandMemory1Click);
    connect(PopupActionBar1, &QMenu::aboutToShow, this, &TDataModule2::PopupActionBar1Popup);

    if (QAction* specific = MainMenu1->findChild<QAction*>(QStringLiteral("SpecifictothisTool1"))) {
        specific->setIcon(ImageListMain[ToolTypeToImageListNumber(kThisTool)]);
    }

    for (QAction* action : MainMenu1->actions()) {
        collectCustomisable(action, true);
    }
    for (QAction* action : PopupActionBar1->actions()) {
        collectCustomisable(action, false);
    }
    CustomisableMenuItems.sortByCaption();
}

void TDataModule2::PopupActionBar1Popup() {
    if (m_contextTaken) {
        m_contextTaken = false;
        return;
    }
    PopupActionBar1PopupAt(QCursor::pos());
}

void TDataModule2::PopupActionBar1PopupAt(const QPoint& globalPos) {
    // widgetAt() passes over disabled widgets; childAt() from the window does not.
    QWidget* window = QApplication::topLevelAt(globalPos);
    if (!window || window == PopupActionBar1) {
        return;  // nothing under the pointer: keep the last context
    }
    QWidget* widget = window->childAt(window->mapFromGlobal(globalPos));
    m_whatsThisContext = HelpContextFor(widget ? widget : window);
    WhatsThis1->setProperty(kHelpContextProperty, m_whatsThisContext);
}

void TDataModule2::WhatsThis1Click() {
    if (m_helpHandler) {
        m_helpHandler(m_whatsThisContext);
    }
}

void TDataModule2::Exit1Click() {
    m_exitHandler(false);
}

void TDataModule2::FastExit1Click() {
    m_exitHandler(true);
}

void TDataModule2::AboutandMemory1Click() {
    QMessageBox::about(QApplication::activeWindow(), QString::fromStdU16String(AboutTitle()),
                       QString::fromStdU16String(AboutText()));
}

void TDataModule2::attachContextMenu(QWidget* window) {
    window->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(window, &QWidget::customContextMenuRequested, this, [this, window](const QPoint& pos) {
        // Opened from the keyboard the pointer may be anywhere; the request's place counts.
        const QPoint globalPos = window->mapToGlobal(pos);
        PopupActionBar1PopupAt(globalPos);
        m_contextTaken = true;
        PopupActionBar1->popup(globalPos);
    });
}

void TDataModule2::setHelpHandler(std::function<void(int)> handler) {
    m_helpHandler = std::move(handler);
}

void TDataModule2::setExitHandler(std::function<void(bool)> handler) {
    m_exitHandler = handler ? std::move(handler) : [](bool) { QCoreApplication::quit(); };
}

QString TDataModule2::TagToPlainMenuCaption(int tag) const {
    return QString::fromStdU16String(CustomisableMenuItems.TagToPlainMenuCaption(tag));
}

int TDataModule2::TagFromPlainMenuCaption(const QString& caption) const {
    return CustomisableMenuItems.TagFromPlainMenuCaption(caption.toStdU16String());
}

int TDataModule2::UpdatefromCustomMenuShortcutAndTags(std::span<const CustomMenuShortcut> table) {
    int changed = 0;
    for (const ShortcutUpdate& update :
         CustomisableMenuItems.UpdatefromCustomMenuShortcutAndTags(table)) {
        const QKeySequence shortcut = QKeySequence::fromString(
            QString::fromStdU16String(update.text), QKeySequence::PortableText);
        // A text that names no key leaves the item's shortcut as it was.
        if (shortcut.isEmpty() || shortcut[0].key() == Qt::Key_unknown) {
            continue;
        }
        if (QAction* action = customisableAction(update.sequence)) {
            action->setShortcut(shortcut);
            ++changed;
        }
    }
    return changed;
}

QAction* TDataModule2::customisableAction(int sequence) const {
    if (sequence < 0 || static_cast<std::size_t>(sequence) >= m_customisable.size()) {
        return nullptr;
    }
    return m_customisable[static_cast<std::size_t>(sequence)];
}

}  // namespace runemeter
