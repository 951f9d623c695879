#include "localisation/lang_text.h"
#include "suite/unicode_text.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>
#include <vector>

namespace runemeter {

namespace {

std::string hex(std::uint64_t value, int digits) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%0*llX", digits,
                  static_cast<unsigned long long>(value));
    return buffer;
}

std::string attributesText(std::uint16_t value) {
    return hex(value, 4);
}

// Line reader

struct Token {
    std::string key;  // empty for a positional token
    std::string value;
    bool quoted = false;
};

class LineParser {
public:
    LineParser(std::string_view line, std::size_t lineNumber)
        : m_line(line), m_number(lineNumber) {}

    [[noreturn]] void fail(const std::string& message) const {
        throw ELangTextError("Line " + std::to_string(m_number) + ": " + message);
    }

    std::vector<Token> tokens() {
        std::vector<Token> out;
        while (true) {
            while (m_pos < m_line.size() && (m_line[m_pos] == ' ' || m_line[m_pos] == '\t')) {
                ++m_pos;
            }
            if (m_pos >= m_line.size() || m_line[m_pos] == '#') {
                break;
            }
            Token token;
            if (m_line[m_pos] == '"') {
                token.value = quoted();
                token.quoted = true;
            } else {
                const std::size_t start = m_pos;
                while (m_pos < m_line.size() && m_line[m_pos] != ' ' && m_line[m_pos] != '\t' &&
                       m_line[m_pos] != '=' && m_line[m_pos] != '"') {
                    ++m_pos;
                }
                std::string word(m_line.substr(start, m_pos - start));
                if (m_pos < m_line.size() && m_line[m_pos] == '=') {
                    ++m_pos;
                    token.key = std::move(word);
                    if (m_pos < m_line.size() && m_line[m_pos] == '"') {
                        token.value = quoted();
                        token.quoted = true;
                    } else {
                        const std::size_t valueStart = m_pos;
                        while (m_pos < m_line.size() && m_line[m_pos] != ' ' &&
                               m_line[m_pos] != '\t') {
                            ++m_pos;
                        }
                        token.value = std::string(m_line.substr(valueStart, m_pos - valueStart));
                    }
                } else if (m_pos < m_line.size() && m_line[m_pos] == '"') {
                    fail("a quote inside \"" + word + "\"");
                } else {
                    token.value = std::move(word);
                }
            }
            out.push_back(std::move(token));
        }
        return out;
    }

private:
    // The raw UTF-8 between quotes, escapes left in place for decodeString().
    std::string quoted() {
        const std::size_t start = m_pos;
        ++m_pos;
        while (m_pos < m_line.size()) {
            if (m_line[m_pos] == '\\') {
                m_pos += 2;
                continue;
            }
            if (m_line[m_pos] == '"') {
                ++m_pos;
                return std::string(m_line.substr(start + 1, m_pos - start - 2));
            }
            ++m_pos;
        }
        fail("a string without its closing quote");
    }

    std::string_view m_line;
    std::size_t m_number;
    std::size_t m_pos = 0;
};

}  // namespace

std::string quoteText(std::u16string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8CodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
            continue;
        }
        switch (unit) {
            case u'\\':
                out += "\\\\";
                continue;
            case u'"':
                out += "\\\"";
                continue;
            case u'\n':
                out += "\\n";
                continue;
            case u'\r':
                out += "\\r";
                continue;
            case u'\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        const bool control = unit < 0x20 || (unit >= 0x7F && unit <= 0x9F);
        const bool loneSurrogate = unit >= 0xD800 && unit <= 0xDFFF;
        if (control || loneSurrogate) {
            char buffer[16];
            std::snprintf(buffer, sizeof buffer, "\\u{%X}", static_cast<unsigned>(unit));
            out += buffer;
        } else {
            appendUtf8CodePoint(out, unit);
        }
    }
    out += "\"";
    return out;
}

