// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/settings_file.h"
#include "suite/unicode_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include <utility>

namespace runemeter {

namespace {

// Printable ASCII only, so a scrambled byte never turns into a line break or a terminator.
constexpr std::string_view kScrambleKey = "Qv7#pLx9!Tm2@kRz$";
static_assert(kScrambleKey.size() == 17);

constexpr std::string_view kTypeNames[] = {"str", "wstr", "bool", "int", "list"};

std::string_view typeName(SettingsValueType type) {
    return kTypeNames[static_cast<std::size_t>(type)];
}

std::optional<SettingsValueType> typeFromName(std::string_view name) {
    for (std::size_t i = 0; i < std::size(kTypeNames); ++i) {
        if (kTypeNames[i] == name) {
            return static_cast<SettingsValueType>(i);
        }
    }
    return std::nullopt;
}

bool isText(SettingsValueType type) {
    return type == SettingsValueType::String || type == SettingsValueType::WideString;
}

void appendHexUnit(std::string& out, char16_t unit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\u";
    for (int shift = 12; shift >= 0; shift -= 4) {
        out += kHex[(unit >> shift) & 0xF];
    }
}

// Names must not contain what the reader splits a line at, nor start like a comment or section.
bool needsEscapeInName(char16_t c) {
    return c == u'=' || c == u':' || c == u'[' || c == u']' || c == u';' || c == u'#';
}

enum class Field { Name, Text, ListItem };

std::string escape(std::u16string_view text, Field field) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        switch (c) {
            case u'\\':
                out += "\\\\";
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
            case u'\0':
                out += "\\0";
                continue;
            default:
                break;
        }
        if (c == u'|' && field == Field::ListItem) {
            out += "\\|";
        } else if (c < 0x20 || c == 0x7F || (field == Field::Name && needsEscapeInName(c))) {
            appendHexUnit(out, c);
        } else if (isSurrogatePairAt(text, i)) {
            appendUtf8CodePoint(out, combineSurrogates(c, text[i + 1]));
            ++i;
        } else if (isSurrogate(c)) {
            // A lone surrogate has no UTF-8 form; the escape keeps it exactly.
            appendHexUnit(out, c);
        } else {
            appendUtf8CodePoint(out, c);
        }
    }
    return out;
}

