// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/ui/loc_on_fly_forms.h"

#include <QApplication>
#include <QComboBox>
#include <QMetaProperty>
#include <QStackedWidget>
#include <QStringList>
#include <QTabWidget>
#include <QVariant>
#include <QWidget>

#include <algorithm>

#include "suite/ui/qt_text.h"

namespace runemeter {

namespace {

QString joinPath(const QString& prefix, const QString& name) {
    return prefix.isEmpty() ? name : prefix + QLatin1Char('.') + name;
}

void splitFirstDot(const QString& path, QString& head, QString& rest) {
    const qsizetype dot = path.indexOf(QLatin1Char('.'));
    head = dot < 0 ? path : path.left(dot);
    rest = dot < 0 ? QString() : path.mid(dot + 1);
}

// Properties are matched without regard to case, as names in language files are.
int propertyIndex(const QMetaObject* meta, const QString& name) {
    const QByteArray exact = name.toLatin1();
    const int index = meta->indexOfProperty(exact.constData());
    if (index >= 0) {
        return index;
    }
    for (int i = 0; i < meta->propertyCount(); ++i) {
        if (QString::fromLatin1(meta->property(i).name()).compare(name, Qt::CaseInsensitive) == 0) {
            return i;
        }
    }
    return -1;
}

QObject* objectProperty(QObject& object, const QString& name) {
    const int index = propertyIndex(object.metaObject(), name);
    if (index < 0) {
        return nullptr;
    }
    const QMetaProperty property = object.metaObject()->property(index);
    if (!(property.metaType().flags() & QMetaType::PointerToQObject)) {
        return nullptr;
    }
    return property.read(&object).value<QObject*>();
}

QObject* findOwned(QObject& object, const QString& name) {
    if (QObject* found = object.findChild<QObject*>(name)) {
        return found;
    }
    // Names in language files are not case sensitive; a second, case-blind search.
    const QList<QObject*> all = object.findChildren<QObject*>();
    const auto it = std::find_if(all.begin(), all.end(), [&](const QObject* child) {
        return !child->objectName().isEmpty() &&
               child->objectName().compare(name, Qt::CaseInsensitive) == 0;
    });
    return it == all.end() ? nullptr : *it;
}

// A page of a tab widget: its caption is the tab's title.
QTabWidget* tabWidgetOfPage(QObject& object) {
    auto* page = qobject_cast<QWidget*>(&object);
    if (page == nullptr || page->parentWidget() == nullptr) {
        return nullptr;
    }
    auto* stack = qobject_cast<QStackedWidget*>(page->parentWidget());
    if (stack == nullptr) {
        return nullptr;
    }
    auto* tabs = qobject_cast<QTabWidget*>(stack->parentWidget());
    return tabs != nullptr && tabs->indexOf(page) >= 0 ? tabs : nullptr;
}

QStringList linesOf(const QString& text) {
    QString unified = text;
    unified.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

}  // namespace

struct TLocQtFormWalker::Context {
    TLocalizerOnFly& engine;
    std::size_t langIndex;
    const QList<QObject*>& parts;
};

bool IsQtClassName(const char* className) {
    const std::string_view name(className);
    return name.find("::") == std::string_view::npos && name.size() > 1 && name[0] == 'Q';
}

std::u16string StoredFormName(const QObject& form) {
    return toU16(form.objectName());
}

QObject* ResolveDottedPath(QObject& from, const QString& name, QString& rest) {
    QString head;
    QString tail;
    splitFirstDot(name, head, tail);
    rest.clear();
    if (head.isEmpty()) {
        return nullptr;
    }
    QObject* found = findOwned(from, head);
    if (found == nullptr) {
        found = objectProperty(from, head);
    }
    if (found == nullptr) {
        return nullptr;
    }
    if (!tail.isEmpty()) {
        QString deeper;
        if (QObject* reached = ResolveDottedPath(*found, tail, deeper)) {
            rest = deeper;
            return reached;
        }
        rest = tail;
    }
    return found;
}

void TLocQtFormWalker::RegisterDataModule(QObject* module, const QList<QObject*>& parts) {
    UnregisterDataModule(module);
    DataModule entry{module, {}};
    for (QObject* part : parts) {
        entry.parts.append(part);
    }
    m_dataModules.push_back(std::move(entry));
}

void TLocQtFormWalker::UnregisterDataModule(QObject* module) {
    std::erase_if(m_dataModules, [&](const DataModule& held) {
        return held.module.isNull() || held.module.data() == module;
    });
}

void TLocQtFormWalker::TranslateForms(TLocalizerOnFly& engine) {
    QList<QWidget*> forms;
    if (FForms) {
        forms = FForms();
    } else if (qApp != nullptr) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (widget->isWindow() && !IsQtClassName(widget->metaObject()->className())) {
                forms.append(widget);
            }
        }
    }
    for (QWidget* form : forms) {
        TranslateForm(engine, *form, true);
    }
    const std::vector<DataModule> modules = m_dataModules;
    for (const DataModule& entry : modules) {
        if (entry.module.isNull()) {
            continue;
        }
        QList<QObject*> parts;
        for (const QPointer<QObject>& part : entry.parts) {
            if (!part.isNull()) {
                parts.append(part.data());
            }
        }
        TranslateForm(engine, *entry.module, false, parts);
    }
    if (FOnFormsTranslated) {
        FOnFormsTranslated();
    }
}