namespace {

std::u16string decodeString(const LineParser& parser, std::string_view raw) {
    std::u16string out;
    std::size_t i = 0;
    while (i < raw.size()) {
        const auto byte = static_cast<unsigned char>(raw[i]);
        if (byte == '\\') {
            if (i + 1 >= raw.size()) {
                parser.fail("a string ends with a backslash");
            }
            const char e = raw[i + 1];
            i += 2;
            switch (e) {
                case '\\':
                    out.push_back(u'\\');
                    break;
                case '"':
                    out.push_back(u'"');
                    break;
                case 'n':
                    out.push_back(u'\n');
                    break;
                case 'r':
                    out.push_back(u'\r');
                    break;
                case 't':
                    out.push_back(u'\t');
                    break;
                case 'u': {
                    const std::size_t close = raw.find('}', i);
                    if (i >= raw.size() || raw[i] != '{' || close == std::string_view::npos) {
                        parser.fail("\\u must be followed by {hex digits}");
                    }
                    unsigned value = 0;
                    const auto result =
                        std::from_chars(raw.data() + i + 1, raw.data() + close, value, 16);
                    if (result.ec != std::errc() || result.ptr != raw.data() + close ||
                        close == i + 1 || value > 0x10FFFF) {
                        parser.fail("bad \\u{...} escape");
                    }
                    appendUtf16CodePoint(out, value);
                    i = close + 1;
                    break;
                }
                default:
                    parser.fail(std::string("unknown escape \\") + e);
            }
            continue;
        }
        // UTF-8 sequence.
        char32_t cp = 0;
        std::size_t length = 0;
        if (byte < 0x80) {
            cp = byte;
            length = 1;
        } else if ((byte & 0xE0) == 0xC0) {
            cp = byte & 0x1F;
            length = 2;
        } else if ((byte & 0xF0) == 0xE0) {
            cp = byte & 0x0F;
            length = 3;
        } else if ((byte & 0xF8) == 0xF0) {
            cp = byte & 0x07;
            length = 4;
        } else {
            parser.fail("invalid UTF-8");
        }
        if (i + length > raw.size()) {
            parser.fail("invalid UTF-8");
        }
        for (std::size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(raw[i + k]);
            if ((next & 0xC0) != 0x80) {
                parser.fail("invalid UTF-8");
            }
            cp = (cp << 6) | (next & 0x3F);
        }
        const char32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < minimum[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            parser.fail("invalid UTF-8");
        }
        appendUtf16CodePoint(out, cp);
        i += length;
    }
    return out;
}

template <class T>
T parseNumber(const LineParser& parser, std::string_view text, const std::string& what) {
    bool negative = false;
    std::string_view digits = text;
    if (!digits.empty() && digits[0] == '-') {
        negative = true;
        digits.remove_prefix(1);
    }
    int base = 10;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    }
    std::uint64_t magnitude = 0;
    const auto result =
        std::from_chars(digits.data(), digits.data() + digits.size(), magnitude, base);
    if (digits.empty() || result.ec != std::errc() || result.ptr != digits.data() + digits.size()) {
        parser.fail("\"" + std::string(text) + "\" is not a number (" + what + ")");
    }
    if constexpr (std::numeric_limits<T>::is_signed) {
        const auto limit = static_cast<std::uint64_t>(std::numeric_limits<T>::max());
        if (negative ? magnitude > limit + 1 : magnitude > limit) {
            parser.fail(what + " " + std::string(text) + " is out of range");
        }
        return negative ? static_cast<T>(-static_cast<std::int64_t>(magnitude))
                        : static_cast<T>(magnitude);
    } else {
        if (negative || magnitude > std::numeric_limits<T>::max()) {
            parser.fail(what + " " + std::string(text) + " is out of range");
        }
        return static_cast<T>(magnitude);
    }
}

TLocValueType parseType(const LineParser& parser, std::string_view text) {
    for (unsigned i = 0; i < 256; ++i) {
        if (valueTypeName(static_cast<TLocValueType>(i)) == text) {
            return static_cast<TLocValueType>(i);
        }
    }
    parser.fail("unknown value type \"" + std::string(text) + "\"");
}

void appendRecordValue(std::string& out, const LangRecord& r, bool property, const char* indent) {
    if (!r.hasValue) {
        return;
    }
    out += indent;
    out += "value ";
    if (property && isNumericType(r.type())) {
        out += std::string(r.text.begin(), r.text.end());
        if (r.type() == TLocValueType::ptFloat && std::isnan(std::bit_cast<double>(r.floatBits))) {
            out += " bits=" + hex(r.floatBits, 16);
        }
    } else {
        out += quoteText(r.text);
    }
    out += "\n";
}

std::string versionAndTime(const LangRecord& r) {
    std::string out = " version=" + std::to_string(r.version) + " time=" + hex(r.timeBits, 16);
    const std::string readable = dateTimeText(std::bit_cast<double>(r.timeBits));
    if (!readable.empty()) {
        out += "  # " + readable;
    }
    return out;
}

}  // namespace

