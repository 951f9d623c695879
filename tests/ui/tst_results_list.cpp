// The results list's painting helpers, model and view, without the main window.

#include <QHeaderView>
#include <QPalette>
#include <QTest>

#include "frame/qt_text.h"
#include "results/results_list.h"
#include "suite/number_format.h"
#include "suite/resource_strings.h"

using namespace runemeter;

namespace {

const int kLeft[5]{0, 50, 150, 250, 300};
const int kWidth[5]{50, 100, 100, 50, 80};

QPalette testPalette() {
    QPalette palette;
    palette.setColor(QPalette::Active, QPalette::Base, QColor(250, 250, 250));
    palette.setColor(QPalette::Active, QPalette::Text, QColor(1, 2, 3));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(128, 128, 129));
    return palette;
}

QString res(ResId id) {
    return fromU16(ResourceString(id));
}

}  // namespace

class TestResultsList : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Myformatsettings() = FormatSettings{u'.', u','}; }

    void rowPaint_data() {
        QTest::addColumn<QString>("rowText");
        QTest::addColumn<qlonglong>("frequency");
        QTest::addColumn<qlonglong>("total");
        QTest::addColumn<bool>("selected");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<QColor>("colour");
        const QColor text(1, 2, 3);
        const QColor grey(128, 128, 129);
        const QColor window(250, 250, 250);
        const QColor red(255, 0, 0);
        const QColor blue(0, 0, 255);
        const QString letter = res(ResId::VTLetter);
        const QString digit = res(ResId::VTDigit);
        const QString punctuation = res(ResId::VTPunctuation);
        QTest::newRow("letter A") << " 65 A" << 120LL << 1000LL << false
                                  << QStringList{"65", "A", letter, "12.00%", "120"} << text;
        QTest::newRow("tab") << "  9  " + res(ResId::VTTab) << 5LL << 1000LL << false
                             << QStringList{"9", res(ResId::VTTab), "", "", "5"} << red;
        QTest::newRow("control 1") << QString("  1 \u0001") << 3LL << 1000LL << false
                                   << QStringList{"1", "", "", "", "3"} << red;
        QTest::newRow("space") << " 32  " + res(ResId::VTSpace) << 50LL << 1000LL << false
                               << QStringList{"32", res(ResId::VTSpace), "", "5.00%", "50"} << text;
        QTest::newRow("127") << QString("127 \u007f") << 10LL << 1000LL << false
                             << QStringList{"127", "\u007f", "", "1.00%", "10"} << text;
        QTest::newRow("128") << QString("128 \u0080") << 10LL << 1000LL << false
                             << QStringList{"128", "\u0080", "", "1.00%", "10"} << blue;
        QTest::newRow("255") << QString("255 \u00ff") << 10LL << 1000LL << false
                             << QStringList{"255", "\u00ff", letter, "1.00%", "10"} << blue;
        QTest::newRow("256") << QString("256 \u0100") << 10LL << 1000LL << false
                             << QStringList{"256", "\u0100", letter, "1.00%", "10"} << blue;
        QTest::newRow("257") << QString("257 \u0101") << 10LL << 1000LL << false
                             << QStringList{"257", "\u0101", letter, "1.00%", "10"} << text;
        QTest::newRow("digit absent")
            << " 48 0" << 0LL << 1000LL << false << QStringList{"48", "0", digit, "", ""} << grey;
        QTest::newRow("punctuation") << " 33 !" << 1LL << 100LL << false
                                     << QStringList{"33", "!", punctuation, "1.00%", "1"} << text;
        QTest::newRow("share 1 in 20000 hidden") << " 66 B" << 1LL << 20000LL << false
                                                 << QStringList{"66", "B", letter, "", "1"} << text;
        QTest::newRow("share 1 in 10000 shown")
            << " 66 B" << 1LL << 10000LL << false << QStringList{"66", "B", letter, "0.01%", "1"}
            << text;
        QTest::newRow("no total, no share")
            << " 66 B" << 1LL << 0LL << false << QStringList{"66", "B", letter, "", "1"} << text;
        QTest::newRow("grouped frequency")
            << " 66 B" << 1234567LL << 2469134LL << false
            << QStringList{"66", "B", letter, "50.00%", "1,234,567"} << text;
        QTest::newRow("selected") << "  9  " + res(ResId::VTTab) << 5LL << 1000LL << true
                                  << QStringList{"9", res(ResId::VTTab), "", "", "5"} << window;
        QTest::newRow("surrogate")
            << QString("55357 ") + QChar(0xD83D) << 2LL << 1000LL << false
            << QStringList{"55357", QString(QChar(0xD83D)), "", "0.20%", "2"} << text;
        const QString enter = res(ResId::VTEnter);
        // The label rows show their label whole, even when it holds a blank.
        const QString enterCharacter = enter;
        QTest::newRow("line breaks") << enter << 4LL << 1000LL << false
                                     << QStringList{"", enterCharacter, "", "", "4"} << red;
        QTest::newRow("line breaks absent") << enter << 0LL << 1000LL << false
                                            << QStringList{"", enterCharacter, "", "", ""} << grey;
        QTest::newRow("total") << res(ResId::VTTotal) << 1000LL << 1000LL << false
                               << QStringList{"", res(ResId::VTTotal), "", "", "1,000"} << red;
    }

    void rowPaint() {
        QFETCH(QString, rowText);
        QFETCH(qlonglong, frequency);
        QFETCH(qlonglong, total);
        QFETCH(bool, selected);
        QFETCH(QStringList, texts);
        QFETCH(QColor, colour);
        const QFont font;
        const QFontMetrics metrics(font);
        const RowPaint paint =
            runemeter::rowPaint(ProfileRow{toU16(rowText), frequency}, total, selected,
                                Myformatsettings(), kLeft, kWidth, metrics, testPalette());
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(paint.columns[std::size_t(i)].text, texts[i]);
        }
        QCOMPARE(paint.colour, colour);
        // Code ends 20 px before "Character"; character and type 2 px into their sections;
        // the share ends 2 px before "freq.", the frequency 2 px before its right edge.
        QCOMPARE(paint.columns[0].x, 50 - 20 - metrics.horizontalAdvance(texts[0]));
        QCOMPARE(paint.columns[1].x, 52);
        QCOMPARE(paint.columns[2].x, 152);
        QCOMPARE(paint.columns[3].x, 300 - 2 - metrics.horizontalAdvance(texts[3]));
        QCOMPARE(paint.columns[4].x, 380 - 2 - metrics.horizontalAdvance(texts[4]));
    }

    void positionsFollowTheSectionBorders() {
        const int left[5]{-30, 40, 200, 260, 320};
        const int width[5]{70, 160, 60, 60, 120};
        const QFontMetrics metrics{QFont()};
        const RowPaint paint = runemeter::rowPaint({u" 65 A", 120}, 1000, false, Myformatsettings(),
                                                   left, width, metrics, testPalette());
        QCOMPARE(paint.columns[1].x, 42);
        QCOMPARE(paint.columns[2].x, 202);
        QCOMPARE(paint.columns[4].x, 440 - 2 - metrics.horizontalAdvance("120"));
    }

    void modelShowsRowsAndCaptions() {
        ResultsModel model;
        model.setRows({{u" 65 A", 3}, {u" 66 B", 1}}, 4);
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.columnCount(), 5);
        QCOMPARE(model.data(model.index(0, 0), Qt::DisplayRole).toString(), QStringLiteral("65"));
        QCOMPARE(model.data(model.index(0, 3), Qt::DisplayRole).toString(),
                 QStringLiteral("75.00%"));
        QCOMPARE(model.data(model.index(1, 4), Qt::DisplayRole).toString(), QStringLiteral("1"));
        QVERIFY(!model.data(model.index(2, 0), Qt::DisplayRole).isValid());
        const QStringList captions{"Code", "Character", "Type", "%", "freq."};
        const Qt::Alignment horizontal[5]{Qt::AlignRight, Qt::AlignLeft, Qt::AlignLeft,
                                          Qt::AlignRight, Qt::AlignRight};
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(model.headerData(i, Qt::Horizontal, Qt::DisplayRole).toString(), captions[i]);
            const auto alignment =
                model.headerData(i, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
            QCOMPARE(alignment & Qt::AlignHorizontal_Mask, horizontal[i]);
        }
    }

    void manyRowsLayOutAtOnce() {
        // Every code plus the two label rows: the view must take them without measuring each.
        TLMDListBox list;
        int measured = 0;
        list.setItemDelegate(new ResultRowDelegate([](QPainter&, int, const QRect&, bool) {},
                                                   [&measured](int, int& height) {
                                                       ++measured;
                                                       height = 17;
                                                   },
                                                   &list));
        std::vector<ProfileRow> rows(65538, ProfileRow{u" 65 A", 1});
        list.resultsModel().setRows(std::move(rows), 65538);
        list.resize(400, 300);
        list.show();
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        list.goToRow(65537);
        QCOMPARE(list.currentIndex().row(), 65537);
        QVERIFY(measured < 100);
        list.goToRow(0);
        QCOMPARE(list.currentIndex().row(), 0);
    }
};

QTEST_MAIN(TestResultsList)
#include "tst_results_list.moc"