void TLocQtFormWalker::TranslateForm(TLocalizerOnFly& engine, QObject& form, bool isWindow,
                                     const QList<QObject*>& parts) {
    Context context{engine, engine.FLocStorage.FCurLangIndex, parts};
    if (isWindow) {
        ancestorWalk(context, form);
    }
    const std::u16string storedName = StoredFormName(form);
    const TLocForm* own = storedName.empty() ? nullptr : engine.FLocStorage.FForms.Find(storedName);
    if (own != nullptr) {
        applyStoreForm(context, *own, form);
    }
    if (auto* widget = qobject_cast<QWidget*>(&form);
        widget != nullptr && engine.FProcessBiDiMode) {
        widget->setLayoutDirection(IsRightToLeftLanguage(engine.FCurrentLocale) ? Qt::RightToLeft
                                                                                : Qt::LeftToRight);
    }
}

void TLocQtFormWalker::ancestorWalk(Context& context, QObject& object) {
    const QStringList ancestors = object.property(kStoredAncestorForms).toStringList();
    for (const QString& name : ancestors) {
        if (const TLocForm* form = context.engine.FLocStorage.FForms.Find(toU16(name))) {
            applyStoreForm(context, *form, object);
        }
    }
    const QObjectList children = object.children();
    for (QObject* child : children) {
        ancestorWalk(context, *child);
    }
}

void TLocQtFormWalker::applyStoreForm(Context& context, const TLocForm& form, QObject& container) {
    setProperties(context, form, container, QString());
    for (const auto& component : form.FComponents) {
        const QString name = fromU16(component->FName);
        if (name.contains(QLatin1Char('['))) {
            applyIndexedPath(context, *component, container);
            continue;
        }
        QString rest;
        QObject* reached = ResolveDottedPath(container, name, rest);
        for (qsizetype i = 0; reached == nullptr && i < context.parts.size(); ++i) {
            QObject* part = context.parts[i];
            QString head;
            QString tail;
            splitFirstDot(name, head, tail);
            if (part->objectName().compare(head, Qt::CaseInsensitive) == 0) {
                reached = tail.isEmpty() ? part : ResolveDottedPath(*part, tail, rest);
                if (reached == nullptr) {
                    reached = part;
                    rest = tail;
                }
            } else {
                reached = ResolveDottedPath(*part, name, rest);
            }
        }
        if (reached != nullptr) {
            setProperties(context, *component, *reached, rest);
        }
    }
}

QObject* TLocQtFormWalker::listItem(QObject& object, const QString& name, int index,
                                    bool& outOfRange) {
    outOfRange = false;
    // The lists of objects a Qt window has: the pages of a tab or stacked widget.
    QWidget* (*pageAt)(QObject&, int) = nullptr;
    int count = -1;
    if (name.compare(QStringLiteral("Pages"), Qt::CaseInsensitive) == 0) {
        if (auto* tabs = qobject_cast<QTabWidget*>(&object)) {
            count = tabs->count();
            pageAt = [](QObject& o, int i) { return static_cast<QTabWidget&>(o).widget(i); };
        } else if (auto* stack = qobject_cast<QStackedWidget*>(&object)) {
            count = stack->count();
            pageAt = [](QObject& o, int i) { return static_cast<QStackedWidget&>(o).widget(i); };
        }
    }
    if (pageAt != nullptr) {
        if (index >= count) {
            outOfRange = true;
            return nullptr;
        }
        return pageAt(object, index);
    }
    if (QObject* held = objectProperty(object, name)) {
        return held;
    }
    if (FOnCustomColItemProcessing) {
        if (QObject* reached = FOnCustomColItemProcessing(&object, name, index)) {
            return reached;
        }
    }
    if (FOnSpecialProcessing) {
        return FOnSpecialProcessing(&object, name, index);
    }
    return nullptr;
}