std::string dateTimeText(double days) {
    // Days since 1899-12-30; the range a date-time of the language tools can hold.
    if (!std::isfinite(days) || days < -693593.0 || days >= 2958466.0) {
        return {};
    }
    // Before 1899-12-30 the whole part counts days back and the fraction is still the time of
    // that day: -1.25 is 1899-12-29 06:00.
    const double whole = std::trunc(days);
    std::int64_t dayNumber = static_cast<std::int64_t>(whole);
    std::int64_t secondsOfDay = std::llround(std::fabs(days - whole) * 86400.0);
    if (secondsOfDay >= 86400) {
        secondsOfDay -= 86400;
        dayNumber += days < 0 ? -1 : 1;
    }
    // Civil date from days since 1970-01-01 (1899-12-30 is 25569 days before it).
    std::int64_t z = dayNumber - 25569 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t year = yoe + era * 400;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    if (month <= 2) {
        ++year;
    }
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld",
                  static_cast<long long>(year), static_cast<long long>(month),
                  static_cast<long long>(day), static_cast<long long>(secondsOfDay / 3600),
                  static_cast<long long>(secondsOfDay / 60 % 60),
                  static_cast<long long>(secondsOfDay % 60));
    return buffer;
}

std::string langImageToText(const LangFileImage& image, bool compressed) {
    const LangFileHeader& h = image.header;
    std::string out;
    out += "# Runemeter language file, text form (runemeter-lang dump)\n";
    out += "format-version " + std::to_string(h.formatVersion) + "\n";
    out += "compressed " + std::string(compressed ? "1" : "0") + "\n";
    out += "version " + std::to_string(h.version) + "\n";
    out += "build " + std::to_string(h.build) + "\n";
    out += "locale " + hex(h.locale, 4) + "\n";
    out += "based-on " + hex(h.basedOnLangId, 4) + "\n";
    out += "english-name " + quoteText(h.englishName) + "\n";
    out += "localized-name " + quoteText(h.localizedName) + "\n";
    out += "is-native " + std::to_string(h.isNative) + "\n";
    out += "attributes " + attributesText(h.attributes) + "\n";
    out += "const-max-id " + std::to_string(h.constMaxId) + "\n";
    out += "property-max-id " + std::to_string(h.propertyMaxId) + "\n";
    out += "ext-item-max-id " + std::to_string(h.extItemMaxId) + "\n";

    const auto property = [&](const LangRecord& r, const char* indent, const char* valueIndent) {
        out += indent;
        out += "property " + quoteText(r.name) + " attributes=" + attributesText(r.attributes) +
               " id=" + std::to_string(r.id) + " type=" + valueTypeName(r.type());
        if ((r.typeWord & 0xFFFFFF00u) != 0) {
            out += " type-word=" + hex(r.typeWord, 8);
        }
        out += versionAndTime(r) + "\n";
        appendRecordValue(out, r, true, valueIndent);
    };

    for (const LangUnitRecord& unit : image.units) {
        out += "\nunit " + quoteText(unit.name) + " attributes=" + attributesText(unit.attributes) +
               "\n";
        for (const LangRecord& r : unit.constants) {
            out += "  constant " + quoteText(r.name) +
                   " attributes=" + attributesText(r.attributes) +
                   " string-id=" + std::to_string(r.stringId) + " id=" + std::to_string(r.id) +
                   versionAndTime(r) + "\n";
            appendRecordValue(out, r, false, "    ");
        }
    }
    for (const LangFormRecord& form : image.forms) {
        out += "\nform " + quoteText(form.name) + " attributes=" + attributesText(form.attributes) +
               "\n";
        for (const LangRecord& r : form.properties) {
            property(r, "  ", "    ");
        }
        for (const LangComponentRecord& component : form.components) {
            out += "  component " + quoteText(component.name) +
                   " attributes=" + attributesText(component.attributes) + "\n";
            for (const LangRecord& r : component.properties) {
                property(r, "    ", "      ");
            }
        }
    }
    for (const LangGroupRecord& group : image.groups) {
        out += "\ngroup " + quoteText(group.name) +
               " attributes=" + attributesText(group.attributes) + "\n";
        for (const LangRecord& r : group.items) {
            out += "  item " + quoteText(r.name) + " attributes=" + attributesText(r.attributes) +
                   " id=" + std::to_string(r.id) + versionAndTime(r) + "\n";
            appendRecordValue(out, r, false, "    ");
        }
    }
    return out;
}

