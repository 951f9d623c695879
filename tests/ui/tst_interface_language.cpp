// The form walk on live widgets, the interface font rules, and the real window switched to
// each shipped language and back by the suite's notification.

#include <QAction>
#include <QComboBox>
#include <QFontComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <unistd.h>

#include <memory>

#include "frame/TForm1.h"
#include "frame/interface_language_ui.h"
#include "frame/qt_text.h"
#include "frame/tool_data_module.h"
#include "frame/tool_frame.h"
#include "localisation/LocOnFlyForms.h"
#include "results/results_list.h"
#include "suite/resource_strings.h"
#include "suite/suite_notify.h"
#include "suite/tool_services.h"
#include "ui/ui_test_support.h"

namespace runemeter {

/// A form class with a base of our own, so the class chain has two steps.
class TBaseForm : public QWidget {
    Q_OBJECT
public:
    TBaseForm() {
        Label1 = new QLabel(QStringLiteral("label"), this);
        Label1->setObjectName(QStringLiteral("Label1"));
    }
    QLabel* Label1;
};

class TChildForm : public TBaseForm {
    Q_OBJECT
public:
    TChildForm() {
        Button1 = new QPushButton(QStringLiteral("button"), this);
        Button1->setObjectName(QStringLiteral("Button1"));
        Tabs = new QTabWidget(this);
        Tabs->setObjectName(QStringLiteral("Tabs"));
        for (const char* name : {"Page1", "Page2"}) {
            auto* page = new QWidget;
            page->setObjectName(QString::fromLatin1(name));
            Tabs->addTab(page, QString::fromLatin1(name));
        }
        Spin = new QSpinBox(this);
        Spin->setObjectName(QStringLiteral("Spin"));
        Spin->setProperty("tag", 0);
        Combo = new QComboBox(this);
        Combo->setObjectName(QStringLiteral("Combo"));
        Combo->setEditable(true);
        Combo->addItems({QStringLiteral("one"), QStringLiteral("two"), QStringLiteral("mine")});
        List = new TLMDListBox(this);
        List->setObjectName(QStringLiteral("List"));
    }
    QPushButton* Button1;
    QTabWidget* Tabs;
    QSpinBox* Spin;
    QComboBox* Combo;
    TLMDListBox* List;
};

class TDataModule7 : public QObject {
    Q_OBJECT
public:
    TDataModule7() {
        auto* child = new QObject(this);
        child->setObjectName(QStringLiteral("Item"));
        child->setProperty("caption", QStringLiteral("item"));
    }
};

namespace {

constexpr std::uint32_t kGerman = 0x0407;
constexpr std::uint32_t kHebrew = 0x040D;

/// A store with the native language and one translation, built property by property.
struct Store {
    TLocUtils utils;
    TLocalizerOnFly engine{utils};
    std::vector<std::tuple<TLocProperty*, std::u16string, std::u16string>> pending;

    Store() {
        engine.FLocStorage.FLocales[0] = 0x0809;
        engine.FErrorReaction = TErrorReaction::erException;
    }
    TLocProperty* add(std::u16string_view form, std::u16string_view component,
                      std::u16string_view property, std::u16string native,
                      std::u16string translated) {
        TLocForm* f = engine.FLocStorage.AddForm(form);
        TLocComponent* owner = component.empty() ? f : f->AddComponent(component);
        TLocProperty* p = owner->AddProperty(property, static_cast<std::int32_t>(pending.size()),
                                             TLocValueType::ptString);
        pending.emplace_back(p, std::move(native), std::move(translated));
        return p;
    }
    /// Adds the translation's language and puts it in use.
    void use(std::uint32_t locale) {
        const std::size_t index = engine.FLocStorage.AddLanguage(locale);
        for (auto& [p, native, translated] : pending) {
            p->FValues[0]->SetValue(native);
            p->FValues[index]->SetValue(translated);
        }
        engine.FLocStorage.FCurLangIndex = index;
        engine.FCurrentLocale = locale;
    }
};

}  // namespace

class TestInterfaceLanguage : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::FreshHome> m_home;

