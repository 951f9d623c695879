// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/ui/control_states.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFontComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QSplitter>
#include <QStringList>
#include <QTextEdit>

#include <string>
#include <vector>

#include "suite/resource_strings.h"

namespace runemeter {

bool IncludeMemos = true;

namespace {

enum class Mode { Check, Load, Save };

struct Walk {
    SettingsFile& ini;
    Mode mode;
    QStringList problems;

    [[nodiscard]] bool applying() const { return mode == Mode::Load; }
    [[nodiscard]] bool saving() const { return mode == Mode::Save; }
};

std::u16string toU16(const QString& text) {
    return text.toStdU16String();
}
QString fromU16(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

QString typeText(std::optional<SettingsValueType> type) {
    if (!type)
        return QStringLiteral("nothing");
    switch (*type) {
        case SettingsValueType::String:
            return QStringLiteral("a string");
        case SettingsValueType::WideString:
            return QStringLiteral("a wide string");
        case SettingsValueType::Boolean:
            return QStringLiteral("a Boolean");
        case SettingsValueType::Integer:
            return QStringLiteral("an integer");
        case SettingsValueType::StringList:
            return QStringLiteral("a string list");
    }
    return {};
}

// Notes a wrong type once per value and says whether the value may be used.
bool usable(Walk& walk, ReadStatus status, const std::u16string& key, std::u16string_view name,
            const char* expected) {
    if (status == ReadStatus::WrongType) {
        walk.problems << QStringLiteral("%1 \"%2\" holds %3 where %4 belongs")
                             .arg(fromU16(key), fromU16(std::u16string(name)),
                                  typeText(walk.ini.typeOf(key, name)),
                                  QString::fromLatin1(expected));
    }
    return status == ReadStatus::Found;
}

std::vector<std::u16string> memoLines(const QString& text) {
    std::vector<std::u16string> lines;
    if (text.isEmpty()) {
        return lines;
    }
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        lines.push_back(toU16(line));
    }
    return lines;
}

QString memoText(const std::vector<std::u16string>& lines) {
    QStringList parts;
    for (const auto& line : lines) {
        parts << fromU16(line);
    }
    return parts.join(QLatin1Char('\n'));
}

bool isFolderNameEdit(const QLineEdit* edit) {
    return edit->objectName().startsWith(QLatin1String(kFolderNameEditPrefix)) ||
           edit->property(kFolderNameEditProperty).toBool();
}

bool isPasswordEdit(const QLineEdit* edit) {
    return edit->echoMode() == QLineEdit::Password ||
           edit->echoMode() == QLineEdit::PasswordEchoOnEdit;
}

// A box that takes typed texts into its list keeps a history; the typed text joins the list
// where the box's own insert policy would put it, and becomes the selected item.
void updateHistory(QComboBox* box) {
    if (!box->isEditable() || box->insertPolicy() == QComboBox::NoInsert) {
        return;
    }
    const QString text = box->currentText();
    if (text.isEmpty()) {
        return;
    }
    int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        const int current = box->currentIndex();
        if (box->insertPolicy() == QComboBox::InsertAtCurrent && current >= 0) {
            box->setItemText(current, text);
            index = current;
        } else if (box->count() >= box->maxCount()) {
            return;
        } else {
            switch (box->insertPolicy()) {
                case QComboBox::InsertAtTop:
                    index = 0;
                    break;
                case QComboBox::InsertAfterCurrent:
                    index = current + 1;
                    break;
                case QComboBox::InsertBeforeCurrent:
                    index = current < 0 ? 0 : current;
                    break;
                case QComboBox::InsertAlphabetically:
                    index = 0;
                    while (index < box->count() &&
                           QString::compare(box->itemText(index), text, Qt::CaseInsensitive) <= 0) {
                        ++index;
                    }
                    break;
                default:
                    index = box->count();
                    break;
            }
            box->insertItem(index, text);
        }
    }
    box->setCurrentIndex(index);
}

void transferComboBox(QComboBox* box, const std::u16string& key, Walk& walk) {
    if (walk.saving()) {
        updateHistory(box);
        std::vector<std::u16string> items;
        items.reserve(static_cast<std::size_t>(box->count()));
        for (int i = 0; i < box->count(); ++i) {
            items.push_back(toU16(box->itemText(i)));
        }
        walk.ini.WriteMultiString(key, u"v", items);
        walk.ini.WriteInteger(key, u"i", box->currentIndex());
        return;
    }
    std::vector<std::u16string> items;
    const bool haveItems =
        usable(walk, walk.ini.ReadMultiString(key, u"v", items), key, u"v", "a string list");
    std::int32_t index = -1;
    const bool haveIndex =
        usable(walk, walk.ini.ReadInteger(key, u"i", index), key, u"i", "an integer");
    if (!walk.applying()) {
        return;
    }
    const int previousIndex = box->currentIndex();
    const QString previousText = box->currentText();
    if (haveItems) {
        QStringList list;
        for (const auto& item : items) {
            list << fromU16(item);
        }
        box->clear();
        box->addItems(list);
    }
    if (haveIndex && index >= 0 && index < box->count()) {
        box->setCurrentIndex(index);
    } else if (haveItems) {
        // No usable index: the selection stays what it was, as far as the new list allows.
        if (previousIndex >= 0 && previousIndex < box->count()) {
            box->setCurrentIndex(previousIndex);
        } else {
            box->setCurrentIndex(-1);
            if (box->isEditable()) {
                box->setEditText(previousText);
            }
        }
    }
}

void transferFontComboBox(QFontComboBox* box, const std::u16string& key, Walk& walk) {
    if (walk.saving()) {
        walk.ini.WriteWideString(key, u"text", toU16(box->currentFont().family()));
        return;
    }
    std::u16string family;
    if (!usable(walk, walk.ini.ReadString(key, u"text", family), key, u"text", "a wide string") ||
        !walk.applying()) {
        return;
    }
    // A font removed since the last run is not replaced by whatever looks closest.
    const int index = box->findText(fromU16(family), Qt::MatchFixedString);
    if (index >= 0) {
        box->setCurrentIndex(index);
    }
}

void transferLineEdit(QLineEdit* edit, const std::u16string& key, Walk& walk) {
    const bool password = isPasswordEdit(edit);
    if (walk.saving()) {
        if (password) {
            const QByteArray bytes = edit->text().toUtf8();
            walk.ini.WriteWideString(
                key, u"text",
                ToNumStr(ScrambleText(
                    std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))));
        } else {
            walk.ini.WriteWideString(key, u"text", toU16(edit->text()));
        }
        return;
    }
    std::u16string stored;
    if (!usable(walk, walk.ini.ReadString(key, u"text", stored), key, u"text", "a wide string")) {
        return;
    }
    QString text = fromU16(stored);
    if (password) {
        const auto bytes = FromNumStr(stored);
        if (!bytes) {
            walk.problems << QStringLiteral("%1 \"text\" is not a scrambled password")
                                 .arg(edit->objectName());
            return;
        }
        const std::string plain = ScrambleText(*bytes);
        text = QString::fromUtf8(plain.data(), static_cast<qsizetype>(plain.size()));
    }
    if (!walk.applying()) {
        return;
    }
    if (isFolderNameEdit(edit) && !QFileInfo::exists(text)) {
        return;  // the folder or file has gone since the last run
    }
    edit->setText(text);
}

