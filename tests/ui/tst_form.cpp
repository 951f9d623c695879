// The main window driven through its controls: runs, labels, rows, drawing, sorting, copying,
// Stop, Analyse during a run, an invalid path and the help button.

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>

#include <functional>
#include <memory>

#include "frame/TForm1.h"
#include "frame/qt_text.h"
#include "results/copy_text.h"
#include "results/results_list.h"
#include "results/sorting.h"
#include "suite/number_format.h"
#include "suite/resource_strings.h"
#include "ui/ui_test_support.h"

using namespace runemeter;

namespace {

/// Messages the window showed, and what to do while one is open.
struct MessageLog {
    QStringList texts;
    std::function<void()> whileShown;
};

QString res(ResId id) {
    return fromU16(ResourceString(id));
}

int rowOf(const TForm1& form, const QString& rowText) {
    const auto& rows = form.LMDListBox1->resultsModel().rows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (fromU16(rows[i].text) == rowText) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

std::int64_t frequencyOf(const TForm1& form, const QString& rowText) {
    const int row = rowOf(form, rowText);
    return row < 0 ? -1 : form.LMDListBox1->resultsModel().rows()[std::size_t(row)].frequency;
}

}  // namespace

class TestForm : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::FreshHome> m_home;
    std::unique_ptr<TForm1> m_form;
    MessageLog m_messages;
    QString m_data;

    TForm1& makeForm() {
        FormServices services;
        services.message = [this](const QString& text, const QString&) {
            m_messages.texts << text;
            if (m_messages.whileShown) {
                m_messages.whileShown();
            }
        };
        services.userFolder = [this] { return pathFromQString(m_home->path() + "/user"); };
        m_form = std::make_unique<TForm1>(services);
        return *m_form;
    }

    bool runOn(const QString& path) {
        TForm1& form = *m_form;
        form.ElFolderNameEdit1->setText(path);
        QSignalSpy finished(&form, &TForm1::runFinished);
        QTest::mouseClick(form.findChild<QPushButton*>("ButtonAnalyse"), Qt::LeftButton);
        return finished.wait(20000);
    }

