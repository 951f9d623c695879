// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/loc_utils.h"

#include <cstring>
#include <map>
#include <system_error>

#include "localisation/byte_stream.h"
#include "localisation/code_pages.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

constexpr char kModuleResourceName[] = "LOC_LIBSETTINGS_";
constexpr std::size_t kModuleResourceNameSize = 16;
constexpr std::size_t kMaxModuleStrings = 65535;

std::filesystem::path ownProgramFile() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path("runemeter") : exe;
}

void writeU16Text(ByteStream& out, std::u16string_view text) {
    for (const char16_t c : text) {
        out.writeU16(static_cast<std::uint16_t>(c));
    }
}

bool parseSettingsRecord(ByteStream& in, TDLLInfoItem& info) {
    char tag[4];
    in.read(tag, 4);
    if (std::memcmp(tag, "LDLL", 4) != 0 && std::memcmp(tag, "KEXE", 4) != 0) {
        return false;
    }
    info.Version = in.readI32();
    info.Locale = in.readU16();
    const std::uint16_t englishBytes = in.readU16();
    std::string english(englishBytes, '\0');
    in.read(english.data(), englishBytes);
    info.EnglishName = decodeWindows1252(english);
    const std::uint16_t localizedUnits = in.readU16();
    info.LocalizedName.clear();
    for (std::uint16_t i = 0; i < localizedUnits; ++i) {
        info.LocalizedName.push_back(static_cast<char16_t>(in.readU16()));
    }
    info.LFBuild = 0;
    if (in.remaining() > 4) {
        in.skip(4);
        info.LFBuild = in.readU32();
    }
    return true;
}

}  // namespace

ELULoadResLibError::ELULoadResLibError(const std::filesystem::path& file)
    : NamedError("Error loading resource file \"" + utf16ToUtf8(pathToDisplay(file)) + "\"") {}

TDLLInfoItem ExeSettings(const std::filesystem::path& appFileName) {
    TDLLInfoItem info;
    info.FileName = appFileName;
    info.Locale = kExeResourceLocale;
    info.Version = kExeResourceVersion;
    info.EnglishName = u"English";
    info.LocalizedName = u"English";
    info.LFBuild = 0;
    return info;
}

std::vector<std::byte> writeSettingsRecord(const TDLLInfoItem& info, std::string_view tag) {
    ByteStream out;
    out.write(tag.data(), 4);
    out.writeI32(info.Version);
    out.writeU16(static_cast<std::uint16_t>(info.Locale));
    const std::string english = encodeWindows1252(info.EnglishName).substr(0, 0xFFFF);
    out.writeU16(static_cast<std::uint16_t>(english.size()));
    out.write(english.data(), english.size());
    const std::u16string_view localized = std::u16string_view(info.LocalizedName).substr(0, 0xFFFF);
    out.writeU16(static_cast<std::uint16_t>(localized.size()));
    writeU16Text(out, localized);
    out.writeU32(0);
    out.writeU32(info.LFBuild);
    return std::move(out.data());
}

std::vector<std::byte> writeLanguageModule(const LanguageModule& module) {
    ByteStream out;
    out.write(kModuleResourceName, kModuleResourceNameSize);
    const std::vector<std::byte> record = writeSettingsRecord(module.settings, "LDLL");
    out.writeU32(static_cast<std::uint32_t>(record.size()));
    out.write(record.data(), record.size());
    const std::size_t count = std::min(module.strings.size(), kMaxModuleStrings);
    out.writeU32(static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const auto& [id, text] = module.strings[i];
        const std::u16string_view cut = std::u16string_view(text).substr(0, kMaxModuleString);
        out.writeU16(static_cast<std::uint16_t>(id));
        out.writeU32(static_cast<std::uint32_t>(cut.size()));
        writeU16Text(out, cut);
    }
    return std::move(out.data());
}