void transferMemo(QObject* memo, const std::u16string& key, Walk& walk) {
    auto* plain = qobject_cast<QPlainTextEdit*>(memo);
    auto* rich = qobject_cast<QTextEdit*>(memo);
    if (walk.saving()) {
        const QString text = plain ? plain->toPlainText() : rich->toPlainText();
        walk.ini.WriteMultiString(key, u"v", memoLines(text));
        return;
    }
    std::vector<std::u16string> lines;
    if (!usable(walk, walk.ini.ReadMultiString(key, u"v", lines), key, u"v", "a string list") ||
        !walk.applying()) {
        return;
    }
    if (plain) {
        plain->setPlainText(memoText(lines));
    } else {
        rich->setPlainText(memoText(lines));
    }
}

void transferChecked(QAbstractButton* button, const std::u16string& key, Walk& walk) {
    if (walk.saving()) {
        walk.ini.WriteBool(key, u"checked", button->isChecked());
        return;
    }
    bool checked = false;
    if (usable(walk, walk.ini.ReadBool(key, u"checked", checked), key, u"checked", "a Boolean") &&
        walk.applying()) {
        button->setChecked(checked);
    }
}

void transferSpinBox(QSpinBox* spin, const std::u16string& key, Walk& walk) {
    if (walk.saving()) {
        walk.ini.WriteInteger(key, u"value", spin->value());
        return;
    }
    std::int32_t value = 0;
    if (usable(walk, walk.ini.ReadInteger(key, u"value", value), key, u"value", "an integer") &&
        walk.applying()) {
        spin->setValue(value);  // the box keeps it within its own range
    }
}

