// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Following the suite's interface language: whether the tool can be translated at all, the
// language at start, the language-change notification, and the Chinese exception of the
// interface font. The translation itself is the engine's.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "localisation/loc_on_fly.h"
#include "suite/shared_state.h"
#include "suite/suite_notify.h"

namespace runemeter {

/// Whether the engine found more than one language file (set by CheckLocalisation).
extern bool SeveralLanguages;

/// What the language choice needs from the suite; each is replaceable for tests.
struct InterfaceLanguageServices {
    std::function<std::uint32_t()> chosenLanguage;             ///< GetChosenLanguageInterface
    std::function<TextSettings()> textSettings;                ///< GetTextSettings
    std::function<void(const TextSettings&)> setTextSettings;  ///< SetTextSettings
    std::function<void(std::uint32_t)> chooseHelpFile;         ///< ChooseHelpFile (may be empty)
};

/// The suite's own calls.
[[nodiscard]] InterfaceLanguageServices suiteInterfaceLanguageServices();

/// Folder of the language modules built for this user: user folder + "modules".
[[nodiscard]] std::filesystem::path LanguageModulesFolder(const std::filesystem::path& userFolder);

/// Prepares the engine when the interfaces folder holds the tool's native language file:
/// Init on that folder, the language-switch handler, packages translated, modules in the
/// user's modules folder; sets SeveralLanguages. Returns whether the engine is prepared.
bool CheckLocalisation(TLocalizerOnFly& engine, const std::filesystem::path& interfacesFolder,
                       const std::filesystem::path& nativeFile,
                       const std::filesystem::path& modulesFolder,
                       const InterfaceLanguageServices& services);

/// Whether the tool follows the chosen language at start: several languages, a chosen one,
/// and another primary language than the one shown.
[[nodiscard]] bool FollowsChosenLanguageAtStart(bool severalLanguages, std::uint32_t chosen,
                                                std::uint32_t current) noexcept;

/// Switches to a language of the engine's list: its index, or -1 when the list has none.
int SwitchInterfaceLanguage(TLocalizerOnFly& engine, std::uint32_t language,
                            const InterfaceLanguageServices& services);

/// Switches to the chosen language, else to its primary language; the last result.
int FollowChosenLanguage(TLocalizerOnFly& engine, const InterfaceLanguageServices& services);

/// With Chinese chosen, the shared interface font becomes "Tahoma" with character set 1.
void AdjustTextSettingsForLanguage(const InterfaceLanguageServices& services);

/// The engine's language-switch handler: switches when the entry's language is not the one
/// shown. It never starts more than one switch of its own inside a switch.
void LanguageSwitchHandler(TLocalizerOnFly& engine, const TLFInfo& info,
                           const InterfaceLanguageServices& services);

/// The suite notification handler: code 59 follows the chosen language when it is not the
/// one shown; every other code is ignored. Returns the message's result (always 0).
int HandleSuiteNotification(TLocalizerOnFly& engine, const SuiteMessage& message,
                            const InterfaceLanguageServices& services);

/// What InstallShippedLanguages did.
struct ShippedLanguages {
    int copied = 0;  ///< Files the folder lacked.
    /// The user's changed files (kept) and where the newer shipped file was put beside each.
    std::vector<std::pair<std::filesystem::path, std::filesystem::path>> keptBeside;
};

/// Suffix of the file beside a copied language file that holds the copy's checksum.
inline constexpr std::string_view kShippedChecksumSuffix = ".shipped-checksum";
/// Suffix of a newer shipped language file put beside a file the user changed.
inline constexpr std::string_view kShippedBesideSuffix = ".shipped";

/// Brings the shipped language files into the user's interfaces folder. A missing file is
/// copied, with its checksum beside it; a copy the user has not changed since is replaced by
/// a newer shipped file; a changed file, or one the program did not put there, is never
/// overwritten: a newer shipped file goes beside it (name + ".shipped"), once. The help pages
/// (.html) are made by the build, not by the user: one that differs from the shipped page is
/// replaced by it.
ShippedLanguages InstallShippedLanguages(const std::filesystem::path& shippedFolder,
                                         const std::filesystem::path& interfacesFolder);

/// The line for the log and the status bar when a translation's version is refused.
[[nodiscard]] std::u16string LanguageRefusedText(const std::filesystem::path& file,
                                                 std::int32_t version);

/// The line for the log and the status bar when a changed file was kept and the newer shipped
/// one put beside it.
[[nodiscard]] std::u16string ShippedBesideText(const std::filesystem::path& kept,
                                               const std::filesystem::path& beside);

/// Puts the English help page, when the interfaces folder has it, at the fallback place of the
/// help file rule, so that a language without a page of its own gets help in English. An older
/// copy there is replaced. Returns whether a page was copied.
bool InstallFallbackHelp(const std::filesystem::path& userFolder,
                         const std::filesystem::path& programFile);

}  // namespace runemeter