// The reader trims blanks around a field, so blanks at its ends are written as escapes.
std::string protectEdgeBlanks(std::string field) {
    std::size_t lead = 0;
    while (lead < field.size() && field[lead] == ' ') {
        ++lead;
    }
    std::size_t trail = 0;
    while (trail < field.size() - lead && field[field.size() - 1 - trail] == ' ') {
        ++trail;
    }
    std::string out;
    for (std::size_t i = 0; i < lead; ++i) {
        out += "\\s";
    }
    out.append(field, lead, field.size() - lead - trail);
    for (std::size_t i = 0; i < trail; ++i) {
        out += "\\s";
    }
    return out;
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Undoes escape() on a UTF-8 field. With items set, a raw '|' ends an item.
std::optional<std::string> unescape(std::string_view field, std::u16string& out,
                                    std::vector<std::u16string>* items) {
    out.clear();
    std::size_t i = 0;
    while (i < field.size()) {
        const std::size_t next = field.find_first_of(items ? "\\|" : "\\", i);
        const std::string_view plain =
            field.substr(i, next == std::string_view::npos ? std::string_view::npos : next - i);
        if (appendUtf8Strict(plain, out)) {
            return "malformed UTF-8";
        }
        if (next == std::string_view::npos) {
            break;
        }
        i = next;
        if (field[i] == '|') {
            items->push_back(std::move(out));
            out.clear();
            ++i;
            continue;
        }
        if (i + 1 >= field.size()) {
            return "a backslash ends the line";
        }
        const char e = field[i + 1];
        i += 2;
        switch (e) {
            case '\\':
                out += u'\\';
                break;
            case 'n':
                out += u'\n';
                break;
            case 'r':
                out += u'\r';
                break;
            case 't':
                out += u'\t';
                break;
            case 's':
                out += u' ';
                break;
            case '0':
                out += u'\0';
                break;
            case '|':
                out += u'|';
                break;
            case 'u': {
                if (field.size() - i < 4) {
                    return "\\u needs four hex digits";
                }
                int unit = 0;
                for (std::size_t k = 0; k < 4; ++k) {
                    const int h = hexValue(field[i + k]);
                    if (h < 0) {
                        return "\\u needs four hex digits";
                    }
                    unit = unit * 16 + h;
                }
                out += static_cast<char16_t>(unit);
                i += 4;
                break;
            }
            default:
                return std::string("unknown escape \\") + e;
        }
    }
    if (items && !out.empty()) {
        // A hand-edited last item without its closing '|' still counts.
        items->push_back(std::move(out));
        out.clear();
    }
    return std::nullopt;
}

std::optional<bool> parseBool(std::string_view s) {
    std::string lower(s);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    if (lower == "true" || lower == "1")
        return true;
    if (lower == "false" || lower == "0")
        return false;
    return std::nullopt;
}

std::optional<std::int32_t> parseInt(std::string_view s) {
    if (!s.empty() && s.front() == '+') {
        s.remove_prefix(1);
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc() || end != s.data() + s.size()) {
        return std::nullopt;
    }
    return value;
}

// A piece of the file quoted in a message: at most 32 bytes, printable ASCII as it is and
// every other byte as \xNN, so that the message stays one short readable line.
std::string quotedForMessage(std::string_view text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    constexpr std::size_t kShown = 32;
    std::string out = "\"";
    for (const char c : text.substr(0, kShown)) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && c != '"' && c != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    out += text.size() > kShown ? "\"..." : "\"";
    return out;
}

std::string systemError(std::string_view what, const std::filesystem::path& path, int err) {
    return std::string(what) + " " + path.string() + ": " + std::strerror(err);
}

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

}  // namespace

const SettingsFile::Value* SettingsFile::find(std::u16string_view key,
                                              std::u16string_view name) const {
    for (const Section& section : m_sections) {
        if (section.name != key) {
            continue;
        }
        for (const Value& value : section.values) {
            if (value.name == name) {
                return &value;
            }
        }
    }
    return nullptr;
}

void SettingsFile::store(std::u16string_view key, Value value) {
    auto section = std::find_if(m_sections.begin(), m_sections.end(),
                                [&](const Section& s) { return s.name == key; });
    if (section == m_sections.end()) {
        m_sections.push_back(Section{std::u16string(key), {}});
        section = std::prev(m_sections.end());
    }
    for (Value& existing : section->values) {
        if (existing.name == value.name) {
            existing = std::move(value);
            return;
        }
    }
    section->values.push_back(std::move(value));
}

std::optional<SettingsValueType> SettingsFile::typeOf(std::u16string_view key,
                                                      std::u16string_view name) const {
    const Value* value = find(key, name);
    if (!value) {
        return std::nullopt;
    }
    return value->type;
}

ReadStatus SettingsFile::ReadString(std::u16string_view key, std::u16string_view name,
                                    std::u16string& result) const {
    const Value* value = find(key, name);
    if (!value)
        return ReadStatus::Missing;
    // Both kinds of string hold the same full text here, so either reads as text.
    if (!isText(value->type))
        return ReadStatus::WrongType;
    result = std::get<std::u16string>(value->data);
    return ReadStatus::Found;
}

ReadStatus SettingsFile::ReadBool(std::u16string_view key, std::u16string_view name,
                                  bool& result) const {
    const Value* value = find(key, name);
    if (!value)
        return ReadStatus::Missing;
    if (value->type != SettingsValueType::Boolean)
        return ReadStatus::WrongType;
    result = std::get<bool>(value->data);
    return ReadStatus::Found;
}

ReadStatus SettingsFile::ReadInteger(std::u16string_view key, std::u16string_view name,
                                     std::int32_t& result) const {
    const Value* value = find(key, name);
    if (!value)
        return ReadStatus::Missing;
    if (value->type != SettingsValueType::Integer)
        return ReadStatus::WrongType;
    result = std::get<std::int32_t>(value->data);
    return ReadStatus::Found;
}

