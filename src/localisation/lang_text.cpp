// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/lang_text.h"
#include "suite/unicode_text.h"

#include <algorithm>
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
        throw ELangTextError({InputErrorCode::Malformed, m_number, message});
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
        if (isSurrogatePairAt(text, i)) {
            appendUtf8CodePoint(out, combineSurrogates(unit, text[i + 1]));
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
        const bool loneSurrogate = isSurrogate(unit);
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
        if (raw[i] == '\\') {
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
        // UTF-8 up to the next escape.
        const std::size_t next = std::min(raw.find('\\', i), raw.size());
        if (appendUtf8Strict(raw.substr(i, next - i), out)) {
            parser.fail("invalid UTF-8");
        }
        i = next;
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

namespace {

// One line of the text, split into its keyword, its one positional token (the name, or the
// value of a header or value line) and its named fields. Each named field may appear once and
// every one must be used by the line's keyword.
class KeywordLine {
public:
    KeywordLine(const LineParser& parser, std::vector<Token> tokens)
        : m_parser(parser), m_tokens(std::move(tokens)), keyword(m_tokens[0].value) {
        if (!m_tokens[0].key.empty() || m_tokens[0].quoted) {
            fail("a line must begin with a keyword");
        }
        for (std::size_t i = 1; i < m_tokens.size(); ++i) {
            const Token& token = m_tokens[i];
            if (token.key.empty()) {
                if (positional) {
                    fail("unexpected \"" + token.value + "\"");
                }
                positional = token;
                continue;
            }
            for (const auto& f : m_fields) {
                if (f.first == token.key) {
                    fail(token.key + " given twice");
                }
            }
            m_fields.emplace_back(token.key, token);
        }
        m_used.assign(m_fields.size(), false);
    }

    [[noreturn]] void fail(const std::string& message) const { m_parser.fail(message); }

    template <class T>
    T number(std::string_view text, const std::string& what) const {
        return parseNumber<T>(m_parser, text, what);
    }

    std::u16string text(std::string_view raw) const { return decodeString(m_parser, raw); }

    TLocValueType valueType(std::string_view text) const { return parseType(m_parser, text); }

    /// The quoted name of a record line.
    std::u16string nameText() const {
        if (!positional || !positional->quoted) {
            fail(keyword + " needs a quoted name");
        }
        return text(positional->value);
    }

    /// The one value of a header line, which belongs before the body.
    const Token& headerValue(bool sawBody) const {
        if (sawBody) {
            fail(keyword + " belongs before the first unit, form or group");
        }
        if (m_tokens.size() != 2 || !m_tokens[1].key.empty()) {
            fail(keyword + " takes one value");
        }
        return m_tokens[1];
    }

    std::optional<std::string> field(const std::string& key) {
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            if (m_fields[i].first == key) {
                m_used[i] = true;
                return m_fields[i].second.value;
            }
        }
        return std::nullopt;
    }

    std::string required(const std::string& key) {
        auto value = field(key);
        if (!value) {
            fail(keyword + " needs " + key + "=");
        }
        return *value;
    }

    template <class T>
    T requiredNumber(const std::string& key) {
        return number<T>(required(key), key);
    }

    void finishFields() const {
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            if (!m_used[i]) {
                fail("unknown field " + m_fields[i].first + "= for " + keyword);
            }
        }
    }

    void versionAndTime(LangRecord& r) {
        r.version = requiredNumber<std::int32_t>("version");
        r.timeBits = requiredNumber<std::uint64_t>("time");
    }

private:
    const LineParser& m_parser;
    std::vector<Token> m_tokens;
    std::vector<std::pair<std::string, Token>> m_fields;
    std::vector<bool> m_used;

public:
    const std::string keyword;
    std::optional<Token> positional;
};

// Builds an image line by line: header lines first, then units, forms and groups, each record
// line followed by at most one value line.
class ImageBuilder {
public:
    void apply(KeywordLine& line) {
        if (!headerLine(line) && !bodyLine(line)) {
            line.fail("unknown keyword \"" + line.keyword + "\"");
        }
    }

    LangFileImage image;
    bool compressed = false;

private:
    enum class Last { None, Constant, Property, Item };

    bool headerLine(KeywordLine& line) {
        static const std::pair<const char*, std::int32_t LangFileHeader::*> kSigned[] = {
            {"version", &LangFileHeader::version},
            {"const-max-id", &LangFileHeader::constMaxId},
            {"property-max-id", &LangFileHeader::propertyMaxId},
            {"ext-item-max-id", &LangFileHeader::extItemMaxId},
        };
        static const std::pair<const char*, std::uint16_t LangFileHeader::*> kUnsigned[] = {
            {"locale", &LangFileHeader::locale},
            {"based-on", &LangFileHeader::basedOnLangId},
            {"is-native", &LangFileHeader::isNative},
            {"attributes", &LangFileHeader::attributes},
        };
        LangFileHeader& h = image.header;
        const std::string& keyword = line.keyword;
        const auto value = [&] { return line.headerValue(m_sawBody).value; };
        for (const auto& [name, member] : kSigned) {
            if (keyword == name) {
                h.*member = line.number<std::int32_t>(value(), keyword);
                return true;
            }
        }
        for (const auto& [name, member] : kUnsigned) {
            if (keyword == name) {
                h.*member = line.number<std::uint16_t>(value(), keyword);
                return true;
            }
        }
        if (keyword == "format-version") {
            h.formatVersion = line.number<std::uint16_t>(value(), keyword);
            if (h.formatVersion < 1 || h.formatVersion > kLangFormatVersion) {
                line.fail("format version must be 1 to 7");
            }
        } else if (keyword == "compressed") {
            compressed = line.number<std::uint16_t>(value(), keyword) != 0;
        } else if (keyword == "build") {
            h.build = line.number<std::uint32_t>(value(), keyword);
        } else if (keyword == "english-name" || keyword == "localized-name") {
            const Token& token = line.headerValue(m_sawBody);
            if (!token.quoted) {
                line.fail(keyword + " needs a quoted text");
            }
            (keyword == "english-name" ? h.englishName : h.localizedName) = line.text(token.value);
        } else {
            return false;
        }
        return true;
    }

    bool bodyLine(KeywordLine& line) {
        const std::string& keyword = line.keyword;
        if (keyword == "unit") {
            m_sawBody = true;
            image.units.push_back({line.nameText(), attributes(line), {}});
            endRecordLine(line, Last::None, nullptr);
        } else if (keyword == "constant") {
            constantLine(line);
        } else if (keyword == "form") {
            m_sawBody = true;
            image.forms.push_back({line.nameText(), attributes(line), {}, {}});
            m_inComponent = false;
            endRecordLine(line, Last::None, nullptr);
        } else if (keyword == "component") {
            if (image.forms.empty()) {
                line.fail("component outside a form");
            }
            image.forms.back().components.push_back({line.nameText(), attributes(line), {}});
            m_inComponent = true;
            endRecordLine(line, Last::None, nullptr);
        } else if (keyword == "property") {
            propertyLine(line);
        } else if (keyword == "group") {
            m_sawBody = true;
            image.groups.push_back({line.nameText(), attributes(line), {}});
            endRecordLine(line, Last::None, nullptr);
        } else if (keyword == "item") {
            itemLine(line);
        } else if (keyword == "value") {
            valueLine(line);
        } else {
            return false;
        }
        return true;
    }

    static std::uint16_t attributes(KeywordLine& line) {
        return line.requiredNumber<std::uint16_t>("attributes");
    }

    // Checks that every field was used and notes which record a value line would belong to.
    void endRecordLine(const KeywordLine& line, Last last, LangRecord* record) {
        line.finishFields();
        m_last = last;
        if (record != nullptr) {
            m_record = record;
        }
    }

    void constantLine(KeywordLine& line) {
        if (image.units.empty()) {
            line.fail("constant outside a unit");
        }
        LangRecord r;
        r.name = line.nameText();
        r.attributes = attributes(line);
        r.stringId = line.requiredNumber<std::uint16_t>("string-id");
        r.id = line.requiredNumber<std::int32_t>("id");
        line.versionAndTime(r);
        r.hasValue = false;
        auto& list = image.units.back().constants;
        list.push_back(std::move(r));
        endRecordLine(line, Last::Constant, &list.back());
    }

    void propertyLine(KeywordLine& line) {
        if (image.forms.empty()) {
            line.fail("property outside a form");
        }
        LangRecord r;
        r.name = line.nameText();
        r.attributes = attributes(line);
        r.id = line.requiredNumber<std::int32_t>("id");
        r.typeWord = static_cast<std::uint32_t>(line.valueType(line.required("type")));
        if (auto word = line.field("type-word")) {
            r.typeWord = line.number<std::uint32_t>(*word, "type-word");
        }
        line.versionAndTime(r);
        r.hasValue = false;
        auto& list = m_inComponent ? image.forms.back().components.back().properties
                                   : image.forms.back().properties;
        list.push_back(std::move(r));
        endRecordLine(line, Last::Property, &list.back());
    }

    void itemLine(KeywordLine& line) {
        if (image.groups.empty()) {
            line.fail("item outside a group");
        }
        LangRecord r;
        r.name = line.nameText();
        r.attributes = attributes(line);
        r.id = line.requiredNumber<std::int32_t>("id");
        line.versionAndTime(r);
        r.hasValue = false;
        auto& list = image.groups.back().items;
        list.push_back(std::move(r));
        endRecordLine(line, Last::Item, &list.back());
    }

    void valueLine(KeywordLine& line) {
        if (m_last == Last::None || m_record == nullptr) {
            line.fail("value without a constant, property or item before it");
        }
        LangRecord& record = *m_record;
        if (record.hasValue) {
            line.fail("a second value for the same record");
        }
        if (!line.positional) {
            line.fail("value needs a text or number");
        }
        const Token& value = *line.positional;
        const bool numeric = m_last == Last::Property && isNumericType(record.type());
        if (numeric && !value.quoted) {
            record.text.assign(value.value.begin(), value.value.end());
        } else if (value.quoted) {
            record.text = line.text(value.value);
        } else {
            line.fail("value needs a quoted text");
        }
        if (numeric) {
            numericValue(line, record, value);
        }
        if (auto bits = line.field("bits")) {
            if (!numeric || record.type() != TLocValueType::ptFloat) {
                line.fail("bits= is for ptFloat values only");
            }
            record.floatBits = line.number<std::uint64_t>(*bits, "bits");
        }
        line.finishFields();
        record.hasValue = true;
    }

    // A number property's value must read as its type; a float keeps its bits.
    static void numericValue(const KeywordLine& line, LangRecord& record, const Token& value) {
        double number = 0;
        std::int32_t integer = 0;
        const bool ok = record.type() == TLocValueType::ptFloat ? textToFloat(record.text, number)
                                                                : textToInt(record.text, integer);
        if (!ok) {
            line.fail("\"" + value.value + "\" is not a " + valueTypeName(record.type()) +
                      " value");
        }
        record.floatBits = std::bit_cast<std::uint64_t>(number);
    }

    Last m_last = Last::None;
    LangRecord* m_record = nullptr;
    bool m_inComponent = false;
    bool m_sawBody = false;
};

}  // namespace

LangFileImage langImageFromText(std::string_view text, bool* compressed) {
    ImageBuilder builder;
    std::size_t lineNumber = 0;
    for (std::size_t pos = 0; pos <= text.size();) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        LineParser parser(line, lineNumber);
        std::vector<Token> tokens = parser.tokens();
        if (!tokens.empty()) {
            KeywordLine keywordLine(parser, std::move(tokens));
            builder.apply(keywordLine);
        }
    }
    if (compressed != nullptr) {
        *compressed = builder.compressed;
    }
    return std::move(builder.image);
}

}  // namespace runemeter
