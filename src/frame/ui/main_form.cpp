// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/main_form.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <climits>
#include <system_error>

#include "frame/settings_file.h"
#include "frame/start_tool.h"
#include "frame/tool_frame.h"
#include "frame/ui/control_states.h"
#include "frame/ui/path_box_extras.h"
#include "frame/ui/tool_data_module.h"
#include "profile/analysis_run.h"
#include "profile/char_properties.h"
#include "results/copy_text.h"
#include "results/output_forms.h"
#include "results/sorting.h"
#include "results/ui/character_inspector.h"
#include "results/ui/clipboard_writer.h"
#include "results/ui/overview_tab.h"
#include "results/ui/result_export.h"
#include "results/ui/results_list.h"
#include "suite/number_format.h"
#include "suite/resource_strings.h"
#include "suite/tool_services.h"
#include "suite/ui/qt_text.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

constexpr int kClientWidth = 420;
constexpr int kClientHeight = 488;
constexpr int kPanelHeight = 169;
// The smallest window still shows the top panel whole and a few rows of the list.
constexpr int kMinimumClientWidth = 360;
constexpr int kMinimumClientHeight = kPanelHeight + 200;
// The analysis keeps only the beginning of a long text; the tab says how much is shown.
QString memoText(const AnalysisState& state) {
    const std::u16string& text = state.SourceText;
    if (static_cast<std::int64_t>(text.size()) >= state.SourceTextLength) {
        return fromU16(text);
    }
    return fromU16(text) + QStringLiteral("\n\n") +
           formatResource(ResId::VTCharactersShown,
                          {toU16(QString::number(text.size())),
                           toU16(QString::number(state.SourceTextLength))});
}

// Desktop openers of a local file (xdg-open among them) drop the URL's fragment; a small page
// in the cache folder that forwards to the anchor keeps it.
bool openInBrowser(const QUrl& url) {
    if (!url.hasFragment()) {
        return QDesktopServices::openUrl(url);
    }
    const QString folder =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + "/runemeter";
    const QString forward = folder + "/help-topic.html";
    const QString target = url.toString(QUrl::FullyEncoded).toHtmlEscaped();
    QSaveFile page(forward);
    if (!QDir().mkpath(folder) || !page.open(QIODevice::WriteOnly)) {
        return QDesktopServices::openUrl(url);
    }
    page.write(QStringLiteral("<!DOCTYPE html>\n<meta charset=\"utf-8\">\n"
                              "<meta http-equiv=\"refresh\" content=\"0; url=%1\">\n"
                              "<a href=\"%1\">%1</a>\n")
                   .arg(target)
                   .toUtf8());
    if (!page.commit()) {
        return QDesktopServices::openUrl(url);
    }
    return QDesktopServices::openUrl(QUrl::fromLocalFile(forward));
}

}  // namespace

// ---- the worker's observer: every call comes on the worker thread

class TForm1::RunObserver final : public AnalysisObserver {
public:
    explicit RunObserver(TForm1& form) : m_form(form) {}

    void fileIsEmpty(const std::filesystem::path& file) override {
        m_form.messageFromWorker(formatResource(ResId::VTFileIsEmpty, {pathToDisplay(file)}));
    }
    void failedToRead(const std::filesystem::path& file, const std::string& reason) override {
        if (m_form.m_services.log) {
            m_form.m_services.log(pathToDisplay(file) + u": " + utf8ToUtf16(reason), false);
        }
        m_form.m_problems.push_back({file.string(), {}, reason});
        m_form.messageFromWorker(formatResource(ResId::VTFailedToRead, {pathToDisplay(file)}));
    }
    void archiveProblem(const std::filesystem::path& archive, const std::string& reason) override {
        m_form.m_problems.push_back({archive.string(), {}, reason});
        m_form.messageFromWorker(
            formatResource(ResId::VTArchiveDamaged, {pathToDisplay(archive), utf8ToUtf16(reason)}));
    }
    void memberDamaged(const std::filesystem::path& archive, const std::string& member,
                       const std::string& reason) override {
        m_form.m_problems.push_back({archive.string(), member, reason});
        m_form.messageFromWorker(
            formatResource(ResId::VTMemberDamaged,
                           {utf8ToUtf16(member), pathToDisplay(archive), utf8ToUtf16(reason)}));
    }
    void foundDir(const std::filesystem::path& dir) override {
        const QString name = pathToQString(dir);
        QMetaObject::invokeMethod(
            &m_form, [form = &m_form, name] { form->FileAndDirIterator1FoundDir(name); },
            Qt::QueuedConnection);
    }
    void filesFound(std::int64_t count) override {
        m_form.m_filesFound = count;
        QMetaObject::invokeMethod(
            &m_form,
            [form = &m_form, count] {
                form->LabelResults->setText(fromU16(IntToDecStr(count, Myformatsettings())));
                const int maximum = static_cast<int>(std::clamp<std::int64_t>(count, 1, INT_MAX));
                form->PCProgressBar1->setRange(0, maximum);
                form->PCProgressBar1->setValue(0);
            },
            Qt::QueuedConnection);
    }
    void fileProcessed(std::int64_t filesRead) override {
        m_form.m_progressFilesRead = filesRead;
        m_form.postProgress();
    }
    void unsignedTextLooksLikeUtf8() override { m_form.m_unsignedHint = true; }

private:
    TForm1& m_form;
};

// ---- construction

TForm1::TForm1(FormServices services, QWidget* parent)
    : QMainWindow(parent),
      m_services(std::move(services)),
      m_observer(std::make_unique<RunObserver>(*this)) {
    // The name language files store this window under (and the controls' names below): fixed.
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Runemeter"));
    if (!m_services.message) {
        m_services.message = [this](const QString& text, const QString& caption) {
            QMessageBox::warning(this, caption, text);
        };
    }
    if (!m_services.confirm) {
        m_services.confirm = [this](const QString& question) {
            return QMessageBox::question(this, QStringLiteral("Runemeter"), question) ==
                   QMessageBox::Yes;
        };
    }
    if (!m_services.openHelp) {
        m_services.openHelp = openInBrowser;
    }
    createControls();
    FormCreate();
}

TForm1::~TForm1() {
    stopWorker();
    FormDestroy();
    // The list calls back into this window while it goes; let it go while the window is whole.
    delete takeCentralWidget();
}

// The window is built in steps, in the order the controls were always made (translations and
// the settings file find them by name; the order of children stays as it was).
void TForm1::createControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(createTopPanel(central));
    outer->addWidget(createTabs(central), 1);
    setCentralWidget(central);

    ElStatusBar1 = new QStatusBar(this);
    ElStatusBar1->setObjectName(QStringLiteral("ElStatusBar1"));
    setStatusBar(ElStatusBar1);

    // File > Save as (its mnemonic is not F: Alt+F goes to the path box).
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("MenuBarForm"));
    MenuFile = menuBar->addMenu(QStringLiteral("Fil&e"));
    MenuFile->setObjectName(QStringLiteral("MenuFile"));
    ActionSaveAs = MenuFile->addAction(QStringLiteral("Save &as..."));
    ActionSaveAs->setObjectName(QStringLiteral("ActionSaveAs"));
    ActionSaveAs->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S));
    ActionSaveAs->setIcon(style()->standardIcon(QStyle::SP_DialogSaveButton));
    setMenuBar(menuBar);

    fillBrowseMenu();
    assignHelpTopics();
    connectHandlers();
    setKeyboardOrder();

    // Client area 420 x 488, centred on the screen; never smaller than its controls need.
    setMinimumSize(minimumSizeHint().expandedTo(QSize(kMinimumClientWidth, kMinimumClientHeight)));
    resize(kClientWidth, kClientHeight);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        move(available.center() - QPoint(kClientWidth / 2, kClientHeight / 2));
    }
}

