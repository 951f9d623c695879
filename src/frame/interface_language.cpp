#include "frame/interface_language.h"

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <system_error>

#include "frame/tool_frame.h"

#include "suite/tool_services.h"

namespace runemeter {

bool SeveralLanguages = false;

namespace {

constexpr std::uint32_t kChinese = 4;

std::optional<std::string> readWhole(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Copies source over target unless target already holds the same bytes.
bool copyWhenDifferent(const std::filesystem::path& source, const std::filesystem::path& target) {
    const std::optional<std::string> shipped = readWhole(source);
    if (!shipped || readWhole(target) == shipped) {
        return false;
    }
    std::error_code ec;
    return std::filesystem::copy_file(source, target,
                                      std::filesystem::copy_options::overwrite_existing, ec);
}

// Depth of switches the language-switch handler started itself.
int g_handlerDepth = 0;

}  // namespace

InterfaceLanguageServices suiteInterfaceLanguageServices() {
    InterfaceLanguageServices services;
    services.chosenLanguage = [] { return GetChosenLanguageInterface(); };
    services.textSettings = [] { return GetTextSettings(); };
    services.setTextSettings = [](const TextSettings& settings) {
        (void)SetTextSettings(settings);
    };
    return services;
}

std::filesystem::path LanguageModulesFolder(const std::filesystem::path& userFolder) {
    return userFolder / "modules";
}

bool CheckLocalisation(TLocalizerOnFly& engine, const std::filesystem::path& interfacesFolder,
                       const std::filesystem::path& nativeFile,
                       const std::filesystem::path& modulesFolder,
                       const InterfaceLanguageServices& services) {
    std::error_code ec;
    if (!std::filesystem::is_directory(interfacesFolder, ec) ||
        !std::filesystem::is_regular_file(nativeFile, ec)) {
        return false;
    }
    // Modules go where the user may write; the program's folder usually is not.
    engine.SetDLLDir(modulesFolder);
    engine.Init(interfacesFolder);
    if (!engine.Initialized()) {
        return false;
    }
    engine.FOnLangSwitch = [services](TLocalizerOnFly& e, TLFInfo& info) {
        LanguageSwitchHandler(e, info, services);
    };
    engine.FTranslatePackages = true;
    SeveralLanguages = engine.LangList().Count() > 1;
    return true;
}

bool FollowsChosenLanguageAtStart(bool severalLanguages, std::uint32_t chosen,
                                  std::uint32_t current) noexcept {
    return severalLanguages && chosen != 0 && PrimaryLanguage(chosen) != PrimaryLanguage(current);
}

int SwitchInterfaceLanguage(TLocalizerOnFly& engine, std::uint32_t language,
                            const InterfaceLanguageServices& services) {
    const int index = engine.LangList().IndexByLocale(language);
    if (index < 0) {
        return -1;
    }
    engine.SwitchTo(language);
    AdjustTextSettingsForLanguage(services);
    if (services.chooseHelpFile) {
        services.chooseHelpFile(language);
    }
    return index;
}

int FollowChosenLanguage(TLocalizerOnFly& engine, const InterfaceLanguageServices& services) {
    const std::uint32_t chosen = services.chosenLanguage ? services.chosenLanguage() : 0;
    int result = SwitchInterfaceLanguage(engine, chosen, services);
    if (result < 0) {
        result = SwitchInterfaceLanguage(engine, PrimaryLanguage(chosen), services);
    }
    return result;
}

void AdjustTextSettingsForLanguage(const InterfaceLanguageServices& services) {
    const std::uint32_t chosen = services.chosenLanguage ? services.chosenLanguage() : 0;
    if (PrimaryLanguage(chosen) != kChinese || !services.textSettings ||
        !services.setTextSettings) {
        return;
    }
    TextSettings settings = services.textSettings();
    settings.setFontCharset(1);
    if (settings.setFontName("Tahoma")) {
        services.setTextSettings(settings);
    }
}

void LanguageSwitchHandler(TLocalizerOnFly& engine, const TLFInfo& info,
                           const InterfaceLanguageServices& services) {
    // When a module is refused the engine shows its own resources' language, which differs
    // from the entry's; switching again and again would never end.
    if (info.FLocale == engine.CurrentLocale() || g_handlerDepth > 0) {
        return;
    }
    const std::uint32_t language = info.FLocale;
    ++g_handlerDepth;
    try {
        engine.SwitchTo(language);
    } catch (...) {
        --g_handlerDepth;
        throw;
    }
    --g_handlerDepth;
    if (services.chooseHelpFile) {
        services.chooseHelpFile(language);
    }
}

int HandleSuiteNotification(TLocalizerOnFly& engine, const SuiteMessage& message,
                            const InterfaceLanguageServices& services) {
    if (message.message != kSuiteMessage || message.code() != kNotifyLanguageChanged) {
        return 0;
    }
    const std::uint32_t chosen = services.chosenLanguage ? services.chosenLanguage() : 0;
    if (chosen != engine.CurrentLocale()) {
        (void)FollowChosenLanguage(engine, services);
    }
    return 0;
}

int InstallShippedLanguages(const std::filesystem::path& shippedFolder,
                            const std::filesystem::path& interfacesFolder) {
    std::error_code ec;
    if (!std::filesystem::is_directory(shippedFolder, ec)) {
        return 0;
    }
    int copied = 0;
    for (std::filesystem::directory_iterator it(shippedFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc)) {
            continue;
        }
        std::filesystem::create_directories(interfacesFolder, fileEc);
        const std::filesystem::path target = interfacesFolder / it->path().filename();
        if (it->path().extension() == ".html") {
            copied += copyWhenDifferent(it->path(), target) ? 1 : 0;
            continue;
        }
        if (std::filesystem::exists(target, fileEc)) {
            continue;  // the user's own file (or an earlier copy) stays
        }
        if (std::filesystem::copy_file(it->path(), target,
                                       std::filesystem::copy_options::skip_existing, fileEc)) {
            ++copied;
        }
    }
    return copied;
}

bool InstallFallbackHelp(const std::filesystem::path& userFolder,
                         const std::filesystem::path& programFile) {
    constexpr std::uint32_t kEnglish = 0x0409;
    return copyWhenDifferent(languageHelpFileName(userFolder, kEnglish),
                             fallbackHelpFileName(userFolder, programFile));
}

}  // namespace runemeter
