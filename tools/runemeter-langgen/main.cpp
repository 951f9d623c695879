// SPDX-License-Identifier: GPL-3.0-or-later
// Build-time generator of the shipped language files. "native" creates the program's windows
// offscreen and writes the native language file from their translatable texts and the
// resource-string table, so the file always matches the windows; "translate" turns a text
// source (the text form of runemeter-lang) into a compressed translation of that native file,
// its records tied to the native ones by name.

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTemporaryDir>

#include <fstream>
#include <iostream>
#include <set>
#include <sstream>
#include <string>

#include "frame/ui/main_form.h"
#include "frame/ui/tool_data_module.h"
#include "localisation/byte_stream.h"
#include "localisation/lang_file_format.h"
#include "localisation/lang_match.h"
#include "localisation/lang_text.h"
#include "localisation/loc_on_fly.h"
#include "localisation/loc_utils.h"
#include "localisation/ui/loc_on_fly_forms.h"
#include "results/ui/results_list.h"
#include "suite/resource_strings.h"
#include "suite/ui/qt_text.h"

namespace {

using namespace runemeter;

constexpr std::uint32_t kVersionOfValues = 1;

struct Collector {
    std::int32_t nextId = 1;

    void add(std::vector<LangRecord>& into, const char16_t* name, const QString& value,
             TLocValueType type = TLocValueType::ptString) {
        if (value.isEmpty()) {
            return;
        }
        LangRecord record;
        record.name = name;
        record.id = nextId++;
        record.typeWord = static_cast<std::uint32_t>(type);
        record.text = toU16(value);
        record.version = kVersionOfValues;
        into.push_back(std::move(record));
    }

    void component(QObject& object, LangComponentRecord& out) {
        auto& props = out.properties;
        if (auto* widget = qobject_cast<QWidget*>(&object)) {
            auto* stack = qobject_cast<QStackedWidget*>(widget->parentWidget());
            auto* tabs =
                stack != nullptr ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
            if (tabs != nullptr && tabs->indexOf(widget) >= 0) {
                add(props, u"Caption", tabs->tabText(tabs->indexOf(widget)));
            }
        }
        if (auto* label = qobject_cast<QLabel*>(&object)) {
            add(props, u"text", label->text());
        } else if (auto* button = qobject_cast<QAbstractButton*>(&object)) {
            add(props, u"text", button->text());
        } else if (auto* group = qobject_cast<QGroupBox*>(&object)) {
            add(props, u"title", group->title());
        } else if (auto* edit = qobject_cast<QLineEdit*>(&object)) {
            add(props, u"placeholderText", edit->placeholderText());
        } else if (auto* combo = qobject_cast<QComboBox*>(&object);
                   combo != nullptr && qobject_cast<QFontComboBox*>(combo) == nullptr) {
            QStringList items;
            for (int i = 0; i < combo->count(); ++i) {
                items << combo->itemText(i);
            }
            add(props, u"Items", items.join(QLatin1Char('\n')), TLocValueType::ptStringList);
        } else if (auto* list = qobject_cast<TLMDListBox*>(&object)) {
            QStringList captions;
            const QAbstractItemModel* model = list->model();
            for (int i = 0; i < model->columnCount(); ++i) {
                captions << model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
            }
            add(props, u"HeaderSections", captions.join(QLatin1Char('\n')),
                TLocValueType::ptStringList);
        } else if (auto* menu = qobject_cast<QMenu*>(&object)) {
            add(props, u"title", menu->title());
        } else if (auto* action = qobject_cast<QAction*>(&object)) {
            add(props, u"text", action->text());
        }
        // An action's tool tip repeats its text unless it was given one; only widgets here.
        if (auto* widget = qobject_cast<QWidget*>(&object)) {
            add(props, u"toolTip", widget->toolTip());
        }
    }

