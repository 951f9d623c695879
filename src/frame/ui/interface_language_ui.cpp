// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/interface_language_ui.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QComboBox>
#include <QFontComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLocale>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSpinBox>
#include <QTextEdit>
#include <QTranslator>

#include <memory>
#include <set>
#include <utility>

#include <unistd.h>

#include "frame/tool_frame.h"
#include "frame/ui/main_form.h"
#include "frame/ui/tool_data_module.h"
#include "localisation/ui/loc_on_fly_forms.h"
#include "profile/char_properties.h"
#include "results/ui/results_list.h"
#include "suite/locale_table.h"
#include "suite/resource_strings.h"
#include "suite/tool_services.h"
#include "suite/ui/qt_text.h"

namespace runemeter {

// ---- the notification socket

SuiteNotificationServer::SuiteNotificationServer(const ToolWindow& window, QObject* parent)
    : QObject(parent), m_server(new QLocalServer(this)) {
    const std::optional<std::filesystem::path> path = notificationSocketPath(window);
    if (!path) {
        return;
    }
    const QString name = pathToQString(*path);
    // A socket file left by an earlier process of the same number and window is stale.
    QLocalServer::removeServer(name);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(name)) {
        return;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            readFrom(socket);
        }
    });
}

SuiteNotificationServer::~SuiteNotificationServer() {
    m_server->close();
}

bool SuiteNotificationServer::listening() const {
    return m_server->isListening();
}

QString SuiteNotificationServer::socketName() const {
    return m_server->fullServerName();
}

void SuiteNotificationServer::readFrom(QLocalSocket* socket) {
    while (socket->bytesAvailable() >= static_cast<qint64>(kSuiteMessageSize)) {
        const QByteArray data = socket->read(static_cast<qint64>(kSuiteMessageSize));
        const auto bytes = std::as_bytes(std::span(data.constData(), data.size()));
        if (const std::optional<SuiteMessage> message = decodeSuiteMessage(bytes)) {
            emit notified(*message);
        }
    }
}

// ---- the engine for the main window

std::filesystem::path ShippedInterfacesFolder(const std::filesystem::path& programFile) {
    return programFile.parent_path().parent_path() / "share" / "runemeter" / "interfaces";
}

bool TranslateListHeader(QObject* object, const QString& path, const QString& value) {
    auto* list = qobject_cast<TLMDListBox*>(object);
    if (list == nullptr ||
        path.compare(QStringLiteral("HeaderSections"), Qt::CaseInsensitive) != 0) {
        return false;
    }
    QString unified = value;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QStringList captions = unified.split(QLatin1Char('\n'));
    QAbstractItemModel* model = list->model();
    for (int i = 0; i < captions.size() && i < model->columnCount(); ++i) {
        model->setHeaderData(i, Qt::Horizontal, captions[i], Qt::DisplayRole);
    }
    return true;
}