void transferStoredList(QObject* object, const std::u16string& key, Walk& walk) {
    if (walk.saving()) {
        std::vector<std::u16string> items;
        for (const QString& item : object->property(kStoredListProperty).toStringList()) {
            items.push_back(toU16(item));
        }
        walk.ini.WriteMultiString(key, u"v", items);
        return;
    }
    std::vector<std::u16string> items;
    if (usable(walk, walk.ini.ReadMultiString(key, u"v", items), key, u"v", "a string list") &&
        walk.applying()) {
        QStringList list;
        for (const auto& item : items) {
            list << fromU16(item);
        }
        object->setProperty(kStoredListProperty, list);
    }
}

// A splitter: "sizes" the width (or height) of each pane, a hidden one's as it was last shown
// (its kLastShownExtentProperty; 0 when unknown), and "shown" whether each pane is shown ("1"
// or "0"). Its panes are walked as well.
void transferSplitter(QSplitter* splitter, const std::u16string& key, Walk& walk) {
    if (walk.saving()) {
        std::vector<std::u16string> sizes;
        std::vector<std::u16string> shown;
        const QList<int> laidOut = splitter->sizes();
        for (int i = 0; i < splitter->count(); ++i) {
            const QWidget* pane = splitter->widget(i);
            const QVariant last = pane->property(kLastShownExtentProperty);
            const int extent = !pane->isHidden() ? laidOut.value(i)
                               : last.isValid()  ? last.toInt()
                                                 : 0;
            sizes.push_back(toU16(QString::number(extent)));
            shown.push_back(pane->isHidden() ? u"0" : u"1");
        }
        walk.ini.WriteMultiString(key, u"sizes", sizes);
        walk.ini.WriteMultiString(key, u"shown", shown);
        return;
    }
    std::vector<std::u16string> sizes;
    std::vector<std::u16string> shown;
    const bool haveSizes = usable(walk, walk.ini.ReadMultiString(key, u"sizes", sizes), key,
                                  u"sizes", "a string list");
    const bool haveShown = usable(walk, walk.ini.ReadMultiString(key, u"shown", shown), key,
                                  u"shown", "a string list");
    QList<int> extents;
    for (const std::u16string& size : sizes) {
        bool number = false;
        const int extent = fromU16(size).toInt(&number);
        if (!number || extent < 0) {
            walk.problems << QStringLiteral("%1 \"sizes\" holds \"%2\" where a width belongs")
                                 .arg(fromU16(key), fromU16(size));
            return;
        }
        extents << extent;
    }
    if (!walk.applying()) {
        return;
    }
    // Sizes for other panes than the splitter has now (another version) are left alone.
    if (haveSizes && extents.size() == splitter->count()) {
        splitter->setSizes(extents);
    }
    if (haveShown && static_cast<int>(shown.size()) == splitter->count()) {
        for (int i = 0; i < splitter->count(); ++i) {
            QWidget* pane = splitter->widget(i);
            pane->setVisible(shown[static_cast<std::size_t>(i)] != u"0");
            if (pane->isHidden() && i < extents.size()) {
                pane->setProperty(kLastShownExtentProperty, extents[i]);
            }
        }
    }
}

