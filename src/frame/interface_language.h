#pragma once

// Following the suite's interface language: whether the tool can be translated at all, the
// language at start, the language-change notification, and the Chinese exception of the
// interface font. The translation itself is the engine's.

#include <cstdint>
#include <filesystem>
#include <functional>

#include "localisation/LocOnFly.h"
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

/// Copies the shipped language files that the user's interfaces folder lacks; a language file
/// already there is never replaced. The help pages (.html) are made by the build, not by the
/// user: one that differs from the shipped page is replaced by it. Returns the number copied.
int InstallShippedLanguages(const std::filesystem::path& shippedFolder,
                            const std::filesystem::path& interfacesFolder);

/// Puts the English help page, when the interfaces folder has it, at the fallback place of the
/// help file rule, so that a language without a page of its own gets help in English. An older
/// copy there is replaced. Returns whether a page was copied.
bool InstallFallbackHelp(const std::filesystem::path& userFolder,
                         const std::filesystem::path& programFile);

}  // namespace runemeter
