// The shared data module: one instance, its menus and customisable list, its image lists, and
// context help over widgets with and without a help context of their own.

#include "frame/tool_data_module.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QVBoxLayout>

#include <memory>
#include <vector>

using namespace runemeter;

namespace {

QAction* actionWithTag(TDataModule2* module, int tag) {
    for (const TMyMenuItemHolder& item : module->CustomisableMenuItems.items()) {
        if (item.tag == tag) {
            return module->customisableAction(item.sequence);
        }
    }
    return nullptr;
}

// A window laid out like the tool's: a panel with help context 5410 holding controls, one of
// them disabled and one with its own context, and a status bar straight on the form.
struct HelpWindow {
    std::unique_ptr<QWidget> form = std::make_unique<QWidget>();
    QWidget* panel = nullptr;
    QPushButton* button = nullptr;
    QPushButton* disabled = nullptr;
    QPushButton* disabledOwn = nullptr;
    QLineEdit* ownContext = nullptr;
    QStatusBar* statusBar = nullptr;
    QWidget* blank = nullptr;

    HelpWindow() {
        form->setObjectName(QStringLiteral("Form1"));
        form->resize(420, 488);
        auto* layout = new QVBoxLayout(form.get());
        panel = new QWidget;
        panel->setObjectName(QStringLiteral("Panel2"));
        panel->setProperty(kHelpContextProperty, 5410);
        auto* panelLayout = new QVBoxLayout(panel);
        button = new QPushButton(QStringLiteral("Analyse"));
        disabled = new QPushButton(QStringLiteral("Stop"));
        disabled->setEnabled(false);
        disabledOwn = new QPushButton(QStringLiteral("Copy"));
        disabledOwn->setEnabled(false);
        disabledOwn->setProperty(kHelpContextProperty, 88);
        ownContext = new QLineEdit;
        ownContext->setProperty(kHelpContextProperty, 77);
        panelLayout->addWidget(button);
        panelLayout->addWidget(disabled);
        panelLayout->addWidget(disabledOwn);
        panelLayout->addWidget(ownContext);
        layout->addWidget(panel);
        blank = new QWidget;  // nothing on it: the form's own area shows through
        blank->setAttribute(Qt::WA_TransparentForMouseEvents);
        blank->setMinimumHeight(100);
        layout->addWidget(blank);
        statusBar = new QStatusBar;
        layout->addWidget(statusBar);
    }
};

QPoint centreOf(const QWidget* widget) {
    return widget->mapToGlobal(widget->rect().center());
}

}  // namespace

class TestDataModule : public QObject {
    Q_OBJECT

private slots:
    void existsOnce() {
        TDataModule2* first = TDataModule2::instance();
        QVERIFY(first);
        QVERIFY(TDataModule2::exists());
        QCOMPARE(TDataModule2::instance(), first);
    }

    void menusAreThere() {
        TDataModule2* module = TDataModule2::instance();
        QCOMPARE(module->PopupActionBar1->actions().size(), 1);
        QCOMPARE(module->PopupActionBar1->actions().first(), module->WhatsThis1);
        QCOMPARE(module->WhatsThis1->text(), QStringLiteral("context help"));
        QVERIFY(!module->WhatsThis1->icon().isNull());

        QVERIFY(module->MainMenu1->parentWidget() == nullptr);
        QVERIFY(!module->MainMenu1->isVisible());
        QStringList groups;
        for (QAction* action : module->MainMenu1->actions()) {
            groups << action->text();
        }
        // Group headings are not customisable, so they keep their hotkey markers.
        QCOMPARE(groups, QStringList({"&File", "&Edit", "&View", "&Compute", "&Settings",
                                      "&Windows", "&Help"}));
        auto* fastExit = module->MainMenu1->findChild<QAction*>(QStringLiteral("FastExit1"));
        QVERIFY(fastExit);
        QCOMPARE(fastExit->text(), QStringLiteral("&Fast exit"));
    }

