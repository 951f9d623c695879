// SPDX-License-Identifier: GPL-3.0-or-later
// The main window driven through its controls: runs, acting while a file's message holds one,
// the full list, sorting, copying, saving, the overview, painting, a restart (also from a damaged
// settings file), settings files loaded, context help, F1 and the help page, the About box.

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include <QtCharts/QAbstractBarSeries>
#include <QtCharts/QBarCategoryAxis>
#include <QtCharts/QBarSet>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include "frame/ui/control_states.h"
#include "frame/ui/path_box_extras.h"
#include "frame/ui/tool_data_module.h"
#include "results/ui/character_inspector.h"
#include "results/ui/overview_tab.h"
#include "results/ui/results_list.h"
#include "suite/number_format.h"
#include "suite/resource_strings.h"
#include "support/zip_forge.h"
#include "ui/ui_test_support.h"

using namespace runemeter;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(runemeter::TextChoices)

class TestForm : public QObject {
    Q_OBJECT

    test::FreshHome m_home;
    std::unique_ptr<TForm1> m_form;
    test::MessageHook m_messages;

    QString at(const QString& path) const { return m_home.at(path); }
    TForm1& makeForm(FormServices services = {}) {
        services.message = m_messages.service();
        services.userFolder = [this] { return pathFromQString(at("user")); };
        m_form.reset();  // the window before saves its settings first
        m_form = std::make_unique<TForm1>(services);
        return *m_form;
    }
    const std::vector<ProfileRow>& rows() const {
        return m_form->LMDListBox1->resultsModel().rows();
    }
    int rowOf(const QString& text) const {
        const auto is = [&](const ProfileRow& row) { return fromU16(row.text) == text; };
        const auto row = std::find_if(rows().begin(), rows().end(), is);
        return row == rows().end() ? -1 : int(row - rows().begin());
    }
    /// The row's frequency; -1 when the list has no such row.
    qlonglong frequencyOf(const QString& text) const {
        return rowOf(text) < 0 ? -1 : rows()[std::size_t(rowOf(text))].frequency;
    }
    void clickSection(int section) {
        QHeaderView* header = m_form->LMDListBox1->header();
        const QPoint point(header->sectionViewportPosition(section) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, point);
    }
    /// By frequency, largest first below the total row at the top, or by row text.
    bool sortedBy(bool frequency) const {
        const auto order = [=](const ProfileRow& a, const ProfileRow& b) {
            return frequency ? a.frequency > b.frequency : a.text < b.text;
        };
        return std::is_sorted(rows().begin() + frequency, rows().end(), order) &&
               (!frequency || rows()[0].text == u"Total");
    }

private slots:
    void initTestCase() {
        // Three texts of three encodings, read in name order: ANSI, UTF-16 LE, UTF-16 BE; in
        // "act", 01 is read, 02's message is where the user acts, 03 and 04 come after.
        for (const QString file :
             {"data/a.txt=AAB\tx\"#\r\n", "data/skip.xml=ZZZZ", "act/01.txt=xxx",
              "act/02.txt=", "act/03.txt=yyy", "act/04.txt=yyy", "messages/bad.zip=not an archive",
              "messages/empty.txt=", "messages/good.txt=yes", "nomatch/only.xml=x"}) {
            QVERIFY(test::writeFile(at(file.section('=', 0, 0)), file.section('=', 1).toLatin1()));
        }
        QVERIFY(test::writeFile(at("data/b.txt"), QByteArray("\377\376A\0b\0\351\0", 8)));
        QVERIFY(test::writeFile(at("data/c.txt"), QByteArray("\376\377\0A\0A\0A\0A\0\1", 12)));
        QVERIFY(test::writeFile(at("huge/big.txt"), QByteArray(1'500'000, 'a')));
        test::ForgedMember bad = test::storedMember("bad.txt", "bbb");
        bad.crc ^= 1;  // an archive that opens, with one damaged member
        QVERIFY(test::writeFile(at("messages/mixed.zip"),
                                QByteArray::fromStdString(test::forgeZip({bad}))));
    }

    void init() {
        m_messages = {};
        QFile::remove(at("user/tst_form.ini"));  // every test starts from the defaults
        makeForm();
    }

    void cleanup() { m_form.reset(); }