QFrame* TForm1::createTopPanel(QWidget* parent) {
    // Top panel: path, mask, options, the three buttons, the summary and the progress bar.
    Panel2 = new QFrame(parent);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameShape(QFrame::StyledPanel);
    Panel2->setFixedHeight(kPanelHeight);
    Panel2->setProperty(kHelpContextProperty, kMainHelpContext);
    auto* panelLayout = new QVBoxLayout(Panel2);
    panelLayout->setContentsMargins(6, 6, 6, 0);
    panelLayout->setSpacing(4);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(6);
    Label1 = new QLabel(QStringLiteral("&file(s)"), Panel2);
    Label1->setObjectName(QStringLiteral("Label1"));
    ElFolderNameEdit1 = new QLineEdit(Panel2);
    ElFolderNameEdit1->setObjectName(QStringLiteral("ElFolderNameEdit1"));
    ElFolderNameEdit1->setPlaceholderText(QStringLiteral("a file or a folder"));
    ElFolderNameEdit1->setClearButtonEnabled(true);
    ElFolderNameEdit1->setProperty("folderNameEdit", true);  // the interface font passes it by
    Label1->setBuddy(ElFolderNameEdit1);
    ElFolderNameEdit1Browse = new QToolButton(Panel2);
    ElFolderNameEdit1Browse->setObjectName(QStringLiteral("ElFolderNameEdit1Browse"));
    ElFolderNameEdit1Browse->setText(QStringLiteral("..."));
    ElFolderNameEdit1Browse->setToolTip(QStringLiteral("Choose a file or a folder"));
    ElFolderNameEdit1Browse->setPopupMode(QToolButton::InstantPopup);
    auto* browseMenu = new QMenu(ElFolderNameEdit1Browse);
    ElFolderNameEdit1Browse->setMenu(browseMenu);
    ElFolderNameEdit1Recent = new RecentPathsButton(*ElFolderNameEdit1, Panel2);
    ElFolderNameEdit1Recent->setObjectName(QStringLiteral("ElFolderNameEdit1Recent"));
    ElFolderNameEdit1Recent->setToolTip(QStringLiteral("Paths analysed last (Alt+Down)"));
    grid->addWidget(Label1, 0, 0);
    auto* pathRow = new QHBoxLayout;
    pathRow->setSpacing(2);
    pathRow->addWidget(ElFolderNameEdit1, 1);
    pathRow->addWidget(ElFolderNameEdit1Recent);
    pathRow->addWidget(ElFolderNameEdit1Browse);
    grid->addLayout(pathRow, 0, 1, 1, 2);

    ElComboBoxFileSpecs = new QComboBox(Panel2);
    ElComboBoxFileSpecs->setObjectName(QStringLiteral("ElComboBoxFileSpecs"));
    ElComboBoxFileSpecs->setEditable(true);
    // Masks the user types join the list, so they come back in the next session.
    ElComboBoxFileSpecs->setInsertPolicy(QComboBox::InsertAtBottom);
    ElComboBoxFileSpecs->setMaxCount(24);
    ElComboBoxFileSpecs->addItems({QStringLiteral("*.txt"), QStringLiteral("*.xml"),
                                   QStringLiteral("*.htm"), QStringLiteral("*.*")});
    ElComboBoxFileSpecs->setToolTip(
        QStringLiteral("File mask used in a folder; several masks separated by ';'"));
    // The drop-down is as wide as its widest mask: it was as wide as the box, so a long mask the
    // user typed (it joins at the bottom) was cut short.
    const auto fitMaskList = [this] {
        QAbstractItemView* view = ElComboBoxFileSpecs->view();
        view->setMinimumWidth(view->sizeHintForColumn(0) + 2 * view->frameWidth() +
                              style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
    };
    QAbstractItemModel* masks = ElComboBoxFileSpecs->model();
    connect(masks, &QAbstractItemModel::rowsInserted, this, fitMaskList);
    connect(masks, &QAbstractItemModel::rowsRemoved, this, fitMaskList);
    connect(masks, &QAbstractItemModel::dataChanged, this, fitMaskList);
    connect(masks, &QAbstractItemModel::modelReset, this, fitMaskList);
    fitMaskList();
    grid->addWidget(ElComboBoxFileSpecs, 1, 1);
    auto* options = new QVBoxLayout;
    CheckBoxZips = new QCheckBox(QStringLiteral(".&zip files too"), Panel2);
    CheckBoxZips->setObjectName(QStringLiteral("CheckBoxZips"));
    CheckBoxZips->setChecked(true);
    CheckBoxFolders = new QCheckBox(QStringLiteral("sub-fol&ders too"), Panel2);
    CheckBoxFolders->setObjectName(QStringLiteral("CheckBoxFolders"));
    CheckBoxFolders->setChecked(false);
    options->addWidget(CheckBoxZips);
    options->addWidget(CheckBoxFolders);
    grid->addLayout(options, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 1);

    // The buttons stay at the right edge as the window widens.
    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(4);
    ButtonAnalyse = new QPushButton(QStringLiteral("&Analyse"), Panel2);
    ButtonAnalyse->setObjectName(QStringLiteral("ButtonAnalyse"));
    ButtonAnalyse->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
    ButtonAnalyse->setAutoDefault(false);
    ButtonStop = new QPushButton(QStringLiteral("&Stop"), Panel2);
    ButtonStop->setObjectName(QStringLiteral("ButtonStop"));
    ButtonStop->setIcon(style()->standardIcon(QStyle::SP_MediaStop));
    ButtonStop->setToolTip(QStringLiteral("Stop the run after the current file (Esc)"));
    ButtonStop->setAutoDefault(false);
    ElPopupButtonCopy = new QPushButton(QStringLiteral("&Copy"), Panel2);
    ElPopupButtonCopy->setObjectName(QStringLiteral("ElPopupButtonCopy"));
    ElPopupButtonCopy->setIcon(
        QIcon::fromTheme(QStringLiteral("edit-copy"), style()->standardIcon(QStyle::SP_FileIcon)));
    ElPopupButtonCopy->setToolTip(QStringLiteral("Copy the list as tab-separated text"));
    ElPopupButtonCopy->setAutoDefault(false);
    buttons->addWidget(ButtonAnalyse);
    buttons->addWidget(ButtonStop);
    buttons->addWidget(ElPopupButtonCopy);
    buttons->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addLayout(grid, 1);
    top->addLayout(buttons);
    panelLayout->addLayout(top);

    LabelResults = new QLabel(Panel2);
    LabelResults->setObjectName(QStringLiteral("LabelResults"));
    LabelResults->setTextInteractionFlags(Qt::TextSelectableByMouse);
    LabelFileInfo = new QLabel(Panel2);
    LabelFileInfo->setObjectName(QStringLiteral("LabelFileInfo"));
    LabelFileInfo->setTextInteractionFlags(Qt::TextSelectableByMouse);
    panelLayout->addWidget(LabelResults);
    panelLayout->addWidget(LabelFileInfo);
    panelLayout->addStretch(1);

    PCProgressBar1 = new QProgressBar(Panel2);
    PCProgressBar1->setObjectName(QStringLiteral("PCProgressBar1"));
    PCProgressBar1->setFixedHeight(8);
    PCProgressBar1->setTextVisible(false);
    PCProgressBar1->setRange(0, 1);
    PCProgressBar1->setValue(0);
    panelLayout->addWidget(PCProgressBar1);
    return Panel2;
}

QTabWidget* TForm1::createTabs(QWidget* parent) {
    // The three tabs.
    PageControl1 = new QTabWidget(parent);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setProperty(kHelpContextProperty, kMainHelpContext);

    TabSheetResults = new QWidget;
    TabSheetResults->setObjectName(QStringLiteral("TabSheetResults"));
    auto* resultsLayout = new QVBoxLayout(TabSheetResults);
    resultsLayout->setContentsMargins(2, 2, 2, 2);
    LMDListBox1 = new TLMDListBox(TabSheetResults);
    LMDListBox1->setObjectName(QStringLiteral("LMDListBox1"));
    LMDListBox1->setItemDelegate(new ResultRowDelegate(
        [this](QPainter& painter, int index, const QRect& rect, bool selected) {
            ListBox1DrawItem(painter, index, rect, selected);
        },
        [this](int index, int& height) { LMDListBox1MeasureItem(index, height); }, LMDListBox1));
    CharacterInspector = new TCharacterInspector(*this, *LMDListBox1, *resultsLayout);
    PageControl1->addTab(TabSheetResults, QStringLiteral("&Results"));

    TabSheetOverview = new TOverviewTab;
    PageControl1->addTab(TabSheetOverview, QStringLiteral("O&verview"));

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(QStringLiteral("TabSheet1"));
    auto* settings = new QGridLayout(TabSheet1);
    auto* fontLabel = new QLabel(QStringLiteral("list f&ont"), TabSheet1);
    fontLabel->setObjectName(QStringLiteral("LabelFontName"));
    ElFontComboBox1 = new QFontComboBox(TabSheet1);
    ElFontComboBox1->setObjectName(QStringLiteral("ElFontComboBox1"));
    fontLabel->setBuddy(ElFontComboBox1);
    auto* sizeLabel = new QLabel(QStringLiteral("s&ize"), TabSheet1);
    sizeLabel->setObjectName(QStringLiteral("LabelFontSize"));
    ElSpinEditFontSize = new QSpinBox(TabSheet1);
    ElSpinEditFontSize->setObjectName(QStringLiteral("ElSpinEditFontSize"));
    ElSpinEditFontSize->setRange(8, 999);
    ElSpinEditFontSize->setValue(10);
    sizeLabel->setBuddy(ElSpinEditFontSize);
    Label2 = new QLabel(QStringLiteral("&header to cut"), TabSheet1);
    Label2->setObjectName(QStringLiteral("Label2"));
    ElEditHeaderToCut = new QLineEdit(TabSheet1);
    ElEditHeaderToCut->setObjectName(QStringLiteral("ElEditHeaderToCut"));
    ElEditHeaderToCut->setToolTip(
        QStringLiteral("Each text loses everything up to and including the first occurrence"));
    Label2->setBuddy(ElEditHeaderToCut);
    ElCheckBoxCopyCharactersOnly =
        new QCheckBox(QStringLiteral("copy &letter characters only"), TabSheet1);
    ElCheckBoxCopyCharactersOnly->setObjectName(QStringLiteral("ElCheckBoxCopyCharactersOnly"));
    // The three text choices; their items come from RetranslateTextChoices.
    const auto choiceBox = [this](const char* labelName, const char* labelText,
                                  const char* boxName) {
        auto* label = new QLabel(QString::fromUtf8(labelText), TabSheet1);
        label->setObjectName(QString::fromLatin1(labelName));
        auto* box = new QComboBox(TabSheet1);
        box->setObjectName(QString::fromLatin1(boxName));
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        label->setBuddy(box);
        return std::pair{label, box};
    };
    const auto [unsignedLabel, unsignedBox] =
        choiceBox("LabelUnsignedText", "text &without a signature", "ElComboBoxUnsignedText");
    const auto [unitLabel, unitBox] =
        choiceBox("LabelCountingUnit", "counting &unit", "ElComboBoxCountingUnit");
    const auto [normalLabel, normalBox] =
        choiceBox("LabelNormalisation", "&normalisation", "ElComboBoxNormalisation");
    ElComboBoxUnsignedText = unsignedBox;
    ElComboBoxCountingUnit = unitBox;
    ElComboBoxNormalisation = normalBox;
    RetranslateTextChoices();
    ButtonHelp = new QPushButton(QStringLiteral("Hel&p"), TabSheet1);
    ButtonHelp->setObjectName(QStringLiteral("ButtonHelp"));
    ButtonHelp->setIcon(style()->standardIcon(QStyle::SP_DialogHelpButton));
    ButtonHelp->setAutoDefault(false);
    settings->addWidget(fontLabel, 0, 0);
    settings->addWidget(ElFontComboBox1, 0, 1);
    settings->addWidget(sizeLabel, 1, 0);
    settings->addWidget(ElSpinEditFontSize, 1, 1, Qt::AlignLeft);
    settings->addWidget(Label2, 2, 0);
    settings->addWidget(ElEditHeaderToCut, 2, 1);
    settings->addWidget(ElCheckBoxCopyCharactersOnly, 3, 0, 1, 2);
    settings->addWidget(unsignedLabel, 4, 0);
    settings->addWidget(ElComboBoxUnsignedText, 4, 1, Qt::AlignLeft);
    settings->addWidget(unitLabel, 5, 0);
    settings->addWidget(ElComboBoxCountingUnit, 5, 1, Qt::AlignLeft);
    settings->addWidget(normalLabel, 6, 0);
    settings->addWidget(ElComboBoxNormalisation, 6, 1, Qt::AlignLeft);
    LabelInterfaceLanguage = new QLabel(TabSheet1);
    LabelInterfaceLanguage->setObjectName(QStringLiteral("LabelInterfaceLanguage"));
    LabelInterfaceLanguage->setTextFormat(Qt::PlainText);
    settings->addWidget(LabelInterfaceLanguage, 7, 0, 1, 2);
    LabelUnicodeVersion = new QLabel(fromU16(unicodeVersionLine()), TabSheet1);
    LabelUnicodeVersion->setObjectName(QStringLiteral("LabelUnicodeVersion"));
    LabelUnicodeVersion->setTextFormat(Qt::PlainText);
    settings->addWidget(LabelUnicodeVersion, 8, 0, 1, 2);
    settings->addWidget(ButtonHelp, 9, 0, Qt::AlignLeft);
    settings->setRowStretch(10, 1);
    settings->setColumnStretch(1, 1);
    PageControl1->addTab(TabSheet1, QStringLiteral("Se&ttings"));

    TabSheetHelp = new QWidget;
    TabSheetHelp->setObjectName(QStringLiteral("TabSheetHelp"));
    auto* sourceLayout = new QVBoxLayout(TabSheetHelp);
    sourceLayout->setContentsMargins(2, 2, 2, 2);
    Memo = new QPlainTextEdit(TabSheetHelp);
    Memo->setObjectName(QStringLiteral("Memo"));
    Memo->setReadOnly(true);
    Memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    sourceLayout->addWidget(Memo);
    PageControl1->addTab(TabSheetHelp, QStringLiteral("Source Te&xt"));
    return PageControl1;
}

void TForm1::fillBrowseMenu() {
    // Browsing offers files and folders; it starts where the current path is, else the desktop.
    const auto startFolder = [this] {
        const QString current = ElFolderNameEdit1->text().trimmed();
        const QFileInfo info(current);
        if (!current.isEmpty() && info.exists()) {
            return info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        }
        return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    };
    QMenu* browseMenu = ElFolderNameEdit1Browse->menu();
    QAction* chooseFile = browseMenu->addAction(QStringLiteral("&File..."));
    chooseFile->setObjectName(QStringLiteral("ActionBrowseFile"));
    connect(chooseFile, &QAction::triggered, this, [this, startFolder] {
        const QString file =
            QFileDialog::getOpenFileName(this, resourceText(ResId::VTChooseFile), startFolder());
        if (!file.isEmpty()) {
            ElFolderNameEdit1->setText(QDir::toNativeSeparators(file));
        }
    });
    QAction* chooseFolder = browseMenu->addAction(QStringLiteral("F&older..."));
    chooseFolder->setObjectName(QStringLiteral("ActionBrowseFolder"));
    connect(chooseFolder, &QAction::triggered, this, [this, startFolder] {
        const QString folder = QFileDialog::getExistingDirectory(
            this, resourceText(ResId::VTChooseFolder), startFolder());
        if (!folder.isEmpty()) {
            ElFolderNameEdit1->setText(QDir::toNativeSeparators(folder));
        }
    });
}

void TForm1::assignHelpTopics() {
    // Help topics: a control with a section of its own in the guide opens it; the rest, through
    // their panel or tabs, the main topic.
    auto* fontLabel = TabSheet1->findChild<QLabel*>(QStringLiteral("LabelFontName"));
    auto* sizeLabel = TabSheet1->findChild<QLabel*>(QStringLiteral("LabelFontSize"));
    const auto helpTopic = [](std::initializer_list<QWidget*> controls, int context) {
        for (QWidget* control : controls) {
            control->setProperty(kHelpContextProperty, context);
        }
    };
    helpTopic({Label1, ElFolderNameEdit1, ElFolderNameEdit1Recent, ElFolderNameEdit1Browse},
              kPathHelpContext);
    helpTopic({ElComboBoxFileSpecs}, kMaskHelpContext);
    helpTopic({CheckBoxZips, CheckBoxFolders}, kOptionsHelpContext);
    helpTopic({ButtonAnalyse, ButtonStop}, kRunHelpContext);
    helpTopic({ElPopupButtonCopy, ElCheckBoxCopyCharactersOnly}, kCopyHelpContext);
    helpTopic({TabSheetResults, LabelResults, LabelFileInfo}, kResultsHelpContext);
    helpTopic({fontLabel, ElFontComboBox1, sizeLabel, ElSpinEditFontSize}, kFontHelpContext);
    helpTopic({Label2, ElEditHeaderToCut}, kHeaderHelpContext);
    helpTopic(
        {TabSheet1->findChild<QLabel*>(QStringLiteral("LabelUnsignedText")), ElComboBoxUnsignedText,
         TabSheet1->findChild<QLabel*>(QStringLiteral("LabelCountingUnit")), ElComboBoxCountingUnit,
         TabSheet1->findChild<QLabel*>(QStringLiteral("LabelNormalisation")),
         ElComboBoxNormalisation},
        kTextChoicesHelpContext);
    helpTopic({ButtonHelp}, kMainHelpContext);
    helpTopic({TabSheetHelp}, kSourceTextHelpContext);
    helpTopic({TabSheetOverview}, kResultsHelpContext);
    ActionSaveAs->setWhatsThis(resourceText(ResId::VTSaveAsHelp));
}

void TForm1::connectHandlers() {
    // Handlers.
    connect(ButtonAnalyse, &QPushButton::clicked, this, &TForm1::ButtonAnalyseClick);
    connect(ElFolderNameEdit1, &QLineEdit::returnPressed, this, &TForm1::ButtonAnalyseClick);
    connect(ElFolderNameEdit1, &QLineEdit::textChanged, this,
            [this] { showPathValidity(true, {}); });
    // The recent paths: Alt+Down in the path box; files and folders dropped on the window.
    auto* recentKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Down), ElFolderNameEdit1);
    recentKey->setContext(Qt::WidgetShortcut);
    connect(recentKey, &QShortcut::activated, ElFolderNameEdit1Recent, &RecentPathsButton::popUp);
    auto* drops = new PathDropFilter(
        [this] { return m_run.running(); }, [this](const QStringList& paths) { OpenPaths(paths); },
        [this] { ElStatusBar1->showMessage(resourceText(ResId::VTDropWhileRunning)); }, this);
    drops->watch(*this);
    drops->watch(*ElFolderNameEdit1);
    connect(ButtonStop, &QPushButton::clicked, this, &TForm1::ButtonStopClick);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &TForm1::ButtonStopClick);
    connect(ElPopupButtonCopy, &QPushButton::clicked, this, &TForm1::ElPopupButtonCopyClick);
    connect(ActionSaveAs, &QAction::triggered, this, &TForm1::ActionSaveAsClick);
    connect(TabSheetOverview, &TOverviewTab::groupChosen, this, &TForm1::SelectGroup);
    connect(TabSheetOverview, &TOverviewTab::characterChosen, this, &TForm1::SelectCharacter);
    connect(ButtonHelp, &QPushButton::clicked, this, &TForm1::ButtonHelpClick);
    // F1: the topic of the control with the focus; Shift+F1: of the control under the pointer.
    auto* helpKey = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(helpKey, &QShortcut::activated, this, [this] {
        QWidget* focus = focusWidget();
        OpenHelp(HelpContextFor(focus ? focus : this));
    });
    auto* contextHelpKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F1), this);
    connect(contextHelpKey, &QShortcut::activated, this, [] {
        TDataModule2* module = TDataModule2::instance();
        module->PopupActionBar1PopupAt(QCursor::pos());
        module->WhatsThis1Click();
    });
    connect(LMDListBox1->header(), &QHeaderView::sectionClicked, this,
            &TForm1::LMDListBox1HeaderSectionClick);
    // The header is not reachable by keyboard; Ctrl+1 to Ctrl+5 click its sections.
    for (int section = 0; section < 5; ++section) {
        auto* sortKey = new QShortcut(QKeySequence(Qt::CTRL | (Qt::Key_1 + section)), LMDListBox1);
        sortKey->setContext(Qt::WidgetWithChildrenShortcut);
        connect(sortKey, &QShortcut::activated, this,
                [this, section] { LMDListBox1HeaderSectionClick(section); });
    }
    connect(ElFontComboBox1, &QFontComboBox::currentFontChanged, this, &TForm1::FontComboBoxChange);
    connect(ElSpinEditFontSize, &QSpinBox::valueChanged, this, &TForm1::FontComboBoxChange);
    // The inspector's context menu ends with the window's context help.
    CharacterInspector->contextMenuExtras = [](QMenu& menu, const QPoint& globalPos) {
        TDataModule2* module = TDataModule2::instance();
        module->PopupActionBar1PopupAt(globalPos);
        menu.addAction(module->WhatsThis1);
    };
}

