// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The main window: the controls of the tool, the analysis run on a worker thread, and the
// handlers of the results list, the copy and the help.

#include <QMainWindow>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "frame/run_controller.h"
#include "profile/analysis_state.h"
#include "profile/profile.h"
#include "profile/text_choices.h"
#include "results/counts_file.h"
#include "results/groups.h"
#include "results/save_forms.h"
#include "suite/number_format.h"

class QCheckBox;
class QComboBox;
class QFontComboBox;
class QFrame;
class QHeaderView;
class QLabel;
class QLineEdit;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QTabWidget;
class QToolButton;
class QUrl;

namespace runemeter {

class TCharacterInspector;
class TLMDListBox;
class TOverviewTab;
class TForm1;
class RecentPathsButton;

/// What the window needs from the suite and the desktop; tests replace any of them.
struct FormServices {
    /// A modal message (MyPMsgDlg): text and caption. Default: a warning box.
    std::function<void(const QString&, const QString&)> message;
    /// A yes-or-no question (replace a file?): true for yes. Default: a question box.
    std::function<bool(const QString&)> confirm;
    /// A line for the suite's log (AddToLogFile); written only while logging is on.
    std::function<void(const std::u16string&, bool)> log;
    /// Registers the main window with the suite (SetNewWnd, SetActiveMainToolWindow).
    std::function<void(int, std::uint64_t)> registerWindow;
    /// The suite's user folder (GetUserReadWriteDir).
    std::function<std::filesystem::path()> userFolder;
    /// The suite's help file (GetHelpfilename); empty: chosen by the help file rule.
    std::function<std::filesystem::path()> helpFile;
    /// The chosen interface language (GetChosenLanguageInterface); 0: none chosen.
    std::function<std::uint32_t()> chosenLanguage;
    /// Opens the help page at a place (a file URL, its fragment the topic's anchor); false when
    /// the desktop could not. Default: the desktop's browser.
    std::function<bool(const QUrl&)> openHelp;
    /// The tool's name (Tool_Name of the current tool).
    std::function<std::u16string()> toolName;
    /// Prepares the interface language for the window (creation step 3d); may be empty.
    std::function<void(TForm1&)> interfaceLanguage;
    /// Applies the suite's interface font (creation step 5); may be empty.
    std::function<void(TForm1&)> interfaceFont;
    /// The separators numbers are shown with. Default: the locale the environment names.
    std::function<FormatSettings()> numberFormat;
};

/// The tool's main window.
class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(FormServices services = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, under the names the tool gives them.
    QFrame* Panel2 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* ElFolderNameEdit1 = nullptr;
    QToolButton* ElFolderNameEdit1Browse = nullptr;
    RecentPathsButton* ElFolderNameEdit1Recent = nullptr;  // the paths analysed last
    QComboBox* ElComboBoxFileSpecs = nullptr;
    QCheckBox* CheckBoxZips = nullptr;
    QCheckBox* CheckBoxFolders = nullptr;
    QPushButton* ButtonAnalyse = nullptr;
    QPushButton* ButtonStop = nullptr;
    QPushButton* ElPopupButtonCopy = nullptr;
    QLabel* LabelResults = nullptr;
    QLabel* LabelFileInfo = nullptr;
    QProgressBar* PCProgressBar1 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheetResults = nullptr;
    TLMDListBox* LMDListBox1 = nullptr;
    TCharacterInspector* CharacterInspector = nullptr;  // beside the list, with its filter box
    TOverviewTab* TabSheetOverview = nullptr;           // the groups and charts of the last run
    QMenu* MenuFile = nullptr;
    QAction* ActionSaveAs = nullptr;
    QWidget* TabSheet1 = nullptr;
    QFontComboBox* ElFontComboBox1 = nullptr;
    QSpinBox* ElSpinEditFontSize = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* ElEditHeaderToCut = nullptr;
    QLabel* LabelInterfaceLanguage = nullptr;  // names the interface language, in it
    QLabel* LabelUnicodeVersion = nullptr;     // the Unicode version of the character data
    QCheckBox* ElCheckBoxCopyCharactersOnly = nullptr;
    QComboBox* ElComboBoxUnsignedText = nullptr;   // text without a signature
    QComboBox* ElComboBoxCountingUnit = nullptr;   // what one counted character is
    QComboBox* ElComboBoxNormalisation = nullptr;  // the normalisation before counting
    QPushButton* ButtonHelp = nullptr;
    QWidget* TabSheetHelp = nullptr;
    QPlainTextEdit* Memo = nullptr;
    QStatusBar* ElStatusBar1 = nullptr;

    /// The state of the last run; read it only while no run is in progress.
    [[nodiscard]] const AnalysisState& analysisState() const { return m_run.state(); }
    /// The request the next Analyse starts with, as the controls stand now.
    [[nodiscard]] RunRequest nextRunRequest() const;
    /// The three text choices of the Settings tab.
    [[nodiscard]] TextChoices textChoices() const;
    /// Refills the items of the three text choices with the resource strings now in force,
    /// keeping the choices (a stored index out of range falls back to the default).
    void RetranslateTextChoices();
    /// Puts the first of paths (given on the command line or dropped) in the path box and
    /// analyses it at once; the status bar says when the others were left out. False, and
    /// nothing done, while a run is in progress or when paths is empty.
    bool OpenPaths(const QStringList& paths);
    /// Whether a run is in progress.
    [[nodiscard]] bool isRunning() const { return m_run.running(); }
    /// The help file the help opens, as the help file rule chose it.
    [[nodiscard]] const std::filesystem::path& helpFile() const { return m_helpFile; }
    /// Chooses the help file of a language by the help file rule (a language switch), logs it
    /// and returns it.
    std::filesystem::path chooseHelpFile(std::uint32_t language);
    /// Opens the help page at a topic's anchor (0: at its top); when no help file exists, a
    /// message names every place looked in.
    void OpenHelp(int helpContext);
    /// Fills the state outside a run (fill gets it cleared) and shows its profile as the end of
    /// a run would; false, and nothing done, while a run is in progress. For the benchmarks.
    bool ShowFilledState(const std::function<void(AnalysisState&)>& fill);
    /// Rebuilds the rows and summary lines of the last run with the resource strings now in
    /// force (after a language switch); nothing while a run is in progress.
    void RetranslateResults();
    /// Tells the user of something the program did on its own (a language file refused or
    /// kept): a line in the suite's log and the text in the status bar.
    void ShowNote(const std::u16string& text);

    /// Saves the result shown in a form (the list's rows in their order, as Copy takes them;
    /// or the overview's charts). A file already at path is replaced only when the user says
    /// so here (or has said so: replaceConfirmed). Failures are reported; false then.
    bool SaveResultAs(const QString& path, SaveForm form, bool replaceConfirmed = false);
    /// The result in a written form, byte for byte as runemeter-cli writes it for the run.
    [[nodiscard]] std::string ResultText(ResultForm form);
    /// Selects the rows of a group in the results list and shows the list.
    void SelectGroup(GroupKey key, const QString& name);
    /// Shows the results list with the row of this text selected (if the list shows it).
    void SelectCharacter(const QString& rowText);

    /// Index of a clicked section among the header's sections, -1 when it is not one of them.
    [[nodiscard]] static int ClickedSectionIndex(const QHeaderView& header, int section);

public slots:
    void FormCreate();
    void FormShow();
    void FormResize();
    void FormDestroy();
    void ButtonAnalyseClick();
    void ButtonStopClick();
    void FileAndDirIterator1FoundDir(const QString& DirName);
    void ButtonHelpClick();
    void LMDListBox1HeaderSectionClick(int section);
    void ElPopupButtonCopyClick();
    void ActionSaveAsClick();
    /// True when a whole result is shown; else says why there is nothing to save.
    bool resultSavable();
    void FontComboBoxChange();

public:
    /// Paints row Index into Rect with the painter's brush as background.
    void ListBox1DrawItem(QPainter& painter, int Index, const QRect& Rect, bool selected);
    /// The height of row Index: "&jK" in the row font, plus 2.
    void LMDListBox1MeasureItem(int Index, int& Height);

signals:
    /// A run has begun (the path was valid).
    void runStarted();
    /// A run has ended and its profile is shown.
    void runFinished();

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    class RunObserver;

    void createControls();
    QFrame* createTopPanel(QWidget* parent);
    QTabWidget* createTabs(QWidget* parent);
    void fillBrowseMenu();
    void assignHelpTopics();
    void connectHandlers();
    void setKeyboardOrder();
    void showPathValidity(bool valid, const QString& path);
    void runEnded();
    void applyProfile(const Profile& profile);
    void rebuildProfile();
    void messageFromWorker(const QString& text);
    void postProgress();
    void stopWorker();
    [[nodiscard]] std::filesystem::path userFolder() const;
    [[nodiscard]] std::filesystem::path settingsFile() const;
    [[nodiscard]] static std::filesystem::path programFileName();

    FormServices m_services;
    std::unique_ptr<RunObserver> m_observer;  ///< hears of each run on the worker thread
    RunController m_run;                      ///< the run's request, iterator and state
    std::u16string m_runPath;                 ///< the path as typed when the run began
    std::filesystem::path m_helpFile;
    std::vector<std::filesystem::path> m_helpPlaces;  ///< where the help is looked for, in order
    bool m_closeAfterRun = false;
    int m_pathsGiven = 0;         ///< how many paths OpenPaths was given for the run in progress
    bool m_profileShown = false;  ///< the list shows a profile (of a run or a filled state)
    int m_sortSection = -1;       ///< the header section the list was last sorted by; -1: none
    bool m_widenedToTheList = false;  ///< the first show fitted the width to the list
    bool m_destroyed = false;
    // What the run found beyond the counts, as the saved JSON names it; the worker's until
    // the run ends.
    std::int64_t m_filesFound = 0;
    std::vector<RunProblem> m_problems;
    bool m_stopAsked = false;  ///< the user stopped the run in progress

    // Progress from the worker, coalesced: one queued update at a time.
    std::atomic<std::int64_t> m_progressFilesRead{0};
    std::atomic<bool> m_progressPending{false};
    /// The run read text that looks like UTF-8 as ANSI: said in the status bar when it ends.
    std::atomic<bool> m_unsignedHint{false};

    // A message from the worker waits here until the user has closed it.
    std::mutex m_messageMutex;
    std::condition_variable m_messageDone;
    bool m_cancelMessages = false;
};

}  // namespace runemeter
