// Control states across a restart: widget trees named like the main window's controls are saved,
// rebuilt and loaded again.

#include "frame/control_states.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFontComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>

#include <unistd.h>

#include <filesystem>
#include <memory>

using namespace runemeter;

namespace {

// The main window's stored controls with their form defaults, plus one control of every other
// rule, laid out in panels and pages as the window does.
std::unique_ptr<QWidget> buildWindow() {
    auto form = std::make_unique<QWidget>();
    form->setObjectName(QStringLiteral("Form1"));
    auto* panel = new QWidget(form.get());
    panel->setObjectName(QStringLiteral("Panel2"));
    (new QLabel(QStringLiteral("file(s)"), panel))->setObjectName(QStringLiteral("Label1"));
    (new QLineEdit(panel))->setObjectName(QStringLiteral("ElFolderNameEdit1"));
    auto* specs = new QComboBox(panel);
    specs->setObjectName(QStringLiteral("ElComboBoxFileSpecs"));
    specs->setEditable(true);
    specs->addItems({QStringLiteral("*.txt"), QStringLiteral("*.xml"), QStringLiteral("*.htm"),
                     QStringLiteral("*.*")});
    specs->setCurrentIndex(0);
    auto* zips = new QCheckBox(QStringLiteral(".zip files too"), panel);
    zips->setObjectName(QStringLiteral("CheckBoxZips"));
    zips->setChecked(true);
    (new QCheckBox(QStringLiteral("sub-folders too"), panel))
        ->setObjectName(QStringLiteral("CheckBoxFolders"));
    (new QPushButton(QStringLiteral("Analyse"), panel))
        ->setObjectName(QStringLiteral("ButtonAnalyse"));

    auto* pages = new QTabWidget(form.get());
    pages->setObjectName(QStringLiteral("PageControl1"));
    auto* results = new QWidget;
    results->setObjectName(QStringLiteral("TabSheetResults"));
    pages->addTab(results, QStringLiteral("Results"));
    auto* settings = new QWidget;
    settings->setObjectName(QStringLiteral("TabSheet1"));
    pages->addTab(settings, QStringLiteral("Settings"));
    (new QFontComboBox(settings))->setObjectName(QStringLiteral("ElFontComboBox1"));
    auto* size = new QSpinBox(settings);
    size->setObjectName(QStringLiteral("ElSpinEditFontSize"));
    size->setRange(8, 72);
    size->setValue(10);
    (new QLabel(QStringLiteral("header to cut"), settings))
        ->setObjectName(QStringLiteral("Label2"));
    (new QLineEdit(settings))->setObjectName(QStringLiteral("ElEditHeaderToCut"));
    (new QCheckBox(QStringLiteral("copy letter characters only"), settings))
        ->setObjectName(QStringLiteral("ElCheckBoxCopyCharactersOnly"));
    auto* source = new QWidget;
    source->setObjectName(QStringLiteral("TabSheetHelp"));
    pages->addTab(source, QStringLiteral("Source Text"));
    auto* memo = new QPlainTextEdit(source);
    memo->setObjectName(QStringLiteral("Memo"));
    memo->setReadOnly(true);
    (new QStatusBar(form.get()))->setObjectName(QStringLiteral("ElStatusBar1"));
    return form;
}

// The other rules, in a form of their own so the main window's file stays as it is.
std::unique_ptr<QWidget> buildExtras() {
    auto form = std::make_unique<QWidget>();
    form->setObjectName(QStringLiteral("Extras"));
    auto* group = new QWidget(form.get());  // unnamed container: walked, not stored
    auto* first = new QRadioButton(QStringLiteral("first"), group);
    first->setObjectName(QStringLiteral("RadioFirst"));
    first->setChecked(true);
    (new QRadioButton(QStringLiteral("second"), group))
        ->setObjectName(QStringLiteral("RadioSecond"));
    (new QTextEdit(group))->setObjectName(QStringLiteral("RichMemo"));
    auto* password = new QLineEdit(group);
    password->setObjectName(QStringLiteral("ElEditPassword"));
    password->setEchoMode(QLineEdit::Password);
    auto* path = new QLineEdit(group);
    path->setObjectName(QStringLiteral("ChosenPath"));
    path->setProperty(kFolderNameEditProperty, true);
    (new QLineEdit(group))->setText(QStringLiteral("unnamed"));
    auto* internal = new QLineEdit(group);
    internal->setObjectName(QStringLiteral("qt_private_edit"));
    return form;
}

template <class T>
T* find(QWidget* form, const char* name) {
    T* found = form->findChild<T*>(QString::fromLatin1(name));
    if (!found) {
        qFatal("no control %s", name);
    }
    return found;
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

void writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(text), text.size());
}

