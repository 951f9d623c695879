// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Language resource modules: the program's resource strings in another language, built from a
// language file and made current without a restart. On this system a module is a small data
// file named after the program with the language abbreviation as extension.
//
// Module file layout (all numbers little-endian):
//
// | Offset | Size | Field                                                              |
// |--------|------|--------------------------------------------------------------------|
// | 0      | 16   | resource name "LOC_LIBSETTINGS_"                                   |
// | 16     | 4    | length n of the settings record (at most kMaxSettingsRecord)       |
// | 20     | n    | settings record (below)                                            |
// | 20 + n | 4    | number m of resource strings (at most 65535)                       |
// | ...    |      | m times: string id (2), length k (4, at most kMaxModuleString),    |
// |        |      | k UTF-16LE code units                                              |
//
// Settings record:
//
// | Order | Size   | Field                                                     |
// |-------|--------|-----------------------------------------------------------|
// | 1     | 4      | tag "LDLL" (the program's own record: "KEXE")             |
// | 2     | 4      | Version, signed                                           |
// | 3     | 2      | Locale                                                    |
// | 4     | 2 + n  | EnglishName: byte count, Windows-1252 bytes               |
// | 5     | 2 + 2n | LocalizedName: count of code units, UTF-16LE              |
// | 6     | 4      | not read (written as 0)                                   |
// | 7     | 4      | LFBuild, present when more than 4 bytes follow field 5    |

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "localisation/lang_file_format.h"
#include "localisation/loc_storage.h"
#include "suite/named_error.h"
#include "suite/resource_strings.h"

namespace runemeter {

/// A language module file could not be loaded.
class ELULoadResLibError : public NamedError {
public:
    /// Message "Error loading resource file "<file>"".
    explicit ELULoadResLibError(const std::filesystem::path& file);
    [[nodiscard]] std::string_view className() const noexcept override {
        return "ELULoadResLibError";
    }
};

/// Longest settings record a module may carry.
inline constexpr std::size_t kMaxSettingsRecord = 64 * 1024;
/// Longest resource string a module may carry, in code units.
inline constexpr std::size_t kMaxModuleString = 1024 * 1024;

/// The settings record of a module (or of the program itself).
struct TDLLInfoItem {
    std::filesystem::path FileName;  ///< The module file; the program's file for its own.
    std::uint32_t Locale = 0;        ///< Language of the resources.
    std::int32_t Version = 0;        ///< Version of the translation the module was built from.
    std::u16string EnglishName;      ///< English name of the language.
    std::u16string LocalizedName;    ///< The language's own name.
    std::uint32_t LFBuild = 0;       ///< Build of the language file the module was built from.
    bool operator==(const TDLLInfoItem&) const = default;
};

/// Version of the program's own resources; a module of another version is not used.
inline constexpr std::int32_t kExeResourceVersion = 182;
/// Language of the program's own resources (English, United Kingdom).
inline constexpr std::uint32_t kExeResourceLocale = 0x0809;

/// The program's own settings record ("LOC_EXESETTINGS_").
[[nodiscard]] TDLLInfoItem ExeSettings(const std::filesystem::path& appFileName);

/// A module's contents: its settings and its resource strings by id.
struct LanguageModule {
    TDLLInfoItem settings;                                  ///< FileName is left empty.
    std::vector<std::pair<ResId, std::u16string>> strings;  ///< In the order written.
};

/// The bytes of a settings record with the given tag ("LDLL" or "KEXE").
[[nodiscard]] std::vector<std::byte> writeSettingsRecord(const TDLLInfoItem& info,
                                                         std::string_view tag);
/// The bytes of a module file.
[[nodiscard]] std::vector<std::byte> writeLanguageModule(const LanguageModule& module);
/// Parses a module file; false (module untouched) when anything is out of place.
[[nodiscard]] bool readLanguageModule(std::span<const std::byte> bytes, LanguageModule& module);

/// Manages which resources are current: the program's own or a language module's.
class TLocUtils {
public:
    /// The program's own resources are current.
    TLocUtils();

    /// Makes the module file current. A module whose Version differs from the program's own
    /// is not used: the program's resources stay (or become) current, without an error.
    /// Throws ELULoadResLibError when the file cannot be read or is not a module.
    void LoadResource(const std::filesystem::path& moduleFile);
    /// Gives the program its own resources back.
    void BackToExe();
    /// The settings record of the resources that are current.
    [[nodiscard]] const TDLLInfoItem& GetCurrentInfo() const noexcept { return FCurrentDLLInfo; }
    /// Whether a module (not the program) provides the current resources.
    [[nodiscard]] bool ModuleIsCurrent() const noexcept { return m_moduleCurrent; }

    /// Builds a module for language langIndex of the store: the template's resource strings
    /// (the program's own when templateFile is empty) with every string that has a translation
    /// replaced by it (matched by FStringID). With checkSync a translation is only used where
    /// the template still has the text the translation was made from. info gives the record.
    /// Throws ELangFileError "Can't create DLL. The native DLL is invalid" when the template
    /// is not a module, and EFOpenError when the file cannot be written.
    void CreateLDLL(const std::filesystem::path& target, const std::filesystem::path& templateFile,
                    bool checkSync, const TLocStorage& storage, std::size_t langIndex,
                    const TDLLInfoItem& info) const;

    TDLLInfoItem FCurrentDLLInfo;        ///< The current resources' record.
    std::filesystem::path FAppFileName;  ///< The program's file (from /proc/self/exe).
    bool FUnderOnFly = false;            ///< Set by the engine: rejected modules fall back quietly.

private:
    bool m_moduleCurrent = false;
};

}  // namespace runemeter
