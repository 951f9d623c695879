// SPDX-License-Identifier: GPL-3.0-or-later
// The interface font rules on the real window, the real window switched to each shipped
// language and back by the suite's notification (its texts, rows and order, mnemonics and
// layout direction), and translations that leave texts out or are of another version.

#include <QtCharts/QChart>
#include <QtCharts/QChartView>

#include "frame/tool_frame.h"
#include "frame/ui/interface_language_ui.h"
#include "frame/ui/tool_data_module.h"
#include "localisation/byte_stream.h"
#include "localisation/lang_file_format.h"
#include "localisation/lang_match.h"
#include "localisation/lang_text.h"
#include "localisation/ui/loc_on_fly_forms.h"
#include "profile/char_properties.h"
#include "results/ui/overview_tab.h"
#include "results/ui/results_list.h"
#include "suite/locale_table.h"
#include "suite/tool_services.h"
#include "ui/ui_test_support.h"

using namespace runemeter;

// The right end of what is painted of the list's first row inside a section; -1 for nothing.
int inkEnd(QTreeView& list, int section) {
    const QImage image = list.viewport()->grab().toImage();
    const QRect row = list.visualRect(list.model()->index(0, 0));
    const int left = list.header()->sectionViewportPosition(section);
    const QRgb background = image.pixel(left, row.center().y());  // the section's left end
    for (int x = left + list.header()->sectionSize(section) - 1; x > left; --x) {
        for (int y = row.top() + 2; y < row.bottom() - 1; ++y) {
            if (image.pixel(x, y) != background) {
                return x + 1;
            }
        }
    }
    return -1;
}

// Two texts of the window that share a mnemonic ("a | b"); empty when each has its own.
QString mnemonicClash(const TForm1& form) {
    QStringList texts;
    for (int i = 0; i < form.PageControl1->count(); ++i)
        texts << form.PageControl1->tabText(i);
    for (const QWidget* widget : form.findChildren<QWidget*>())
        texts << widget->property("text").toString()    // labels, buttons, and a few without '&'
              << widget->property("title").toString();  // the menu bar's menus

    QMap<QKeySequence, QString> seen;
    for (const QString& text : texts) {
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (!key.isEmpty() && seen.contains(key))
            return seen[key] + " | " + text;
        seen[key] = text;
    }
    return {};
}

// Every text the window shows, by where: controls, context menu, captions and messages.
QMap<QString, QString> shownTexts(const TForm1& form) {
    QMap<QString, QString> texts;
    for (const QObject* object :
         form.findChildren<QObject*>() +
             TDataModule2::instance()->PopupActionBar1->findChildren<QObject*>())
        for (const char* property : {"text", "toolTip", "placeholderText"})
            texts[object->objectName() + property] = object->property(property).toString();
    for (int i = 0; i < 5; ++i) {
        texts["column" + QString::number(i)] =
            form.LMDListBox1->model()->headerData(i, Qt::Horizontal).toString();
        texts["tab" + QString::number(i)] = form.PageControl1->tabText(i);
    }
    for (const ResourceStringEntry& entry : resourceStringTable())
        texts[QString::fromLatin1(entry.name)] = fromU16(ResourceString(entry.id));
    return texts;
}

// Texts left in English but names, numbers, symbols and a language's own words ("id:text").
const char* const kSameAsEnglish =
    "*:Runemeter|*:ANSI|*:Unicode|*:UTF-8|1031:Code|1036:Code|1036:Type|1036:Total|3082:Total|"
    "3082:Error|3082:Unicode big-endian|1036:version %s";
QStringList untranslated(const QMap<QString, QString>& english, const QMap<QString, QString>& now,
                         const QString& language) {
    const QStringList same = QString(kSameAsEnglish).split('|');
    QStringList left;
    for (auto [key, text] : english.asKeyValueRange())
        if (now[key] == text && text.contains(QRegularExpression("\\p{L}")) &&
            !same.contains("*:" + text) && !same.contains(language + ':' + text))
            left << key + '=' + text;
    return left;
}

class TestInterfaceLanguage : public QObject {
    Q_OBJECT