std::filesystem::path fsPath(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

// A font family of the box other than the one it starts with, if the system has two.
QString otherFamily(QFontComboBox* box) {
    for (int i = box->count() - 1; i >= 0; --i) {
        if (box->itemText(i) != box->currentText()) {
            return box->itemText(i);
        }
    }
    return {};
}

}  // namespace

class TestControlStates : public QObject {
    Q_OBJECT

private slots:
    void init() { IncludeMemos = true; }

    void restartKeepsEveryStoredControl() {
        QTemporaryDir temp;
        const QString ini = temp.filePath(QStringLiteral("user/runemeter.ini"));
        const QString folder = temp.filePath(QStringLiteral("texts"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = temp.filePath(QStringLiteral("texts/a.txt"));
        writeText(file, "abc");

        QString family;
        {
            auto form = buildWindow();
            auto extras = buildExtras();
            find<QLineEdit>(form.get(), "ElFolderNameEdit1")->setText(folder);
            find<QComboBox>(form.get(), "ElComboBoxFileSpecs")
                ->setEditText(QStringLiteral("*.csv"));
            find<QCheckBox>(form.get(), "CheckBoxZips")->setChecked(false);
            find<QCheckBox>(form.get(), "CheckBoxFolders")->setChecked(true);
            auto* fonts = find<QFontComboBox>(form.get(), "ElFontComboBox1");
            family = otherFamily(fonts);
            if (!family.isEmpty()) {
                fonts->setCurrentFont(QFont(family));
                family = fonts->currentFont().family();
            }
            find<QSpinBox>(form.get(), "ElSpinEditFontSize")->setValue(14);
            find<QLineEdit>(form.get(), "ElEditHeaderToCut")->setText(QStringLiteral(" ;[x]=1 "));
            find<QCheckBox>(form.get(), "ElCheckBoxCopyCharactersOnly")->setChecked(true);
            find<QPlainTextEdit>(form.get(), "Memo")->setPlainText(QStringLiteral("l1\n\nl3\n"));
            find<QRadioButton>(extras.get(), "RadioSecond")->setChecked(true);
            find<QTextEdit>(extras.get(), "RichMemo")->setPlainText(QStringLiteral("rich\ntext"));
            find<QLineEdit>(extras.get(), "ElEditPassword")
                ->setText(QString::fromUtf8("s3cr=t \xC3\xBC"));
            find<QLineEdit>(extras.get(), "ChosenPath")->setText(file);

            const auto saved = SaveControlStates(form.get(), fsPath(ini));
            QVERIFY2(saved.ok, qPrintable(saved.message));
            QVERIFY(SaveControlStates(extras.get(), fsPath(ini + QStringLiteral(".extras"))).ok);
        }
        const QByteArray text = readAll(ini + QStringLiteral(".extras"));
        QVERIFY(!text.contains("s3cr"));  // the password is not readable in the file

        auto form = buildWindow();
        auto extras = buildExtras();
        const auto loaded = LoadControlStates(form.get(), fsPath(ini));
        QVERIFY2(loaded.ok, qPrintable(loaded.message));
        QVERIFY(LoadControlStates(extras.get(), fsPath(ini + QStringLiteral(".extras"))).ok);

        QCOMPARE(find<QLineEdit>(form.get(), "ElFolderNameEdit1")->text(), folder);
        auto* specs = find<QComboBox>(form.get(), "ElComboBoxFileSpecs");
        QCOMPARE(specs->count(), 5);
        QCOMPARE(specs->itemText(4), QStringLiteral("*.csv"));
        QCOMPARE(specs->currentIndex(), 4);
        QCOMPARE(specs->currentText(), QStringLiteral("*.csv"));
        QCOMPARE(find<QCheckBox>(form.get(), "CheckBoxZips")->isChecked(), false);
        QCOMPARE(find<QCheckBox>(form.get(), "CheckBoxFolders")->isChecked(), true);
        if (!family.isEmpty()) {
            QCOMPARE(find<QFontComboBox>(form.get(), "ElFontComboBox1")->currentFont().family(),
                     family);
        }
        QCOMPARE(find<QSpinBox>(form.get(), "ElSpinEditFontSize")->value(), 14);
        QCOMPARE(find<QLineEdit>(form.get(), "ElEditHeaderToCut")->text(),
                 QStringLiteral(" ;[x]=1 "));
        QCOMPARE(find<QCheckBox>(form.get(), "ElCheckBoxCopyCharactersOnly")->isChecked(), true);
        QCOMPARE(find<QPlainTextEdit>(form.get(), "Memo")->toPlainText(),
                 QStringLiteral("l1\n\nl3\n"));
        QCOMPARE(find<QRadioButton>(extras.get(), "RadioSecond")->isChecked(), true);
        QCOMPARE(find<QRadioButton>(extras.get(), "RadioFirst")->isChecked(), false);
        QCOMPARE(find<QTextEdit>(extras.get(), "RichMemo")->toPlainText(),
                 QStringLiteral("rich\ntext"));
        QCOMPARE(find<QLineEdit>(extras.get(), "ElEditPassword")->text(),
                 QString::fromUtf8("s3cr=t \xC3\xBC"));
        QCOMPARE(find<QLineEdit>(extras.get(), "ChosenPath")->text(), file);
        if (family.isEmpty()) {
            QSKIP("only one font installed: the font box's round trip was not exercised");
        }
    }

    // Only the stored controls leave entries, in the order of the walk; unnamed controls, Qt's
    // own parts and the insides of a stored control leave nothing.
    void walkStoresTheMainWindowsControlsInOrder() {
        IncludeMemos = false;
        auto form = buildWindow();
        buildExtras().release()->setParent(form.get());  // a child form is walked with its owner
        SettingsFile ini;
        QVERIFY(TransferControlStates(form.get(), ini, false).ok);
        QStringList names;
        for (const auto& section : ini.sections()) {
            names << QString::fromStdU16String(section.name);
        }
        QCOMPARE(names, QStringList({"ElFolderNameEdit1", "ElComboBoxFileSpecs", "CheckBoxZips",
                                     "CheckBoxFolders", "ElFontComboBox1", "ElSpinEditFontSize",
                                     "ElEditHeaderToCut", "ElCheckBoxCopyCharactersOnly",
                                     "RadioFirst", "RadioSecond", "ElEditPassword", "ChosenPath"}));
    }

    void memoSwitch_data() {
        QTest::addColumn<bool>("onAtSave");
        QTest::addColumn<bool>("onAtLoad");
        QTest::addColumn<QString>("expected");
        QTest::newRow("on, on") << true << true << QStringLiteral("shown text");
        QTest::newRow("off at save (shutdown)") << false << true << QString();
        QTest::newRow("on at save, off at load") << true << false << QString();
    }
    void memoSwitch() {
        QFETCH(bool, onAtSave);
        QFETCH(bool, onAtLoad);
        QFETCH(QString, expected);
        QTemporaryDir temp;
        const auto path = fsPath(temp.filePath(QStringLiteral("t.ini")));
        {
            auto form = buildWindow();
            find<QPlainTextEdit>(form.get(), "Memo")->setPlainText(QStringLiteral("shown text"));
            IncludeMemos = onAtSave;
            QVERIFY(SaveControlStates(form.get(), path).ok);
        }
        IncludeMemos = onAtLoad;
        auto form = buildWindow();
        QVERIFY(LoadControlStates(form.get(), path).ok);
        QCOMPARE(find<QPlainTextEdit>(form.get(), "Memo")->toPlainText(), expected);
    }

    // Each row: a settings file, the control it aims at with a value set before loading, and
    // what the control shows afterwards.
    void loadConditions_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QByteArray>("property");
        QTest::addColumn<QVariant>("before");
        QTest::addColumn<QVariant>("expected");
        QTest::newRow("deleted folder is not put back")
            << QByteArray("[ElFolderNameEdit1]\ntext:wstr=/no/such/folder/anywhere\n")
            << "ElFolderNameEdit1" << QByteArray("text") << QVariant("before")
            << QVariant("before");
        QTest::newRow("empty folder text is not put back")
            << QByteArray("[ElFolderNameEdit1]\ntext:wstr=\n") << "ElFolderNameEdit1"
            << QByteArray("text") << QVariant("before") << QVariant("before");
        QTest::newRow("existing folder is put back")
            << QByteArray("[ElFolderNameEdit1]\ntext:wstr=/\n") << "ElFolderNameEdit1"
            << QByteArray("text") << QVariant("before") << QVariant("/");
        QTest::newRow("index past the list is ignored")
            << QByteArray("[ElComboBoxFileSpecs]\nv:list=a|b|c|\ni:int=3\n")
            << "ElComboBoxFileSpecs" << QByteArray("currentIndex") << QVariant(1) << QVariant(1);
        QTest::newRow("negative index is ignored")
            << QByteArray("[ElComboBoxFileSpecs]\nv:list=a|b|c|\ni:int=-1\n")
            << "ElComboBoxFileSpecs" << QByteArray("currentText") << QVariant(2) << QVariant("c");
        QTest::newRow("index in range is selected")
            << QByteArray("[ElComboBoxFileSpecs]\nv:list=a|b|c|\ni:int=2\n")
            << "ElComboBoxFileSpecs" << QByteArray("currentText") << QVariant(0) << QVariant("c");
        QTest::newRow("missing index keeps the selection")
            << QByteArray("[ElComboBoxFileSpecs]\nv:list=a|b|c|d|e|\n") << "ElComboBoxFileSpecs"
            << QByteArray("currentIndex") << QVariant(3) << QVariant(3);
        QTest::newRow("missing check box entry")
            << QByteArray("[CheckBoxFolders]\nchecked:bool=true\n") << "CheckBoxZips"
            << QByteArray("checked") << QVariant(true) << QVariant(true);
        QTest::newRow("missing value name")
            << QByteArray("[ElSpinEditFontSize]\nsize:int=30\n") << "ElSpinEditFontSize"
            << QByteArray("value") << QVariant(11) << QVariant(11);
        QTest::newRow("spin value kept within range")
            << QByteArray("[ElSpinEditFontSize]\nvalue:int=3\n") << "ElSpinEditFontSize"
            << QByteArray("value") << QVariant(11) << QVariant(8);
        QTest::newRow("missing edit text")
            << QByteArray("[ElEditHeaderToCut]\n") << "ElEditHeaderToCut" << QByteArray("text")
            << QVariant("kept") << QVariant("kept");
        QTest::newRow("font no longer installed")
            << QByteArray("[ElFontComboBox1]\ntext:wstr=No Such Font Family 4711\n")
            << "ElFontComboBox1" << QByteArray("currentIndex") << QVariant(0) << QVariant(0);
        QTest::newRow("entries of unknown controls are ignored")
            << QByteArray("[Gone]\nchecked:bool=false\n[CheckBoxZips]\nchecked:bool=false\n")
            << "CheckBoxZips" << QByteArray("checked") << QVariant(true) << QVariant(false);
    }
    void loadConditions() {
        QFETCH(QByteArray, file);
        QFETCH(QString, control);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, before);
        QFETCH(QVariant, expected);
        QTemporaryDir temp;
        const QString path = temp.filePath(QStringLiteral("t.ini"));
        writeText(path, file);
        auto form = buildWindow();
        QWidget* widget = form->findChild<QWidget*>(control);
        QVERIFY(widget);
        // Combo rows set the selection by index before loading.
        QVERIFY(widget->setProperty(
            property == "currentText" ? "currentIndex" : property.constData(), before));
        const auto result = LoadControlStates(form.get(), fsPath(path));
        QVERIFY2(result.ok, qPrintable(result.message));
        QCOMPARE(widget->property(property.constData()), expected);
    }

