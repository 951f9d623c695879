#pragma once

// Helpers shared by the language file tests: sample images and temporary folders.

#include <atomic>
#include <bit>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "localisation/lang_file_format.h"

namespace runemeter::testing {

/// A fresh folder under the system's temporary folder, removed with the object.
class TempDir {
public:
    TempDir() {
        static std::atomic<int> counter{0};
        std::random_device rd;
        m_path = std::filesystem::temp_directory_path() /
                 ("rm-lang-" + std::to_string(rd()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(m_path);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
    [[nodiscard]] std::filesystem::path operator/(const std::string& name) const {
        return m_path / name;
    }

private:
    std::filesystem::path m_path;
};

inline void writeFile(const std::filesystem::path& path, const std::vector<std::byte>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::byte> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> chars((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::byte> bytes(chars.size());
    for (std::size_t i = 0; i < chars.size(); ++i) {
        bytes[i] = static_cast<std::byte>(chars[i]);
    }
    return bytes;
}

inline std::vector<std::byte> toBytesOf(std::string_view text) {
    std::vector<std::byte> bytes;
    for (const char c : text) {
        bytes.push_back(static_cast<std::byte>(c));
    }
    return bytes;
}

inline LangRecord textRecord(std::u16string name, std::int32_t id, std::u16string text,
                             std::int32_t version = 1, std::uint16_t attributes = 0) {
    LangRecord r;
    r.name = std::move(name);
    r.id = id;
    r.text = std::move(text);
    r.version = version;
    r.attributes = attributes;
    r.timeBits = std::bit_cast<std::uint64_t>(46000.5 + id);
    return r;
}

inline LangRecord typedRecord(std::u16string name, std::int32_t id, TLocValueType type,
                              std::u16string text) {
    LangRecord r = textRecord(std::move(name), id, std::move(text));
    r.typeWord = static_cast<std::uint32_t>(type);
    double number = 0;
    if (type == TLocValueType::ptFloat && textToFloat(r.text, number)) {
        r.floatBits = std::bit_cast<std::uint64_t>(number);
    }
    return r;
}

/// A native file with two units, a form with a component and (format version 7) a group.
inline LangFileImage sampleNative(std::uint16_t formatVersion = 7) {
    LangFileImage image;
    image.header.formatVersion = formatVersion;
    image.header.version = 3;
    image.header.build = 17;
    image.header.locale = 0x0409;
    image.header.basedOnLangId = 0x0409;
    image.header.englishName = u"English";
    image.header.localizedName = u"English";
    image.header.isNative = 1;
    image.header.attributes = 2;
    image.header.constMaxId = 3;
    image.header.propertyMaxId = 14;
    image.header.extItemMaxId = 21;

    LangUnitRecord main{u"MainUnit", 0x11, {}};
    LangRecord hello = textRecord(u"SHello", 1, u"Hello", 1, 0x0001);
    hello.stringId = 1001;
    LangRecord total = textRecord(u"STotal", 2, u"Total: caf\u00e9", -1);
    total.stringId = 1006;
    main.constants = {hello, total};
    LangUnitRecord other{u"Other", 0, {}};
    LangRecord bye = textRecord(u"SBye", 3, u"Bye\r\nnow");
    bye.stringId = 1007;
    other.constants = {bye};
    image.units = {main, other};

    LangFormRecord form{u"TForm1", 0x22, {}, {}};
    form.properties = {textRecord(u"Caption", 10, u"Runemeter")};
    LangComponentRecord button{u"Button1", 0x33, {}};
    button.properties = {textRecord(u"Caption", 11, u"&Analyse"),
                         typedRecord(u"Width", 12, TLocValueType::ptInteger, u"-75"),
                         typedRecord(u"Scale", 13, TLocValueType::ptFloat, u"1.25"),
                         typedRecord(u"Items", 14, TLocValueType::ptStringList, u"a\r\nb")};
    form.components = {button};
    image.forms = {form};

    if (formatVersion >= 7) {
        LangGroupRecord group{u"Types", 0x44, {}};
        group.items = {textRecord(u"Letter", 20, u"letter", 2, 0x100),
                       textRecord(u"Digit", 21, u"digit")};
        image.groups = {group};
    }
    return image;
}

/// What reading gives back for an image of a lower format version: fields the version does not
/// store are 0 or empty.
inline LangFileImage expectedAfterRead(LangFileImage image) {
    const std::uint16_t fv = image.header.formatVersion;
    if (fv <= 4) {
        image.header.build = 0;
    }
    if (fv <= 2) {
        image.header.basedOnLangId = 0;
    }
    if (fv <= 1) {
        image.header.attributes = 0;
    }
    if (fv <= 6) {
        image.header.extItemMaxId = 0;
        image.groups.clear();
    }
    const auto fix = [&](LangRecord& r) {
        if (fv <= 1) {
            r.attributes = 0;
        }
        const TLocValueType type = r.type();
        if (fv < 4 && (type == TLocValueType::ptFloat || type == TLocValueType::ptInteger)) {
            r.hasValue = false;
            r.text.clear();
            r.floatBits = 0;
        }
    };
    for (auto& unit : image.units) {
        if (fv <= 1) {
            unit.attributes = 0;
        }
        for (auto& r : unit.constants) {
            fix(r);
        }
    }
    for (auto& form : image.forms) {
        if (fv <= 1) {
            form.attributes = 0;
        }
        for (auto& r : form.properties) {
            fix(r);
        }
        for (auto& component : form.components) {
            if (fv <= 1) {
                component.attributes = 0;
            }
            for (auto& r : component.properties) {
                fix(r);
            }
        }
    }
    return image;
}

/// A translation of sampleNative() into German.
inline LangFileImage sampleGerman(std::uint16_t formatVersion = 7) {
    LangFileImage image = sampleNative(formatVersion);
    image.header.locale = 0x0407;
    image.header.englishName = u"German";
    image.header.localizedName = u"Deutsch";
    image.header.isNative = 0;
    image.header.version = 5;
    image.units[0].constants[0].text = u"Hallo";
    image.units[0].constants[1].text = u"Summe";
    image.units[1].constants[0].text = u"Tsch\u00fcss";
    image.forms[0].properties[0].text = u"Runenmesser";
    image.forms[0].components[0].properties[0].text = u"&Analysieren";
    if (formatVersion >= 7) {
        image.groups[0].items[0].text = u"Buchstabe";
    }
    return image;
}

}  // namespace runemeter::testing