    test::FreshHome m_home;

private slots:
    // Edits and combo boxes take the font; labels and memos only with a font of their own.
    void interfaceFontRules_data() {
        QTest::addColumn<QString>("control");  // "+": given a font of its own
        QTest::addColumn<bool>("reached");
        QTest::newRow("header edit") << "ElEditHeaderToCut" << true;
        QTest::newRow("path box") << "ElFolderNameEdit1" << false;
        QTest::newRow("combo box") << "ElComboBoxFileSpecs" << true;
        QTest::newRow("font combo box") << "ElFontComboBox1" << false;
        QTest::newRow("label with the window's font") << "Label1" << false;
        QTest::newRow("label with a font of its own") << "Label1+" << true;
        QTest::newRow("memo with a font of its own") << "Memo+" << true;
    }
    void interfaceFontRules() {
        QFETCH(QString, control);
        QFETCH(bool, reached);
        TForm1 form;
        auto* widget = form.findChild<QWidget*>(control.chopped(control.endsWith('+')));
        if (control.endsWith('+')) {
            widget->setFont(QFont(QStringLiteral("Serif"), 20));
        }
        TextSettings settings = defaultTextSettings();
        QVERIFY(settings.setFontName("Monospace"));
        settings.setFontSize(17);
        form.ElSpinEditFontSize->setValue(11);
        ApplyInterfaceFont(settings, 0x000000FF, {&form});
        QCOMPARE(widget->font().family() == QStringLiteral("Monospace"), reached);
        QCOMPARE(widget->palette().color(QPalette::Text) == QColor(255, 0, 0), reached);
        QCOMPARE(widget->font().pointSize() == 17, reached && control == "Memo+");
        QCOMPARE(form.ElSpinEditFontSize->value(), 11);  // no tag: not a size box
        form.ElSpinEditFontSize->setProperty("tag", 1);
        ApplyInterfaceFont(settings, 0, {&form});
        QCOMPARE(form.ElSpinEditFontSize->value(), 17);
    }

