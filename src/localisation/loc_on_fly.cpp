// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/loc_on_fly.h"

#include <unicode/uloc.h>

#include <algorithm>
#include <array>
#include <system_error>

#include "suite/locale_table.h"
#include "suite/tool_services.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

constexpr std::u16string_view kNativeAbbreviation = u"ntv";

std::string quoted(const std::filesystem::path& path) {
    return "\"" + utf16ToUtf8(pathToDisplay(path)) + "\"";
}

bool equalsCaseBlind(std::u16string_view a, std::u16string_view b) {
    return foldCase(a) == foldCase(b);
}

bool isFile(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::is_regular_file(path, ec);
}

// Names built from the program's name may differ in case from the files a user copied in.
std::filesystem::path findCaseBlind(const std::filesystem::path& folder,
                                    const std::u16string& name) {
    std::filesystem::path exact = folder / std::filesystem::path(name);
    if (isFile(exact)) {
        return exact;
    }
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (equalsCaseBlind(it->path().filename().u16string(), name) && isFile(it->path())) {
            return it->path();
        }
    }
    return exact;
}

std::u16string programStem(const TLocUtils& utils) {
    return utils.FAppFileName.filename().replace_extension().u16string();
}

}  // namespace

// ---- the language list

int TLFInfoList::IndexByLocale(std::uint32_t locale) const noexcept {
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (m_items[i]->FLocale == locale) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

TLFInfo& TLFInfoList::Insert(std::unique_ptr<TLFInfo> info) {
    info->FInfoList = this;
    const auto at = std::find_if(m_items.begin(), m_items.end(), [&](const auto& item) {
        return item->FEnglishName > info->FEnglishName;
    });
    return **m_items.insert(at, std::move(info));
}

// ---- the engine

TLocalizerOnFly::TLocalizerOnFly(TLocUtils& utils) : m_utils(utils) {
    m_utils.FUnderOnFly = true;
}

TLocalizerOnFly::~TLocalizerOnFly() {
    FDestroying = true;
    if (FInitialized && FDeleteUnusedLDll) {
        // Back to the native language so that the module of the language shown can go.
        try {
            const std::uint32_t left = FCurrentLocale;
            FErrorReaction = TErrorReaction::erIgnore;
            SwitchToExt(kNativeAbbreviation);
            if (left != nativeLocale() && left != 0) {
                std::error_code ec;
                std::filesystem::remove(ModuleFileName(LanguageAbbreviation(left)), ec);
            }
        } catch (...) {  // nothing can be reported while the program ends
        }
    }
}

std::filesystem::path TLocalizerOnFly::appFolder() const {
    return m_utils.FAppFileName.parent_path();
}

std::filesystem::path TLocalizerOnFly::inAppFolder(const std::filesystem::path& folder) const {
    // Relative to the program's folder, never to the current folder, which the user may change.
    std::filesystem::path full = folder.empty() ? appFolder() : appFolder() / folder;
    if (folder.is_absolute()) {
        full = folder;
    }
    return full.lexically_normal();
}

std::filesystem::path TLocalizerOnFly::NativeFileName() const {
    return findCaseBlind(FLangList.FFullPath, programStem(m_utils) + u".ntv.lng");
}

std::filesystem::path TLocalizerOnFly::LangFileName(std::u16string_view abbreviation) const {
    if (equalsCaseBlind(abbreviation, kNativeAbbreviation)) {
        return NativeFileName();
    }
    return findCaseBlind(FLangList.FFullPath,
                         programStem(m_utils) + u"." + std::u16string(abbreviation) + u".lng");
}

std::filesystem::path TLocalizerOnFly::ModuleFileName(std::u16string_view abbreviation) const {
    const std::filesystem::path folder = FDLLDir.empty() ? appFolder() : FFullDLLDir;
    return folder /
           std::filesystem::path(programStem(m_utils) + u"." + std::u16string(abbreviation));
}

void TLocalizerOnFly::SetDLLDir(const std::filesystem::path& folder) {
    FDLLDir = folder;
    FFullDLLDir = inAppFolder(folder);
}

void TLocalizerOnFly::reactToError() {
    try {
        throw;
    } catch (const std::exception& error) {
        switch (FErrorReaction) {
            case TErrorReaction::erException:
                throw;
            case TErrorReaction::erIgnore:
                return;
            case TErrorReaction::erMessage:
                break;
        }
        const std::u16string text = utf8ToUtf16(error.what());
        if (FMessageProc) {
            FMessageProc(text, u"Localizer Error");
        } else {
            (void)MyPMsgDlg(text, u"Localizer Error", kMbOk | kMbIconExclamation);
        }
    }
}

void TLocalizerOnFly::DoLangSwitchStart() {
    if (!FInitialization && FOnLangSwitchStart) {
        FOnLangSwitchStart(*this);
    }
}

void TLocalizerOnFly::DoLangSwitch(int index) {
    if (!FInitialization && index >= 0 && static_cast<std::size_t>(index) < FLangList.Count() &&
        FOnLangSwitch) {
        FOnLangSwitch(*this, FLangList[static_cast<std::size_t>(index)]);
    }
}

std::uint32_t TLocalizerOnFly::nativeLocale() const {
    for (std::size_t i = 0; i < FLangList.Count(); ++i) {
        if (FLangList[i].FNative) {
            return FLangList[i].FLocale;
        }
    }
    return 0;
}

// ---- the language folder

void TLocalizerOnFly::SetLanguageFolder(const std::filesystem::path& folder) {
    try {
        setLanguageFolder(folder);
    } catch (...) {
        reactToError();
    }
}

void TLocalizerOnFly::setLanguageFolder(const std::filesystem::path& folder) {
    if (!FLangList.FFullPath.empty() && folder == FLangList.FFolderPath) {
        return;
    }
    const std::filesystem::path full = inAppFolder(folder);
    std::error_code ec;
    if (!std::filesystem::is_directory(full, ec)) {
        throw ELocOnFlyError("Specified path " + quoted(full) + " does not exist");
    }
    FLangList.FFolderPath = folder;
    FLangList.FFullPath = full;
    FLangList.Clear();
    FSkippedFiles.clear();

    const std::u16string prefix = foldCase(programStem(m_utils) + u".");
    const std::u16string suffix = u".lng";
    std::vector<std::filesystem::path> files;
    for (std::filesystem::directory_iterator it(full, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::u16string name = foldCase(it->path().filename().u16string());
        if (name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
            name.ends_with(suffix) && isFile(it->path())) {
            files.push_back(it->path());
        }
    }
    // The folder's own order differs between file systems; names make the list repeatable.
    std::sort(files.begin(), files.end());
    for (const std::filesystem::path& file : files) {
        std::unique_ptr<TLangFile> header;
        try {
            header = TLangFile::Create(file, true);
        } catch (const std::exception& error) {
            // One damaged file must not take the other languages with it.
            FSkippedFiles.push_back({file, error.what()});
            continue;
        }
        const int at = FLangList.IndexByLocale(header->FLocale);
        TLFInfo* info = nullptr;
        if (at >= 0) {
            info = &FLangList[static_cast<std::size_t>(at)];
            info->FEnglishName = header->FLangEnglishName;
        } else {
            auto fresh = std::make_unique<TLFInfo>();
            fresh->FLocale = header->FLocale;
            fresh->FEnglishName = header->FLangEnglishName;
            fresh->FLocalizedName = header->FLangLocalizedName;
            info = &FLangList.Insert(std::move(fresh));
        }
        info->FFileName = file.filename();
        info->FNative = header->FIsNative;
    }
}

// ---- Init

void TLocalizerOnFly::Init(const std::filesystem::path& folder) {
    try {
        FRegKey.clear();
        FInitialization = true;
        setLanguageFolder(folder);
        const std::filesystem::path nativeFile = NativeFileName();
        if (!isFile(nativeFile)) {
            // The program carries no language of its own in its resources.
            throw ELocOnFlyError("Language file " + quoted(nativeFile) + " is not found");
        }
        std::unique_ptr<TLangFile> native = TLangFile::Create(nativeFile, true);
        // Languages of an earlier Init belong to another folder; kept, they would never be
        // read again and show only the empty values that adding a language makes.
        while (FLocStorage.LanguageCount() > 1) {
            FLocStorage.RemoveLanguage(FLocStorage.LanguageCount() - 1);
        }
        native->Load(&FLocStorage, -1);
        FCheckSync = PrimaryLanguage(native->FLocale) == 9;
        FProcessCharset = false;
        FProcessBiDiMode = (native->FAttributes & 2) != 0;
        FCurrentLocale = m_utils.GetCurrentInfo().Locale;
        FLangIndex = makeAvailable(FCurrentLocale);
        FInitialized = true;
        FInitialization = false;
    } catch (...) {
        FInitialization = false;
        reactToError();
    }
}

int TLocalizerOnFly::makeAvailable(std::uint32_t locale) {
    const std::ptrdiff_t loaded = FLocStorage.IndexOfLocale(locale);
    if (loaded >= 0) {
        return static_cast<int>(loaded);
    }
    const std::filesystem::path file = LangFileName(LanguageAbbreviation(locale));
    if (isFile(file)) {
        std::unique_ptr<TLangFile> translation = TLangFile::Create(file, true);
        const std::size_t index = FLocStorage.AddLanguage(locale);
        translation->Load(&FLocStorage, static_cast<int>(index));
        FShowUntranslatedAsIs = (translation->FAttributes & kValueAttrShowOutdated) != 0;
        return static_cast<int>(index);
    }
    // No languages are carried in the program's resources, so nothing more to look up.
    return static_cast<int>(FLocStorage.IndexOfLocale(locale));
}

// ---- switching

void TLocalizerOnFly::SwitchTo(std::uint32_t language) {
    try {
        switchTo(language);
    } catch (...) {
        reactToError();
    }
}

void TLocalizerOnFly::switchTo(std::uint32_t language) {
    if (!FInitialized) {
        throw ELocOnFlyError("Localizer is not initialized");
    }
    const std::uint32_t native = nativeLocale();
    const bool nativeListed = FLangList.Count() > 0 && native != 0;
    std::u16string abbreviation = language == 0 && !nativeListed
                                      ? std::u16string(kNativeAbbreviation)
                                      : LanguageAbbreviation(language);
    FOldLocale = FCurrentLocale;
    DoLangSwitchStart();

    std::uint32_t switchedTo = 0;
    for (;;) {
        const std::filesystem::path file = LangFileName(abbreviation);
        if (isFile(file)) {
            std::unique_ptr<TLangFile> langFile = TLangFile::Create(file, true);
            switchToFile(*langFile);
            switchedTo = langFile->FLocale;
            break;
        }
        if (language == native && abbreviation != kNativeAbbreviation) {
            abbreviation = kNativeAbbreviation;
            continue;
        }
        throw ELocOnFlyError("Language \"" + utf16ToUtf8(LanguageName(language)) +
                             "\" is not found");
    }

    if (FDeleteUnusedLDll && FOldLocale != 0 && FOldLocale != FCurrentLocale &&
        FOldLocale != native) {
        // Never the module in use: with an unchanged language it is the current one.
        std::error_code ec;
        std::filesystem::remove(ModuleFileName(LanguageAbbreviation(FOldLocale)), ec);
    }
    // The program's resource strings live in one table, so there are no other modules to
    // switch with FTranslatePackages.
    DoLangSwitch(FLangList.IndexByLocale(switchedTo));
}

void TLocalizerOnFly::SwitchToFile(const std::filesystem::path& file) {
    try {
        if (!FInitialized) {
            throw ELocOnFlyError("Localizer is not initialized");
        }
        const std::filesystem::path full = inAppFolder(file);
        if (!isFile(full)) {
            throw ELocOnFlyError("Language file " + quoted(full) + " is not found");
        }
        std::unique_ptr<TLangFile> langFile = TLangFile::Create(full, true);
        FOldLocale = FCurrentLocale;
        DoLangSwitchStart();
        switchToFile(*langFile);
        DoLangSwitch(FLangList.IndexByLocale(langFile->FLocale));
    } catch (...) {
        reactToError();
    }
}

void TLocalizerOnFly::SwitchToExt(std::u16string_view abbreviation) {
    try {
        if (!FInitialized) {
            throw ELocOnFlyError("Localizer is not initialized");
        }
        const bool native = equalsCaseBlind(abbreviation, u"exe") ||
                            equalsCaseBlind(abbreviation, kNativeAbbreviation);
        const std::filesystem::path file =
            native ? NativeFileName() : LangFileName(std::u16string(abbreviation));
        if (!isFile(file)) {
            throw ELocOnFlyError("Language file " + quoted(file) + " is not found");
        }
        std::unique_ptr<TLangFile> langFile = TLangFile::Create(file, true);
        FOldLocale = FCurrentLocale;
        DoLangSwitchStart();
        switchToFile(*langFile);
        DoLangSwitch(FLangList.IndexByLocale(langFile->FLocale));
    } catch (...) {
        reactToError();
    }
}

void TLocalizerOnFly::switchToFile(TLangFile& file) {
    const std::uint32_t native = FLocStorage.FLocales.empty() ? 0 : FLocStorage.FLocales[0];
    const bool isNative = file.FIsNative || file.FLocale == native;
    std::filesystem::path moduleFile;
    bool upToDate = false;

    // 1. A module of this language that is already built may serve as it is.
    if (!FSoftMode && !isNative) {
        moduleFile = ModuleFileName(LanguageAbbreviation(file.FLocale));
        if (m_utils.GetCurrentInfo().Locale != file.FLocale && isFile(moduleFile)) {
            try {
                m_utils.LoadResource(moduleFile);
            } catch (const ELULoadResLibError&) {
                m_utils.BackToExe();  // a damaged module is rebuilt below
            }
            FCurrentLocale = m_utils.GetCurrentInfo().Locale;
            FLangIndex = makeAvailable(FCurrentLocale);
        }
        if (m_utils.ModuleIsCurrent() && m_utils.GetCurrentInfo().Locale == file.FLocale) {
            const TDLLInfoItem& current = m_utils.GetCurrentInfo();
            upToDate = current.Version == file.FVersion && current.LFBuild == file.FBuild;
            if (!upToDate) {
                m_utils.BackToExe();
            }
        }
    }

    // 2. The language's texts in the store.
    std::ptrdiff_t index = FLocStorage.IndexOfLocale(file.FLocale);
    if (!(FInitialization && !FSoftMode && upToDate) && index < 0) {
        if (FUnloadInactiveLanguages && FLocStorage.LanguageCount() > 1) {
            FLocStorage.RemoveLanguage(1);
        }
        index = static_cast<std::ptrdiff_t>(FLocStorage.AddLanguage(file.FLocale));
        file.Load(&FLocStorage, static_cast<int>(index));
    }
    FLangIndex = static_cast<int>(std::max<std::ptrdiff_t>(index, 0));
    if (!isNative) {
        FShowUntranslatedAsIs = (file.FAttributes & kValueAttrShowOutdated) != 0;
    }

    // 3. A fresh module for a translation; the program's own resources for the native one.
    if (!upToDate && !FSoftMode) {
        if (!isNative) {
            std::error_code ec;
            std::filesystem::remove(moduleFile, ec);
            if (std::filesystem::exists(moduleFile, ec)) {
                throw ELocOnFlyError("Can not delete file " + quoted(moduleFile));
            }
            file.FLangIndex = FLangIndex;
            const std::filesystem::path nativeModule =
                findCaseBlind(FLangList.FFullPath, programStem(m_utils) + u".ntv");
            TDLLInfoItem info;
            info.Locale = file.FLocale;
            info.Version = file.FVersion;
            info.LFBuild = file.FBuild;
            info.EnglishName = file.FLangEnglishName;
            info.LocalizedName = file.FLangLocalizedName;
            if (isFile(nativeModule)) {
                m_utils.CreateLDLL(moduleFile, nativeModule, FCheckSync, FLocStorage,
                                   static_cast<std::size_t>(FLangIndex), info);
            } else {
                m_utils.BackToExe();
                m_utils.CreateLDLL(moduleFile, {}, FCheckSync, FLocStorage,
                                   static_cast<std::size_t>(FLangIndex), info);
            }
            m_utils.LoadResource(moduleFile);
            if (!m_utils.ModuleIsCurrent() && FOnVersionRefused) {
                FOnVersionRefused(*this, file.FFileName, file.FVersion);
            }
        } else {
            m_utils.BackToExe();
        }
    }

    // 4. The windows.
    if (!FDestroying) {
        FLocStorage.FCurLangIndex = static_cast<std::size_t>(FLangIndex);
        FCurrentLocale = FSoftMode ? file.FLocale : m_utils.GetCurrentInfo().Locale;
        // Qt fonts cover every script, so there is no character set to change here.
        if (FFormWalker != nullptr) {
            FFormWalker->TranslateForms(*this);
        }
    }
}

// ---- helpers of the walk

const TLocValue* ValueToApply(const TLocItem& item, std::size_t langIndex,
                              bool showUntranslatedAsIs) {
    if (langIndex >= item.FValues.Count()) {
        return nullptr;
    }
    const TLocValue* value = item.FValues[langIndex];
    const TLocValue* nativeValue = item.FValues[0];
    // A text the translation left out is only a placeholder: the native one shows, whatever
    // the file's attributes say. An empty text is applied only where a file gave it.
    if (!value->FSet ||
        (value->FValueVersion != nativeValue->FValueVersion && !showUntranslatedAsIs)) {
        value = nativeValue;
    }
    if (value->FAttributes == 8) {
        return nullptr;
    }
    return value;
}

std::optional<IndexedPath> SplitIndexedPath(std::u16string_view name) {
    const std::size_t open = name.find(u'[');
    if (open == std::u16string_view::npos) {
        return std::nullopt;
    }
    const std::size_t close = name.find(u']', open);
    if (close == std::u16string_view::npos || close == open + 1) {
        return std::nullopt;
    }
    IndexedPath path;
    long long index = 0;
    for (std::size_t i = open + 1; i < close; ++i) {
        const char16_t c = name[i];
        if (c < u'0' || c > u'9' || index > 1'000'000'000) {
            return std::nullopt;
        }
        index = index * 10 + (c - u'0');
    }
    path.index = static_cast<int>(index);
    const std::u16string_view head = name.substr(0, open);
    const std::size_t dot = head.rfind(u'.');
    if (dot == std::u16string_view::npos) {
        path.propertyName = std::u16string(head);
    } else {
        path.componentPath = std::u16string(head.substr(0, dot));
        path.propertyName = std::u16string(head.substr(dot + 1));
    }
    if (path.propertyName.empty()) {
        return std::nullopt;
    }
    std::u16string_view rest = name.substr(close + 1);
    if (!rest.empty() && rest.front() == u'.') {
        rest.remove_prefix(1);
    }
    path.remainder = std::u16string(rest);
    return path;
}

bool IsRightToLeftLanguage(std::uint32_t language) noexcept {
    std::array<char, ULOC_FULLNAME_CAPACITY> locale{};
    UErrorCode error = U_ZERO_ERROR;
    const std::int32_t length = uloc_getLocaleForLCID(
        language, locale.data(), static_cast<std::int32_t>(locale.size()), &error);
    // An empty name would stand for the process's default locale: unknown is left to right.
    if (U_FAILURE(error) || length <= 0 || length >= static_cast<std::int32_t>(locale.size())) {
        return false;
    }
    return uloc_isRightToLeft(locale.data()) != 0;
}

TLocUtils& LocUtils() {
    static TLocUtils utils;
    return utils;
}

TLocalizerOnFly& LocalizerOnFly() {
    static TLocalizerOnFly engine(LocUtils());
    return engine;
}

}  // namespace runemeter