void TForm1::setKeyboardOrder() {
    // Keyboard order: top to bottom, left to right.
    const std::array<QWidget*, 24> order{ElFolderNameEdit1,
                                         ElFolderNameEdit1Recent,
                                         ElFolderNameEdit1Browse,
                                         ElComboBoxFileSpecs,
                                         CheckBoxZips,
                                         CheckBoxFolders,
                                         ButtonAnalyse,
                                         ButtonStop,
                                         ElPopupButtonCopy,
                                         PageControl1,
                                         LMDListBox1,
                                         CharacterInspector->FilterBox,
                                         CharacterInspector->Details,
                                         TabSheetOverview->ElComboBoxGroupBy,
                                         TabSheetOverview->OverviewTable,
                                         ElFontComboBox1,
                                         ElSpinEditFontSize,
                                         ElEditHeaderToCut,
                                         ElCheckBoxCopyCharactersOnly,
                                         ElComboBoxUnsignedText,
                                         ElComboBoxCountingUnit,
                                         ElComboBoxNormalisation,
                                         ButtonHelp,
                                         Memo};
    for (std::size_t i = 1; i < order.size(); ++i) {
        setTabOrder(order[i - 1], order[i]);
    }
}

// ---- lifecycle

std::filesystem::path TForm1::userFolder() const {
    if (m_services.userFolder) {
        return m_services.userFolder();
    }
    return pathFromQString(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)) /
           "Veltrane";
}