    // Each row: a path (a file is started by Enter), what the user does while a file's message
    // holds the run, and what the run shows: the labels (%p: the path), a row's frequency (-1: no
    // row), the memo's end, the messages.
    void runs_data() {
        for (const char* column : {"path", "action", "summary", "row", "memoEnd"}) {
            QTest::addColumn<QString>(column);
        }
        QTest::addColumn<int>("filesRead");
        QTest::addColumn<qlonglong>("frequency");
        QTest::addColumn<QStringList>("messages");
        const auto row = [](const char* name, QString path, QString action, QString summary,
                            QString counted, QString memoEnd, int files, qlonglong frequency,
                            QStringList messages) {
            QTest::newRow(name) << path << action << summary << counted << memoEnd << files
                                << frequency << messages;
        };
        row("folder", "data", "", "based on 3 files | ANSI: 1; Unicode: 1; Unicode big-endian: 1",
            " 65 A", u"AAAA\u0001"_s, 3, 7, {});
        row("huge text counted whole, shown in part", "huge/big.txt", "", "%p | ANSI", " 97 a",
            "[1048576 of 1500000 characters shown]", 1, 1'500'000, {});
        row("file messages", "messages", "", "%p | ANSI", "121 y", "yes", 1, 1,
            {"The archive " + at("messages/bad.zip is damaged and was skipped"),
             "The file " + at("messages/empty.txt is empty."),
             "The member bad.txt of the archive " + at("messages/mixed.zip is damaged")});
        const QStringList empty{"The file " + at("act/02.txt is empty.")};
        row("Stop ends the run after the file in hand", "act", "ButtonStop", "%p | ANSI", "121 y",
            "xxx", 1, -1, empty);
        row("Escape too", "act", "Esc", "%p | ANSI", "121 y", "xxx", 1, -1, empty);
        row("closing too, then the window closes", "act", "close", "%p | ANSI", "121 y", "xxx", 1,
            -1, empty);
        row("neither a file nor a folder: no run, the edit says why", "no such thing", "", "", "",
            "", 0, -1, {});
        row("Analyse twice during the run is ignored", "act", "ButtonAnalyse ButtonAnalyse",
            "based on 3 files | ANSI: 3", "121 y", "yyy", 3, 6, empty);
    }
    void runs() {
        QFETCH(QString, path);
        QFETCH(QString, action);
        QFETCH(QString, summary);
        QFETCH(QString, row);
        QFETCH(QString, memoEnd);
        QFETCH(QStringList, messages);
        TForm1& form = *m_form;
        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QStringList during;
        m_messages.whileShown = [&] {
            during << form.LabelResults->text() << form.PCProgressBar1->text()
                   << form.ElStatusBar1->currentMessage();
            if (action == "close") {
                form.close();
            } else if (action == "Esc") {
                QTest::keyClick(form.LMDListBox1, Qt::Key_Escape);
            } else {  // clicks on buttons named so
                for (const QString& name : action.split(' ', Qt::SkipEmptyParts)) {
                    QTest::mouseClick(form.findChild<QPushButton*>(name), Qt::LeftButton);
                }
            }
            during << form.ElStatusBar1->currentMessage();
        };
        form.PageControl1->setCurrentWidget(form.TabSheet1);
        form.ElFolderNameEdit1->setText(at(path));
        QSignalSpy started(&form, &TForm1::runStarted);
        QSignalSpy finished(&form, &TForm1::runFinished);
        if (path.endsWith(".txt")) {
            QTest::keyClick(form.ElFolderNameEdit1, Qt::Key_Return);
        } else {
            QTest::mouseClick(form.ButtonAnalyse, Qt::LeftButton);
        }
        if (path == "no such thing") {
            QVERIFY(started.isEmpty() && rows().empty() && !form.isRunning());
            QCOMPARE(form.PageControl1->currentWidget(), form.TabSheet1);
            QVERIFY(form.ElFolderNameEdit1->property("invalidPath").toBool());
            QVERIFY(form.ElFolderNameEdit1->toolTip().contains(at(path)));
            QCOMPARE(form.ElStatusBar1->currentMessage(), form.ElFolderNameEdit1->toolTip());
            return;
        }
        // Before the worker's first report: the search label, the busy cursor, the Results tab.
        QVERIFY(form.LabelResults->text() == "..." && QApplication::overrideCursor() != nullptr);
        QCOMPARE(form.PageControl1->currentWidget(), form.TabSheetResults);
        QVERIFY(finished.wait(20000));
        QVERIFY(!form.isRunning() && QApplication::overrideCursor() == nullptr);
        QCOMPARE(started.count(), 1);
        QTEST(int(form.analysisState().FilesRead), "filesRead");
        QCOMPARE(form.LabelResults->text() + " | " + form.LabelFileInfo->text(),
                 summary.replace("%p", at(path)));
        QTEST(frequencyOf(row), "frequency");
        QCOMPARE(frequencyOf(" 90 Z"), 0);  // the .xml file is not read
        QCOMPARE(fromU16(rows().back().text), QStringLiteral("Total"));
        const QString memo = form.Memo->toPlainText();
        QVERIFY2(memo.endsWith(memoEnd) && memo.size() < 1'100'000, qPrintable(memo.right(60)));
        QCOMPARE(m_messages.texts.size(), messages.size());
        for (qsizetype i = 0; i < messages.size(); ++i) {
            QVERIFY2(m_messages.texts[i].startsWith(messages[i]), qPrintable(m_messages.texts[i]));
        }
        QCOMPARE(form.isVisible(), action != "close");
        if (path == "act") {
            // While the run waited: files found, share read, folder searched; then the status bar.
            const QString after =
                action == "close" ? "Closing when the file in hand is done..." : at("act");
            QCOMPARE(during, QStringList({"4", "25%", at("act"), after}));
            m_messages.whileShown = nullptr;  // the next run is not cut short by this one's end
            QVERIFY(test::runOn(form, at("act")));
            QCOMPARE(form.analysisState().FilesRead, 3);
        }
    }

    // An error on the worker (here the log, written there for an entry that is no file) ends
    // the run with the error in the status bar and the log; the window runs again.
    void workerErrorEndsTheRun() {
        QVERIFY(QDir().mkpath(at("fifo")) && ::mkfifo(qPrintable(at("fifo/pipe.txt")), 0600) == 0);
        auto logged = std::make_shared<std::vector<std::u16string>>();  // the window outlives us
        FormServices services;
        services.log = [logged](const std::u16string& line, bool) {
            if (line.find(u"pipe.txt") != std::u16string::npos) {
                throw std::runtime_error("log full");
            }
            logged->push_back(line);
        };
        TForm1& form = makeForm(services);
        QVERIFY(test::runOn(form, at("fifo")));
        const QString shown = form.ElStatusBar1->currentMessage();
        QVERIFY2(shown.contains("(log full)"), qPrintable(shown));
        QVERIFY(!form.isRunning() && QApplication::overrideCursor() == nullptr);
        QCOMPARE(fromU16(logged->back()), shown);
        QVERIFY(test::runOn(form, at("data")));
        QCOMPARE(form.analysisState().FilesRead, 3);
    }