    void clickSection(int section) {
        QHeaderView* header = m_form->LMDListBox1->header();
        const QPoint at(header->sectionViewportPosition(section) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }

private slots:
    void initTestCase() {
        m_home = std::make_unique<test::FreshHome>();
        QVERIFY(m_home->isValid());
        Myformatsettings() = FormatSettings{u'.', u','};
        m_data = m_home->path() + "/data";
        // Three texts of three encodings, sorted by name: ANSI, UTF-16 LE, UTF-16 BE.
        QVERIFY(test::writeFile(m_data + "/a.txt", QByteArray("AAB\tx\"#\r\n")));
        QVERIFY(test::writeFile(m_data + "/b.txt", test::utf16Le(QString::fromUtf8("Ab\u00e9"))));
        QVERIFY(test::writeFile(m_data + "/c.txt", test::utf16Be(QStringLiteral("AAAA\u0001"))));
        QVERIFY(test::writeFile(m_data + "/skip.xml", QByteArray("ZZZZ")));
    }

    void init() {
        m_messages = {};
        QFile::remove(m_home->path() + "/user/tst_form.ini");  // every test starts from defaults
        makeForm();
    }

    void cleanup() { m_form.reset(); }

    void startsWithEveryControlInPlace() {
        TForm1& form = *m_form;
        const QStringList names{"Panel2",
                                "Label1",
                                "ElFolderNameEdit1",
                                "ElComboBoxFileSpecs",
                                "CheckBoxZips",
                                "CheckBoxFolders",
                                "ButtonAnalyse",
                                "ButtonStop",
                                "ElPopupButtonCopy",
                                "LabelResults",
                                "LabelFileInfo",
                                "PCProgressBar1",
                                "PageControl1",
                                "TabSheetResults",
                                "LMDListBox1",
                                "TabSheet1",
                                "ElFontComboBox1",
                                "ElSpinEditFontSize",
                                "Label2",
                                "ElEditHeaderToCut",
                                "ElCheckBoxCopyCharactersOnly",
                                "ButtonHelp",
                                "TabSheetHelp",
                                "Memo",
                                "ElStatusBar1"};
        for (const QString& name : names) {
            QVERIFY2(form.findChild<QWidget*>(name) != nullptr, qPrintable(name));
        }
        auto* masks = form.findChild<QComboBox*>("ElComboBoxFileSpecs");
        QCOMPARE(masks->count(), 4);
        QCOMPARE(masks->currentText(), QStringLiteral("*.txt"));
        QVERIFY(masks->isEditable());
        QVERIFY(form.findChild<QCheckBox*>("CheckBoxZips")->isChecked());
        QVERIFY(!form.findChild<QCheckBox*>("CheckBoxFolders")->isChecked());
        auto* size = form.findChild<QSpinBox*>("ElSpinEditFontSize");
        QCOMPARE(size->value(), 10);
        QCOMPARE(size->minimum(), 8);
        QCOMPARE(form.findChild<QProgressBar*>("PCProgressBar1")->height(), 8);
        QVERIFY(!form.PCProgressBar1->isTextVisible());
        QCOMPARE(form.Panel2->property("helpContext").toInt(), 5410);
        QCOMPARE(form.PageControl1->property("helpContext").toInt(), 5410);
        QCOMPARE(form.PageControl1->currentWidget(), form.TabSheetResults);
        QVERIFY(form.Memo->isReadOnly());
        QVERIFY(form.LabelResults->text().isEmpty());
        QVERIFY(form.LabelFileInfo->text().isEmpty());
        QCOMPARE(form.windowTitle(), QStringLiteral("Runemeter"));
        QHeaderView* header = form.LMDListBox1->header();
        QCOMPARE(header->count(), 5);
        const int widths[5]{50, 100, 100, 50, 80};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(header->sectionSize(i), widths[i]);
        }
    }

    void sectionsKeepTheirMinimumWidths() {
        QHeaderView* header = m_form->LMDListBox1->header();
        header->resizeSection(1, 20);
        header->resizeSection(4, 10);
        header->resizeSection(2, 30);
        QCOMPARE(header->sectionSize(1), 100);
        QCOMPARE(header->sectionSize(4), 80);
        QCOMPARE(header->sectionSize(2), 30);
    }

    void runFromTheAnalyseButton() {
        TForm1& form = *m_form;
        form.PageControl1->setCurrentWidget(form.TabSheet1);
        form.ElFolderNameEdit1->setText(m_data);
        QSignalSpy finished(&form, &TForm1::runFinished);
        QTest::mouseClick(form.ButtonAnalyse, Qt::LeftButton);
        // Before the worker's first report: the search label, the busy cursor, the Results tab.
        QCOMPARE(form.LabelResults->text(), QStringLiteral("..."));
        QVERIFY(form.isRunning());
        QVERIFY(QApplication::overrideCursor() != nullptr);
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        QCOMPARE(form.PageControl1->currentWidget(), form.TabSheetResults);
        QVERIFY(finished.wait(20000));

        QVERIFY(!form.isRunning());
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QCOMPARE(form.analysisState().FilesRead, 3);
        QCOMPARE(form.LabelResults->text(), QStringLiteral("based on 3 files"));
        QCOMPARE(form.LabelFileInfo->text(), res(ResId::VTAnsi) + ": 1; " + res(ResId::VTUnicode) +
                                                 ": 1; " + res(ResId::VTUnicodeBigEndian) + ": 1");
        QCOMPARE(form.PCProgressBar1->value(), 0);
        QCOMPARE(form.PCProgressBar1->maximum(), 3);
        QCOMPARE(form.ElStatusBar1->currentMessage(), QDir::toNativeSeparators(m_data));
        // The Source Text tab holds the text read last.
        QCOMPARE(form.Memo->toPlainText(), QStringLiteral("AAAA\u0001"));
        QCOMPARE(frequencyOf(form, " 65 A"), 7);
        QCOMPARE(frequencyOf(form, " 66 B"), 1);
        QCOMPARE(frequencyOf(form, "233 \u00e9"), 1);
        QCOMPARE(frequencyOf(form, " 90 Z"), 0);  // the .xml file is not read
        QCOMPARE(form.LMDListBox1->resultsModel().rows().back().text,
                 ResourceString(ResId::VTTotal));
        QVERIFY(m_messages.texts.isEmpty());
    }