std::filesystem::path TForm1::settingsFile() const {
    return ToolSettingsFileName(userFolder(), programFileName());
}

std::filesystem::path TForm1::programFileName() {
    return pathFromQString(QCoreApplication::applicationFilePath()).filename();
}

void TForm1::FormCreate() {
    // 0. Numbers are shown with the separators of the user's locale, as the command line does.
    Myformatsettings() =
        m_services.numberFormat ? m_services.numberFormat() : formatSettingsFromEnvironment();
    // 1. The suite knows the window by its id.
    MainWindowHandle = static_cast<std::uint64_t>(winId());
    // 2. Button images from the suite's image lists (the style's icons stay where one is missing).
    TDataModule2* dataModule = TDataModule2::instance();
    const auto setImage = [](QAbstractButton* button, const QList<QIcon>& list, int index) {
        if (index < list.size() && !list[index].isNull()) {
            button->setIcon(list[index]);
        }
    };
    setImage(ButtonAnalyse, dataModule->ImageListMain, kImageAnalyse);
    setImage(ButtonStop, dataModule->ImageListMain, kImageStop);
    setImage(ElPopupButtonCopy, dataModule->ImageListMain, kImageCopy);
    setImage(ButtonHelp, dataModule->ImageListHelpOKCancel16, kImageHelp);
    // 3. Tool frame: logging, registration with the suite, the user folder; the data module's
    //    context menu with its context help.
    if (m_services.registerWindow) {
        m_services.registerWindow(kRunemeterTool, MainWindowHandle);
    }
    dataModule->attachContextMenu(this);
    dataModule->setHelpHandler([this](int context) { OpenHelp(context); });
    // 4. Help file: the suite's, else the rule for the chosen language. The rule's places stay
    //    behind the suite's file, for a suite that names a file no longer there.
    const std::filesystem::path suiteHelp =
        m_services.helpFile ? m_services.helpFile() : std::filesystem::path{};
    std::uint32_t language = m_services.chosenLanguage ? m_services.chosenLanguage() : 0;
    if (language == 0) {
        language = 0x0409;  // the native interface is English
    }
    if (suiteHelp.empty()) {
        (void)chooseHelpFile(language);
    } else {
        m_helpFile = suiteHelp;
        m_helpPlaces = HelpFilePlaces(userFolder(), language, programFileName());
        if (std::find(m_helpPlaces.begin(), m_helpPlaces.end(), suiteHelp) == m_helpPlaces.end()) {
            m_helpPlaces.insert(m_helpPlaces.begin(), suiteHelp);
        }
    }
    // 3d. Interface language (it may choose another help file).
    if (m_services.interfaceLanguage) {
        m_services.interfaceLanguage(*this);
    }
    // 5. The suite's interface font.
    if (m_services.interfaceFont) {
        m_services.interfaceFont(*this);
    }
    // 6. The mask box shows its first entry.
    ElComboBoxFileSpecs->setCurrentIndex(0);
    // 7. The controls' states of the last session; a damaged file leaves the defaults.
    IncludeMemos = true;
    const ControlStatesResult loaded = LoadControlStates(this, settingsFile());
    std::filesystem::path keptSettings;
    if (!loaded.ok) {
        if (m_services.log) {
            m_services.log(toU16(loaded.message), true);
        }
        // A hand edit gone wrong is kept at once, before the close overwrites the file.
        keptSettings = KeepDamagedSettingsFile(settingsFile());
    }
    // 8. A restored font name becomes the chosen font.
    if (!ElFontComboBox1->currentText().isEmpty()) {
        ElFontComboBox1->setCurrentFont(QFont(ElFontComboBox1->currentText()));
    }
    // 8b. The text choices and the overview's key are stored by index; their items are ours,
    //     in this language.
    RetranslateTextChoices();
    TabSheetOverview->retranslate();
    // 9. The suite's code may let the window breathe during long work on this thread.
    AYieldProcessProc = [] { QCoreApplication::processEvents(); };
    // 10. Empty summary, Results tab in front, whatever was stored.
    LabelFileInfo->clear();
    LabelResults->clear();
    PageControl1->setCurrentIndex(0);
    showPathValidity(true, {});
    // The user hears once where the unreadable settings went.
    if (!keptSettings.empty()) {
        ElStatusBar1->showMessage(
            formatResource(ResId::VTSettingsKept, {pathToDisplay(keptSettings)}));
    }
}