// Handles object when its class has a rule; false means "walk its children instead".
bool transferControl(QObject* object, Walk& walk) {
    const QString name = object->objectName();
    const bool stored = !name.isEmpty() && !name.startsWith(QLatin1String("qt_"));
    const std::u16string key = toU16(name);
    if (object->property(kStoredListProperty).isValid()) {
        if (stored)
            transferStoredList(object, key, walk);
    } else if (auto* box = qobject_cast<QCheckBox*>(object)) {
        if (stored)
            transferChecked(box, key, walk);
    } else if (auto* spin = qobject_cast<QSpinBox*>(object)) {
        if (stored)
            transferSpinBox(spin, key, walk);
    } else if (auto* radio = qobject_cast<QRadioButton*>(object)) {
        if (stored)
            transferChecked(radio, key, walk);
    } else if (auto* font = qobject_cast<QFontComboBox*>(object)) {
        if (stored)
            transferFontComboBox(font, key, walk);
    } else if (auto* combo = qobject_cast<QComboBox*>(object)) {
        if (stored)
            transferComboBox(combo, key, walk);
    } else if (qobject_cast<QPlainTextEdit*>(object) || qobject_cast<QTextEdit*>(object)) {
        if (stored && IncludeMemos)
            transferMemo(object, key, walk);
    } else if (auto* edit = qobject_cast<QLineEdit*>(object)) {
        if (stored)
            transferLineEdit(edit, key, walk);
    } else if (auto* splitter = qobject_cast<QSplitter*>(object)) {
        if (stored)
            transferSplitter(splitter, key, walk);
        return false;  // its panes hold controls of their own
    } else {
        return false;
    }
    return true;
}

void walkTree(QObject* object, Walk& walk) {
    if (transferControl(object, walk)) {
        return;  // a control's children are its own parts, not separate controls
    }
    // Copy: a handler run by a restored value may add or remove children.
    const QObjectList children = object->children();
    for (QObject* child : children) {
        walkTree(child, walk);
    }
}

// A message of the resource strings with its arguments, in the interface language.
QString message(ResId id, std::initializer_list<QString> args) {
    std::vector<std::u16string> texts;
    for (const QString& arg : args) {
        texts.push_back(arg.toStdU16String());
    }
    const std::vector<std::u16string_view> views(texts.begin(), texts.end());
    return QString::fromStdU16String(formatWithStrings(ResourceString(id), views));
}

QString displayPath(const std::filesystem::path& path) {
    return QFile::decodeName(QByteArray::fromStdString(path.string()));
}

// Checks every value before any control changes, then applies them.
ControlStatesResult loadInto(QObject* owner, SettingsFile& ini, const QString& fileName) {
    Walk check{ini, Mode::Check, {}};
    walkTree(owner, check);
    if (!check.problems.isEmpty()) {
        QString problem = check.problems.first();
        if (check.problems.size() > 1) {
            problem =
                message(ResId::VTAndMore, {problem, QString::number(check.problems.size() - 1)});
        }
        return {false, fileName.isEmpty()
                           ? message(ResId::VTSettingsNotAppliedHere, {problem})
                           : message(ResId::VTSettingsNotApplied, {fileName, problem})};
    }
    Walk load{ini, Mode::Load, {}};
    walkTree(owner, load);
    return {};
}

}  // namespace

ControlStatesResult TransferControlStates(QObject* owner, SettingsFile& ini, bool loading) {
    if (!owner) {
        return {};
    }
    if (loading) {
        return loadInto(owner, ini, QString());
    }
    Walk walk{ini, Mode::Save, {}};
    walkTree(owner, walk);
    return {};
}

ControlStatesResult LoadControlStates(QObject* owner, const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return {};  // first start: the controls keep their defaults
    }
    SettingsFile ini;
    if (const auto error = ini.Load(path)) {
        return {false,
                message(ResId::VTSettingsUnreadable,
                        {displayPath(path), QString::fromStdString(describeInputError(*error))})};
    }
    if (!owner) {
        return {};
    }
    return loadInto(owner, ini, displayPath(path));
}

ControlStatesResult SaveControlStates(QObject* owner, const std::filesystem::path& path) {
    SettingsFile ini;
    (void)TransferControlStates(owner, ini, false);
    if (const auto error = ini.Save(path)) {
        return {false, message(ResId::VTSettingsUnsaved,
                               {QString::fromStdString(describeInputError(*error))})};
    }
    return {};
}

}  // namespace runemeter
