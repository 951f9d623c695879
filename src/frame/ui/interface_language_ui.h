// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window side of the interface language and font: the tool window's notification socket,
// the set-up of the engine for the main window, and the interface font over the controls.

#include <QList>
#include <QObject>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>

#include "frame/interface_language.h"
#include "suite/shared_state.h"
#include "suite/suite_notify.h"

class QLocalServer;
class QLocalSocket;
class QWidget;

namespace runemeter {

class TForm1;

/// Listens on a tool window's notification socket and hands every message on.
class SuiteNotificationServer : public QObject {
    Q_OBJECT
public:
    /// Listens for the window; listening() tells whether the socket could be opened.
    SuiteNotificationServer(const ToolWindow& window, QObject* parent = nullptr);
    ~SuiteNotificationServer() override;
    /// Whether the socket is open.
    [[nodiscard]] bool listening() const;
    /// The socket's file name.
    [[nodiscard]] QString socketName() const;

signals:
    /// A well-formed message arrived.
    void notified(const runemeter::SuiteMessage& message);

private:
    void readFrom(QLocalSocket* socket);
    QLocalServer* m_server = nullptr;
};

/// The folder of the language files shipped with the program: share/runemeter/interfaces
/// beside the program's bin (or build) folder.
[[nodiscard]] std::filesystem::path ShippedInterfacesFolder(
    const std::filesystem::path& programFile);

/// The caption handler of the results list's header sections (custom object processing).
bool TranslateListHeader(QObject* object, const QString& path, const QString& value);

/// Prepares the engine for the main window: shipped languages copied to the user, the form
/// walk, CheckLocalisation, the chosen language followed at start, the results rebuilt after
/// each switch, and the notification socket of the window.
void SetUpInterfaceLanguage(TForm1& form, const std::filesystem::path& userFolder,
                            InterfaceLanguageServices services);

/// Applies the interface font (name, character set and size of the text settings, colour as
/// 0x00BBGGRR) to every control of the given windows (default: all top-level windows) that
/// the font rules reach.
void ApplyInterfaceFont(const TextSettings& settings, std::uint32_t colour,
                        QList<QWidget*> forms = {});

}  // namespace runemeter