    bool runOn(TForm1& form, const QString& path) {
        form.ElFolderNameEdit1->setText(path);
        QSignalSpy finished(&form, &TForm1::runFinished);
        QTest::mouseClick(form.ButtonAnalyse, Qt::LeftButton);
        return finished.wait(20000);
    }

    static QStringList rowTexts(const TForm1& form) {
        QStringList texts;
        for (const ProfileRow& row : form.LMDListBox1->resultsModel().rows()) {
            texts << fromU16(row.text);
        }
        return texts;
    }

private slots:
    void initTestCase() {
        m_home = std::make_unique<test::FreshHome>();
        QVERIFY(m_home->isValid());
    }

    void walkSetsTextsByClassChainAndPath() {
        Store store;
        store.add(u"BaseForm", u"Label1", u"text", u"label", u"Beschriftung");
        store.add(u"ChildForm", u"", u"windowTitle", u"Child", u"Kind");
        store.add(u"ChildForm", u"Button1", u"text", u"button", u"Knopf");
        store.add(u"ChildForm", u"Page2", u"Caption", u"Page2", u"Seite 2");
        store.add(u"ChildForm", u"Tabs.Pages[0]", u"Caption", u"Page1", u"Seite 1");
        store.add(u"ChildForm", u"Tabs.Pages[5]", u"Caption", u"x", u"out of range");
        store.add(u"ChildForm", u"Nobody", u"text", u"x", u"nobody");
        store.add(u"ChildForm", u"Button1", u"noSuchProperty", u"x", u"nothing");
        store.add(u"ChildForm", u"Spin", u"maximum", u"99", u"250");
        store.add(u"ChildForm", u"Spin", u"tag", u"0", u"4");
        store.add(u"ChildForm", u"Spin", u"enabled", u"1", u"0");
        store.add(u"ChildForm", u"Combo", u"Items", u"one\ntwo", u"eins\nzwei");
        store.add(u"ChildForm", u"List", u"HeaderSections", u"Code", u"Kode\nZeichen");
        TLocProperty* hidden = store.add(u"ChildForm", u"Button1", u"toolTip", u"", u"hidden");
        store.use(kGerman);
        hidden->FValues[1]->FAttributes = 8;

        TChildForm form;
        form.Combo->setEditText(QStringLiteral("typed"));
        TLocQtFormWalker walker;
        walker.FOnCustomObjectProcessing = TranslateListHeader;
        walker.FForms = [&] { return QList<QWidget*>{&form}; };
        walker.TranslateForms(store.engine);

        QCOMPARE(form.Label1->text(), QStringLiteral("Beschriftung"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Kind"));
        QCOMPARE(form.Button1->text(), QStringLiteral("Knopf"));
        QCOMPARE(form.Button1->toolTip(), QString());
        QCOMPARE(form.Tabs->tabText(0), QStringLiteral("Seite 1"));
        QCOMPARE(form.Tabs->tabText(1), QStringLiteral("Seite 2"));
        QCOMPARE(form.Tabs->count(), 2);
        QCOMPARE(form.Spin->maximum(), 250);
        QCOMPARE(form.Spin->property("tag").toInt(), 4);
        QVERIFY(!form.Spin->isEnabled());
        QCOMPARE(form.Combo->itemText(0), QStringLiteral("eins"));
        QCOMPARE(form.Combo->itemText(1), QStringLiteral("zwei"));
        QCOMPARE(form.Combo->itemText(2), QStringLiteral("mine"));
        QCOMPARE(form.Combo->currentText(), QStringLiteral("typed"));
        QCOMPARE(form.List->model()->headerData(0, Qt::Horizontal).toString(),
                 QStringLiteral("Kode"));
        QCOMPARE(form.List->model()->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("Zeichen"));
        QCOMPARE(form.List->model()->headerData(2, Qt::Horizontal).toString(),
                 QStringLiteral("Type"));
    }

    void comboItemsTheUserChangedStay() {
        Store store;
        store.add(u"ChildForm", u"Combo", u"Items", u"one\ntwo", u"eins\nzwei");
        store.use(kGerman);
        TChildForm form;
        form.Combo->setItemText(0, QStringLiteral("*.md"));
        TLocQtFormWalker walker;
        walker.TranslateForm(store.engine, form, true);
        QCOMPARE(form.Combo->itemText(0), QStringLiteral("*.md"));
        QCOMPARE(form.Combo->itemText(1), QStringLiteral("zwei"));
    }

    void dataModulesAndRightToLeft() {
        Store store;
        store.add(u"DataModule7", u"Item", u"caption", u"item", u"פריט");
        store.use(kHebrew);
        store.engine.FProcessBiDiMode = true;
        TChildForm form;
        auto module = std::make_unique<TDataModule7>();
        TLocQtFormWalker walker;
        walker.FForms = [&] { return QList<QWidget*>{&form}; };
        walker.RegisterDataModule(module.get());
        int walks = 0;
        walker.FOnFormsTranslated = [&] { ++walks; };
        walker.TranslateForms(store.engine);
        QCOMPARE(module->findChild<QObject*>("Item")->property("caption").toString(),
                 QString::fromUtf8("פריט"));
        QCOMPARE(form.layoutDirection(), Qt::RightToLeft);
        module.reset();  // a data module that is gone is no longer walked
        walker.TranslateForms(store.engine);
        QCOMPARE(walks, 2);
        store.engine.FCurrentLocale = kGerman;
        walker.TranslateForms(store.engine);
        QCOMPARE(form.layoutDirection(), Qt::LeftToRight);
    }

    void interfaceFontRules_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("reached");
        QTest::newRow("line edit") << "Edit" << true;
        QTest::newRow("combo box") << "Combo" << true;
        QTest::newRow("font combo box") << "FontCombo" << false;
        QTest::newRow("label with the form's font") << "PlainLabel" << false;
        QTest::newRow("label with a font of its own") << "OwnLabel" << true;
        QTest::newRow("memo with the form's font") << "PlainMemo" << false;
        QTest::newRow("memo with a font of its own") << "OwnMemo" << true;
    }

    void interfaceFontRules() {
        QFETCH(QString, name);
        QFETCH(bool, reached);
        QWidget form;
        const auto make = [&form](auto* widget, const char* objectName, bool ownFont) {
            widget->setParent(&form);
            widget->setObjectName(QString::fromLatin1(objectName));
            if (ownFont) {
                widget->setFont(QFont(QStringLiteral("Serif"), 20));
            }
        };
        make(new QLineEdit, "Edit", false);
        make(new QComboBox, "Combo", false);
        make(new QFontComboBox, "FontCombo", false);
        make(new QLabel, "PlainLabel", false);
        make(new QLabel, "OwnLabel", true);
        make(new QPlainTextEdit, "PlainMemo", false);
        make(new QPlainTextEdit, "OwnMemo", true);
        auto* spin = new QSpinBox(&form);
        spin->setProperty("tag", 0);
        spin->setValue(3);

        TextSettings settings = defaultTextSettings();
        QVERIFY(settings.setFontName("Monospace"));
        settings.setFontSize(17);
        ApplyInterfaceFont(settings, 0x000000FF, {&form});
        auto* widget = form.findChild<QWidget*>(name);
        QVERIFY(widget != nullptr);
        QCOMPARE(widget->font().family() == QStringLiteral("Monospace"), reached);
        if (reached) {
            QCOMPARE(widget->palette().color(QPalette::Text), QColor(255, 0, 0));
            const bool withSize = name == QStringLiteral("OwnMemo");
            QCOMPARE(widget->font().pointSize() == 17, withSize);
        }
        QCOMPARE(spin->value(), 3);  // tag 0: not touched
        spin->setProperty("tag", 1);
        ApplyInterfaceFont(settings, 0, {&form});
        QCOMPARE(spin->value(), 17);
    }

    void realWindowFollowsTheNotification() {
        const QByteArray shipped = qgetenv("RUNEMETER_INTERFACES");
        QVERIFY2(!shipped.isEmpty(), "RUNEMETER_INTERFACES names the built language files");
        const std::filesystem::path user = pathFromQString(m_home->path() + "/user");
        LocUtils().FAppFileName = pathFromQString(m_home->path() + "/bin/runemeter");
        LocUtils().BackToExe();
        Myformatsettings() = FormatSettings{u'.', u','};
        QVERIFY(test::writeFile(m_home->path() + "/data/a.txt", QByteArray("AB\tx 1\r\n")));
        QVERIFY(test::writeFile(m_home->path() + "/data/b.txt", QByteArray("CD")));

        std::uint32_t chosen = 0;
        InterfaceLanguageServices language;
        language.chosenLanguage = [&] { return chosen; };
        language.textSettings = [] { return defaultTextSettings(); };
        language.setTextSettings = [](const TextSettings&) {};
        FormServices services;
        services.message = [](const QString&, const QString&) {};
        services.userFolder = [&] { return user; };
        services.registerWindow = [](int tool, std::uint64_t window) {
            (void)SetNewWnd(static_cast<mini_tool_type>(tool), window);
        };
        services.interfaceLanguage = [&](TForm1& form) {
            // The shipped files reach the user's interfaces folder on the first start.
            const auto interfaces = InterfacesFolder(user);
            QVERIFY(InstallShippedLanguages(pathFromQString(QString::fromLocal8Bit(shipped)),
                                            interfaces) >= 4);
            SetUpInterfaceLanguage(form, user, language);
        };
        TForm1 form(services);
        QVERIFY(LocalizerOnFly().Initialized());
        QVERIFY(SeveralLanguages);
        QVERIFY(runOn(form, m_home->path() + "/data"));
        QVERIFY(rowTexts(form).contains(QStringLiteral("Total")));

        struct Step {
            std::uint32_t language;
            QString label;
            QString tab;
            QString header;
            QString total;
            QString results;
            QString contextHelp;
        };
        const Step steps[] = {
            {kGerman, "&Datei(en)", "&Ergebnisse", "Zeichen", "Summe", "Dateien", "Kontexthilfe"},
            {0x040C, "&fichier(s)", "&Résultats", QString::fromUtf8("Caractère"), "Total",
             "fichiers", "aide contextuelle"},
            {0x0804, QString::fromUtf8("文件(&F)"), QString::fromUtf8("结果(&R)"),
             QString::fromUtf8("字符"), QString::fromUtf8("总计"), QString::fromUtf8("文件"),
             QString::fromUtf8("上下文帮助")},
            {0x0809, "&file(s)", "&Results", "Character", "Total", "files", "context help"},
        };
        for (const Step& step : steps) {
            chosen = step.language;
            QCOMPARE(notifyAllTools(kNotifyLanguageChanged, kShellTool), 1);
            QTRY_COMPARE(form.PageControl1->tabText(0), step.tab);
            QCOMPARE(LocalizerOnFly().CurrentLocale(), step.language);
            QCOMPARE(form.Label1->text(), step.label);
            QCOMPARE(form.LMDListBox1->model()->headerData(1, Qt::Horizontal).toString(),
                     step.header);
            QVERIFY2(rowTexts(form).contains(step.total), qPrintable(rowTexts(form).join('|')));
            QVERIFY2(form.LabelResults->text().contains(step.results),
                     qPrintable(form.LabelResults->text()));
            QCOMPARE(TDataModule2::instance()->WhatsThis1->text(), step.contextHelp);
        }
        // Another code changes nothing.
        chosen = kGerman;
        std::string error;
        const ToolWindow me{kRunemeterTool, MainWindowHandle, static_cast<std::int32_t>(getpid())};
        QVERIFY2(sendSuiteMessage(me, makeSuiteNotification(58, kShellTool), &error),
                 error.c_str());
        QTest::qWait(200);
        QCOMPARE(form.PageControl1->tabText(0), QStringLiteral("&Results"));
        QCOMPARE(ResourceString(ResId::VTTotal), std::u16string(u"Total"));
    }
};

}  // namespace runemeter

QTEST_MAIN(runemeter::TestInterfaceLanguage)
#include "tst_interface_language.moc"