    // A row for every code unit, line breaks and the total, laid out without measuring each.
    void everyCodeUnitGivesTheFullList() {
        TLMDListBox& list = *m_form->LMDListBox1;
        auto measured = std::make_shared<int>(0);
        const auto measure = [this, measured](int row, int& height) {
            ++*measured;
            m_form->LMDListBox1MeasureItem(row, height);
        };
        list.setItemDelegate(
            new ResultRowDelegate([](QPainter&, int, const QRect&, bool) {}, measure, &list));
        m_form->show();
        QVERIFY(m_form->ShowFilledState([](AnalysisState& state) {
            for (std::size_t c = 0; c < state.CharCounts->size(); ++c) {
                (*state.CharCounts)[c] = static_cast<std::int64_t>(c % 7 + 1);
            }
            state.FilesRead = 1;
        }));
        QCOMPARE(list.Count(), 65538);
        list.goToRow(65537);
        QCOMPARE(list.currentIndex().row(), 65537);
        QVERIFY2(*measured < 100, qPrintable(QString::number(*measured)));
    }

    void headerClicksAndKeysSort() {
        QVERIFY(test::runOn(*m_form, at("data")));
        m_form->show();
        QApplication::setActiveWindow(m_form.get());
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        m_form->LMDListBox1->goToRow(30);
        // freq. twice (the same direction again), then %, then the text sections, in turn.
        for (int section : {4, 4, 3, 0, 4, 1, 4, 2}) {
            clickSection(section);
            QVERIFY2(sortedBy(section >= 3), qPrintable(QString::number(section)));
        }
        QCOMPARE(m_form->LMDListBox1->currentIndex().row(), 0);
        QCOMPARE(frequencyOf(" 65 A"), 7);  // each row keeps its own frequency
        // The keyboard: Ctrl+5 is a click on "freq.", Ctrl+1 on "Code".
        m_form->LMDListBox1->setFocus();
        QTest::keyClick(m_form->LMDListBox1, Qt::Key_5, Qt::ControlModifier);
        QVERIFY(sortedBy(true));
        QTest::keyClick(m_form->LMDListBox1, Qt::Key_1, Qt::ControlModifier);
        QVERIFY(sortedBy(false));
    }

    void copyPutsTheRowsOnTheClipboard() {
        QClipboard* clipboard = QGuiApplication::clipboard();
        clipboard->setText("keep me");
        m_form->ElPopupButtonCopy->click();  // an empty list copies nothing
        QCOMPARE(clipboard->text(), QStringLiteral("keep me"));
        QVERIFY(test::runOn(*m_form, at("data")));
        clickSection(4);
        m_form->ElPopupButtonCopy->click();
        const QString all = clipboard->text();
        // In the list's order; named codes split into tabs; the quote spelt out; no total.
        QVERIFY2(all.startsWith("65\tA\t7\r\n"), qPrintable(all.left(40)));
        QVERIFY(all.contains("\r\n9\tTab\t1\r\n") && all.contains("\r\n34\tquotes\t1\r\n"));
        QVERIFY(!all.contains("Total"));
        QCOMPARE(m_form->ElStatusBar1->currentMessage(),
                 QStringLiteral("The results are on the clipboard as text."));
        m_form->ElCheckBoxCopyCharactersOnly->setChecked(true);
        m_form->ElPopupButtonCopy->click();
        const QString letters = clipboard->text();  // letters only
        QVERIFY(letters.contains(u"\r\n233\t\u00e9\t1\r\n"_s) && !letters.contains("\r\n9\t"));
    }

    // With DejaVu Sans (no CJK) as the list font the filter keeps the CJK rows only, sorting
    // and copy work on them, and the inspector names a font that draws them. F9 hides the pane;
    // a restart keeps it hidden, and it comes back as wide as it was.
    void inspectorAndMissingFilter() {
        if (!QFontDatabase::families().contains("DejaVu Sans"))
            QSKIP("DejaVu Sans is not installed");
        QVERIFY(test::writeFile(at("cjk/t.txt"), u"\uFEFFAA\u4E2D\u65E5\u65E5\u65E5 b"_s.toUtf8()));
        TForm1& form = *m_form;
        TCharacterInspector& inspector = *form.CharacterInspector;
        form.ElFontComboBox1->setCurrentFont(QFont("DejaVu Sans"));
        QVERIFY(test::runOn(form, at("cjk")));
        const int all = form.LMDListBox1->Count();
        inspector.FilterBox->setChecked(true);
        QCOMPARE(rowOf(u"20013 \u4E2D"_s) + rowOf(u"26085 \u65E5"_s), 1);  // rows 0 and 1
        QCOMPARE(form.LMDListBox1->Count(), 2);
        QCOMPARE(inspector.MissingCount->text(), "Rows missing from the list font: 2");
        clickSection(4);
        form.ElPopupButtonCopy->click();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 u"26085\t\u65E5\t3\r\n20013\t\u4E2D\t1\r\n"_s);
        form.LMDListBox1->goToRow(1);
        const QString family = inspector.drawingFamily();
        QVERIFY2(QRawFont::fromFont(QFont(family)).supportsCharacter(0x4E2D), qPrintable(family));
        QVERIFY(inspector.Details->toPlainText().contains("CJK UNIFIED IDEOGRAPH-4E2D"));
        inspector.FilterBox->setChecked(false);
        QVERIFY(form.LMDListBox1->Count() == all && sortedBy(true));