    // A file that cannot be used changes no control at all and says why, once.
    void badFileLeavesDefaults_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("messagePart");
        QTest::newRow("garbage") << QByteArray(
                                        "\x7F"
                                        "ELF\x02\x01\x01\x00\x00garbage",
                                        14)
                                 << "line 1";
        QTest::newRow("unparsable line") << QByteArray(
                                                "[CheckBoxFolders]\nchecked:bool=true\n"
                                                "[ElSpinEditFontSize]\nvalue:int=1x\n")
                                         << "line 4";
        QTest::newRow("wrong type after good values")
            << QByteArray(
                   "[CheckBoxFolders]\nchecked:bool=true\n"
                   "[ElSpinEditFontSize]\nvalue:str=12\n")
            << "ElSpinEditFontSize \"value\" holds a string where an integer belongs";
        QTest::newRow("wrong type of combo list") << QByteArray(
                                                         "[CheckBoxFolders]\nchecked:bool=true\n"
                                                         "[ElComboBoxFileSpecs]\nv:str=*.txt\n")
                                                  << "ElComboBoxFileSpecs \"v\"";
        QTest::newRow("password that is no digit string")
            << QByteArray(
                   "[CheckBoxFolders]\nchecked:bool=true\n"
                   "[ElEditPassword]\ntext:wstr=12x\n")
            << "not a scrambled password";
    }
    void badFileLeavesDefaults() {
        QFETCH(QByteArray, file);
        QFETCH(QString, messagePart);
        QTemporaryDir temp;
        const QString path = temp.filePath(QStringLiteral("t.ini"));
        writeText(path, file);
        auto form = buildWindow();
        buildExtras().release()->setParent(form.get());
        const auto result = LoadControlStates(form.get(), fsPath(path));
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(messagePart), qPrintable(result.message));
        QVERIFY2(result.message.contains(QStringLiteral("t.ini")), qPrintable(result.message));
        QCOMPARE(find<QCheckBox>(form.get(), "CheckBoxFolders")->isChecked(), false);
        QCOMPARE(find<QCheckBox>(form.get(), "CheckBoxZips")->isChecked(), true);
        QCOMPARE(find<QSpinBox>(form.get(), "ElSpinEditFontSize")->value(), 10);
        QCOMPARE(find<QComboBox>(form.get(), "ElComboBoxFileSpecs")->count(), 4);
        QCOMPARE(readAll(path), file);  // a bad file is reported, never rewritten by a load
    }

    void missingFileIsNoError() {
        QTemporaryDir temp;
        auto form = buildWindow();
        const auto result =
            LoadControlStates(form.get(), fsPath(temp.filePath(QStringLiteral("none.ini"))));
        QVERIFY(result.ok);
        QVERIFY(result.message.isEmpty());
        QCOMPARE(find<QCheckBox>(form.get(), "CheckBoxZips")->isChecked(), true);
    }

    void failedSaveKeepsTheOldFile_data() {
        QTest::addColumn<QString>("layout");
        QTest::newRow("settings path is a folder") << "folder";
        QTest::newRow("read-only folder") << "read-only";
    }
    void failedSaveKeepsTheOldFile() {
        QFETCH(QString, layout);
        QTemporaryDir temp;
        QString target;
        QString kept;
        if (layout == QLatin1String("folder")) {
            QVERIFY(QDir().mkpath(temp.filePath(QStringLiteral("t.ini"))));
            target = temp.filePath(QStringLiteral("t.ini"));
            kept = temp.filePath(QStringLiteral("t.ini/old"));
        } else {
            if (::geteuid() == 0) {
                QSKIP("root may write into a read-only folder");
            }
            QVERIFY(QDir().mkpath(temp.filePath(QStringLiteral("ro"))));
            target = kept = temp.filePath(QStringLiteral("ro/t.ini"));
        }
        writeText(kept, "[CheckBoxZips]\nchecked:bool=false\n");
        if (layout != QLatin1String("folder")) {
            QFile::setPermissions(temp.filePath(QStringLiteral("ro")),
                                  QFile::ReadOwner | QFile::ExeOwner);
        }
        auto form = buildWindow();
        const auto result = SaveControlStates(form.get(), fsPath(target));
        QFile::setPermissions(temp.filePath(QStringLiteral("ro")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!result.ok);
        QVERIFY2(result.message.contains(QStringLiteral("previous settings file is unchanged")),
                 qPrintable(result.message));
        QCOMPARE(readAll(kept), QByteArray("[CheckBoxZips]\nchecked:bool=false\n"));
    }

    // A typed text joins the list where the box's insert policy puts it, once.
    void typedTextJoinsTheHistory_data() {
        QTest::addColumn<int>("policy");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("index");
        const QStringList base = {"*.txt", "*.xml"};
        QTest::newRow("at bottom") << int(QComboBox::InsertAtBottom) << "*.csv"
                                   << QStringList({"*.txt", "*.xml", "*.csv"}) << 2;
        QTest::newRow("at top") << int(QComboBox::InsertAtTop) << "*.csv"
                                << QStringList({"*.csv", "*.txt", "*.xml"}) << 0;
        QTest::newRow("alphabetically") << int(QComboBox::InsertAlphabetically) << "*.u"
                                        << QStringList({"*.txt", "*.u", "*.xml"}) << 1;
        QTest::newRow("no history") << int(QComboBox::NoInsert) << "*.csv" << base << 0;
        QTest::newRow("already listed") << int(QComboBox::InsertAtBottom) << "*.xml" << base << 1;
        QTest::newRow("differs in case") << int(QComboBox::InsertAtBottom) << "*.XML"
                                         << QStringList({"*.txt", "*.xml", "*.XML"}) << 2;
    }
    void typedTextJoinsTheHistory() {
        QFETCH(int, policy);
        QFETCH(QString, typed);
        QFETCH(QStringList, items);
        QFETCH(int, index);
        QWidget form;
        auto* box = new QComboBox(&form);
        box->setObjectName(QStringLiteral("Box"));
        box->setEditable(true);
        box->setInsertPolicy(static_cast<QComboBox::InsertPolicy>(policy));
        box->addItems({QStringLiteral("*.txt"), QStringLiteral("*.xml")});
        box->setCurrentIndex(0);
        box->setEditText(typed);
        SettingsFile ini;
        QVERIFY(TransferControlStates(&form, ini, false).ok);
        std::vector<std::u16string> stored;
        std::int32_t storedIndex = -2;
        QVERIFY(ini.ReadMultiString(u"Box", u"v", stored) == ReadStatus::Found);
        QVERIFY(ini.ReadInteger(u"Box", u"i", storedIndex) == ReadStatus::Found);
        QStringList storedItems;
        for (const auto& item : stored) {
            storedItems << QString::fromStdU16String(item);
        }
        QCOMPARE(storedItems, items);
        QCOMPARE(storedIndex, index);
    }
};

QTEST_MAIN(TestControlStates)
#include "tst_control_states.moc"
