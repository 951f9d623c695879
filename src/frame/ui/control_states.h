// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Remembering what the user last entered in a window's controls: a walk over every object that
// the window owns, storing each input control of a known class in the settings file under its
// objectName. The first rule a control meets decides:
//
// | class                                  | values                 | loading applies it when   |
// |----------------------------------------|------------------------|---------------------------|
// | QCheckBox                              | "checked" bool         | the value exists          |
// | QSpinBox                               | "value" int            | the value exists          |
// | QRadioButton                           | "checked" bool         | the value exists          |
// | QFontComboBox                          | "text" wstr (family)   | the font is installed     |
// | QComboBox                              | "v" list, "i" int      | "v" exists / "i" in range |
// | QPlainTextEdit, QTextEdit (memos)      | "v" list (lines)       | IncludeMemos is on        |
// | QLineEdit, folder-name edit            | "text" wstr            | a file or folder is there |
// | QLineEdit, password echo               | "text" wstr, scrambled | it unscrambles            |
// | QLineEdit, any other                   | "text" wstr            | the value exists          |
// | any object with kStoredListProperty    | "v" list               | the value exists          |
// | QSplitter (its panes are walked too)   | "sizes", "shown" lists | as many as it has panes   |
// | any other QObject                      | none                   | its children are walked   |
//
// Controls without an objectName, or with one of Qt's own "qt_" names, are not stored.

#include "frame/settings_file.h"

#include <QString>

#include <filesystem>

class QObject;

namespace runemeter {

/// Memos are stored and restored only while this is on; it is on at start.
extern bool IncludeMemos;

/// A QLineEdit with this dynamic property set to true is a folder-name edit, whatever its name.
inline constexpr char kFolderNameEditProperty[] = "folderNameEdit";
/// A QLineEdit whose objectName starts with this is a folder-name edit.
inline constexpr char kFolderNameEditPrefix[] = "ElFolderNameEdit";

/// A QObject with this dynamic property (a QStringList) stores it as a list, whatever its class.
inline constexpr char kStoredListProperty[] = "storedList";
/// A pane of a QSplitter that can be hidden keeps in this dynamic property (int) its width, or
/// height, as last shown; the settings store it while the pane is hidden.
inline constexpr char kLastShownExtentProperty[] = "lastShownExtent";

/// Outcome of a load or a save.
struct ControlStatesResult {
    bool ok = true;
    QString message;  ///< empty when ok; otherwise one sentence for the log or the user
};

/// Restores the states of owner's controls from the settings file at path. A missing file
/// changes nothing and is no error. A file that cannot be read or parsed, or holds a value of
/// the wrong type, changes no control and is reported in the result.
[[nodiscard]] ControlStatesResult LoadControlStates(QObject* owner,
                                                    const std::filesystem::path& path);

/// Writes the states of owner's controls to the settings file at path, replacing the whole
/// file. On failure the old file stays as it was and the result says why.
[[nodiscard]] ControlStatesResult SaveControlStates(QObject* owner,
                                                    const std::filesystem::path& path);

/// The walk itself over owner and its children, depth first in child order: reading from ini
/// into the controls when loading, from the controls into ini otherwise. When loading, every
/// value is checked first, so a value of the wrong type leaves all controls unchanged.
[[nodiscard]] ControlStatesResult TransferControlStates(QObject* owner, SettingsFile& ini,
                                                        bool loading);

}  // namespace runemeter