    void taggedItems_data() {
        QTest::addColumn<int>("tag");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("shortcut");
        QTest::newRow("New") << 8 << "New"
                             << "Ctrl+N";
        QTest::newRow("Open") << 3 << "Open..."
                              << "Ctrl+O";
        QTest::newRow("Save") << 1 << "Save"
                              << "Ctrl+S";
        QTest::newRow("Print") << 4 << "Print..."
                               << "Ctrl+P";
        QTest::newRow("Exit") << 91 << "Exit"
                              << "Ctrl+Q";
        QTest::newRow("Specific to this Tool") << 66 << "Specific to this Tool"
                                               << "";
        QTest::newRow("Help contents") << 144 << "Help contents"
                                       << "F1";
        QTest::newRow("Context Help") << 103 << "Context Help"
                                      << "Shift+F1";
        QTest::newRow("About and Memory") << 145 << "About and Memory"
                                          << "";
    }
    void taggedItems() {
        QFETCH(int, tag);
        QFETCH(QString, caption);
        QFETCH(QString, shortcut);
        TDataModule2* module = TDataModule2::instance();
        QCOMPARE(module->TagToPlainMenuCaption(tag), caption);
        QCOMPARE(module->TagFromPlainMenuCaption(caption), tag);
        QAction* action = actionWithTag(module, tag);
        QVERIFY(action);
        QCOMPARE(action->text(), caption);  // the hotkey marker was taken out in place
        QCOMPARE(action->data().toInt(), tag);
        QCOMPARE(action->shortcut().toString(QKeySequence::PortableText), shortcut);
    }

    void customisableListIsSortedByCaption() {
        TDataModule2* module = TDataModule2::instance();
        QStringList captions;
        QList<int> tags;
        for (const TMyMenuItemHolder& item : module->CustomisableMenuItems.items()) {
            captions << QString::fromStdU16String(item.caption);
            tags << item.tag;
        }
        QCOMPARE(captions,
                 QStringList({"About and Memory", "Context Help", "Exit", "Help contents", "New",
                              "Open...", "Print...", "Save", "Specific to this Tool"}));
        QCOMPARE(tags, QList<int>({145, 103, 91, 144, 8, 3, 4, 1, 66}));
        QCOMPARE(module->TagToPlainMenuCaption(27), QString());
        QCOMPARE(module->TagFromPlainMenuCaption(QStringLiteral("context help")), 0);
    }

    void imageListsGiveIcons_data() {
        QTest::addColumn<int>("list");
        QTest::addColumn<int>("index");
        QTest::newRow("analyse") << 0 << kImageAnalyse;
        QTest::newRow("stop") << 0 << kImageStop;
        QTest::newRow("copy") << 0 << kImageCopy;
        QTest::newRow("this tool") << 0 << ToolTypeToImageListNumber(13);
        QTest::newRow("help") << 1 << kImageHelp;
    }
    void imageListsGiveIcons() {
        QFETCH(int, list);
        QFETCH(int, index);
        TDataModule2* module = TDataModule2::instance();
        const QList<QIcon>& images =
            list == 0 ? module->ImageListMain : module->ImageListHelpOKCancel16;
        QVERIFY(index >= 0 && index < images.size());
        QVERIFY(!images[index].isNull());
        QVERIFY(!images[index].pixmap(16, 16).isNull());
    }

    void buttonImagesDiffer() {
        TDataModule2* module = TDataModule2::instance();
        QCOMPARE(module->ImageListMain.size(), kImageListMainSize);
        const qint64 analyse = module->ImageListMain[kImageAnalyse].cacheKey();
        const qint64 stop = module->ImageListMain[kImageStop].cacheKey();
        const qint64 copy = module->ImageListMain[kImageCopy].cacheKey();
        QVERIFY(analyse != stop && stop != copy && analyse != copy);
        QAction* specific = actionWithTag(module, 66);
        QVERIFY(specific);
        QCOMPARE(specific->icon().cacheKey(),
                 module->ImageListMain[ToolTypeToImageListNumber(13)].cacheKey());
    }