ReadStatus SettingsFile::ReadMultiString(std::u16string_view key, std::u16string_view name,
                                         std::vector<std::u16string>& result) const {
    const Value* value = find(key, name);
    if (!value)
        return ReadStatus::Missing;
    if (value->type != SettingsValueType::StringList)
        return ReadStatus::WrongType;
    result = std::get<std::vector<std::u16string>>(value->data);
    return ReadStatus::Found;
}

void SettingsFile::WriteString(std::u16string_view key, std::u16string_view name,
                               std::u16string_view value) {
    store(key, Value{std::u16string(name), SettingsValueType::String, std::u16string(value)});
}

void SettingsFile::WriteWideString(std::u16string_view key, std::u16string_view name,
                                   std::u16string_view value) {
    store(key, Value{std::u16string(name), SettingsValueType::WideString, std::u16string(value)});
}

void SettingsFile::WriteBool(std::u16string_view key, std::u16string_view name, bool value) {
    store(key, Value{std::u16string(name), SettingsValueType::Boolean, value});
}

void SettingsFile::WriteInteger(std::u16string_view key, std::u16string_view name,
                                std::int32_t value) {
    store(key, Value{std::u16string(name), SettingsValueType::Integer, value});
}

void SettingsFile::WriteMultiString(std::u16string_view key, std::u16string_view name,
                                    std::span<const std::u16string> value) {
    store(key, Value{std::u16string(name), SettingsValueType::StringList,
                     std::vector<std::u16string>(value.begin(), value.end())});
}

std::string SettingsFile::serialise() const {
    std::string out(kSettingsFileHeader);
    for (const Section& section : m_sections) {
        out += "\n[";
        out += protectEdgeBlanks(escape(section.name, Field::Name));
        out += "]\n";
        for (const Value& value : section.values) {
            out += protectEdgeBlanks(escape(value.name, Field::Name));
            out += ':';
            out += typeName(value.type);
            out += '=';
            switch (value.type) {
                case SettingsValueType::String:
                case SettingsValueType::WideString:
                    out += protectEdgeBlanks(
                        escape(std::get<std::u16string>(value.data), Field::Text));
                    break;
                case SettingsValueType::Boolean:
                    out += std::get<bool>(value.data) ? "true" : "false";
                    break;
                case SettingsValueType::Integer:
                    out += std::to_string(std::get<std::int32_t>(value.data));
                    break;
                case SettingsValueType::StringList: {
                    std::string items;
                    for (const std::u16string& item :
                         std::get<std::vector<std::u16string>>(value.data)) {
                        items += escape(item, Field::ListItem);
                        items += '|';
                    }
                    out += protectEdgeBlanks(std::move(items));
                    break;
                }
            }
            out += '\n';
        }
    }
    return out;
}