void TForm1::ShowNote(const std::u16string& text) {
    if (m_services.log) {
        m_services.log(text, true);
    }
    ElStatusBar1->showMessage(fromU16(text));
}

void TForm1::FormShow() {
    FontComboBoxChange();
    if (m_widenedToTheList) {
        return;
    }
    // The first time it is shown, the window widens (as far as the screen allows) until the
    // list's sections fit beside its vertical scroll bar.
    m_widenedToTheList = true;
    // Measured once the layout has given the list its place.
    QMetaObject::invokeMethod(
        this,
        [this] {
            QScrollBar* bar = LMDListBox1->verticalScrollBar();
            const int scrollBar = bar->isVisible() ? 0 : bar->sizeHint().width();
            int wider = LMDListBox1->sectionsWidth() + scrollBar - LMDListBox1->viewport()->width();
            if (const QScreen* shown = screen()) {
                wider =
                    std::min(wider, shown->availableGeometry().width() - frameGeometry().width());
            }
            if (wider > 0) {
                resize(width() + wider, height());
                // Widened to the right, the window moves left as far as needed to stay whole.
                if (const QScreen* shown = screen()) {
                    const int over = frameGeometry().right() - shown->availableGeometry().right();
                    if (over > 0) {
                        move(std::max(shown->availableGeometry().left(), x() - over), y());
                    }
                }
            }
        },
        Qt::QueuedConnection);
}