LangFileImage langImageFromText(std::string_view text, bool* compressed) {
    LangFileImage image;
    LangFileHeader& h = image.header;
    bool isCompressed = false;
    enum class Last { None, Constant, Property, Item };
    Last last = Last::None;
    LangRecord* record = nullptr;
    bool inComponent = false;
    bool sawBody = false;

    std::size_t lineNumber = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        LineParser parser(line, lineNumber);
        std::vector<Token> tokens = parser.tokens();
        if (tokens.empty()) {
            if (end == text.size()) {
                break;
            }
            continue;
        }
        const std::string keyword = tokens[0].value;
        if (!tokens[0].key.empty() || tokens[0].quoted) {
            parser.fail("a line must begin with a keyword");
        }

        // Named fields of a record line: each at most once, all of them required.
        std::vector<std::pair<std::string, Token>> fields;
        std::optional<Token> name;
        for (std::size_t i = 1; i < tokens.size(); ++i) {
            if (tokens[i].key.empty()) {
                if (name) {
                    parser.fail("unexpected \"" + tokens[i].value + "\"");
                }
                name = tokens[i];
            } else {
                for (const auto& f : fields) {
                    if (f.first == tokens[i].key) {
                        parser.fail(tokens[i].key + " given twice");
                    }
                }
                fields.emplace_back(tokens[i].key, tokens[i]);
            }
        }
        const auto nameText = [&] {
            if (!name || !name->quoted) {
                parser.fail(keyword + " needs a quoted name");
            }
            return decodeString(parser, name->value);
        };
        std::vector<bool> used(fields.size(), false);
        const auto field = [&](const std::string& key) -> std::optional<std::string> {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (fields[i].first == key) {
                    used[i] = true;
                    return fields[i].second.value;
                }
            }
            return std::nullopt;
        };
        const auto required = [&](const std::string& key) {
            auto value = field(key);
            if (!value) {
                parser.fail(keyword + " needs " + key + "=");
            }
            return *value;
        };
        const auto finishFields = [&] {
            for (std::size_t i = 0; i < fields.size(); ++i) {
                if (!used[i]) {
                    parser.fail("unknown field " + fields[i].first + "= for " + keyword);
                }
            }
        };
        const auto attributesField = [&] {
            return parseNumber<std::uint16_t>(parser, required("attributes"), "attributes");
        };
        const auto versionAndTimeFields = [&](LangRecord& r) {
            r.version = parseNumber<std::int32_t>(parser, required("version"), "version");
            r.timeBits = parseNumber<std::uint64_t>(parser, required("time"), "time");
        };
        const auto headerValue = [&]() -> const Token& {
            if (sawBody) {
                parser.fail(keyword + " belongs before the first unit, form or group");
            }
            if (tokens.size() != 2 || !tokens[1].key.empty()) {
                parser.fail(keyword + " takes one value");
            }
            return tokens[1];
        };

        if (keyword == "format-version") {
            h.formatVersion = parseNumber<std::uint16_t>(parser, headerValue().value, keyword);
            if (h.formatVersion < 1 || h.formatVersion > kLangFormatVersion) {
                parser.fail("format version must be 1 to 7");
            }
        } else if (keyword == "compressed") {
            isCompressed = parseNumber<std::uint16_t>(parser, headerValue().value, keyword) != 0;
        } else if (keyword == "version") {
            h.version = parseNumber<std::int32_t>(parser, headerValue().value, keyword);
        } else if (keyword == "build") {
            h.build = parseNumber<std::uint32_t>(parser, headerValue().value, keyword);
        } else if (keyword == "locale") {
            h.locale = parseNumber<std::uint16_t>(parser, headerValue().value, keyword);
        } else if (keyword == "based-on") {
            h.basedOnLangId = parseNumber<std::uint16_t>(parser, headerValue().value, keyword);
        } else if (keyword == "english-name" || keyword == "localized-name") {
            const Token& value = headerValue();
            if (!value.quoted) {
                parser.fail(keyword + " needs a quoted text");
            }
            (keyword == "english-name" ? h.englishName : h.localizedName) =
                decodeString(parser, value.value);
        } else if (keyword == "is-native") {
            h.isNative = parseNumber<std::uint16_t>(parser, headerValue().value, keyword);
        } else if (keyword == "attributes") {
            h.attributes = parseNumber<std::uint16_t>(parser, headerValue().value, keyword);
        } else if (keyword == "const-max-id") {
            h.constMaxId = parseNumber<std::int32_t>(parser, headerValue().value, keyword);
        } else if (keyword == "property-max-id") {
            h.propertyMaxId = parseNumber<std::int32_t>(parser, headerValue().value, keyword);
        } else if (keyword == "ext-item-max-id") {
            h.extItemMaxId = parseNumber<std::int32_t>(parser, headerValue().value, keyword);
        } else if (keyword == "unit") {
            sawBody = true;
            image.units.push_back({nameText(), attributesField(), {}});
            finishFields();
            last = Last::None;
        } else if (keyword == "constant") {
            if (image.units.empty()) {
                parser.fail("constant outside a unit");
            }
            LangRecord r;
            r.name = nameText();
            r.attributes = attributesField();
            r.stringId = parseNumber<std::uint16_t>(parser, required("string-id"), "string-id");
            r.id = parseNumber<std::int32_t>(parser, required("id"), "id");
            versionAndTimeFields(r);
            finishFields();
            r.hasValue = false;
            image.units.back().constants.push_back(std::move(r));
            record = &image.units.back().constants.back();
            last = Last::Constant;
        } else if (keyword == "form") {
            sawBody = true;
            image.forms.push_back({nameText(), attributesField(), {}, {}});
            finishFields();
            inComponent = false;
            last = Last::None;
        } else if (keyword == "component") {
            if (image.forms.empty()) {
                parser.fail("component outside a form");
            }
            image.forms.back().components.push_back({nameText(), attributesField(), {}});
            finishFields();
            inComponent = true;
            last = Last::None;
        } else if (keyword == "property") {
            if (image.forms.empty()) {
                parser.fail("property outside a form");
            }
            LangRecord r;
            r.name = nameText();
            r.attributes = attributesField();
            r.id = parseNumber<std::int32_t>(parser, required("id"), "id");
            r.typeWord = static_cast<std::uint32_t>(parseType(parser, required("type")));
            if (auto word = field("type-word")) {
                r.typeWord = parseNumber<std::uint32_t>(parser, *word, "type-word");
            }
            versionAndTimeFields(r);
            finishFields();
            r.hasValue = false;
            auto& list = inComponent ? image.forms.back().components.back().properties
                                     : image.forms.back().properties;
            list.push_back(std::move(r));
            record = &list.back();
            last = Last::Property;
        } else if (keyword == "group") {
            sawBody = true;
            image.groups.push_back({nameText(), attributesField(), {}});
            finishFields();
            last = Last::None;
        } else if (keyword == "item") {
            if (image.groups.empty()) {
                parser.fail("item outside a group");
            }
            LangRecord r;
            r.name = nameText();
            r.attributes = attributesField();
            r.id = parseNumber<std::int32_t>(parser, required("id"), "id");
            versionAndTimeFields(r);
            finishFields();
            r.hasValue = false;
            image.groups.back().items.push_back(std::move(r));
            record = &image.groups.back().items.back();
            last = Last::Item;
        } else if (keyword == "value") {
            if (last == Last::None || record == nullptr) {
                parser.fail("value without a constant, property or item before it");
            }
            if (record->hasValue) {
                parser.fail("a second value for the same record");
            }
            if (!name) {
                parser.fail("value needs a text or number");
            }
            const bool numeric = last == Last::Property && isNumericType(record->type());
            if (numeric && !name->quoted) {
                record->text.assign(name->value.begin(), name->value.end());
            } else if (name->quoted) {
                record->text = decodeString(parser, name->value);
            } else {
                parser.fail("value needs a quoted text");
            }
            if (numeric) {
                double number = 0;
                std::int32_t integer = 0;
                const bool ok = record->type() == TLocValueType::ptFloat
                                    ? textToFloat(record->text, number)
                                    : textToInt(record->text, integer);
                if (!ok) {
                    parser.fail("\"" + name->value + "\" is not a " +
                                valueTypeName(record->type()) + " value");
                }
                record->floatBits = std::bit_cast<std::uint64_t>(number);
            }
            if (auto bits = field("bits")) {
                if (!numeric || record->type() != TLocValueType::ptFloat) {
                    parser.fail("bits= is for ptFloat values only");
                }
                record->floatBits = parseNumber<std::uint64_t>(parser, *bits, "bits");
            }
            finishFields();
            record->hasValue = true;
        } else {
            parser.fail("unknown keyword \"" + keyword + "\"");
        }
        if (end == text.size()) {
            break;
        }
    }
    if (compressed != nullptr) {
        *compressed = isCompressed;
    }
    return image;
}

}  // namespace runemeter
