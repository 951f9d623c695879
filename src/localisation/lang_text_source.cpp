#include "localisation/lang_text_source.h"

#include <charconv>
#include <map>
#include <set>

#include "suite/unicode_text.h"

namespace runemeter {

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return text;
}

bool unescape(std::string_view text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out.push_back(text[i]);
            continue;
        }
        if (++i == text.size()) {
            return false;
        }
        switch (text[i]) {
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case '\\':
                out.push_back('\\');
                break;
            default:
                return false;
        }
    }
    return true;
}

bool parseLocale(std::string_view text, std::uint16_t& locale) {
    unsigned value = 0;
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0 || value > 0xFFFF) {
        return false;
    }
    locale = static_cast<std::uint16_t>(value);
    return true;
}

// The record a key names: form or unit section, then the key.
struct Target {
    const LangRecord* record = nullptr;
    bool constant = false;
};

}  // namespace

bool translationFromText(const LangFileImage& native, std::string_view source,
                         LangFileImage& translation, std::string& error) {
    // Every translatable native record by section and key.
    std::map<std::pair<std::u16string, std::u16string>, Target> known;
    for (const LangFormRecord& form : native.forms) {
        for (const LangRecord& property : form.properties) {
            known[{form.name, property.name}] = {&property, false};
        }
        for (const LangComponentRecord& component : form.components) {
            for (const LangRecord& property : component.properties) {
                known[{form.name, component.name + u"." + property.name}] = {&property, false};
            }
        }
    }
    for (const LangUnitRecord& unit : native.units) {
        for (const LangRecord& constant : unit.constants) {
            known[{u"unit " + unit.name, constant.name}] = {&constant, true};
        }
    }

    LangFileImage out;
    out.header = native.header;
    out.header.locale = 0;
    out.header.basedOnLangId = native.header.locale;
    out.header.isNative = 0;
    out.header.attributes = 0;
    out.header.englishName.clear();
    out.header.localizedName.clear();
    std::map<std::pair<std::u16string, std::u16string>, std::u16string> values;
    std::u16string section;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start <= source.size()) {
        const std::size_t end = std::min(source.find('\n', start), source.size());
        const std::string_view line = trim(source.substr(start, end - start));
        start = end + 1;
        ++lineNumber;
        const std::string where = "line " + std::to_string(lineNumber) + ": ";
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']') {
                error = where + "a section name must end with ']'";
                return false;
            }
            section = utf8ToUtf16(trim(line.substr(1, line.size() - 2)));
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) {
            error = where + "expected 'key = value'";
            return false;
        }
        const std::string_view key = trim(line.substr(0, eq));
        std::string value;
        if (!unescape(trim(line.substr(eq + 1)), value)) {
            error = where + "only \\n, \\t and \\\\ may follow a backslash";
            return false;
        }
        if (section.empty()) {
            if (key == "locale") {
                if (!parseLocale(value, out.header.locale)) {
                    error = where + "locale must be a language identifier from 1 to 0xFFFF";
                    return false;
                }
            } else if (key == "english-name") {
                out.header.englishName = utf8ToUtf16(value);
            } else if (key == "localized-name") {
                out.header.localizedName = utf8ToUtf16(value);
            } else if (key == "show-untranslated") {
                if (value != "yes" && value != "no") {
                    error = where + "show-untranslated must be yes or no";
                    return false;
                }
                out.header.attributes = value == "yes" ? 256 : 0;
            } else {
                error = where + "unknown setting \"" + std::string(key) + "\"";
                return false;
            }
            continue;
        }
        const std::pair<std::u16string, std::u16string> id{section, utf8ToUtf16(key)};
        if (!known.contains(id)) {
            error = where + "the native file has no \"" + std::string(key) + "\" in [" +
                    utf16ToUtf8(section) + "]";
            return false;
        }
        if (!values.emplace(id, utf8ToUtf16(value)).second) {
            error = where + "\"" + std::string(key) + "\" is translated twice";
            return false;
        }
    }
    if (out.header.locale == 0) {
        error = "the source sets no locale";
        return false;
    }

    // The records, in the native file's order, for every item the source translates.
    auto translated = [&](const std::u16string& sectionName, const std::u16string& key,
                          const LangRecord& nativeRecord, std::vector<LangRecord>& into) {
        const auto found = values.find({sectionName, key});
        if (found == values.end()) {
            return;
        }
        LangRecord record = nativeRecord;
        record.text = found->second;
        record.hasValue = true;
        into.push_back(std::move(record));
    };
    for (const LangUnitRecord& unit : native.units) {
        LangUnitRecord copy{unit.name, unit.attributes, {}};
        for (const LangRecord& constant : unit.constants) {
            translated(u"unit " + unit.name, constant.name, constant, copy.constants);
        }
        if (!copy.constants.empty()) {
            out.units.push_back(std::move(copy));
        }
    }
    for (const LangFormRecord& form : native.forms) {
        LangFormRecord copy{form.name, form.attributes, {}, {}};
        for (const LangRecord& property : form.properties) {
            translated(form.name, property.name, property, copy.properties);
        }
        for (const LangComponentRecord& component : form.components) {
            LangComponentRecord c{component.name, component.attributes, {}};
            for (const LangRecord& property : component.properties) {
                translated(form.name, component.name + u"." + property.name, property,
                           c.properties);
            }
            if (!c.properties.empty()) {
                copy.components.push_back(std::move(c));
            }
        }
        if (!copy.properties.empty() || !copy.components.empty()) {
            out.forms.push_back(std::move(copy));
        }
    }
    translation = std::move(out);
    return true;
}

}  // namespace runemeter