void TForm1::FormResize() {
    LMDListBox1->viewport()->update();
}

void TForm1::FormDestroy() {
    if (m_destroyed) {
        return;
    }
    m_destroyed = true;
    // The Source Text is never carried over to the next session.
    IncludeMemos = false;
    const ControlStatesResult saved = SaveControlStates(this, settingsFile());
    IncludeMemos = true;
    if (!saved.ok) {
        m_services.message(formatResource(ResId::VTSettingsNotSaved, {toU16(saved.message)}),
                           QStringLiteral("Runemeter"));
    }
    if (m_services.log) {
        const std::u16string name = m_services.toolName ? m_services.toolName() : u"Runemeter";
        const LogLine line = toolClosingLine(name);
        m_services.log(line.text, line.flag);
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    FormShow();
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (m_run.running()) {
        // The run ends after the file in hand; the window closes when its profile is in.
        m_closeAfterRun = true;
        ButtonStopClick();
        ElStatusBar1->showMessage(resourceText(ResId::VTClosingAfterFile));
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
}

// ---- the run

void TForm1::showPathValidity(bool valid, const QString& path) {
    const bool wasInvalid = ElFolderNameEdit1->property("invalidPath").toBool();
    ElFolderNameEdit1->setProperty("invalidPath", !valid);
    if (valid) {
        ElFolderNameEdit1->setStyleSheet({});
        ElFolderNameEdit1->setToolTip(resourceText(ResId::VTPathToolTip));
        if (wasInvalid) {
            ElStatusBar1->clearMessage();
        }
    } else {
        ElFolderNameEdit1->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid red; }"));
        // Said in the status bar too: a tool tip is seen only by a user who points at the edit.
        const QString why = path.trimmed().isEmpty()
                                ? resourceText(ResId::VTNoPathGiven)
                                : formatResource(ResId::VTNoSuchPath, {oneLine(toU16(path))});
        ElFolderNameEdit1->setToolTip(why);
        ElStatusBar1->showMessage(why);
    }
}

RunRequest TForm1::nextRunRequest() const {
    RunRequest request;
    request.path = toU16(ElFolderNameEdit1->text());
    request.fileMask = toU16(ElComboBoxFileSpecs->currentText());
    request.includeSubFolders = CheckBoxFolders->isChecked();
    request.readZipfiles = CheckBoxZips->isChecked();
    request.headerToCut = toU16(ElEditHeaderToCut->text());
    request.text = textChoices();
    return request;
}

namespace {

// Each item of a choice box carries the choice's stored name; its text is for the user.
std::string choiceOf(const QComboBox* box) {
    return box->currentData().toString().toStdString();
}

}  // namespace

TextChoices TForm1::textChoices() const {
    const TextChoices defaults;
    return {unsignedModeNamed(choiceOf(ElComboBoxUnsignedText)).value_or(defaults.unsignedText),
            countingUnitNamed(choiceOf(ElComboBoxCountingUnit)).value_or(defaults.unit),
            normalisationNamed(choiceOf(ElComboBoxNormalisation)).value_or(defaults.normalisation)};
}

void TForm1::RetranslateTextChoices() {
    // The items, in the order their index is stored in the settings file; the first is the
    // default. A name makes each one's choice; the text is the resource string or a fixed name.
    const auto fill = [](QComboBox* box,
                         std::initializer_list<std::pair<QString, std::string_view>> items) {
        const int chosen = box->currentIndex();
        const QSignalBlocker quiet(box);
        box->clear();
        for (const auto& [text, name] : items) {
            box->addItem(text, QString::fromLatin1(name.data(), qsizetype(name.size())));
        }
        box->setCurrentIndex(chosen >= 0 && chosen < box->count() ? chosen : 0);
    };
    const auto text = [](ResId id) { return resourceText(id); };
    fill(ElComboBoxUnsignedText,
         {{QStringLiteral("ANSI (Windows-1252)"), choiceName(UnsignedMode::Ansi)},
          {QStringLiteral("UTF-8"), choiceName(UnsignedMode::Utf8)},
          {text(ResId::VTUnsignedAutomatic), choiceName(UnsignedMode::Auto)}});
    fill(ElComboBoxCountingUnit,
         {{text(ResId::VTUnitUtf16), choiceName(CountingUnit::Utf16)},
          {text(ResId::VTUnitCodePoint), choiceName(CountingUnit::CodePoint)},
          {text(ResId::VTUnitGrapheme), choiceName(CountingUnit::Grapheme)}});
    fill(ElComboBoxNormalisation, {{text(ResId::VTNormaliseNone), choiceName(Normalisation::None)},
                                   {QStringLiteral("NFC"), choiceName(Normalisation::Nfc)},
                                   {QStringLiteral("NFD"), choiceName(Normalisation::Nfd)},
                                   {QStringLiteral("NFKC"), choiceName(Normalisation::Nfkc)},
                                   {QStringLiteral("NFKD"), choiceName(Normalisation::Nfkd)}});
}

void TForm1::ButtonAnalyseClick() {
    if (m_run.running()) {
        return;  // one run at a time
    }
    const RunRequest request = nextRunRequest();
    // What the worker reports through starts afresh before it can report.
    m_progressFilesRead = 0;
    m_progressPending = false;
    m_unsignedHint = false;
    m_filesFound = 0;
    m_problems.clear();
    m_stopAsked = false;
    {
        std::lock_guard lock(m_messageMutex);
        m_cancelMessages = false;
    }
    const bool valid = m_run.start(request, *m_observer, [this] {
        QMetaObject::invokeMethod(
            this, [this] { runEnded(); }, Qt::QueuedConnection);
    });
    showPathValidity(valid, ElFolderNameEdit1->text());
    if (!valid) {
        return;
    }
    // The worker's reports are queued behind what follows.
    PageControl1->setCurrentWidget(TabSheetResults);
    m_runPath = request.path;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    LabelResults->setText(QStringLiteral("..."));
    PCProgressBar1->setRange(0, 1);
    PCProgressBar1->setValue(0);
    ElFolderNameEdit1Recent->add(request.path);
    emit runStarted();
}

bool TForm1::OpenPaths(const QStringList& paths) {
    if (paths.isEmpty() || m_run.running()) {
        return false;
    }
    ElFolderNameEdit1->setText(paths.front());
    ButtonAnalyseClick();
    m_pathsGiven = m_run.running() ? static_cast<int>(paths.size()) : 0;
    return true;
}

void TForm1::postProgress() {
    if (m_progressPending.exchange(true)) {
        return;  // an update is already on its way and will show the newest count
    }
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_progressPending = false;
            const std::int64_t read = m_progressFilesRead;
            PCProgressBar1->setValue(static_cast<int>(std::clamp<std::int64_t>(
                read, PCProgressBar1->minimum(), PCProgressBar1->maximum())));
        },
        Qt::QueuedConnection);
}