    LangFormRecord form(QObject& root, const QList<QObject*>& parts = {}) {
        LangFormRecord out;
        out.name = StoredFormName(root);
        if (auto* window = qobject_cast<QWidget*>(&root)) {
            add(out.properties, u"windowTitle", window->windowTitle());
        }
        std::set<QString> seen;
        QList<QObject*> all = root.findChildren<QObject*>();
        for (QObject* part : parts) {
            all << part << part->findChildren<QObject*>();
        }
        for (QObject* object : all) {
            const QString name = object->objectName();
            // Qt's own parts carry "qt_" names; a repeated name would reach the first only.
            if (name.isEmpty() || name.startsWith(QStringLiteral("qt_")) ||
                !seen.insert(name).second) {
                continue;
            }
            LangComponentRecord record;
            record.name = toU16(name);
            component(*object, record);
            if (!record.properties.empty()) {
                out.components.push_back(std::move(record));
            }
        }
        return out;
    }
};

LangFileImage nativeImage() {
    LangFileImage image;
    image.header.version = kExeResourceVersion;
    image.header.locale = static_cast<std::uint16_t>(kExeResourceLocale);
    image.header.englishName = u"English";
    image.header.localizedName = u"English";
    image.header.isNative = 1;
    image.header.attributes = 2;  // forms follow the writing direction of the language

    LangUnitRecord unit;
    unit.name = u"resource_strings";
    std::int32_t constantId = 1;
    for (const ResourceStringEntry& entry : resourceStringTable()) {
        LangRecord record;
        record.name = std::u16string(entry.name.begin(), entry.name.end());
        record.stringId = static_cast<std::uint16_t>(entry.id);
        record.id = constantId++;
        record.text = std::u16string(entry.english);
        record.version = kVersionOfValues;
        unit.constants.push_back(std::move(record));
    }
    image.units.push_back(std::move(unit));

    Collector collector;
    // The window reads and writes its settings file in the user folder; a folder of its own
    // keeps the build away from the user's files and the user's settings out of the texts.
    QTemporaryDir userFolder;
    FormServices services;
    services.userFolder = [&userFolder] { return pathFromQString(userFolder.path()); };
    services.message = [](const QString& text, const QString&) {
        std::cerr << "runemeter-langgen: " << text.toStdString() << "\n";
    };
    TForm1 form(services);
    image.forms.push_back(collector.form(form));
    TDataModule2* dataModule = TDataModule2::instance();
    image.forms.push_back(
        collector.form(*dataModule, QList<QObject*>{dataModule->PopupActionBar1}));
    image.header.constMaxId = constantId - 1;
    image.header.propertyMaxId = collector.nextId - 1;
    return image;
}

int usage() {
    std::cerr << "Usage: runemeter-langgen native OUTPUT\n"
                 "       runemeter-langgen translate NATIVE SOURCE OUTPUT\n";
    return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        return usage();
    }
    try {
        if (args[0] == "native" && args.size() == 2) {
            QApplication application(argc, argv);
            writeFileBytes(args[1], writeLangFileImage(nativeImage(), false));
            return 0;
        }
        if (args[0] == "translate" && args.size() == 4) {
            const LangFileImage native = readLangFileImage(readFileBytes(args[1]));
            std::ifstream in(args[2], std::ios::binary);
            if (!in) {
                std::cerr << args[2] << ": cannot be read\n";
                return 1;
            }
            std::stringstream source;
            source << in.rdbuf();
            LangFileImage translation = langImageFromText(source.str());
            // The program refuses a translation of another version than its own: a source
            // without a version line gets the program's.
            if (translation.header.version == 0) {
                translation.header.version = kExeResourceVersion;
            } else if (translation.header.version != kExeResourceVersion) {
                std::cerr << args[2] << ": warning: version " << translation.header.version
                          << " is not " << kExeResourceVersion
                          << "; Runemeter refuses it and its messages stay in English\n";
            }
            std::string error;
            if (!matchTranslationToNative(native, translation, error)) {
                std::cerr << args[2] << ": " << error << "\n";
                return 1;
            }
            writeFileBytes(args[3], writeLangFileImage(translation, true));
            return 0;
        }
    } catch (const std::exception& error) {
        std::cerr << "runemeter-langgen: " << error.what() << "\n";
        return 1;
    }
    return usage();
}