    void oneChosenFileShowsItsPath() {
        const QString file = m_data + "/b.txt";
        QVERIFY(runOn(file));
        QCOMPARE(m_form->LabelResults->text(), file);
        QCOMPARE(m_form->LabelFileInfo->text(), res(ResId::VTUnicode));
        QCOMPARE(frequencyOf(*m_form, " 65 A"), 1);
    }

    void aHugeTextIsCountedWholeButShownInPart() {
        const QString file = m_home->path() + "/huge/big.txt";
        QVERIFY(test::writeFile(file, QByteArray(1'500'000, 'a')));
        QVERIFY(runOn(file));
        QCOMPARE(frequencyOf(*m_form, " 97 a"), 1'500'000);
        const QString shown = m_form->Memo->toPlainText();
        QVERIFY(shown.startsWith(QString(1000, 'a')));
        QVERIFY2(shown.endsWith("[1048576 of 1500000 characters shown]"),
                 qPrintable(shown.right(60)));
        QVERIFY(shown.size() < 1'100'000);
    }

    void enterInThePathEditStartsARun() {
        m_form->ElFolderNameEdit1->setText(m_data);
        QSignalSpy finished(m_form.get(), &TForm1::runFinished);
        QTest::keyClick(m_form->ElFolderNameEdit1, Qt::Key_Return);
        QVERIFY(finished.wait(20000));
        QCOMPARE(m_form->analysisState().FilesRead, 3);
    }