    void realWindowFollowsTheNotification() {
        const QByteArray shipped = qgetenv("RUNEMETER_INTERFACES");
        QVERIFY2(!shipped.isEmpty(), "RUNEMETER_INTERFACES names the built language files");
        const std::filesystem::path user = pathFromQString(m_home.at("user"));
        LocUtils().FAppFileName = pathFromQString(m_home.at("bin/runemeter"));
        LocUtils().BackToExe();
        // One file: the rows and labels of a one-file run are rebuilt in the new language too.
        QVERIFY(test::writeFile(m_home.at("data/a.txt"), QByteArray("\376\377\0A\0 \0\t", 8)));

        std::uint32_t chosen = 0;
        InterfaceLanguageServices language;
        language.chosenLanguage = [&] { return chosen; };
        language.textSettings = [] { return defaultTextSettings(); };
        language.setTextSettings = [](const TextSettings&) {};
        FormServices services;
        QStringList logged;
        services.log = [&](const std::u16string& line, bool) { logged << fromU16(line); };
        services.message = [](const QString&, const QString&) {};
        services.userFolder = [&] { return user; };
        services.registerWindow = [](int tool, std::uint64_t window) {
            (void)SetNewWnd(static_cast<mini_tool_type>(tool), window);
        };
        services.interfaceLanguage = [&](TForm1& form) {
            // The shipped files reach the user's interfaces folder on the first start.
            QVERIFY(InstallShippedLanguages(pathFromQString(QString::fromLocal8Bit(shipped)),
                                            InterfacesFolder(user))
                        .copied >= 4);
            SetUpInterfaceLanguage(form, user, language);
        };
        TForm1 form(services);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        const auto rowTexts = [&form] {
            QStringList texts;
            for (const ProfileRow& row : form.LMDListBox1->resultsModel().rows())
                texts << fromU16(row.text);
            return texts;
        };
        QVERIFY(LocalizerOnFly().Initialized() && SeveralLanguages);
        const QMap<QString, QString> english = shownTexts(form);
        QVERIFY(test::runOn(form, m_home.at("data/a.txt")));
        form.LMDListBox1HeaderSectionClick(0);  // by text: kept, in each language's texts
        QChart& chart = *form.TabSheetOverview->CharacterChartView->chart();
        form.PageControl1->setCurrentWidget(form.TabSheetOverview);
        const QString englishTitle = chart.title();
        form.PageControl1->setCurrentWidget(form.TabSheetResults);

        const QStringList steps[] = {
            {"1031", "&Datei(en)", "&Ergebnisse", "Zeichen", "Summe", "Unicode Big-Endian",
             "Kontexthilfe", "Die Hilfedatei ist "},
            {"1036", "&fichier(s)", "&Résultats", "Caractère", "Total", "Unicode gros-boutiste",
             "aide contextuelle", "Le fichier d'aide est "},
            {"2052", "文件(&F)", "结果(&R)", "字符", "总计", "Unicode 大端序", "上下文帮助",
             "帮助文件是 "},
            {"3082", "arc&hivo(s)", "&Resultados", "Carácter", "Total", "Unicode big-endian",
             "ayuda contextual", "El archivo de ayuda es "},
            {"1049", "&файл(ы)", "&Результаты", "Символ", "Итого", "Юникод big-endian",
             "контекстная справка", "Файл справки: "},
            {"1041", "ファイル(&F)", "結果(&R)", "文字", "合計", "Unicode (ビッグ エンディアン)",
             "状況依存のヘルプ", "ヘルプ ファイルは "},
            {"1025", "الملفات(&F)", "النتائج(&R)", "المحرف", "المجموع", "يونيكود big-endian",
             "تعليمات السياق", "ملف التعليمات هو "},
            {"2057", "&file(s)", "&Results", "Character", "Total", "Unicode big-endian",
             "context help", "The help file is "}};
        for (const QStringList& step : steps) {
            chosen = step[0].toUInt();
            logged.clear();
            QCOMPARE(notifyAllTools(kNotifyLanguageChanged, kShellTool), 1);
            QTRY_COMPARE(form.PageControl1->tabText(0), step[2]);
            QCOMPARE(LocalizerOnFly().CurrentLocale(), chosen);
            QCOMPARE(form.Label1->text(), step[1]);
            QCOMPARE(form.LMDListBox1->model()->headerData(1, Qt::Horizontal).toString(), step[3]);
            QCOMPARE(form.LabelFileInfo->text(), step[5]);
            QCOMPARE(TDataModule2::instance()->WhatsThis1->text(), step[6]);
            // The help file of the new language is logged, in that language.
            QCOMPARE(logged.filter(step[7]).size(), 1);
            // Arabic mirrors the window; the first row's code still ends 20 px before the right
            // edge of its section, which is then the rightmost.
            QCOMPARE(form.layoutDirection(), chosen == 1025 ? Qt::RightToLeft : Qt::LeftToRight);
            const QHeaderView* head = form.LMDListBox1->header();
            const int codeEnd = head->sectionViewportPosition(0) + head->sectionSize(0) - 20;
            QVERIFY(qAbs(inkEnd(*form.LMDListBox1, 0) - codeEnd) <= 2);
            QCOMPARE(mnemonicClash(form), QString());
            // Nothing left in English, Qt's own texts (its dialogs' buttons) included.
            const QStringList left = untranslated(english, shownTexts(form), step[0]);
            QVERIFY2(left.isEmpty() == (chosen != 2057), qPrintable(left.join('\n')));
            QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel") == "Cancel",
                     chosen == 2057);
            QVERIFY(form.LabelInterfaceLanguage->text().contains(
                fromU16(LanguageDisplayName(chosen, chosen))));
            QVERIFY(form.LabelUnicodeVersion->text().endsWith(
                QString::fromStdString(unicodeVersionText())));
            const QStringList texts = rowTexts();
            QVERIFY2(texts.contains(step[4]) && std::is_sorted(texts.begin(), texts.end()),
                     qPrintable(texts.join('|')));
            // The overview's chart: its title in the language, its counts at the right in Arabic.
            form.PageControl1->setCurrentWidget(form.TabSheetOverview);
            QCOMPARE(chart.title() == englishTitle, chosen == 2057);
            QCOMPARE(chart.axes(Qt::Vertical).value(0)->alignment(),
                     chosen == 1025 ? Qt::AlignRight : Qt::AlignLeft);
            form.PageControl1->setCurrentWidget(form.TabSheetResults);
        }
        // A run that read no file has rows and a summary in the new language too.
        QVERIFY(QDir().mkpath(m_home.at("none")) && test::runOn(form, m_home.at("none")));
        form.LMDListBox1HeaderSectionClick(0);
        chosen = 1031;
        QCOMPARE(notifyAllTools(kNotifyLanguageChanged, kShellTool), 1);
        QTRY_COMPARE(form.LabelResults->text(), QStringLiteral("aus 0 Dateien"));
        const QStringList texts = rowTexts();
        QVERIFY2(texts.contains("Zeilenumbrüche") && std::is_sorted(texts.begin(), texts.end()),
                 qPrintable(texts.join('|')));
    }

    // A German file that translates one button only. With attribute 256 the texts it leaves
    // out must still show in English; of another version it is refused, and the user told.
    void partialTranslation_data() {
        QTest::addColumn<int>("version");
        QTest::newRow("texts left out show the native ones") << 182;
        QTest::newRow("another version is refused and reported") << 7;
    }
    void partialTranslation() {
        QFETCH(int, version);
        const std::filesystem::path nativeFile =
            pathFromQString(qEnvironmentVariable("RUNEMETER_INTERFACES")) / "runemeter.ntv.lng";
        const std::filesystem::path user = pathFromQString(m_home.at(QString::number(version)));
        std::filesystem::create_directories(InterfacesFolder(user));
        std::filesystem::copy_file(nativeFile, InterfacesFolder(user) / "runemeter.ntv.lng");
        LangFileImage german = langImageFromText(
            "version " + std::to_string(version) +
            "\nlocale 0x0407\nattributes 0x0100\n"
            "form \"Form1\" attributes=0\ncomponent \"ButtonAnalyse\" attributes=0\n"
            "property \"text\" attributes=0 id=0 type=ptString version=1 time=0\n"
            "value \"&Analysieren\"\n");
        std::string error;
        QVERIFY(
            matchTranslationToNative(readLangFileImage(readFileBytes(nativeFile)), german, error));
        writeFileBytes(InterfacesFolder(user) / "runemeter.DEU.lng",
                       writeLangFileImage(german, false));
        LocUtils().FAppFileName = pathFromQString(m_home.at("bin/runemeter"));
        LocUtils().BackToExe();

        InterfaceLanguageServices language;
        language.chosenLanguage = [] { return 0x0407u; };
        QStringList logged;
        FormServices services;
        services.userFolder = [&] { return user; };
        services.log = [&](const std::u16string& line, bool) { logged << fromU16(line); };
        services.interfaceLanguage = [&](TForm1& form) {
            SetUpInterfaceLanguage(form, user, language);
        };
        TForm1 form(services);
        const int masks = form.ElComboBoxFileSpecs->count();
        LocalizerOnFly().SwitchTo(0x0407);  // the walk again, now over the finished window
        QCOMPARE(form.ButtonAnalyse->text(), QStringLiteral("&Analysieren"));
        QCOMPARE(form.Label1->text(), QStringLiteral("&file(s)"));
        QCOMPARE(form.ElFolderNameEdit1Browse->text(), QStringLiteral("..."));
        QVERIFY(!form.ElFolderNameEdit1->toolTip().isEmpty());
        QCOMPARE(form.ElComboBoxFileSpecs->count(), masks);
        const QStringList told = logged.filter(QStringLiteral("runemeter.DEU.lng"));
        QCOMPARE(told.size(), version == 182 ? 0 : 1);  // once, though refused at each switch
        QCOMPARE(form.ElStatusBar1->currentMessage(), told.value(0));
        if (version != 182) {
            QVERIFY(told[0].contains("version is 7") && told[0].contains("needs version 182"));
            QCOMPARE(ResourceString(ResId::VTTotal), u"Total");
        }
    }
};

QTEST_MAIN(TestInterfaceLanguage)
#include "tst_interface_language.moc"