void TForm1::messageFromWorker(const QString& text) {
    auto answered = std::make_shared<bool>(false);
    QMetaObject::invokeMethod(
        this,
        [this, text, answered] {
            if (!m_closeAfterRun) {
                m_services.message(text, QStringLiteral("Runemeter"));
            }
            std::lock_guard lock(m_messageMutex);
            *answered = true;
            m_messageDone.notify_all();
        },
        Qt::QueuedConnection);
    // The run waits until the user has seen the message, or until the window goes away.
    std::unique_lock lock(m_messageMutex);
    m_messageDone.wait(lock, [&] { return *answered || m_cancelMessages; });
}

void TForm1::runEnded() {
    const RunOutcome outcome = m_run.finish();
    // The problems the command line lists besides unreadable files, so that a saved JSON
    // document is the same as its.
    if (m_stopAsked) {
        m_problems.push_back({{}, {}, std::string(kInterruptedProblem)});
    } else if (m_filesFound == 0 && m_problems.empty()) {
        m_problems.push_back({utf16ToUtf8(m_runPath), {}, std::string(kNoFileMatchesProblem)});
    }
    PCProgressBar1->setValue(0);
    rebuildProfile();
    QApplication::restoreOverrideCursor();
    if (m_unsignedHint.exchange(false)) {
        // Names the setting as the Settings tab shows it: its label and the automatic item.
        const auto* label = findChild<QLabel*>(QStringLiteral("LabelUnsignedText"));
        const int automatic = ElComboBoxUnsignedText->findData(
            QString::fromLatin1(choiceName(UnsignedMode::Auto).data(),
                                qsizetype(choiceName(UnsignedMode::Auto).size())));
        const QString setting =
            (label != nullptr ? label->text().remove(QLatin1Char('&')) : QString()) +
            QStringLiteral(": ") + ElComboBoxUnsignedText->itemText(automatic);
        ElStatusBar1->showMessage(formatResource(ResId::VTUnsignedLooksUtf8, {toU16(setting)}));
    }
    if (m_pathsGiven > 1) {
        ElStatusBar1->showMessage(
            formatResource(ResId::VTFirstPathAnalysed, {toU16(QString::number(m_pathsGiven))}));
    }
    m_pathsGiven = 0;
    if (outcome.failed) {
        ShowNote(formatWithStrings(ResourceString(ResId::VTRunFailed),
                                   std::array<std::u16string_view, 1>{utf8ToUtf16(outcome.error)}));
    }
    emit runFinished();
    if (m_closeAfterRun) {
        m_closeAfterRun = false;
        close();
    }
}

void TForm1::stopWorker() {
    if (!m_run.running()) {
        return;
    }
    m_run.stop();
    {
        std::lock_guard lock(m_messageMutex);
        m_cancelMessages = true;
    }
    m_messageDone.notify_all();
    (void)m_run.finish();
    QApplication::restoreOverrideCursor();
}

void TForm1::ButtonStopClick() {
    m_stopAsked = m_stopAsked || m_run.running();
    m_run.stop();
}

void TForm1::FileAndDirIterator1FoundDir(const QString& DirName) {
    ElStatusBar1->showMessage(DirName);
}

void TForm1::rebuildProfile() {
    m_sortSection = -1;  // a run or a font change shows the rows in code order
    applyProfile(BuildProfile(m_run.state(), m_runPath));
}

bool TForm1::ShowFilledState(const std::function<void(AnalysisState&)>& fill) {
    if (m_run.running()) {
        return false;  // the worker owns the state until the run ends
    }
    m_run.state().clear();
    m_runPath.clear();
    m_filesFound = 0;
    m_problems.clear();
    fill(m_run.state());
    rebuildProfile();
    return true;
}

void TForm1::RetranslateResults() {
    CharacterInspector->retranslate();
    ActionSaveAs->setWhatsThis(resourceText(ResId::VTSaveAsHelp));
    TabSheetOverview->retranslate();
    // Also after a run that read no file: its rows and labels carry resource strings too.
    if (m_run.running() || !m_profileShown) {
        return;
    }
    Profile profile = BuildProfile(m_run.state(), m_runPath);
    sortRowsBySection(profile.rows, m_sortSection);  // the user's order stays
    applyProfile(profile);
}

void TForm1::applyProfile(const Profile& profile) {
    m_profileShown = true;
    LMDListBox1->resultsModel().setRows(profile.rows, profile.totalCharacters);
    LMDListBox1->fitSectionsToTexts();
    Memo->setPlainText(memoText(m_run.state()));
    LabelFileInfo->setText(fromU16(profile.labelFileInfo));
    LabelResults->setText(fromU16(profile.labelResults));
    TabSheetOverview->setResult(profile.rows, profile.totalCharacters);
}

// ---- the results list

void TForm1::ListBox1DrawItem(QPainter& painter, int Index, const QRect& Rect, bool selected) {
    if (Index < 0 || Index >= LMDListBox1->Count()) {
        return;
    }
    painter.fillRect(Rect, painter.brush());
    const ResultsModel& model = LMDListBox1->resultsModel();
    const ProfileRow& row = model.rows()[static_cast<std::size_t>(Index)];
    int left[5];
    int width[5];
    LMDListBox1->sectionEdges(left, width);
    const QFontMetrics metrics(painter.font());
    const RowPaint paint =
        rowPaint(row, model.totalCharacters(), selected, Myformatsettings(), left, width, metrics,
                 LMDListBox1->palette(), LMDListBox1->isRightToLeft());
    painter.setPen(paint.colour);
    const int baseline = Rect.top() + metrics.ascent();
    for (const PaintedText& column : paint.columns) {
        if (!column.text.isEmpty()) {
            painter.drawText(QPoint(column.x, baseline), column.text);
        }
    }
}

void TForm1::LMDListBox1MeasureItem(int Index, int& Height) {
    (void)Index;  // every row has the same height
    Height = rowHeightFor(QFontMetrics(LMDListBox1->font()));
}

int TForm1::ClickedSectionIndex(const QHeaderView& header, int section) {
    for (int i = 0; i < header.count(); ++i) {
        if (header.logicalIndex(i) == section) {
            return i;
        }
    }
    return -1;
}

void TForm1::LMDListBox1HeaderSectionClick(int section) {
    ResultsModel& model = LMDListBox1->resultsModel();
    std::vector<ProfileRow> rows = model.allRows();  // a filter keeps the order it is given
    const int index = ClickedSectionIndex(*LMDListBox1->header(), section);
    if (index >= 0 && index <= 4) {
        m_sortSection = index;
    }
    sortRowsBySection(rows, index);
    model.setRows(std::move(rows), model.totalCharacters());
    LMDListBox1->goToRow(0);
}

