// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/lang_file_format.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <limits>

#include "localisation/code_pages.h"
#include "localisation/lzcompress.h"

namespace runemeter {

namespace {

constexpr std::uint16_t kMagic = 0x464C;  // "LF"

enum class CountKind { Short, Packed };

std::string utf16Preview(std::u16string_view text) {
    std::string out;
    for (const char16_t unit : text.substr(0, 40)) {
        out.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    if (text.size() > 40) {
        out += "...";
    }
    return out;
}

CountKind bodyCountKind(std::uint16_t formatVersion) {
    return formatVersion >= 6 ? CountKind::Packed : CountKind::Short;
}

std::uint32_t readCount(ByteStream& s, CountKind kind) {
    if (kind == CountKind::Short) {
        return s.readU16();
    }
    const std::size_t start = s.position();
    try {
        const std::uint32_t b0 = s.readU8();
        if (b0 < 128) {
            return b0;
        }
        const std::uint32_t b1 = s.readU8();
        if (b1 < 128) {
            return (b0 & 127) + b1 * 128;
        }
        const std::uint32_t w = s.readU16();
        return (b0 & 127) + (b1 & 127) * 128 + w * 16384;
    } catch (const EReadError&) {
        throw EReadError(start);
    }
}

std::u16string readName(ByteStream& s, CountKind kind) {
    const std::size_t start = s.position();
    const std::uint32_t count = readCount(s, kind);
    if (count > s.remaining()) {
        throw EReadError(start);
    }
    std::string bytes(count, '\0');
    s.read(bytes.data(), count);
    return decodeWindows1252(bytes);
}

std::u16string readText(ByteStream& s, CountKind kind) {
    const std::size_t start = s.position();
    const std::uint32_t count = readCount(s, kind);
    // Checked before allocating: a count may claim far more than the data holds.
    if (count > s.remaining() / 2) {
        throw EReadError(start);
    }
    std::u16string text(count, u'\0');
    for (std::uint32_t i = 0; i < count; ++i) {
        text[i] = static_cast<char16_t>(s.readU16());
    }
    return text;
}

void writeCount(ByteStream& s, CountKind kind, std::size_t count, std::u16string_view what) {
    if (kind == CountKind::Short) {
        if (count > 0xFFFF) {
            throw ELangFileError("\"" + utf16Preview(what) + "\" is longer than 65535 units");
        }
        s.writeU16(static_cast<std::uint16_t>(count));
        return;
    }
    if (count > kMaxPackedCount) {
        throw ELangFileError("A text of " + std::to_string(count) + " units is too long");
    }
    if (count < 128) {
        s.writeU8(static_cast<std::uint8_t>(count));
    } else if (count < 16384) {
        s.writeU8(static_cast<std::uint8_t>((count & 127) | 128));
        s.writeU8(static_cast<std::uint8_t>(count >> 7));
    } else {
        s.writeU8(static_cast<std::uint8_t>((count & 127) | 128));
        s.writeU8(static_cast<std::uint8_t>(((count >> 7) & 127) | 128));
        s.writeU16(static_cast<std::uint16_t>(count >> 14));
    }
}

void writeName(ByteStream& s, CountKind kind, std::u16string_view name) {
    const std::string bytes = encodeWindows1252(name);
    if (decodeWindows1252(bytes) != name) {
        throw ELangFileError("The name \"" + utf16Preview(name) +
                             "\" has characters outside Windows-1252");
    }
    writeCount(s, kind, bytes.size(), name);
    s.write(bytes.data(), bytes.size());
}

void writeText(ByteStream& s, CountKind kind, std::u16string_view text) {
    writeCount(s, kind, text.size(), text);
    for (const char16_t unit : text) {
        s.writeU16(unit);
    }
}

void writeListCount(ByteStream& s, std::size_t count, const char* what) {
    if (count > 0xFFFF) {
        throw ELangFileError(std::string("Too many ") + what + " (" + std::to_string(count) +
                             "); a list holds at most 65535");
    }
    s.writeU16(static_cast<std::uint16_t>(count));
}

bool storesValue(std::uint16_t formatVersion, TLocValueType type) {
    switch (type) {
        case TLocValueType::ptString:
        case TLocValueType::ptStringList:
            return true;
        case TLocValueType::ptFloat:
        case TLocValueType::ptInteger:
            return formatVersion >= 4;
        default:
            return false;
    }
}

void readTypedValue(ByteStream& s, std::uint16_t fv, CountKind kind, LangRecord& r) {
    const TLocValueType type = r.type();
    r.hasValue = storesValue(fv, type);
    if (!r.hasValue) {
        return;
    }
    if (type == TLocValueType::ptFloat) {
        r.floatBits = s.readU64();
        r.text = floatToText(std::bit_cast<double>(r.floatBits));
    } else if (type == TLocValueType::ptInteger) {
        const std::int32_t value = s.readI32();
        const std::string digits = std::to_string(value);
        r.text.assign(digits.begin(), digits.end());
    } else {
        r.text = readText(s, kind);
    }
}

void writeTypedValue(ByteStream& s, std::uint16_t fv, CountKind kind, const LangRecord& r) {
    const TLocValueType type = r.type();
    if (!storesValue(fv, type)) {
        return;
    }
    if (type == TLocValueType::ptFloat) {
        // The text is what counts; the stored bits are kept while they still spell that text,
        // so NaN payloads and the sign of zero survive a read and a write.
        double value = 0;
        if (floatToText(std::bit_cast<double>(r.floatBits)) == r.text) {
            s.writeU64(r.floatBits);
        } else {
            s.writeU64(std::bit_cast<std::uint64_t>(textToFloat(r.text, value) ? value : 0.0));
        }
    } else if (type == TLocValueType::ptInteger) {
        std::int32_t value = 0;
        if (!textToInt(r.text, value)) {
            value = 0;
        }
        s.writeI32(value);
    } else {
        writeText(s, kind, r.text);
    }
}

}  // namespace

std::u16string floatToText(double value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::u16string(buffer, result.ptr);
}

bool textToFloat(std::u16string_view text, double& value) {
    std::string ascii;
    for (const char16_t unit : text) {
        if (unit > 0x7F) {
            return false;
        }
        ascii.push_back(static_cast<char>(unit));
    }
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last && first != last;
}

bool textToInt(std::u16string_view text, std::int32_t& value) {
    std::string ascii;
    for (const char16_t unit : text) {
        if (unit > 0x7F) {
            return false;
        }
        ascii.push_back(static_cast<char>(unit));
    }
    const char* first = ascii.data();
    const char* last = first + ascii.size();
    const auto result = std::from_chars(first, last, value);
    return result.ec == std::errc() && result.ptr == last && first != last;
}

LangFileHeader readLangHeader(ByteStream& s) {
    LangFileHeader h;
    if (s.readU16() != kMagic) {
        throw ELangFileError("Invalid file format");
    }
    h.formatVersion = s.readU16();
    if (h.formatVersion == 0) {
        throw ELangFileError("Invalid file format");
    }
    if (h.formatVersion > kLangFormatVersion) {
        throw ELangFileError(
            "The language file can not be read. It was written by a newer version of the "
            "language tools");
    }
    const std::uint16_t fv = h.formatVersion;
    h.version = s.readI32();
    if (fv > 4) {
        h.build = s.readU32();
    }
    h.locale = s.readU16();
    if (fv > 2) {
        h.basedOnLangId = s.readU16();
    }
    h.englishName = readName(s, CountKind::Short);
    h.localizedName = readText(s, CountKind::Short);
    h.isNative = s.readU16();
    if (fv > 1) {
        h.attributes = s.readU16();
    }
    h.constMaxId = s.readI32();
    h.propertyMaxId = s.readI32();
    if (fv > 6) {
        h.extItemMaxId = s.readI32();
    }
    return h;
}

void readLangBody(ByteStream& s, std::uint16_t fv, LangBodyVisitor& visitor) {
    const CountKind kind = bodyCountKind(fv);
    const bool hasAttributes = fv > 1;

    const std::uint16_t unitCount = s.readU16();
    for (std::uint32_t u = 0; u < unitCount; ++u) {
        const std::u16string unitName = readName(s, kind);
        const std::uint16_t unitAttributes = hasAttributes ? s.readU16() : 0;
        visitor.beginUnit(unitName, unitAttributes);
        const std::uint16_t constantCount = s.readU16();
        for (std::uint32_t c = 0; c < constantCount; ++c) {
            LangRecord r;
            r.name = readName(s, kind);
            r.attributes = hasAttributes ? s.readU16() : 0;
            r.stringId = s.readU16();
            r.id = s.readI32();
            r.text = readText(s, kind);
            r.version = s.readI32();
            r.timeBits = s.readU64();
            visitor.constant(r);
        }
    }
    visitor.endUnits();

    const auto readProperties = [&] {
        const std::uint16_t propertyCount = s.readU16();
        for (std::uint32_t p = 0; p < propertyCount; ++p) {
            LangRecord r;
            r.name = readName(s, kind);
            r.attributes = hasAttributes ? s.readU16() : 0;
            r.id = s.readI32();
            r.typeWord = s.readU32();
            readTypedValue(s, fv, kind, r);
            r.version = s.readI32();
            r.timeBits = s.readU64();
            visitor.property(r);
        }
    };
    const std::uint16_t formCount = s.readU16();
    for (std::uint32_t f = 0; f < formCount; ++f) {
        const std::u16string formName = readName(s, kind);
        const std::uint16_t formAttributes = hasAttributes ? s.readU16() : 0;
        visitor.beginForm(formName, formAttributes);
        readProperties();
        const std::uint16_t componentCount = s.readU16();
        for (std::uint32_t c = 0; c < componentCount; ++c) {
            const std::u16string componentName = readName(s, kind);
            const std::uint16_t componentAttributes = hasAttributes ? s.readU16() : 0;
            visitor.beginComponent(componentName, componentAttributes);
            readProperties();
        }
    }
    visitor.endForms();

    if (fv > 6) {
        const std::uint16_t groupCount = s.readU16();
        for (std::uint32_t g = 0; g < groupCount; ++g) {
            const std::u16string groupName = readName(s, kind);
            const std::uint16_t groupAttributes = s.readU16();
            visitor.beginGroup(groupName, groupAttributes);
            const std::uint16_t itemCount = s.readU16();
            for (std::uint32_t i = 0; i < itemCount; ++i) {
                LangRecord r;
                r.name = readName(s, kind);
                r.attributes = s.readU16();
                r.id = s.readI32();
                r.text = readText(s, kind);
                r.version = s.readI32();
                r.timeBits = s.readU64();
                visitor.extItem(r);
            }
        }
    }
    visitor.endGroups();
}

namespace {

class ImageBuilder final : public LangBodyVisitor {
public:
    explicit ImageBuilder(LangFileImage& image) : m_image(image) {}
    void beginUnit(const std::u16string& name, std::uint16_t attributes) override {
        m_image.units.push_back({name, attributes, {}});
    }
    void constant(const LangRecord& record) override {
        m_image.units.back().constants.push_back(record);
    }
    void beginForm(const std::u16string& name, std::uint16_t attributes) override {
        m_image.forms.push_back({name, attributes, {}, {}});
    }
    void beginComponent(const std::u16string& name, std::uint16_t attributes) override {
        m_image.forms.back().components.push_back({name, attributes, {}});
    }
    void property(const LangRecord& record) override {
        LangFormRecord& form = m_image.forms.back();
        if (form.components.empty()) {
            form.properties.push_back(record);
        } else {
            form.components.back().properties.push_back(record);
        }
    }
    void beginGroup(const std::u16string& name, std::uint16_t attributes) override {
        m_image.groups.push_back({name, attributes, {}});
    }
    void extItem(const LangRecord& record) override {
        m_image.groups.back().items.push_back(record);
    }

private:
    LangFileImage& m_image;
};

}  // namespace

LangFileImage readLangFileImage(std::span<const std::byte> bytes, bool* wasCompressed) {
    ByteStream stream(bytes);
    const bool compressed = TLZCompressor::IsCompressed(stream);
    if (wasCompressed != nullptr) {
        *wasCompressed = compressed;
    }
    if (compressed) {
        stream = ByteStream(lzDecompress(bytes));
    }
    LangFileImage image;
    image.header = readLangHeader(stream);
    ImageBuilder builder(image);
    readLangBody(stream, image.header.formatVersion, builder);
    return image;
}

void writeLangHeader(ByteStream& s, const LangFileHeader& h) {
    if (h.formatVersion == 0 || h.formatVersion > kLangFormatVersion) {
        throw ELangFileError("Format version " + std::to_string(h.formatVersion) +
                             " can not be written (1 to 7)");
    }
    const std::uint16_t fv = h.formatVersion;
    s.writeU16(kMagic);
    s.writeU16(fv);
    s.writeI32(h.version);
    if (fv > 4) {
        s.writeU32(h.build);
    }
    s.writeU16(h.locale);
    if (fv > 2) {
        s.writeU16(h.basedOnLangId);
    }
    writeName(s, CountKind::Short, h.englishName);
    writeText(s, CountKind::Short, h.localizedName);
    s.writeU16(h.isNative);
    if (fv > 1) {
        s.writeU16(h.attributes);
    }
    s.writeI32(h.constMaxId);
    s.writeI32(h.propertyMaxId);
    if (fv > 6) {
        s.writeI32(h.extItemMaxId);
    }
}

void writeLangBody(ByteStream& s, const LangFileImage& image) {
    const std::uint16_t fv = image.header.formatVersion;
    const CountKind kind = bodyCountKind(fv);
    const bool hasAttributes = fv > 1;
    const auto attributes = [&](std::uint16_t value) {
        if (hasAttributes) {
            s.writeU16(value);
        }
    };
    const auto writeProperties = [&](const std::vector<LangRecord>& properties) {
        writeListCount(s, properties.size(), "properties");
        for (const LangRecord& r : properties) {
            writeName(s, kind, r.name);
            attributes(r.attributes);
            s.writeI32(r.id);
            s.writeU32(r.typeWord);
            writeTypedValue(s, fv, kind, r);
            s.writeI32(r.version);
            s.writeU64(r.timeBits);
        }
    };

    writeListCount(s, image.units.size(), "units");
    for (const LangUnitRecord& unit : image.units) {
        writeName(s, kind, unit.name);
        attributes(unit.attributes);
        writeListCount(s, unit.constants.size(), "constants");
        for (const LangRecord& r : unit.constants) {
            writeName(s, kind, r.name);
            attributes(r.attributes);
            s.writeU16(r.stringId);
            s.writeI32(r.id);
            writeText(s, kind, r.text);
            s.writeI32(r.version);
            s.writeU64(r.timeBits);
        }
    }
    writeListCount(s, image.forms.size(), "forms");
    for (const LangFormRecord& form : image.forms) {
        writeName(s, kind, form.name);
        attributes(form.attributes);
        writeProperties(form.properties);
        writeListCount(s, form.components.size(), "components");
        for (const LangComponentRecord& component : form.components) {
            writeName(s, kind, component.name);
            attributes(component.attributes);
            writeProperties(component.properties);
        }
    }
    if (fv > 6) {
        writeListCount(s, image.groups.size(), "external groups");
        for (const LangGroupRecord& group : image.groups) {
            writeName(s, kind, group.name);
            s.writeU16(group.attributes);
            writeListCount(s, group.items.size(), "external items");
            for (const LangRecord& r : group.items) {
                writeName(s, kind, r.name);
                s.writeU16(r.attributes);
                s.writeI32(r.id);
                writeText(s, kind, r.text);
                s.writeI32(r.version);
                s.writeU64(r.timeBits);
            }
        }
    }
}

std::vector<std::byte> writeLangFileImage(const LangFileImage& image, bool compress) {
    ByteStream plain;
    writeLangHeader(plain, image.header);
    writeLangBody(plain, image);
    if (!compress) {
        return std::move(plain.data());
    }
    return lzCompress(plain.bytes());
}

}  // namespace runemeter