    void contextHelpUnderThePointer_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("expected");
        QTest::newRow("control without context: its panel's") << "button" << 5410;
        QTest::newRow("disabled control: its panel's") << "disabled" << 5410;
        QTest::newRow("disabled control with its own context") << "disabledOwn" << 88;
        QTest::newRow("control with its own context") << "ownContext" << 77;
        QTest::newRow("status bar on the form: the form's 0") << "statusBar" << 0;
        QTest::newRow("the form's own area") << "blank" << 0;
    }
    void contextHelpUnderThePointer() {
        QFETCH(QString, target);
        QFETCH(int, expected);
        HelpWindow window;
        window.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        const std::vector<std::pair<QString, QWidget*>> widgets = {
            {"button", window.button},           {"disabled", window.disabled},
            {"disabledOwn", window.disabledOwn}, {"ownContext", window.ownContext},
            {"statusBar", window.statusBar},     {"blank", window.blank}};
        QWidget* widget = nullptr;
        for (const auto& [name, candidate] : widgets) {
            if (name == target)
                widget = candidate;
        }
        QVERIFY(widget);

        TDataModule2* module = TDataModule2::instance();
        QList<int> opened;
        module->setHelpHandler([&opened](int context) { opened << context; });
        module->PopupActionBar1PopupAt(QPoint(-1, -1));  // some earlier value
        module->PopupActionBar1PopupAt(centreOf(window.ownContext));
        QCOMPARE(module->whatsThisHelpContext(), 77);
        module->PopupActionBar1PopupAt(centreOf(widget));
        QCOMPARE(module->whatsThisHelpContext(), expected);
        module->WhatsThis1->trigger();
        QCOMPARE(opened, QList<int>({expected}));
        module->setHelpHandler(nullptr);
    }

    void nothingUnderThePointerKeepsTheLastContext() {
        HelpWindow window;
        window.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        TDataModule2* module = TDataModule2::instance();
        module->PopupActionBar1PopupAt(centreOf(window.button));
        QCOMPARE(module->whatsThisHelpContext(), 5410);
        const QRect frame = window.form->frameGeometry();
        module->PopupActionBar1PopupAt(frame.bottomRight() + QPoint(500, 500));
        QCOMPARE(module->whatsThisHelpContext(), 5410);
    }

    // The way the window uses it: a right click over a disabled control reaches the form, whose
    // context menu then opens with the control's help context.
    void contextMenuOfTheWindow() {
        HelpWindow window;
        TDataModule2* module = TDataModule2::instance();
        module->attachContextMenu(window.form.get());
        window.form->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.form.get()));
        module->PopupActionBar1PopupAt(centreOf(window.ownContext));
        QCOMPARE(module->whatsThisHelpContext(), 77);

        const QPoint global = centreOf(window.disabledOwn);
        QContextMenuEvent event(QContextMenuEvent::Mouse, window.form->mapFromGlobal(global),
                                global);
        QApplication::sendEvent(window.form.get(), &event);
        QVERIFY(module->PopupActionBar1->isVisible());
        QCOMPARE(module->whatsThisHelpContext(), 88);
        module->PopupActionBar1->hide();
    }

    void exitCommands() {
        TDataModule2* module = TDataModule2::instance();
        QList<bool> requests;
        module->setExitHandler([&requests](bool noCheckExit) { requests << noCheckExit; });
        module->MainMenu1->findChild<QAction*>(QStringLiteral("Exit1"))->trigger();
        module->MainMenu1->findChild<QAction*>(QStringLiteral("FastExit1"))->trigger();
        module->setExitHandler(nullptr);
        QCOMPARE(requests, QList<bool>({false, true}));
    }

    void customShortcutsFromATable() {
        TDataModule2* module = TDataModule2::instance();
        std::vector<CustomMenuShortcut> table(kCustomMenuShortcutCount);
        table[0] = {u"Ctrl+Shift+N", 8};
        table[1] = {u"NoSuchKeyName", 3};  // names no key: Open keeps Ctrl+O
        table[2] = {u"F9", 66};
        table[3] = {u"F4", 27};  // tag of no customisable item
        QCOMPARE(module->UpdatefromCustomMenuShortcutAndTags(table), 2);
        QCOMPARE(actionWithTag(module, 8)->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+Shift+N")));
        QCOMPARE(actionWithTag(module, 3)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
        QCOMPARE(actionWithTag(module, 66)->shortcut(), QKeySequence(Qt::Key_F9));
    }
};

QTEST_MAIN(TestDataModule)
#include "tst_data_module.moc"
