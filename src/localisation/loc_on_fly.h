// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The localisation engine: reads the native language file and the translations of the language
// folder into one store, makes a language's resource module current and has the open windows
// re-translated, all while the program runs.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "localisation/lang_file.h"
#include "localisation/loc_storage.h"
#include "localisation/loc_utils.h"
#include "suite/named_error.h"

namespace runemeter {

/// Failures of the engine itself.
class ELocOnFlyError : public NamedError {
public:
    using NamedError::NamedError;
    [[nodiscard]] std::string_view className() const noexcept override { return "ELocOnFlyError"; }
};

/// What the engine does with a failure inside Init, SwitchTo, SwitchToFile and SwitchToExt.
enum class TErrorReaction { erException, erMessage, erIgnore };

class TLFInfoList;
class TLocalizerOnFly;

/// One language of the language folder.
struct TLFInfo {
    bool FNative = false;                    ///< The native file.
    TLFInfoList* FInfoList = nullptr;        ///< Owner.
    std::filesystem::path FFileName;         ///< File name without folder.
    std::uint32_t FLocale = 0;               ///< Language identifier.
    std::u16string FEnglishName;             ///< English name of the language.
    std::u16string FLocalizedName;           ///< The language's own name.
    bool FShowUntranslatedAsNative = false;  ///< Not used by this program.
};

/// The languages of the language folder, ordered by English name.
class TLFInfoList {
public:
    /// Number of languages.
    [[nodiscard]] std::size_t Count() const noexcept { return m_items.size(); }
    /// Entry by position.
    [[nodiscard]] TLFInfo& operator[](std::size_t index) const { return *m_items[index]; }
    /// Position of the first entry of that language, or -1.
    [[nodiscard]] int IndexByLocale(std::uint32_t locale) const noexcept;
    /// Inserts before the first entry with a greater English name (ordinal), so after equal ones.
    TLFInfo& Insert(std::unique_ptr<TLFInfo> info);
    /// Removes every entry.
    void Clear() noexcept { m_items.clear(); }

    std::filesystem::path FFolderPath;  ///< The folder as given.
    std::filesystem::path FFullPath;    ///< The same, absolute.

private:
    std::vector<std::unique_ptr<TLFInfo>> m_items;
};

/// Applies the store's current language to the program's open windows (the window code).
class TLocFormWalker {
public:
    virtual ~TLocFormWalker() = default;
    /// Walks every form and data module with the engine's current language.
    virtual void TranslateForms(TLocalizerOnFly& engine) = 0;
};

/// Shows an engine failure to the user: text and caption ("Localizer Error").
using LocalizerMessageProc = std::function<void(std::u16string_view, std::u16string_view)>;

/// A file of the language folder whose header could not be read; it is left out of the list.
struct SkippedLanguageFile {
    std::filesystem::path file;  ///< Full name.
    std::string reason;          ///< The reader's message.
};

/// The engine.
class TLocalizerOnFly {
public:
    /// A fresh engine on the given module manager (which it marks as under the engine).
    explicit TLocalizerOnFly(TLocUtils& utils);
    virtual ~TLocalizerOnFly();
    TLocalizerOnFly(const TLocalizerOnFly&) = delete;
    TLocalizerOnFly& operator=(const TLocalizerOnFly&) = delete;

    /// Reads the language folder (relative: to the program's folder; empty: the program's
    /// folder) and the native language, and takes the current resources' language.
    void Init(const std::filesystem::path& folder);
    /// Changes the language folder and rebuilds the language list.
    void SetLanguageFolder(const std::filesystem::path& folder);
    /// Switches to a language by identifier.
    void SwitchTo(std::uint32_t language);
    /// Switches to the language of a file.
    void SwitchToFile(const std::filesystem::path& file);
    /// Switches by abbreviation ("exe" and "ntv" both mean the native language).
    void SwitchToExt(std::u16string_view abbreviation);

    /// The language shown.
    [[nodiscard]] std::uint32_t CurrentLocale() const noexcept { return FCurrentLocale; }
    /// The languages of the folder.
    [[nodiscard]] const TLFInfoList& LangList() const noexcept { return FLangList; }
    /// The store.
    [[nodiscard]] const TLocStorage& Storage() const noexcept { return FLocStorage; }
    /// The module manager.
    [[nodiscard]] TLocUtils& Utils() const noexcept { return m_utils; }
    /// Whether Init has finished.
    [[nodiscard]] bool Initialized() const noexcept { return FInitialized; }

    /// The native file's full name.
    [[nodiscard]] std::filesystem::path NativeFileName() const;
    /// A translation file's full name (the name as found when it differs only in case).
    [[nodiscard]] std::filesystem::path LangFileName(std::u16string_view abbreviation) const;
    /// A language module's full name.
    [[nodiscard]] std::filesystem::path ModuleFileName(std::u16string_view abbreviation) const;
    /// Sets the folder of the language modules (relative: to the program's folder; empty: the
    /// program's folder).
    void SetDLLDir(const std::filesystem::path& folder);