bool readLanguageModule(std::span<const std::byte> bytes, LanguageModule& module) {
    try {
        ByteStream in(bytes);
        char name[kModuleResourceNameSize];
        in.read(name, kModuleResourceNameSize);
        if (std::memcmp(name, kModuleResourceName, kModuleResourceNameSize) != 0) {
            return false;
        }
        const std::uint32_t recordSize = in.readU32();
        if (recordSize > kMaxSettingsRecord || recordSize > in.remaining()) {
            return false;
        }
        std::vector<std::byte> recordBytes(recordSize);
        in.read(recordBytes.data(), recordSize);
        ByteStream record(std::move(recordBytes));
        LanguageModule parsed;
        if (!parseSettingsRecord(record, parsed.settings)) {
            return false;
        }
        const std::uint32_t count = in.readU32();
        if (count > kMaxModuleStrings) {
            return false;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const auto id = static_cast<ResId>(in.readU16());
            const std::uint32_t length = in.readU32();
            if (length > kMaxModuleString || std::size_t{length} * 2 > in.remaining()) {
                return false;
            }
            std::u16string text;
            text.reserve(length);
            for (std::uint32_t k = 0; k < length; ++k) {
                text.push_back(static_cast<char16_t>(in.readU16()));
            }
            parsed.strings.emplace_back(id, std::move(text));
        }
        if (in.remaining() != 0) {
            return false;
        }
        module = std::move(parsed);
        return true;
    } catch (const EReadError&) {
        return false;
    }
}

TLocUtils::TLocUtils() : FAppFileName(ownProgramFile()) {
    FCurrentDLLInfo = ExeSettings(FAppFileName);
}

void TLocUtils::LoadResource(const std::filesystem::path& moduleFile) {
    LanguageModule module;
    std::vector<std::byte> bytes;
    try {
        bytes = readFileBytes(moduleFile);
    } catch (const EFOpenError&) {
        throw ELULoadResLibError(moduleFile);
    }
    if (!readLanguageModule(bytes, module)) {
        throw ELULoadResLibError(moduleFile);
    }
    if (module.settings.Version != kExeResourceVersion) {
        // A module built for other resources would show texts the program no longer has.
        if (!FUnderOnFly) {
            throw ELULoadResLibError(moduleFile);
        }
        BackToExe();
        return;
    }
    setResourceStringTranslations(module.strings);
    FCurrentDLLInfo = module.settings;
    FCurrentDLLInfo.FileName = moduleFile;
    m_moduleCurrent = true;
}

void TLocUtils::BackToExe() {
    setResourceStringTranslations({});
    FCurrentDLLInfo = ExeSettings(FAppFileName);
    m_moduleCurrent = false;
}

void TLocUtils::CreateLDLL(const std::filesystem::path& target,
                           const std::filesystem::path& templateFile, bool checkSync,
                           const TLocStorage& storage, std::size_t langIndex,
                           const TDLLInfoItem& info) const {
    // The template's strings, in its order.
    std::vector<std::pair<ResId, std::u16string>> strings;
    if (templateFile.empty()) {
        for (const ResourceStringEntry& entry : resourceStringTable()) {
            strings.emplace_back(entry.id, std::u16string(entry.english));
        }
    } else {
        LanguageModule templ;
        bool usable = false;
        try {
            usable = readLanguageModule(readFileBytes(templateFile), templ);
        } catch (const EFOpenError&) {
            usable = false;
        }
        if (!usable) {
            throw ELangFileError("Can't create DLL. The native DLL is invalid");
        }
        strings = std::move(templ.strings);
    }

    std::map<std::uint16_t, const TLocConstant*> byStringId;
    for (TLocConstant* constant : storage.AllConstants()) {
        byStringId.emplace(constant->FStringID, constant);
    }
    for (auto& [id, text] : strings) {
        const auto found = byStringId.find(static_cast<std::uint16_t>(id));
        if (found == byStringId.end() || langIndex >= found->second->FValues.Count()) {
            continue;
        }
        const TLocValueList& values = found->second->FValues;
        if (checkSync && values[0]->Value() != text) {
            continue;  // the program's text changed since the translation was made
        }
        const std::u16string& translated = values[langIndex]->Value();
        if (!translated.empty()) {
            text = translated;
        }
    }

    LanguageModule module;
    module.settings = info;
    module.strings = std::move(strings);
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    writeFileBytes(target, writeLanguageModule(module));
}

}  // namespace runemeter
