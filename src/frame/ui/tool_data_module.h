// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The suite's common data module: the context menu with "context help", the suite-wide main
// menu kept as data, the list of customisable menu items and the suite's image lists. It exists
// once per process and lives until the application object goes.

#include "frame/customise_menu.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPoint>
#include <QString>

#include <filesystem>
#include <functional>
#include <span>
#include <vector>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace runemeter {

struct InterfaceLanguageServices;

/// Dynamic int property of a widget holding its help context (0 or none: ask the parent).
inline constexpr char kHelpContextProperty[] = "helpContext";

/// Indexes of ImageListMain that the tool's window uses.
inline constexpr int kImageAnalyse = 23;
inline constexpr int kImageStop = 55;
inline constexpr int kImageCopy = 137;
/// Index of ImageListHelpOKCancel16 for the help image.
inline constexpr int kImageHelp = 0;
/// Entries of ImageListMain.
inline constexpr int kImageListMainSize = 150;

/// The index in ImageListMain of a suite program's image (13 is this tool, 3 the shell).
[[nodiscard]] int ToolTypeToImageListNumber(int tool);

/// The help context a widget answers with: its own, else that of its nearest ancestor above 0,
/// else the top-level widget's own (possibly 0).
[[nodiscard]] int HelpContextFor(const QWidget* widget);

/// The shared data module.
class TDataModule2 : public QObject {
    Q_OBJECT

public:
    /// The one module, created on the first call. Needs a QApplication.
    [[nodiscard]] static TDataModule2* instance();
    /// True once instance() has created it (and until the application ends).
    [[nodiscard]] static bool exists();
    ~TDataModule2() override;

    /// Fills the image lists from the desktop's icon theme, with the style's icons as fallback.
    void LoadupTheImageLists();

    /// Runs when the context menu opens: takes the help context of the widget under the pointer.
    void PopupActionBar1Popup();
    /// The same for a given screen position.
    void PopupActionBar1PopupAt(const QPoint& globalPos);
    /// Opens the help context that WhatsThis1 holds through the help handler.
    void WhatsThis1Click();
    /// Ends the application after the usual exit checks.
    void Exit1Click();
    /// Ends the application without the exit checks.
    void FastExit1Click();
    /// Shows the program, its version, its character data and its licence (Help, About and
    /// Memory, and the context menu's About1).
    void AboutandMemory1Click();

    /// Shows PopupActionBar1 as the context menu of window and of its children that have none.
    void attachContextMenu(QWidget* window);

    /// Receives help contexts to open (the window opens its help file there).
    void setHelpHandler(std::function<void(int helpContext)> handler);
    /// Receives the exit requests; the flag is no_check_exit. The default quits the application.
    void setExitHandler(std::function<void(bool noCheckExit)> handler);

    /// Prepares the localisation engine for the window when the user's interfaces folder holds
    /// the tool's language file (see interface_language_ui.cpp).
    bool CheckLocalisation(const std::filesystem::path& userFolder,
                           const InterfaceLanguageServices& services);

    /// The help context WhatsThis1 holds.
    [[nodiscard]] int whatsThisHelpContext() const { return m_whatsThisContext; }

    /// The caption of the customisable item with this tag, or empty.
    [[nodiscard]] QString TagToPlainMenuCaption(int tag) const;
    /// The tag of the first customisable item with exactly this caption, or 0.
    [[nodiscard]] int TagFromPlainMenuCaption(const QString& caption) const;
    /// Gives the listed items the shortcuts a table names; returns how many items changed.
    int UpdatefromCustomMenuShortcutAndTags(std::span<const CustomMenuShortcut> table);
    /// The menu item of a list entry, by its sequence number.
    [[nodiscard]] QAction* customisableAction(int sequence) const;

    QMenu* PopupActionBar1 = nullptr;  ///< the window's context menu
    QAction* WhatsThis1 = nullptr;     ///< its first item, "context help"
    QAction* About1 = nullptr;         ///< its second, "About Runemeter": the About box
    QMenuBar* MainMenu1 = nullptr;     ///< the suite-wide menu, attached to no window
    TCustomisableMenuItemsList CustomisableMenuItems;
    QList<QIcon> ImageListMain;            ///< kImageListMainSize entries; unused ones are null
    QList<QIcon> ImageListHelpOKCancel16;  ///< help, OK, cancel

private:
    TDataModule2();
    void DataModuleCreate();
    void buildMainMenu();
    void collectCustomisable(QAction* action, bool topLevel);

    std::vector<QAction*> m_customisable;  // by sequence number
    int m_whatsThisContext = 0;
    bool m_contextTaken = false;  // set when the opener already looked under its own position
    std::function<void(int)> m_helpHandler;
    std::function<void(bool)> m_exitHandler;
};

}  // namespace runemeter