void TLocQtFormWalker::applyIndexedPath(Context& context, const TLocComponent& item,
                                        QObject& container) {
    std::optional<IndexedPath> path = SplitIndexedPath(item.FName);
    if (!path) {
        return;
    }
    QObject* object = &container;
    if (!path->componentPath.empty()) {
        QString rest;
        object = ResolveDottedPath(container, fromU16(path->componentPath), rest);
        if (object == nullptr || !rest.isEmpty()) {
            return;
        }
    }
    for (;;) {
        bool outOfRange = false;
        object = listItem(*object, fromU16(path->propertyName), path->index, outOfRange);
        if (object == nullptr || outOfRange) {
            return;
        }
        std::optional<IndexedPath> next = SplitIndexedPath(path->remainder);
        if (!next || !next->componentPath.empty()) {
            break;
        }
        path = std::move(next);
    }
    setProperties(context, item, *object, QString());
}

void TLocQtFormWalker::setProperties(Context& context, const TLocComponent& item, QObject& object,
                                     const QString& prefix) {
    for (const auto& property : item.FProperties) {
        const TLocValue* value =
            ValueToApply(*property, context.langIndex, context.engine.FShowUntranslatedAsIs);
        if (value == nullptr) {
            continue;
        }
        setProperty(context, *property, object, joinPath(prefix, fromU16(property->FName)),
                    fromU16(value->Value()));
    }
}

bool TLocQtFormWalker::setProperty(Context& context, const TLocProperty& item, QObject& object,
                                   const QString& path, const QString& value) {
    // Special cases first: the items of a combo box and the title of a tab page.
    if (auto* combo = qobject_cast<QComboBox*>(&object);
        combo != nullptr && path.compare(QStringLiteral("Items"), Qt::CaseInsensitive) == 0) {
        // Only the designed items change; entries the user added or restored stay as they are.
        const QStringList lines = linesOf(value);
        for (int i = 0; i < combo->count() && i < lines.size(); ++i) {
            const QString current = combo->itemText(i);
            bool designed = false;
            for (std::size_t lang = 0; lang < item.FValues.Count() && !designed; ++lang) {
                const QStringList known = linesOf(fromU16(item.FValues[lang]->Value()));
                designed = i < known.size() && known[i] == current;
            }
            if (designed && current != lines[i]) {
                // What the user typed stays; an edit that showed this item follows it.
                const QString editText = combo->currentText();
                combo->setItemText(i, lines[i]);
                if (combo->isEditable() && editText != current) {
                    combo->setEditText(editText);
                }
            }
        }
        return true;
    }
    if (QTabWidget* tabs = tabWidgetOfPage(object);
        tabs != nullptr && path.compare(QStringLiteral("Caption"), Qt::CaseInsensitive) == 0) {
        tabs->setTabText(tabs->indexOf(static_cast<QWidget*>(&object)), value);
        return true;
    }
    if (FOnCustomObjectProcessing && FOnCustomObjectProcessing(&object, path, value)) {
        return true;
    }

    // By the property's kind.
    QString head;
    QString rest;
    splitFirstDot(path, head, rest);
    const QMetaObject* meta = object.metaObject();
    const int index = propertyIndex(meta, head);
    if (index < 0) {
        const QByteArray dynamicName = head.toLatin1();
        const QVariant held = object.property(dynamicName.constData());
        if (!held.isValid() || !rest.isEmpty()) {
            return false;
        }
        if (held.typeId() == QMetaType::QString) {
            object.setProperty(dynamicName.constData(), value);
            return true;
        }
        bool ok = false;
        const int number = value.toInt(&ok);
        if (ok && (held.typeId() == QMetaType::Int || held.typeId() == QMetaType::UInt ||
                   held.typeId() == QMetaType::LongLong)) {
            object.setProperty(dynamicName.constData(), number);
            return true;
        }
        return false;
    }
    const QMetaProperty property = meta->property(index);
    const QMetaType type = property.metaType();
    if (type.flags() & QMetaType::PointerToQObject) {
        QObject* inner = property.read(&object).value<QObject*>();
        return inner != nullptr && !rest.isEmpty() &&
               setProperty(context, item, *inner, rest, value);
    }
    if (!property.isWritable()) {
        return false;
    }
    if (type.id() == QMetaType::QString) {
        return property.write(&object, value);
    }
    const bool integral = property.isEnumType() || type.id() == QMetaType::Int ||
                          type.id() == QMetaType::UInt || type.id() == QMetaType::Bool ||
                          type.id() == QMetaType::Short || type.id() == QMetaType::UShort ||
                          type.id() == QMetaType::LongLong;
    if (integral) {
        bool ok = false;
        const int number = value.toInt(&ok);
        if (!ok) {
            return false;
        }
        if (type.id() == QMetaType::Bool) {
            return property.write(&object, number != 0);
        }
        return property.write(&object, number);
    }
    return false;  // other kinds are left as they are
}

TLocQtFormWalker& LocFormWalker() {
    static TLocQtFormWalker walker;
    return walker;
}

void AttachFormWalker() {
    LocalizerOnFly().FFormWalker = &LocFormWalker();
}

}  // namespace runemeter