    void invalidPathChangesNothingButShowsIt() {
        QVERIFY(runOn(m_data));
        const auto rowsBefore = m_form->LMDListBox1->resultsModel().rows();
        const QString labelBefore = m_form->LabelResults->text();
        m_form->PageControl1->setCurrentWidget(m_form->TabSheet1);
        QSignalSpy started(m_form.get(), &TForm1::runStarted);
        const QString missing = m_data + "/no such thing";
        m_form->ElFolderNameEdit1->setText(missing);
        QTest::mouseClick(m_form->ButtonAnalyse, Qt::LeftButton);
        QCOMPARE(started.count(), 0);
        QVERIFY(!m_form->isRunning());
        QVERIFY(m_form->LMDListBox1->resultsModel().rows() == rowsBefore);
        QCOMPARE(m_form->LabelResults->text(), labelBefore);
        QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheet1);
        QVERIFY(m_form->ElFolderNameEdit1->property("invalidPath").toBool());
        QVERIFY(m_form->ElFolderNameEdit1->toolTip().contains(missing));
        QVERIFY(m_messages.texts.isEmpty());
        // Typing again clears the mark.
        m_form->ElFolderNameEdit1->setText(m_data);
        QVERIFY(!m_form->ElFolderNameEdit1->property("invalidPath").toBool());
    }

    void stopEndsTheRunAfterTheFileInHand() {
        const QString folder = m_home->path() + "/stop";
        QVERIFY(test::writeFile(folder + "/01.txt", "xxx"));
        QVERIFY(test::writeFile(folder + "/02.txt", ""));  // its message is where Stop is pressed
        for (int i = 3; i < 40; ++i) {
            QVERIFY(test::writeFile(folder + QString("/%1.txt").arg(i, 2, 10, QChar('0')), "yyy"));
        }
        QString labelDuringRun;
        int progressDuringRun = -1;
        int rangeDuringRun = -1;
        QString statusDuringRun;
        m_messages.whileShown = [&] {
            labelDuringRun = m_form->LabelResults->text();
            progressDuringRun = m_form->PCProgressBar1->value();
            rangeDuringRun = m_form->PCProgressBar1->maximum();
            statusDuringRun = m_form->ElStatusBar1->currentMessage();
            QTest::mouseClick(m_form->ButtonStop, Qt::LeftButton);
        };
        QVERIFY(runOn(folder));
        // While the run waited on the message: files found, files read so far, the folder.
        QCOMPARE(labelDuringRun, QStringLiteral("39"));
        QCOMPARE(rangeDuringRun, 39);
        QCOMPARE(progressDuringRun, 1);
        QCOMPARE(statusDuringRun, QDir::toNativeSeparators(folder));
        QCOMPARE(m_messages.texts.size(), 1);
        QVERIFY(m_messages.texts[0].contains("02.txt"));
        QCOMPARE(m_form->analysisState().FilesRead, 1);
        QCOMPARE(frequencyOf(*m_form, "120 x"), 3);
        QCOMPARE(frequencyOf(*m_form, "121 y"), -1);  // no row: never read
        QVERIFY(QApplication::overrideCursor() == nullptr);
        QVERIFY(!m_form->isRunning());
        // The next run is not stopped by the last one's Stop.
        m_messages.whileShown = nullptr;
        QVERIFY(runOn(folder));
        QCOMPARE(m_form->analysisState().FilesRead, 38);
    }

    // Every code unit counted: the list holds one row for each, the line-break row and the
    // total, and the kept beginning of a long text is shown with its whole length.
    void everyCodeUnitGivesTheFullList() {
        QVERIFY(m_form->ShowFilledState([](AnalysisState& state) {
            for (std::size_t c = 0; c < state.CharCounts->size(); ++c) {
                (*state.CharCounts)[c] = static_cast<std::int64_t>(c % 7 + 1);
            }
            state.FilesRead = 1;
            state.SourceText = std::u16string(kSourceTextKept, u'k');
            state.SourceTextLength = 5'000'000;
        }));
        QCOMPARE(m_form->LMDListBox1->Count(), 65538);
        QCOMPARE(frequencyOf(*m_form, " 65 A"), std::int64_t{65 % 7 + 1});
        const QString memo = m_form->Memo->toPlainText();
        QVERIFY(memo.endsWith(QStringLiteral("[1048576 of 5000000 characters shown]")));
        QCOMPARE(memo.count(QChar(u'k')), qsizetype(kSourceTextKept));
    }

    void escapeStopsToo() {
        const QString folder = m_home->path() + "/escape";
        QVERIFY(test::writeFile(folder + "/1.txt", ""));
        QVERIFY(test::writeFile(folder + "/2.txt", "yyy"));
        m_form->show();
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        m_messages.whileShown = [this] { QTest::keyClick(m_form->LMDListBox1, Qt::Key_Escape); };
        QVERIFY(runOn(folder));
        QCOMPARE(m_form->analysisState().FilesRead, 0);
    }

    void analyseIsIgnoredDuringARun() {
        const QString folder = m_home->path() + "/twice";
        QVERIFY(test::writeFile(folder + "/1.txt", ""));
        QVERIFY(test::writeFile(folder + "/2.txt", "zzzz"));
        QVERIFY(test::writeFile(folder + "/3.txt", "zzz"));
        QSignalSpy started(m_form.get(), &TForm1::runStarted);
        m_messages.whileShown = [this] {
            QTest::mouseClick(m_form->ButtonAnalyse, Qt::LeftButton);
            QTest::mouseClick(m_form->ButtonAnalyse, Qt::LeftButton);
        };
        QVERIFY(runOn(folder));
        QCOMPARE(started.count(), 1);
        QCOMPARE(m_messages.texts.size(), 1);
        QCOMPARE(m_form->analysisState().FilesRead, 2);
        QCOMPARE(frequencyOf(*m_form, "122 z"), 7);  // counted once, not twice
    }

    void theFileMessagesSayWhichFile() {
        const QString folder = m_home->path() + "/messages";
        QVERIFY(test::writeFile(folder + "/empty.txt", ""));
        QVERIFY(test::writeFile(folder + "/bad.zip", "this is not an archive"));
        QVERIFY(test::writeFile(folder + "/good.txt", "ok"));
        QVERIFY(runOn(folder));
        QVERIFY2(m_messages.texts.size() >= 2, qPrintable(m_messages.texts.join('|')));
        bool empty = false;
        bool archive = false;
        for (const QString& text : m_messages.texts) {
            empty = empty || text == fromU16(formatWithStrings(
                                         ResourceString(ResId::VTFileIsEmpty),
                                         std::array<std::u16string_view, 1>{toU16(
                                             QDir::toNativeSeparators(folder + "/empty.txt"))}));
            archive = archive || text.contains("bad.zip");
        }
        QVERIFY2(empty, qPrintable(m_messages.texts.join('|')));
        QVERIFY2(archive, qPrintable(m_messages.texts.join('|')));
        QCOMPARE(m_form->analysisState().FilesRead, 1);
    }

    void closingDuringARunWaitsForIt() {
        const QString folder = m_home->path() + "/closing";
        QVERIFY(test::writeFile(folder + "/1.txt", ""));
        QVERIFY(test::writeFile(folder + "/2.txt", "q"));
        m_form->show();
        m_messages.whileShown = [this] { m_form->close(); };
        QVERIFY(runOn(folder));
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->analysisState().FilesRead, 0);
    }

    void sortOrdersFromTheHeader() {
        QVERIFY(runOn(m_data));
        m_form->show();
        auto rows = [this] { return m_form->LMDListBox1->resultsModel().rows(); };
        const auto codeOrder = rows();
        m_form->LMDListBox1->verticalScrollBar()->setValue(
            m_form->LMDListBox1->verticalScrollBar()->maximum());

        clickSection(4);  // freq.: largest first
        const auto byFrequency = rows();
        QCOMPARE(byFrequency.size(), codeOrder.size());
        QCOMPARE(byFrequency.front().text, ResourceString(ResId::VTTotal));
        for (std::size_t i = 1; i < byFrequency.size(); ++i) {
            QVERIFY(byFrequency[i - 1].frequency >= byFrequency[i].frequency);
        }
        QCOMPARE(m_form->LMDListBox1->currentIndex().row(), 0);
        QCOMPARE(m_form->LMDListBox1->verticalScrollBar()->value(), 0);
        // Each row keeps its own frequency.
        QCOMPARE(frequencyOf(*m_form, " 65 A"), 7);

        clickSection(4);  // the same direction again
        QVERIFY(rows().front().text == ResourceString(ResId::VTTotal));
        clickSection(3);  // % sorts like freq.
        QCOMPARE(rows().front().frequency, byFrequency.front().frequency);

        for (int section : {0, 1, 2}) {
            clickSection(section);
            const auto byText = rows();
            for (std::size_t i = 1; i < byText.size(); ++i) {
                QVERIFY2(byText[i - 1].text <= byText[i].text,
                         qPrintable(QString("section %1 row %2").arg(section).arg(i)));
            }
        }
        // The keyboard sorts too: Ctrl+5 is a click on "freq.", Ctrl+1 on "Code".
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        m_form->LMDListBox1->setFocus();
        QTest::keyClick(m_form->LMDListBox1, Qt::Key_5, Qt::ControlModifier);
        QCOMPARE(rows().front().text, ResourceString(ResId::VTTotal));
        QTest::keyClick(m_form->LMDListBox1, Qt::Key_1, Qt::ControlModifier);
        auto byText = codeOrder;
        sortRowsBySection(byText, 0);  // row texts are unique, so this order is the only one
        QVERIFY(rows() == byText);
        // A font change with a text loaded rebuilds the list in code order.
        clickSection(4);
        m_form->ElSpinEditFontSize->setValue(12);
        QVERIFY(rows() == codeOrder);
    }

    void aRestartKeepsTheControlsButNotTheText() {
        QVERIFY(runOn(m_data));
        QVERIFY(!m_form->Memo->toPlainText().isEmpty());
        m_form->ElComboBoxFileSpecs->setEditText("*.log;*.md");
        m_form->CheckBoxFolders->setChecked(true);
        m_form->CheckBoxZips->setChecked(false);
        m_form->ElEditHeaderToCut->setText("#");
        m_form->ElSpinEditFontSize->setValue(13);
        m_form->ElCheckBoxCopyCharactersOnly->setChecked(true);
        m_form->PageControl1->setCurrentWidget(m_form->TabSheetHelp);
        m_form.reset();  // saves the settings
        TForm1& form = makeForm();
        QCOMPARE(form.ElFolderNameEdit1->text(), m_data);
        QCOMPARE(form.ElComboBoxFileSpecs->currentText(), QStringLiteral("*.log;*.md"));
        QCOMPARE(form.ElComboBoxFileSpecs->count(), 5);
        QVERIFY(form.CheckBoxFolders->isChecked());
        QVERIFY(!form.CheckBoxZips->isChecked());
        QCOMPARE(form.ElEditHeaderToCut->text(), QStringLiteral("#"));
        QCOMPARE(form.ElSpinEditFontSize->value(), 13);
        QVERIFY(form.ElCheckBoxCopyCharactersOnly->isChecked());
        QVERIFY(form.Memo->toPlainText().isEmpty());
        QVERIFY(form.LabelResults->text().isEmpty());
        QCOMPARE(form.PageControl1->currentWidget(), form.TabSheetResults);
        QVERIFY(m_messages.texts.isEmpty());
    }

    void clickedSectionIndex_data() {
        QTest::addColumn<int>("section");
        QTest::addColumn<int>("expected");
        QTest::newRow("first") << 0 << 0;
        QTest::newRow("last") << 4 << 4;
        QTest::newRow("before") << -1 << -1;
        QTest::newRow("after") << 5 << -1;
    }

    void clickedSectionIndex() {
        QFETCH(int, section);
        QFETCH(int, expected);
        QCOMPARE(TForm1::ClickedSectionIndex(*m_form->LMDListBox1->header(), section), expected);
    }

    void copyPutsTheRowsOnTheClipboard() {
        QVERIFY(runOn(m_data));
        clickSection(4);
        QTest::mouseClick(m_form->ElPopupButtonCopy, Qt::LeftButton);
        const QString copied = QGuiApplication::clipboard()->text();
        QCOMPARE(copied, fromU16(buildCopyText(m_form->LMDListBox1->resultsModel().rows(), false)));
        // The most frequent character comes first; named codes split into tabs; quotes spelt.
        QVERIFY2(copied.startsWith("65\tA\t7\r\n"), qPrintable(copied.left(40)));
        QVERIFY(copied.contains("\r\n9\t" + res(ResId::VTTab).replace(' ', '\t') + "\t1\r\n"));
        QVERIFY(copied.contains("\r\n34\tquotes\t1\r\n"));
        QVERIFY(!copied.contains(res(ResId::VTTotal)));
        QCOMPARE(m_form->ElStatusBar1->currentMessage(), res(ResId::VTClipboardHasText));

        m_form->ElCheckBoxCopyCharactersOnly->setChecked(true);
        QTest::mouseClick(m_form->ElPopupButtonCopy, Qt::LeftButton);
        const QString letters = QGuiApplication::clipboard()->text();
        QVERIFY(letters.startsWith("65\tA\t7\r\n"));
        QVERIFY(!letters.contains("quotes"));
        QVERIFY(!letters.contains("\r\n9\t"));
        QVERIFY(letters.contains("\r\n233\t\u00e9\t1\r\n"));
    }

    void copyOfAnEmptyListTouchesNothing() {
        QGuiApplication::clipboard()->setText("keep me");
        QTest::mouseClick(m_form->ElPopupButtonCopy, Qt::LeftButton);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("keep me"));
        QVERIFY(m_form->ElStatusBar1->currentMessage().isEmpty());
    }

    void rowHeightFollowsTheFont() {
        int small = 0;
        m_form->ElSpinEditFontSize->setValue(8);
        m_form->LMDListBox1MeasureItem(0, small);
        QFont font = m_form->LMDListBox1->font();
        QCOMPARE(font.pointSize(), 8);
        QCOMPARE(small, QFontMetrics(font).size(Qt::TextSingleLine, "&jK").height() + 2);
        int large = 0;
        m_form->ElSpinEditFontSize->setValue(20);
        m_form->LMDListBox1MeasureItem(0, large);
        QVERIFY(large > small);
        // The header keeps its own font.
        QVERIFY(m_form->LMDListBox1->header()->font().pointSize() != 20);
    }

    void drawingPaintsTheRowColours() {
        QVERIFY(runOn(m_data));
        const int tab = rowOf(*m_form, "  9  " + res(ResId::VTTab));
        const int letter = rowOf(*m_form, " 65 A");
        const int blue = rowOf(*m_form, "233 \u00e9");
        QVERIFY(tab >= 0 && letter >= 0 && blue >= 0);
        auto paint = [this](int row, bool selected) {
            QImage image(400, 24, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setFont(m_form->LMDListBox1->font());
            painter.setBrush(selected ? QColor(10, 20, 30) : QColor(Qt::white));
            m_form->ListBox1DrawItem(painter, row, QRect(0, 0, 400, 24), selected);
            return image;
        };
        auto count = [](const QImage& image, QRgb colour) {
            int n = 0;
            for (int y = 0; y < image.height(); ++y) {
                for (int x = 0; x < image.width(); ++x) {
                    n += image.pixel(x, y) == colour ? 1 : 0;
                }
            }
            return n;
        };
        const QRgb red = qRgb(255, 0, 0);
        const QRgb blueColour = qRgb(0, 0, 255);
        QVERIFY(count(paint(tab, false), red) > 0);
        QCOMPARE(count(paint(letter, false), red), 0);
        QVERIFY(count(paint(blue, false), blueColour) > 0);
        // Selected: background from the brush, no row colour.
        const QImage selected = paint(tab, true);
        QCOMPARE(count(selected, red), 0);
        QVERIFY(count(selected, qRgb(10, 20, 30)) > 400 * 24 / 2);
        // Outside the rows nothing is drawn.
        QCOMPARE(count(paint(-1, false), qRgb(255, 255, 255)), 400 * 24);
        QCOMPARE(count(paint(m_form->LMDListBox1->Count(), false), qRgb(255, 255, 255)), 400 * 24);
    }

    void helpWithoutAFileSaysWhereItLooked() {
        m_form->findChild<QPushButton*>("ButtonHelp")->click();
        QCOMPARE(m_messages.texts.size(), 1);
        QVERIFY(m_messages.texts[0].contains(pathToQString(m_form->helpFile())));
        QVERIFY(m_form->helpFile().filename() == "tst_form.chm");
    }

    void helpOpensTheLanguageFile() {
        const QString file = m_home->path() + "/user/interfaces/veltrane_9.chm";
        QVERIFY(test::writeFile(file, "help"));
        std::filesystem::path opened;
        FormServices services;
        services.message = [this](const QString& text, const QString&) {
            m_messages.texts << text;
        };
        services.userFolder = [this] { return pathFromQString(m_home->path() + "/user"); };
        services.chosenLanguage = [] { return 0x0809u; };  // English (UK): primary language 9
        services.openHelp = [&opened](const std::filesystem::path& path) {
            opened = path;
            return true;
        };
        TForm1 form(services);
        form.ButtonHelp->click();
        QCOMPARE(pathToQString(opened), file);
        QVERIFY(m_messages.texts.isEmpty());
        QFile::remove(file);
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