namespace {

// Qt's own texts (standard buttons, the edit menu, the file dialog) in the interface language:
// the translator of the previous language goes, the new one's comes when Qt ships one.
void followWithQtTexts(std::uint32_t language) {
    static QTranslator* installed = nullptr;
    if (installed != nullptr) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    std::string name;
    try {
        name = IcuLocaleName(language);
    } catch (const ELocalesError&) {
        return;
    }
    auto translator = std::make_unique<QTranslator>();
    if (translator->load(QLocale(QString::fromStdString(name)), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
        QCoreApplication::installTranslator(translator.get())) {
        installed = translator.release();
    }
}

// The Settings tab names the interface language in that language, and the Unicode version.
void showInterfaceLanguage(TForm1& form, std::uint32_t language) {
    if (language == 0) {
        language = kExeResourceLocale;  // the language of the built-in texts
    }
    std::u16string name;
    try {
        name = LanguageDisplayName(language, language);
    } catch (const ELocalesError&) {
        name = toU16(QStringLiteral("0x%1").arg(language, 4, 16, QLatin1Char('0')));
    }
    form.LabelInterfaceLanguage->setText(fromU16(formatWithStrings(
        ResourceString(ResId::VTInterfaceLanguage), std::array<std::u16string_view, 1>{name})));
    form.LabelUnicodeVersion->setText(fromU16(unicodeVersionLine()));
    form.RetranslateTextChoices();
}

}  // namespace

void SetUpInterfaceLanguage(TForm1& form, const std::filesystem::path& userFolder,
                            InterfaceLanguageServices services) {
    TLocalizerOnFly& engine = LocalizerOnFly();
    TLocQtFormWalker& walker = LocFormWalker();
    AttachFormWalker();
    walker.FOnCustomObjectProcessing = TranslateListHeader;
    showInterfaceLanguage(form, engine.CurrentLocale());

    const std::filesystem::path programFile = LocUtils().FAppFileName;
    const std::filesystem::path interfaces = InterfacesFolder(userFolder);
    const ShippedLanguages shipped =
        InstallShippedLanguages(ShippedInterfacesFolder(programFile), interfaces);
    for (const auto& [kept, beside] : shipped.keptBeside) {
        form.ShowNote(ShippedBesideText(kept, beside));
    }
    (void)InstallFallbackHelp(userFolder, programFile.filename());

    // The engine outlives the window, so the window is held by a guarded pointer.
    QPointer<TForm1> guarded(&form);
    // A refused file is reported once a run, though every switch to it refuses it again.
    auto reported = std::make_shared<std::set<std::pair<std::filesystem::path, std::int32_t>>>();
    engine.FOnVersionRefused = [guarded, reported](TLocalizerOnFly&,
                                                   const std::filesystem::path& file,
                                                   std::int32_t version) {
        if (!guarded.isNull() && reported->emplace(file, version).second) {
            guarded->ShowNote(LanguageRefusedText(file, version));
        }
    };
    if (!services.chooseHelpFile) {
        // The window chooses, and logs, the help file of the new language.
        services.chooseHelpFile = [guarded, userFolder, programFile](std::uint32_t language) {
            const std::filesystem::path help =
                guarded.isNull() ? ChooseHelpFile(userFolder, language, programFile.filename())
                                 : guarded->chooseHelpFile(language);
            (void)SetHelpfilename(help);
        };
    }
    // Rows and summary lines carry resource strings; they are rebuilt in the new language. The
    // walk mirrored the translated windows for a right-to-left language; windows made later
    // (dialogs, messages) follow the application's direction.
    walker.FOnFormsTranslated = [guarded] {
        const TLocalizerOnFly& engine = LocalizerOnFly();
        if (engine.FProcessBiDiMode) {
            QGuiApplication::setLayoutDirection(
                IsRightToLeftLanguage(engine.CurrentLocale()) ? Qt::RightToLeft : Qt::LeftToRight);
        }
        followWithQtTexts(engine.CurrentLocale());
        if (!guarded.isNull()) {
            guarded->RetranslateResults();
            showInterfaceLanguage(*guarded, engine.CurrentLocale());
        }
    };

    // The data module's context menu is translated with it.
    TDataModule2* dataModule = TDataModule2::instance();
    walker.RegisterDataModule(dataModule, QList<QObject*>{dataModule->PopupActionBar1});
    if (!dataModule->CheckLocalisation(userFolder, services)) {
        return;
    }
    const std::uint32_t chosen = services.chosenLanguage ? services.chosenLanguage() : 0;
    if (FollowsChosenLanguageAtStart(SeveralLanguages, chosen, engine.CurrentLocale())) {
        (void)FollowChosenLanguage(engine, services);
    }

    ToolWindow me;
    me.tool = kRunemeterTool;
    me.window = MainWindowHandle;
    me.pid = static_cast<std::int32_t>(::getpid());
    auto* server = new SuiteNotificationServer(me, &form);
    QObject::connect(server, &SuiteNotificationServer::notified, &form,
                     [services](const SuiteMessage& message) {
                         (void)HandleSuiteNotification(LocalizerOnFly(), message, services);
                     });
}

bool TDataModule2::CheckLocalisation(const std::filesystem::path& userFolder,
                                     const InterfaceLanguageServices& services) {
    const std::filesystem::path programFile = LocUtils().FAppFileName.filename();
    return runemeter::CheckLocalisation(LocalizerOnFly(), InterfacesFolder(userFolder),
                                        ToolLanguageFileName(userFolder, programFile),
                                        LanguageModulesFolder(userFolder), services);
}

// ---- the interface font

namespace {

QColor colourOf(std::uint32_t bgr) {
    return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                  static_cast<int>((bgr >> 16) & 0xFF));
}

void setInterfaceFont(QWidget& widget, const TextSettings& settings, std::uint32_t colour,
                      bool withSize) {
    QFont font = widget.font();
    font.setFamily(QString::fromUtf8(settings.fontName()));
    if (withSize && settings.fontSize() > 0) {
        font.setPointSize(settings.fontSize());
    }
    // The character set has no meaning for Qt's Unicode fonts.
    widget.setFont(font);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::WindowText, colourOf(colour));
    palette.setColor(QPalette::Text, colourOf(colour));
    widget.setPalette(palette);
}

bool ownFont(const QWidget& widget) {
    return widget.testAttribute(Qt::WA_SetFont);
}

void applyRules(QWidget& widget, const TextSettings& settings, std::uint32_t colour) {
    if (auto* spin = qobject_cast<QSpinBox*>(&widget)) {
        const QVariant tag = spin->property("tag");
        if (tag.isValid() && tag.toInt() != 0 && settings.fontSize() > 0) {
            spin->setValue(settings.fontSize());  // a size box that shows the interface size
        }
        return;
    }
    if (qobject_cast<QLineEdit*>(&widget) != nullptr) {
        // The edit inside a combo box follows its box; the path box keeps the window's font.
        if (!widget.property("folderNameEdit").toBool() &&
            qobject_cast<QComboBox*>(widget.parentWidget()) == nullptr &&
            qobject_cast<QAbstractSpinBox*>(widget.parentWidget()) == nullptr) {
            setInterfaceFont(widget, settings, colour, false);
        }
        return;
    }
    if (qobject_cast<QComboBox*>(&widget) != nullptr &&
        qobject_cast<QFontComboBox*>(&widget) == nullptr) {
        setInterfaceFont(widget, settings, colour, false);
        return;
    }
    if (qobject_cast<QLabel*>(&widget) != nullptr) {
        if (ownFont(widget)) {
            setInterfaceFont(widget, settings, colour, false);
        }
        return;
    }
    if ((qobject_cast<QPlainTextEdit*>(&widget) != nullptr ||
         qobject_cast<QTextEdit*>(&widget) != nullptr) &&
        ownFont(widget)) {
        setInterfaceFont(widget, settings, colour, true);
    }
}

}  // namespace

void ApplyInterfaceFont(const TextSettings& settings, std::uint32_t colour, QList<QWidget*> forms) {
    if (forms.isEmpty()) {
        forms = QApplication::topLevelWidgets();
    }
    for (QWidget* form : forms) {
        applyRules(*form, settings, colour);
        const QList<QWidget*> controls = form->findChildren<QWidget*>();
        for (QWidget* control : controls) {
            applyRules(*control, settings, colour);
        }
    }
}

}  // namespace runemeter