namespace {

using Section = SettingsFile::Section;
using Value = SettingsFile::Value;
// What is wrong with one line, in English; nothing when the line was read.
using LineError = std::optional<std::string>;

// "[name]": opens the section of that name, a new one or an earlier one continued.
LineError readSectionLine(std::string_view line, std::vector<Section>& sections,
                          Section*& current) {
    if (line.back() != ']' || line.size() < 2) {
        return "a section name must end with ]";
    }
    std::u16string name;
    if (auto err = unescape(trimBlanks(line.substr(1, line.size() - 2)), name, nullptr)) {
        return err;
    }
    if (name.empty()) {
        return "empty section name";
    }
    auto it = std::find_if(sections.begin(), sections.end(),
                           [&](const Section& s) { return s.name == name; });
    if (it == sections.end()) {
        sections.push_back(Section{std::move(name), {}});
        it = std::prev(sections.end());
    }
    current = &*it;
    return std::nullopt;
}

// The text after '=' read as the value's type.
LineError readValueData(std::string_view raw, Value& value) {
    std::u16string text;
    switch (value.type) {
        case SettingsValueType::String:
        case SettingsValueType::WideString:
            if (auto err = unescape(raw, text, nullptr)) {
                return err;
            }
            value.data = std::move(text);
            return std::nullopt;
        case SettingsValueType::Boolean:
            if (const auto b = parseBool(raw)) {
                value.data = *b;
                return std::nullopt;
            }
            return "not a Boolean (true or false)";
        case SettingsValueType::Integer:
            if (const auto n = parseInt(raw)) {
                value.data = *n;
                return std::nullopt;
            }
            return "not a 32-bit integer";
        case SettingsValueType::StringList: {
            std::vector<std::u16string> items;
            if (auto err = unescape(raw, text, &items)) {
                return err;
            }
            value.data = std::move(items);
            return std::nullopt;
        }
    }
    return "unknown type";
}

// "name:type=value" in the current section; each name at most once per section.
LineError readValueLine(std::string_view line, Section& section) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
        return "expected name:type=value";
    }
    const std::string_view left = line.substr(0, eq);
    const std::size_t colon = left.rfind(':');
    if (colon == std::string_view::npos) {
        return "the value has no type (expected name:type=value)";
    }
    Value value;
    if (auto err = unescape(trimBlanks(left.substr(0, colon)), value.name, nullptr)) {
        return err;
    }
    if (value.name.empty()) {
        return "empty value name";
    }
    const std::string_view type = trimBlanks(left.substr(colon + 1));
    const auto parsedType = typeFromName(type);
    if (!parsedType) {
        return "unknown type " + quotedForMessage(type);
    }
    value.type = *parsedType;
    if (auto err = readValueData(trimBlanks(line.substr(eq + 1)), value)) {
        return err;
    }
    for (const Value& existing : section.values) {
        if (existing.name == value.name) {
            return "the value is given twice in this section";
        }
    }
    section.values.push_back(std::move(value));
    return std::nullopt;
}

// One line without its '\n': blank lines and comments are skipped.
LineError readLine(std::string_view line, std::vector<Section>& sections, Section*& current) {
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    const auto isControl = [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; };
    if (std::any_of(line.begin(), line.end(), isControl)) {
        return "control character in the line";
    }
    line = trimBlanks(line);
    if (line.empty() || line.front() == ';' || line.front() == '#') {
        return std::nullopt;
    }
    if (line.front() == '[') {
        return readSectionLine(line, sections, current);
    }
    if (current == nullptr) {
        return "a value before the first section";
    }
    return readValueLine(line, *current);
}

}  // namespace

std::optional<SettingsError> SettingsFile::parse(std::string_view text) {
    m_sections.clear();
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    Section* current = nullptr;
    std::size_t lineNumber = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        ++lineNumber;
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (auto message = readLine(line, m_sections, current)) {
            m_sections.clear();
            return SettingsError{InputErrorCode::Malformed, lineNumber, std::move(*message)};
        }
    }
    return std::nullopt;
}

std::optional<SettingsError> SettingsFile::Load(const std::filesystem::path& path) {
    m_sections.clear();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return SettingsError{InputErrorCode::Unreadable, 0,
                             "not a readable file: " + path.string()};
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec) {
        return SettingsError{InputErrorCode::Unreadable, 0,
                             "cannot read " + path.string() + ": " + ec.message()};
    }
    if (size > kMaxSettingsFileSize) {
        return SettingsError{InputErrorCode::TooLarge, 0,
                             "the file is too large to be a settings file: " + path.string()};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return SettingsError{InputErrorCode::Unreadable, 0,
                             systemError("cannot open", path, errno)};
    }
    std::string text;
    text.reserve(static_cast<std::size_t>(size));
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (in.bad()) {
        return SettingsError{InputErrorCode::Unreadable, 0, "cannot read " + path.string()};
    }
    return parse(text);
}

