// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The engine's walk over live Qt objects: each form and data module gets the store form named
// by its objectName, its controls are found by objectName, and the translated values are set
// through the meta-object system. Names come from data on the objects, never from C++ class
// names, so a class can be renamed without breaking a translation.

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <string>
#include <vector>

#include "localisation/loc_on_fly.h"

class QWidget;

namespace runemeter {

/// The form walk of the engine on Qt objects.
class TLocQtFormWalker : public TLocFormWalker {
public:
    /// Every top-level window of our own classes, then every registered data module.
    void TranslateForms(TLocalizerOnFly& engine) override;
    /// One form (or data module): ancestor walk, then its own stored form. Components
    /// are looked for among the form's children, then in the parts (widgets it keeps without
    /// owning them, such as a data module's menus).
    void TranslateForm(TLocalizerOnFly& engine, QObject& form, bool isWindow,
                       const QList<QObject*>& parts = {});

    /// Data modules (plain objects) are walked after the windows while they live.
    void RegisterDataModule(QObject* module, const QList<QObject*>& parts = {});
    /// Stops walking a data module.
    void UnregisterDataModule(QObject* module);

    /// A translated property the walk does not set itself: object, property path, value;
    /// returns whether it was handled.
    std::function<bool(QObject*, const QString&, const QString&)> FOnCustomObjectProcessing;
    /// Resolving an indexed path on an object without such a list: object, name, index;
    /// returns the object reached or nullptr. Asked before FOnSpecialProcessing.
    std::function<QObject*(QObject*, const QString&, int)> FOnCustomColItemProcessing;
    /// Asked after FOnCustomColItemProcessing found nothing.
    std::function<QObject*(QObject*, const QString&, int)> FOnSpecialProcessing;
    /// Called after every walk over the windows (the window rebuilds texts it made itself).
    std::function<void()> FOnFormsTranslated;
    /// The windows to walk; default: the application's top-level widgets of our own classes.
    std::function<QList<QWidget*>()> FForms;

private:
    struct Context;
    void ancestorWalk(Context& context, QObject& object);
    void applyStoreForm(Context& context, const TLocForm& form, QObject& container);
    void applyIndexedPath(Context& context, const TLocComponent& item, QObject& container);
    void setProperties(Context& context, const TLocComponent& item, QObject& object,
                       const QString& prefix);
    bool setProperty(Context& context, const TLocProperty& item, QObject& object,
                     const QString& path, const QString& value);
    QObject* listItem(QObject& object, const QString& name, int index, bool& outOfRange);

    struct DataModule {
        QPointer<QObject> module;
        QList<QPointer<QObject>> parts;
    };
    std::vector<DataModule> m_dataModules;
};

/// Resolves a dotted path from an object: the object reached and the unresolved rest of the
/// name (empty when all of it resolved); nullptr when the first part reaches nothing.
[[nodiscard]] QObject* ResolveDottedPath(QObject& from, const QString& name, QString& rest);

/// Whether a class name is one of Qt's own (top-level windows of Qt's classes, such as message
/// boxes, are not walked).
[[nodiscard]] bool IsQtClassName(const char* className);

/// The name a form (window or data module) is stored under in language files: its objectName,
/// which the code that makes the form sets ("Form1", "DataModule2"). It must never change, or
/// every existing translation of the form stops applying.
[[nodiscard]] std::u16string StoredFormName(const QObject& form);

/// The dynamic property (a QStringList) naming further stored forms an object takes texts from
/// before its own, as a part built from them: a shared base window or an embedded frame. The
/// ancestor walk applies them to the object and looks up their components under it.
inline constexpr char kStoredAncestorForms[] = "storedAncestorForms";

/// The process's walker; attached to LocalizerOnFly() by AttachFormWalker().
[[nodiscard]] TLocQtFormWalker& LocFormWalker();
/// Lets the process's engine walk the Qt windows.
void AttachFormWalker();

}  // namespace runemeter