    // Settings and state, with their defaults.
    bool FInitialization = true;            ///< Set while Init runs.
    bool FInitialized = false;              ///< Set when Init has finished.
    bool FDestroying = false;               ///< Set at destruction.
    bool FSoftMode = false;                 ///< Translate only the windows, no modules.
    bool FProcessCharset = true;            ///< Fonts take the language's character set.
    bool FProcessBiDiMode = false;          ///< Forms follow the language's writing direction.
    bool FTranslatePackages = false;        ///< Also switch the process's other modules.
    bool FUnloadInactiveLanguages = false;  ///< Keep at most one translation in the store.
    bool FDeleteUnusedLDll = false;         ///< Delete the module of the language left.
    bool FShowUntranslatedAsIs = false;     ///< Show outdated translations as they are.
    bool FCheckSync = true;                 ///< The native language is English.
    bool FChangeUntranslatedItems = true;   ///< Not used here.
    std::uint32_t FCurrentLocale = 0;       ///< Language shown.
    std::uint32_t FOldLocale = 0;           ///< Language shown before the running switch.
    int FLangIndex = 0;                     ///< Store index of the language shown.
    TLocStorage FLocStorage;                ///< The store.
    TLFInfoList FLangList;                  ///< Languages of the folder.
    std::u16string FRegKey;                 ///< Not used on this system (always empty).
    std::filesystem::path FDLLDir;          ///< Folder of language modules as given.
    std::filesystem::path FFullDLLDir;      ///< The same, absolute.
    TErrorReaction FErrorReaction = TErrorReaction::erMessage;  ///< Reaction to failures.
    TLocFormWalker* FFormWalker = nullptr;  ///< The window code's walk; none: nothing walked.
    /// Shows failures under erMessage; default: MyPMsgDlg.
    LocalizerMessageProc FMessageProc;
    /// Called at the start of every switch (not during Init).
    std::function<void(TLocalizerOnFly&)> FOnLangSwitchStart;
    /// Called at the end of every switch to a language of the list (not during Init).
    std::function<void(TLocalizerOnFly&, TLFInfo&)> FOnLangSwitch;
    /// Called when a translation's module is refused because the file's version is not the
    /// program's resource version: the file and its version. The program's own resource
    /// strings stay in force.
    std::function<void(TLocalizerOnFly&, const std::filesystem::path&, std::int32_t)>
        FOnVersionRefused;
    /// Files of the folder that were left out because their header could not be read.
    std::vector<SkippedLanguageFile> FSkippedFiles;

protected:
    /// The switch-start notification.
    virtual void DoLangSwitchStart();
    /// The switch notification with the new language's index in the list (-1: not in it).
    virtual void DoLangSwitch(int index);

private:
    void reactToError();
    void setLanguageFolder(const std::filesystem::path& folder);
    int makeAvailable(std::uint32_t locale);
    void switchTo(std::uint32_t language);
    void switchToFile(TLangFile& file);
    [[nodiscard]] std::uint32_t nativeLocale() const;
    [[nodiscard]] std::filesystem::path appFolder() const;
    [[nodiscard]] std::filesystem::path inAppFolder(const std::filesystem::path& folder) const;

    TLocUtils& m_utils;
};

/// The value of an item to show in language langIndex: the native value when the translation
/// never gave the item a text, or gave one of another value version (unless
/// showUntranslatedAsIs); nullptr when the value carries attribute 8 (not to be set) or the
/// language is not in the item.
[[nodiscard]] const TLocValue* ValueToApply(const TLocItem& item, std::size_t langIndex,
                                            bool showUntranslatedAsIs);

/// A component path with an index: "Path.Prop[3]Rest".
struct IndexedPath {
    std::u16string componentPath;  ///< Dotted path of the component ("" for the container).
    std::u16string propertyName;   ///< Named property holding the collection.
    int index = 0;                 ///< Item index.
    std::u16string remainder;      ///< What follows "]", without a leading ".".
};
/// Splits an indexed component path; nullopt when it has no well-formed "[n]" part.
[[nodiscard]] std::optional<IndexedPath> SplitIndexedPath(std::u16string_view name);

/// Whether a language is written right to left: the script ICU gives its locale (Arabic, Hebrew,
/// Persian, Urdu ...); false for an identifier ICU does not know.
[[nodiscard]] bool IsRightToLeftLanguage(std::uint32_t language) noexcept;

/// The process's module manager.
[[nodiscard]] TLocUtils& LocUtils();
/// The process's engine, made on first use and kept for the whole run.
[[nodiscard]] TLocalizerOnFly& LocalizerOnFly();

}  // namespace runemeter