std::optional<SettingsError> SettingsFile::Save(const std::filesystem::path& path) const {
    std::error_code ec;
    std::filesystem::path target = path;
    // Replace the file a link points to, not the link itself.
    if (std::filesystem::is_symlink(path, ec)) {
        const auto resolved = std::filesystem::weakly_canonical(path, ec);
        if (!ec) {
            target = resolved;
        }
    }
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        return SettingsError{InputErrorCode::Unwritable, 0,
                             "cannot create the folder " + folder.string() + ": " + ec.message()};
    }
    if (std::filesystem::is_directory(target, ec)) {
        return SettingsError{InputErrorCode::Unwritable, 0,
                             "cannot replace " + target.string() + ": it is a folder"};
    }

    std::string tempName = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tempName.data());
    if (fd < 0) {
        return SettingsError{InputErrorCode::Unwritable, 0,
                             systemError("cannot create a file in", folder, errno)};
    }
    auto abandon = [&](std::string message) {
        const int saved = errno;
        ::close(fd);
        ::unlink(tempName.c_str());
        return SettingsError{InputErrorCode::Unwritable, 0, systemError(message, target, saved)};
    };
    // Keep the permissions of the file being replaced; a new file stays private to the user.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) {
        (void)::fchmod(fd, old.st_mode & 07777);
    }
    if (!writeAll(fd, serialise())) {
        return abandon("cannot write");
    }
    if (::fsync(fd) != 0) {
        return abandon("cannot flush");
    }
    if (::close(fd) != 0) {
        const int saved = errno;
        ::unlink(tempName.c_str());
        return SettingsError{InputErrorCode::Unwritable, 0,
                             systemError("cannot write", target, saved)};
    }
    // A file that cannot be read as settings may still be the user's work (a hand edit gone
    // wrong): it is kept beside the new one as "<name>.damaged" rather than lost.
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        SettingsFile previous;
        if (previous.Load(target)) {
            (void)KeepDamagedSettingsFile(target);
        }
    }
    if (::rename(tempName.c_str(), target.c_str()) != 0) {
        const int saved = errno;
        ::unlink(tempName.c_str());
        return SettingsError{InputErrorCode::Unwritable, 0,
                             systemError("cannot replace", target, saved)};
    }
    // Make the rename itself durable; failing here loses nothing, so it is not reported.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return std::nullopt;
}

std::filesystem::path KeepDamagedSettingsFile(const std::filesystem::path& path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return {};
    }
    std::filesystem::path kept = path;
    kept += ".damaged";
    std::filesystem::remove(kept, ec);
    if (::link(path.c_str(), kept.c_str()) != 0 &&
        !std::filesystem::copy_file(path, kept, std::filesystem::copy_options::overwrite_existing,
                                    ec)) {
        return {};
    }
    return kept;
}

void ScrambleText(std::span<char> text) {
    for (std::size_t k = 0; k < text.size(); ++k) {
        const auto byte = static_cast<unsigned char>(text[k]);
        const auto mixed = static_cast<unsigned char>(
            byte ^ static_cast<unsigned char>(kScrambleKey[k % kScrambleKey.size()]));
        // Leaving a byte alone when either side of the pair is 0 or 26 keeps the operation its
        // own inverse: a 26 in the text would otherwise scramble but never come back.
        if (mixed != 0 && mixed != 26 && byte != 0 && byte != 26) {
            text[k] = static_cast<char>(mixed);
        }
    }
}

std::string ScrambleText(std::string_view text) {
    std::string copy(text);
    ScrambleText(std::span<char>(copy.data(), copy.size()));
    return copy;
}

std::u16string ToNumStr(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size() * 3);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        out += static_cast<char16_t>(u'0' + b / 100);
        out += static_cast<char16_t>(u'0' + (b / 10) % 10);
        out += static_cast<char16_t>(u'0' + b % 10);
    }
    return out;
}

std::optional<std::string> FromNumStr(std::u16string_view digits) {
    if (digits.size() % 3 != 0) {
        return std::nullopt;
    }
    std::string out;
    out.reserve(digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); i += 3) {
        int value = 0;
        for (std::size_t k = 0; k < 3; ++k) {
            const char16_t d = digits[i + k];
            if (d < u'0' || d > u'9') {
                return std::nullopt;
            }
            value = value * 10 + (d - u'0');
        }
        if (value > 255) {
            return std::nullopt;
        }
        out += static_cast<char>(value);
    }
    return out;
}

}  // namespace runemeter