        form.show();
        QApplication::setActiveWindow(&form);
        QVERIFY(QTest::qWaitForWindowActive(&form));
        const int total = inspector.Splitter->width() - inspector.Splitter->handleWidth();
        inspector.Splitter->setSizes({total - 180, 180});
        QTest::keyClick(&form, Qt::Key_F9);
        QVERIFY(inspector.isHidden() && !inspector.ShowAction->isChecked());
        TForm1& again = makeForm();
        TCharacterInspector& restored = *again.CharacterInspector;
        QVERIFY(restored.isHidden() && !restored.ShowAction->isChecked());
        again.show();
        QVERIFY(QTest::qWaitForWindowExposed(&again));
        restored.ShowAction->trigger();
        QTRY_COMPARE(restored.width(), 180);
    }

    // Every form the window saves is what runemeter-cli prints for the same run, byte for byte.
    void savedFormsEqualTheCommandLine_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("form");
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("lettersOnly");
        QTest::newRow("copy text") << "data" << int(SaveForm::CopyText) << "tsv" << false;
        QTest::newRow("copy text, letters") << "data" << int(SaveForm::CopyText) << "tsv" << true;
        QTest::newRow("table") << "data" << int(SaveForm::Table) << "table" << false;
        QTest::newRow("csv, letters") << "data" << int(SaveForm::Csv) << "csv" << true;
        QTest::newRow("json") << "data/a.txt" << int(SaveForm::Json) << "json" << false;
        QTest::newRow("json with problems") << "messages" << int(SaveForm::Json) << "json" << false;
        QTest::newRow("json, no file matches")
            << "nomatch" << int(SaveForm::Json) << "json" << false;
    }
    void savedFormsEqualTheCommandLine() {
        QFETCH(QString, path);
        QFETCH(int, form);
        QFETCH(QString, format);
        QFETCH(bool, lettersOnly);
        m_form->ElCheckBoxCopyCharactersOnly->setChecked(lettersOnly);
        QVERIFY(test::runOn(*m_form, at(path)));
        const QString saved = at("saved/") + QTest::currentDataTag();
        QVERIFY(QDir().mkpath(at("saved")));
        QVERIFY(m_form->SaveResultAs(saved, SaveForm(form)));
        QProcess cli;
        QStringList arguments{"--format", format, at(path)};
        if (lettersOnly)
            arguments << "--letters-only";
        cli.start(RUNEMETER_CLI_PATH, arguments);
        QVERIFY(cli.waitForFinished(20000));
        QFile file(saved);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray expected = cli.readAllStandardOutput();
        QVERIFY(expected.size() > 20);
        QCOMPARE(file.readAll(), expected);
    }

    // A file already there is replaced only when the user says so; a save that fails keeps it
    // whole and says where and why. The charts are saved as pictures.
    void saveAsksAndKeepsTheOldFile() {
        QStringList asked;
        bool answer = false;
        FormServices services;
        services.confirm = [&](const QString& question) {
            asked << question;
            return answer;
        };
        TForm1& form = makeForm(services);
        const QString target = at("out/result.tsv");
        QVERIFY(test::writeFile(target, "old"));
        QVERIFY(!form.SaveResultAs(target, SaveForm::Csv));  // nothing run yet
        QVERIFY(test::runOn(form, at("data")));
        QVERIFY(!form.SaveResultAs(target, SaveForm::Csv));
        QCOMPARE(asked, QStringList{target + " already exists. Replace it?"});
        QCOMPARE(test::readText(target), QStringLiteral("old"));
        answer = true;
        QVERIFY(form.SaveResultAs(target, SaveForm::Csv));
        QVERIFY(test::readText(target).startsWith("code,"));

        QVERIFY(test::writeFile(target, "old"));
        QVERIFY(QFile::setPermissions(at("out"), QFile::ReadOwner | QFile::ExeOwner));
        // Permissions do not bind the super-user; an immutable folder does.
        const bool immutable =
            ::geteuid() == 0 && QProcess::execute("chattr", {"+i", at("out")}) == 0;
        const bool locked = !test::writeFile(at("out/probe"), "x");
        m_messages.texts.clear();
        const bool saved = form.SaveResultAs(target, SaveForm::Json, true);
        if (immutable)
            QProcess::execute("chattr", {"-i", at("out")});
        QFile::setPermissions(at("out"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (!locked)
            QSKIP("no way to make a folder read-only here");
        QVERIFY(!saved);
        QCOMPARE(test::readText(target), QStringLiteral("old"));
        QCOMPARE(m_messages.texts.size(), 1);
        QVERIFY2(m_messages.texts[0].startsWith("Cannot save " + target + ": ") &&
                     m_messages.texts[0].size() > target.size() + 60,
                 qPrintable(m_messages.texts[0]));

        for (const auto& [form_, magic] : {std::pair{SaveForm::Png, QByteArray("\x89PNG")},
                                           std::pair{SaveForm::Svg, QByteArray("<?xml")}}) {
            const QString picture = at("out/charts") + (form_ == SaveForm::Png ? ".png" : ".svg");
            QVERIFY(form.SaveResultAs(picture, form_));
            QFile file(picture);
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            QVERIFY2(bytes.startsWith(magic) && bytes.size() > 2000, bytes.left(20).constData());
        }
        const QImage charts(at("out/charts.png"));
        QCOMPARE(charts.size(), QSize(900, 1000));
    }

    // The overview groups the run; a group clicked in its table is selected in the list.
    void overviewGroupsAndSelects() {
        QVERIFY(test::runOn(*m_form, at("data")));
        TOverviewTab& overview = *m_form->TabSheetOverview;
        m_form->PageControl1->setCurrentWidget(&overview);
        overview.ElComboBoxGroupBy->setCurrentIndex(2);  // general category
        QTableWidget& table = *overview.OverviewTable;
        QCOMPARE(table.rowCount(), int(overview.groups().size()));
        QCOMPARE(table.item(0, 0)->text(), QStringLiteral("Lu"));  // A 7, B 1
        QCOMPARE(table.item(0, 2)->text(), QStringLiteral("8"));
        table.sortItems(1, Qt::AscendingOrder);  // by distinct characters
        QVERIFY(table.item(0, 1)->text().toInt() <=
                table.item(table.rowCount() - 1, 1)->text().toInt());
        int lu = 0;
        while (table.item(lu, 0)->text() != "Lu")
            ++lu;
        QTest::mouseClick(table.viewport(), Qt::LeftButton, {},
                          table.visualRect(table.model()->index(lu, 0)).center());
        QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheetResults);
        QStringList selected;
        for (const QModelIndex& index : m_form->LMDListBox1->selectionModel()->selectedRows())
            selected << fromU16(rows()[std::size_t(index.row())].text);
        selected.sort();
        QCOMPARE(selected, QStringList({" 65 A", " 66 B"}));
        // The character chart: most frequent first, labelled in the list font.
        auto* axis = qobject_cast<QBarCategoryAxis*>(
            overview.CharacterChartView->chart()->axes(Qt::Horizontal).value(0));
        QVERIFY(axis != nullptr);
        QCOMPARE(axis->categories().value(0), QStringLiteral("A"));
        QCOMPARE(axis->labelsFont().family(), m_form->LMDListBox1->font().family());
        // A bar of it clicked: that character's row alone is selected in the list.
        m_form->PageControl1->setCurrentWidget(&overview);
        auto* bars = qobject_cast<QAbstractBarSeries*>(
            overview.CharacterChartView->chart()->series().value(0));
        QVERIFY(bars != nullptr);
        emit bars->barSets().value(0)->clicked(0);
        QCOMPARE(m_form->PageControl1->currentWidget(), m_form->TabSheetResults);
        const QModelIndexList chosen = m_form->LMDListBox1->selectionModel()->selectedRows();
        QCOMPARE(chosen.size(), 1);
        QCOMPARE(fromU16(rows()[std::size_t(chosen.value(0).row())].text), QStringLiteral(" 65 A"));
    }

    void rowsArePaintedInTheirColours() {
        QVERIFY(test::runOn(*m_form, at("data")));
        // How many pixels of a colour painting a row leaves in a white image with the brush.
        const auto paint = [this](int row, bool selected, QRgb colour) {
            QImage image(400, 24, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            painter.setBrush(selected ? QColor(10, 20, 30) : QColor(Qt::white));
            m_form->ListBox1DrawItem(painter, row, image.rect(), selected);
            painter.end();
            const auto* pixels = reinterpret_cast<const QRgb*>(image.constBits());
            return std::count(pixels, pixels + 400 * 24, colour);
        };
        const QRgb red = qRgb(255, 0, 0);
        const int tab = rowOf("  9  Tab");
        QVERIFY(paint(tab, false, red) > 0);
        QCOMPARE(paint(rowOf(" 65 A"), false, red), 0);
        QVERIFY(paint(rowOf(u"233 \u00e9"_s), false, qRgb(0, 0, 255)) > 0);
        // Selected: the brush's background, no row colour.
        QCOMPARE(paint(tab, true, red), 0);
        QVERIFY(paint(tab, true, qRgb(10, 20, 30)) > 400 * 24 / 2);
        QCOMPARE(paint(int(rows().size()), false, qRgb(255, 255, 255)), 400 * 24);  // no row
    }

    // At 10 and 14 pt of two fonts, and after a switch to a longer type name, each text of a row
    // lies inside its own section, 2 px or more after the text before it.
    void textsFitTheirSections() {
        TForm1& form = *m_form;
        QVERIFY(form.ShowFilledState([](AnalysisState& state) {
            (*state.CharCounts)[20013] = 3;
            (*state.CharCounts)[44032] = 177'408'000;
            (*state.CharCounts)[46] = 12'475;
            state.FilesRead = 1;
        }));
        for (const QString family : {"DejaVu Sans", "Noto Serif"}) {
            QVERIFY2(QFontInfo(QFont(family)).family() == family, "scripts/setup.sh installs it");
            form.ElFontComboBox1->setCurrentFont(QFont(family));
            for (const auto& [size, type] :
                 {std::pair{10, u"Interpunktionszeichen"}, {10, u""}, {14, u""}}) {  // "": English
                form.ElSpinEditFontSize->setValue(size);
                setResourceStringTranslations(
                    std::array{std::pair{ResId::VTPunctuation, std::u16string(type)}});
                form.RetranslateResults();
                int left[5];
                int width[5];
                form.LMDListBox1->sectionEdges(left, width);
                const QFontMetrics metrics(form.LMDListBox1->font());
                for (const ProfileRow& row : rows()) {
                    const RowPaint paint =
                        rowPaint(row, rows().back().frequency, false, Myformatsettings(), left,
                                 width, metrics, {}, false);
                    for (int i = 0, previousEnd = INT_MIN / 2; i < 5; ++i) {
                        const PaintedText& text = paint.columns[std::size_t(i)];
                        const int end = text.x + metrics.horizontalAdvance(text.text);
                        QVERIFY2(
                            text.text.isEmpty() || (text.x >= std::max(left[i], previousEnd + 2) &&
                                                    end <= left[i] + width[i]),
                            qPrintable(family + ": " + fromU16(row.text) + " | " + text.text));
                        previousEnd = text.text.isEmpty() ? previousEnd : end;
                    }
                }
            }
        }
    }

    // Under German the list shows numbers as the locale writes them, as the command line does;
    // a character no installed font has keeps its row and says so in the row's tool tip.
    void aGermanRun() {
        const QByteArray before = qgetenv("LC_ALL");
        qputenv("LC_ALL", "de_DE.UTF-8");
        TForm1& form = makeForm();
        before.isNull() ? qunsetenv("LC_ALL") : qputenv("LC_ALL", before);
        const std::u16string codes = u"a\u4e2d\uac00\u0627\uffff";
        QVERIFY(form.ShowFilledState([&](AnalysisState& state) {
            for (const char16_t code : codes) {
                (*state.CharCounts)[code] = code == u'a' ? 12'475 : 1;
            }
            state.FilesRead = 1;
        }));
        QStringList seen;
        for (const char16_t code : codes) {
            const int row = rowOf(QString::number(int(code)).rightJustified(3) + ' ' + QChar(code));
            const QModelIndex share = form.LMDListBox1->resultsModel().index(row, 3);
            seen << QStringList{share.data().toString(), share.siblingAtColumn(4).data().toString(),
                                form.LMDListBox1->rowToolTip(row)}
                        .join('|');
        }
        const QString none = fromU16(ResourceString(ResId::VTNoFontHasCharacter));
        QCOMPARE(seen, QStringList({"99,97%|12.475|", "|1|", "|1|", "|1|", "|1|" + none}));
    }

    void aRestartKeepsTheControlsButNotTheText() {
        QVERIFY(test::runOn(*m_form, at("data")));
        m_form->ElComboBoxFileSpecs->setEditText("*.log;*.md");
        m_form->CheckBoxFolders->setChecked(true);
        m_form->CheckBoxZips->setChecked(false);
        m_form->ElEditHeaderToCut->setText("#");
        m_form->ElSpinEditFontSize->setValue(13);
        m_form->ElCheckBoxCopyCharactersOnly->setChecked(true);
        m_form->TabSheetOverview->ElComboBoxGroupBy->setCurrentIndex(1);  // block
        m_form->PageControl1->setCurrentWidget(m_form->TabSheetHelp);
        TForm1& form = makeForm();
        QCOMPARE(form.TabSheetOverview->ElComboBoxGroupBy->currentIndex(), 1);
        QCOMPARE(form.ElFolderNameEdit1->text(), at("data"));
        QCOMPARE(form.ElComboBoxFileSpecs->currentText(), QStringLiteral("*.log;*.md"));
        QCOMPARE(form.ElComboBoxFileSpecs->count(), 5);  // the typed mask joined the list
        form.ElComboBoxFileSpecs->addItem(QString("*.md;").repeated(40));  // the drop-down fits it
        form.ElComboBoxFileSpecs->showPopup();
        const QAbstractItemView* masks = form.ElComboBoxFileSpecs->view();
        QVERIFY(masks->viewport()->width() >= masks->sizeHintForColumn(0) && masks->isVisible());
        QVERIFY(form.CheckBoxFolders->isChecked() && !form.CheckBoxZips->isChecked());
        QVERIFY(form.ElEditHeaderToCut->text() == "#" && form.ElSpinEditFontSize->value() == 13);
        QVERIFY(form.ElCheckBoxCopyCharactersOnly->isChecked() && m_messages.texts.isEmpty());
        // Neither the text nor the results come back; the Results tab is in front.
        QVERIFY(form.Memo->toPlainText().isEmpty() && form.LabelResults->text().isEmpty());
        QCOMPARE(form.PageControl1->currentWidget(), form.TabSheetResults);
        // A file that cannot be read: the defaults, the file kept, the user told where.
        m_form.reset();
        const QString ini = at("user/tst_form.ini");
        QVERIFY(test::writeFile(ini, "[ElSpinEditFontSize]\nvalue:int=1x\n"));
        QCOMPARE(makeForm().ElSpinEditFontSize->value(), 10);
        QVERIFY(test::readText(ini + ".damaged").endsWith("value:int=1x\n"));
        QVERIFY(m_form->ElStatusBar1->currentMessage().endsWith(" kept as " + ini + ".damaged."));
    }

    // Files and folders dropped on the window, or given to it as the command line does, are
    // analysed at once; a refused drop and a bad path say why; the recent paths come back after
    // a restart, and choosing one only fills the path box.
    void dropsAndPathsGiven() {
        TForm1& form = *m_form;
        QSignalSpy finished(&form, &TForm1::runFinished);
        const auto drop = [&](const QList<QUrl>& urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter({5, 5}, Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&form, &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&form, &dropped);
            return dropped.isAccepted();
        };
        const QUrl folder = QUrl::fromLocalFile(at("data"));
        QVERIFY(!drop({QUrl("https://example.org/a.txt")}));  // local files only
        QVERIFY(drop({folder}) && form.isRunning() && finished.wait(20000));
        QVERIFY(form.ElFolderNameEdit1->text() == at("data") && frequencyOf(" 65 A") == 7);
        // Several: the first is analysed, and the user is told.
        QVERIFY(drop({QUrl::fromLocalFile(at("messages/good.txt")), folder}));
        QVERIFY(finished.wait(20000) && frequencyOf("121 y") == 1);
        QVERIFY2(form.ElStatusBar1->currentMessage().startsWith("Of the 2 paths given, only the"),
                 qPrintable(form.ElStatusBar1->currentMessage()));
        // While a run waits on a file's message, a drop is refused and the status bar says why;
        // Save as says to wait for the run's end (not that there is nothing to save).
        bool refused = false;
        bool saveRefused = false;
        bool inHook = false;
        m_messages.whileShown = [&] {
            if (std::exchange(inHook, true))
                return;
            refused = !drop({folder}) && form.ElStatusBar1->currentMessage().startsWith("A run is");
            saveRefused = !form.SaveResultAs(at("during.txt"), SaveForm::CopyText) &&
                          m_messages.texts.last().startsWith("A run is in progress: save");
        };
        QVERIFY(form.OpenPaths({at("act")}) && finished.wait(20000) && refused && saveRefused);
        QVERIFY(!QFileInfo::exists(at("during.txt")));
        QCOMPARE(form.ElFolderNameEdit1->text(), at("act"));
        // A bad path given: the path box says why, nothing runs.
        QVERIFY(form.OpenPaths({at("no such thing")}) && !form.isRunning());
        QCOMPARE(form.ElStatusBar1->currentMessage(),
                 "\"" + at("no such thing") + "\" is neither a file nor a folder.");
        // The recent paths, latest first, after a restart; a pick fills the box and runs nothing.
        const QStringList recent{at("act"), at("messages/good.txt"), at("data")};
        TForm1& next = makeForm();
        QSignalSpy started(&next, &TForm1::runStarted);
        QCOMPARE(next.ElFolderNameEdit1Recent->property("storedList").toStringList(), recent);
        next.show();
        QApplication::setActiveWindow(&next);
        QVERIFY(QTest::qWaitForWindowActive(&next));
        next.ElFolderNameEdit1->setFocus();
        QTest::keyClick(next.ElFolderNameEdit1, Qt::Key_Down, Qt::AltModifier);
        QMenu* menu = next.ElFolderNameEdit1Recent->menu();
        QTRY_VERIFY(menu->isVisible() && menu->actions().size() == 3);
        menu->actions().at(2)->trigger();
        QVERIFY(next.ElFolderNameEdit1->text() == at("data") && started.isEmpty());
    }

    // Each row: the three text choices as the user picks them (item indices), and what the
    // next run is asked to do after a restart.
    void textChoicesKeptAndRun_data() {
        QTest::addColumn<QList<int>>("picked");
        QTest::addColumn<TextChoices>("expected");
        QTest::newRow("defaults") << QList<int>{0, 0, 0} << TextChoices{};
        QTest::newRow("UTF-8, code points, NFC")
            << QList<int>{1, 1, 1}
            << TextChoices{UnsignedMode::Utf8, CountingUnit::CodePoint, Normalisation::Nfc};
        QTest::newRow("automatic, clusters, NFKD")
            << QList<int>{2, 2, 4}
            << TextChoices{UnsignedMode::Auto, CountingUnit::Grapheme, Normalisation::Nfkd};
    }
    void textChoicesKeptAndRun() {
        QFETCH(QList<int>, picked);
        QFETCH(TextChoices, expected);
        const auto boxes = [](TForm1& form) {
            return std::array{form.ElComboBoxUnsignedText, form.ElComboBoxCountingUnit,
                              form.ElComboBoxNormalisation};
        };
        for (int i = 0; i < 3; ++i)
            boxes(*m_form)[i]->setCurrentIndex(picked[i]);
        QVERIFY(m_form->nextRunRequest().text == expected);
        TForm1& form = makeForm();  // closes the window, which saves, and opens a new one
        QList<int> restored;
        for (QComboBox* box : boxes(form))
            restored << box->currentIndex();
        QCOMPARE(restored, picked);
        QVERIFY(form.nextRunRequest().text == expected);
    }

    // Each row: a settings file (null: none), control.property, its value before and after.
    void settingsLoad_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<QVariant>("after");
        QTest::addColumn<QString>("complaint");
        const auto row = [](const char* name, const char* file, QString target, QVariant before,
                            QVariant after, QString complaint = {}) {
            QTest::newRow(name) << QByteArray(file) << target << before << after << complaint;
        };
        row("no settings file", nullptr, "CheckBoxZips.checked", true, true);
        row("a deleted folder is not put back", "[ElFolderNameEdit1]\ntext:wstr=/no/such/folder\n",
            "ElFolderNameEdit1.text", "x", "x");
        row("an index past the list is ignored", "[ElComboBoxFileSpecs]\nv:list=a|b|c|\ni:int=3\n",
            "ElComboBoxFileSpecs.currentIndex", 1, 1);
        row("an index in the list is selected", "[ElComboBoxFileSpecs]\nv:list=a|b|c|\ni:int=2\n",
            "ElComboBoxFileSpecs.currentText", 0, "c");
        row("a font size kept within range", "[ElSpinEditFontSize]\nvalue:int=3\n",
            "ElSpinEditFontSize.value", 11, 8);
        row("a font no longer installed", "[ElFontComboBox1]\ntext:wstr=No Such Font Family 4711\n",
            "ElFontComboBox1.currentIndex", 0, 0);
        row("unknown controls are passed over",
            "[Gone]\nchecked:bool=false\n[CheckBoxZips]\nchecked:bool=false\n",
            "CheckBoxZips.checked", true, false);
        // A file that cannot be used changes no control, not even those before the bad line.
        row("an unreadable line",
            "[CheckBoxFolders]\nchecked:bool=true\n[ElSpinEditFontSize]\nvalue:int=1x\n",
            "CheckBoxFolders.checked", false, false, "line 4");
        row("a value of the wrong type",
            "[CheckBoxFolders]\nchecked:bool=true\n[ElSpinEditFontSize]\nvalue:str=12\n",
            "CheckBoxFolders.checked", false, false,
            "ElSpinEditFontSize \"value\" holds a string where an integer belongs");
    }
    void settingsLoad() {
        QFETCH(QByteArray, file);
        QFETCH(QString, target);
        QFETCH(QVariant, before);
        QFETCH(QString, complaint);
        const QString path = at("t.ini");
        QFile::remove(path);
        QVERIFY(file.isNull() || test::writeFile(path, file));
        QWidget* control = m_form->findChild<QWidget*>(target.section('.', 0, 0));
        const QByteArray property = target.section('.', 1).toLatin1();
        // Combo rows set the selection by index before loading.
        QVERIFY(
            control->setProperty(property == "currentText" ? "currentIndex" : property, before));
        const ControlStatesResult result = LoadControlStates(m_form.get(), pathFromQString(path));
        QCOMPARE(result.ok, complaint.isEmpty());
        QVERIFY2(result.message.contains(complaint), qPrintable(result.message));
        QTEST(control->property(property), "after");
        QCOMPARE(test::readText(path), QString::fromLatin1(file));  // a load never rewrites a file
    }

    // A right click picks the help context under the pointer: its own, else its container's.
    void contextHelpUnderThePointer_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<int>("expected");
        QTest::newRow("control: its panel's") << "PCProgressBar1" << 5410;
        QTest::newRow("disabled control: its own") << "ButtonStop" << 5414;
        QTest::newRow("disabled control with another") << "ElPopupButtonCopy" << 77;
        QTest::newRow("control with another") << "ElEditHeaderToCut" << 88;
        QTest::newRow("status bar: the window's none") << "ElStatusBar1" << 0;
    }
    void contextHelpUnderThePointer() {
        QFETCH(QString, control);
        QFETCH(int, expected);
        TForm1& form = *m_form;
        form.PageControl1->setCurrentWidget(form.TabSheet1);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        form.ButtonStop->setEnabled(false);
        form.ElPopupButtonCopy->setEnabled(false);
        form.ElPopupButtonCopy->setProperty(kHelpContextProperty, 77);
        form.ElEditHeaderToCut->setProperty(kHelpContextProperty, 88);
        TDataModule2* module = TDataModule2::instance();
        QList<int> opened;
        module->setHelpHandler([&opened](int context) { opened << context; });
        auto* widget = form.findChild<QWidget*>(control);
        const QPoint global = widget->mapToGlobal(widget->rect().center());
        QContextMenuEvent event(QContextMenuEvent::Mouse, form.mapFromGlobal(global), global);
        QApplication::sendEvent(&form, &event);  // a right click, passed on to the window
        module->PopupActionBar1->hide();
        module->WhatsThis1->trigger();
        QCOMPARE(opened, QList<int>({expected}));
    }

    // F1 opens the built help page at the topic of the control with the focus (or of its
    // nearest container with one), and the page has an anchor for every topic of the window.
    void f1OpensTheFocusedControlsTopic_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("anchor");
        QTest::newRow("path") << "ElFolderNameEdit1"
                              << "help-5411";
        QTest::newRow("the edit inside the mask box: the box's") << "ElComboBoxFileSpecs"
                                                                 << "help-5412";
        QTest::newRow("Source Text") << "Memo"
                                     << "help-5419";
    }
    void f1OpensTheFocusedControlsTopic() {
        QFETCH(QString, control);
        QFETCH(QString, anchor);
        const QString page = QStringLiteral(RUNEMETER_HELP_PAGE);
        const QString html = test::readText(page);
        QList<QUrl> opened;
        FormServices services;
        services.helpFile = [&] { return pathFromQString(page); };
        services.openHelp = [&](const QUrl& url) {
            opened << url;
            return true;
        };
        TForm1& form = makeForm(services);
        for (const QWidget* widget : form.findChildren<QWidget*>()) {
            const int topic = widget->property(kHelpContextProperty).toInt();
            QVERIFY2(topic == 0 || html.contains(u"id=\"help-%1\""_s.arg(topic)),
                     qPrintable(widget->objectName()));
        }
        auto* widget = form.findChild<QWidget*>(control);
        form.PageControl1->setCurrentIndex(control == "Memo" ? 2 : 0);
        form.show();
        form.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        widget->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
        QCOMPARE(opened.size(), 1);
        QCOMPARE(opened[0].toLocalFile(), page);
        QCOMPARE(opened[0].fragment(), anchor);
        QCOMPARE(m_messages.texts, QStringList());
    }

    // Without a help file, the message names every place the help was looked for.
    void missingHelpNamesEveryPlace() {
        FormServices services;
        services.helpFile = [this] { return pathFromQString(at("suite/gone.html")); };
        services.openHelp = [](const QUrl&) { return true; };
        TForm1& form = makeForm(services);
        form.ButtonHelp->click();
        QCOMPARE(m_messages.texts.size(), 1);
        const QString places = m_messages.texts[0].section(QLatin1Char('\n'), 1);
        QCOMPARE(places, QStringList({at("suite/gone.html"), at("user/interfaces/veltrane_9.html"),
                                      at("user/tst_form.html")})
                             .join(QLatin1Char('\n')));
    }

    // The context menu's About and the suite's About and Memory open a box with the version and
    // the licence.
    void aboutShowsVersionAndLicence() {
        TDataModule2* module = TDataModule2::instance();
        for (QAction* about : {module->About1, module->MainMenu1->findChild<QAction*>(
                                                   QStringLiteral("AboutandMemory1"))}) {
            QString shown;
            QTimer closer;
            connect(&closer, &QTimer::timeout, [&shown] {
                for (QWidget* window : QApplication::topLevelWidgets()) {
                    if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) {
                        shown = box->text();
                        box->accept();
                    }
                }
            });
            closer.start(10);
            about->trigger();
            QVERIFY2(shown.contains(QStringLiteral("Runemeter version " RUNEMETER_VERSION)),
                     qPrintable(shown));
            QVERIFY2(shown.contains(u"Licence: GPL-3.0-or-later"_s), qPrintable(shown));
        }
    }
};

QTEST_MAIN(TestForm)
#include "tst_form.moc"