void TForm1::ElPopupButtonCopyClick() {
    const ResultsModel& model = LMDListBox1->resultsModel();
    if (model.rows().empty()) {
        return;
    }
    TMyClipboard& clipboard = SharedClipboard();
    clipboard.setText(QString());
    clipboard.setText(
        fromU16(buildCopyText(model.rows(), ElCheckBoxCopyCharactersOnly->isChecked())));
    // ClipboardHasText: a notice that does not stop the user.
    ElStatusBar1->showMessage(resourceText(ResId::VTClipboardHasText), 5000);
}

std::string TForm1::ResultText(ResultForm form) {
    Profile profile = BuildProfile(m_run.state(), m_runPath);
    profile.rows = LMDListBox1->resultsModel().rows();  // in the list's order, as Copy takes them
    const RunSummary summary{m_filesFound, m_problems};
    return writeResult(form, m_run.state(), profile, ElCheckBoxCopyCharactersOnly->isChecked(),
                       std::nullopt, &summary);
}

bool TForm1::resultSavable() {
    if (m_run.running() || !m_profileShown) {
        m_services.message(
            resourceText(m_run.running() ? ResId::VTSaveWhileRunning : ResId::VTNothingToSave),
            QStringLiteral("Runemeter"));
        return false;
    }
    return true;
}

void TForm1::ActionSaveAsClick() {
    if (!resultSavable()) {
        return;
    }
    const QStringList filters = saveFilters();
    QString filter = filters.front();
    // The dialog asks before it replaces a file it was given.
    const QString chosen =
        QFileDialog::getSaveFileName(this, resourceText(ResId::VTSaveAsTitle), QString(),
                                     filters.join(QStringLiteral(";;")), &filter);
    if (chosen.isEmpty()) {
        return;
    }
    const auto filterForm = static_cast<SaveForm>(std::max<qsizetype>(0, filters.indexOf(filter)));
    const SaveChoice choice = chooseSaveForm(chosen.toStdString(), filterForm);
    const QString path = QString::fromStdString(choice.fileName);
    // An extension added here makes a name the dialog did not ask about.
    (void)SaveResultAs(path, choice.form, path == chosen);
}

bool TForm1::SaveResultAs(const QString& path, SaveForm form, bool replaceConfirmed) {
    if (!resultSavable()) {
        return false;
    }
    const QString shown = QDir::toNativeSeparators(path);
    if (!replaceConfirmed && QFileInfo::exists(path) &&
        !m_services.confirm(formatResource(ResId::VTReplaceFile, {toU16(shown)}))) {
        return false;
    }
    QByteArray bytes;
    if (const std::optional<ResultForm> written = resultFormOf(form)) {
        const std::string text = ResultText(*written);
        bytes = QByteArray(text.data(), qsizetype(text.size()));
    } else {
        bytes = chartsPicture(*TabSheetOverview, form);
    }
    const QString reason = saveWhole(path, bytes);
    if (!reason.isEmpty()) {
        m_services.message(formatResource(ResId::VTCannotSave, {toU16(shown), toU16(reason)}),
                           QStringLiteral("Runemeter"));
        return false;
    }
    ElStatusBar1->showMessage(formatResource(ResId::VTSavedAs, {toU16(shown)}), 5000);
    return true;
}

void TForm1::SelectGroup(GroupKey key, const QString& name) {
    const std::string wanted = name.toStdString();
    const std::vector<ProfileRow>& rows = LMDListBox1->resultsModel().rows();
    const QAbstractItemModel* model = LMDListBox1->model();
    // One range per run of neighbouring rows.
    QItemSelection selection;
    int first = -1;
    int runStart = -1;
    int count = 0;
    const auto endRun = [&](int end) {
        if (runStart >= 0) {
            selection.append(QItemSelectionRange(model->index(runStart, 0), model->index(end, 4)));
            runStart = -1;
        }
    };
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        const std::optional<std::string> group = groupOfRow(rows[i], key);
        if (!group || *group != wanted) {
            endRun(row - 1);
            continue;
        }
        first = first < 0 ? row : first;
        runStart = runStart < 0 ? row : runStart;
        ++count;
    }
    endRun(static_cast<int>(rows.size()) - 1);
    PageControl1->setCurrentWidget(TabSheetResults);
    if (first < 0) {
        return;
    }
    LMDListBox1->goToRow(first);
    LMDListBox1->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    LMDListBox1->setFocus();
    ElStatusBar1->showMessage(formatResource(
        ResId::VTGroupSelected, {IntToDecStr(count, Myformatsettings()), toU16(name)}));
}

void TForm1::SelectCharacter(const QString& rowText) {
    const std::u16string wanted = toU16(rowText);
    const std::vector<ProfileRow>& rows = LMDListBox1->resultsModel().rows();
    PageControl1->setCurrentWidget(TabSheetResults);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].text == wanted) {
            const int row = static_cast<int>(i);
            LMDListBox1->goToRow(row);
            LMDListBox1->selectionModel()->select(
                LMDListBox1->model()->index(row, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            LMDListBox1->setFocus();
            return;
        }
    }
}

void TForm1::FontComboBoxChange() {
    QFont rowFont = LMDListBox1->font();
    rowFont.setPointSize(ElSpinEditFontSize->value());
    rowFont.setFamily(ElFontComboBox1->currentFont().family());
    LMDListBox1->setFont(rowFont);
    TabSheetOverview->setListFont(rowFont);
    LMDListBox1->rowHeightChanged();
    if (!m_run.running() && !m_run.state().SourceText.empty()) {
        rebuildProfile();
    } else {
        LMDListBox1->fitSectionsToTexts();
    }
}

// ---- help

void TForm1::ButtonHelpClick() {
    OpenHelp(HelpContextFor(ButtonHelp));
}

std::filesystem::path TForm1::chooseHelpFile(std::uint32_t language) {
    m_helpFile = ChooseHelpFile(userFolder(), language, programFileName());
    m_helpPlaces = HelpFilePlaces(userFolder(), language, programFileName());
    if (m_services.log) {
        const std::u16string name = pathToDisplay(m_helpFile);
        m_services.log(formatWithStrings(ResourceString(ResId::VTHelpFileIs),
                                         std::array<std::u16string_view, 1>{name}),
                       true);
    }
    return m_helpFile;
}

void TForm1::OpenHelp(int helpContext) {
    const std::filesystem::path file = FirstHelpFile(m_helpPlaces);
    if (file.empty()) {
        std::u16string places;
        for (const std::filesystem::path& place : m_helpPlaces) {
            if (!places.empty()) {
                places += u'\n';
            }
            places += pathToDisplay(place);
        }
        m_services.message(formatResource(ResId::VTNoHelpFile, {places}),
                           QStringLiteral("Runemeter"));
        return;
    }
    QUrl url = QUrl::fromLocalFile(pathToQString(file));
    if (helpContext > 0) {
        url.setFragment(QString::fromStdString(helpAnchor(helpContext)));
    }
    if (!m_services.openHelp(url)) {
        m_services.message(formatResource(ResId::VTNoHelpOpener, {pathToDisplay(file)}),
                           QStringLiteral("Runemeter"));
    }
}

}  // namespace runemeter
