// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/interface_language.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "frame/tool_frame.h"
#include "localisation/byte_stream.h"
#include "localisation/lang_file.h"
#include "localisation/loc_utils.h"
#include "suite/resource_strings.h"
#include "suite/tool_services.h"
#include "suite/unicode_text.h"

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

namespace {

// FNV-1a, 64 bits: enough to tell whether a file is still the copy that was made.
std::optional<std::string> checksumOf(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec) ||
        std::filesystem::file_size(file, ec) > kMaxLangFileSize || ec) {
        return std::nullopt;
    }
    std::vector<std::byte> bytes;
    try {
        bytes = readFileBytes(file);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const std::byte b : bytes) {
        hash = (hash ^ static_cast<std::uint64_t>(b)) * 0x100000001b3ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(text, 16);
}

std::filesystem::path withSuffix(const std::filesystem::path& file, std::string_view suffix) {
    std::filesystem::path out = file;
    out += std::string(suffix);
    return out;
}

std::string readSmallText(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string text(64, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    return text;
}

// Copies through a temporary name and a rename, so no half-written language file is left.
bool copyOver(const std::filesystem::path& from, const std::filesystem::path& to) {
    try {
        writeFileBytes(to, readFileBytes(from));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool writeChecksum(const std::filesystem::path& file, const std::string& checksum) {
    const std::string line = checksum + "\n";
    try {
        writeFileBytes(withSuffix(file, kShippedChecksumSuffix),
                       std::as_bytes(std::span(line.data(), line.size())));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace

ShippedLanguages InstallShippedLanguages(const std::filesystem::path& shippedFolder,
                                         const std::filesystem::path& interfacesFolder) {
    ShippedLanguages result;
    std::error_code ec;
    if (!std::filesystem::is_directory(shippedFolder, ec)) {
        return result;
    }
    for (std::filesystem::directory_iterator it(shippedFolder, ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code fileEc;
        if (!it->is_regular_file(fileEc)) {
            continue;
        }
        if (it->path().extension() == ".html") {
            std::filesystem::create_directories(interfacesFolder, fileEc);
            result.copied +=
                copyWhenDifferent(it->path(), interfacesFolder / it->path().filename()) ? 1 : 0;
            continue;
        }
        const std::optional<std::string> shipped = checksumOf(it->path());
        if (!shipped) {
            continue;
        }
        std::filesystem::create_directories(interfacesFolder, fileEc);
        const std::filesystem::path target = interfacesFolder / it->path().filename();
        const std::filesystem::path beside = withSuffix(target, kShippedBesideSuffix);
        const std::optional<std::string> present = checksumOf(target);
        if (!present) {
            if (!std::filesystem::exists(target, fileEc) && copyOver(it->path(), target)) {
                (void)writeChecksum(target, *shipped);
                ++result.copied;
            }
            continue;
        }
        const std::filesystem::path checksumFile = withSuffix(target, kShippedChecksumSuffix);
        const std::string copied = readSmallText(checksumFile);
        if (*present == *shipped) {
            // The same as the shipped file: it counts as the program's copy from now on.
            if (copied != *shipped) {
                (void)writeChecksum(target, *shipped);
            }
            std::filesystem::remove(beside, fileEc);
            continue;
        }
        if (!copied.empty() && *present == copied) {
            // The program's own copy, unchanged since: the newer shipped file replaces it.
            if (copyOver(it->path(), target)) {
                (void)writeChecksum(target, *shipped);
                std::filesystem::remove(beside, fileEc);
            }
            continue;
        }
        // Changed by the user, or never the program's copy: it stays. A shipped file other
        // than the one copied goes beside it, and the user hears of it once.
        if (*shipped != copied && checksumOf(beside) != shipped && copyOver(it->path(), beside)) {
            result.keptBeside.emplace_back(target, beside);
        }
    }
    return result;
}

std::u16string LanguageRefusedText(const std::filesystem::path& file, std::int32_t version) {
    const std::u16string name = pathToDisplay(file);
    const std::u16string found = utf8ToUtf16(std::to_string(version));
    const std::u16string needed = utf8ToUtf16(std::to_string(kExeResourceVersion));
    return formatWithStrings(ResourceString(ResId::VTLanguageFileRefused),
                             std::array<std::u16string_view, 3>{name, found, needed});
}

std::u16string ShippedBesideText(const std::filesystem::path& kept,
                                 const std::filesystem::path& beside) {
    const std::u16string keptName = pathToDisplay(kept);
    const std::u16string besideName = pathToDisplay(beside.filename());
    return formatWithStrings(ResourceString(ResId::VTShippedLanguageBeside),
                             std::array<std::u16string_view, 2>{keptName, besideName});
}

bool InstallFallbackHelp(const std::filesystem::path& userFolder,
                         const std::filesystem::path& programFile) {
    constexpr std::uint32_t kEnglish = 0x0409;
    return copyWhenDifferent(languageHelpFileName(userFolder, kEnglish),
                             fallbackHelpFileName(userFolder, programFile));
}

}  // namespace runemeter
