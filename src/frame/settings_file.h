// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tool's settings file: one section per control, typed values, kept in memory and read from
// or written to a UTF-8 text file. The full text format is described in docs/settings-file.md;
// in short:
//
// | line                      | meaning                                                      |
// |---------------------------|--------------------------------------------------------------|
// | `; text` or `# text`      | comment (the writer puts three at the head)                  |
// | `[name]`                  | section: the control's name (escaped)                        |
// | `value:type=text`         | a value of the current section; type is one of               |
// |                           | `str`, `wstr`, `bool`, `int`, `list`                         |
// | blank                     | ignored                                                      |
//
// Escapes in names and texts: `\\` `\n` `\r` `\t` `\s` (a blank) `\0` `\|` and `\uXXXX` (one
// UTF-16 code unit). A `list` value is its items, each escaped and followed by `|`.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "suite/input_error.h"

namespace runemeter {

/// The type a value is stored with.
enum class SettingsValueType { String, WideString, Boolean, Integer, StringList };

/// What a read found.
enum class ReadStatus {
    Found,      ///< the value exists with a matching type; the result is set
    Missing,    ///< no such section or value; the result is untouched
    WrongType,  ///< the value exists with another type; the result is untouched
};

/// A problem with a settings file.
using SettingsError = InputError;

/// Largest settings file read; a larger one is refused rather than loaded into memory.
inline constexpr std::uintmax_t kMaxSettingsFileSize = 16u * 1024u * 1024u;

/// The three comment lines at the head of every written file.
inline constexpr std::string_view kSettingsFileHeader =
    "; Runemeter created this settings file.\n"
    "; Delete it if you want.\n"
    "; Modify it at your own risk!\n";

/// A settings file held in memory: sections and values keep the order they were added in.
class SettingsFile {
public:
    /// One stored value.
    struct Value {
        std::u16string name;
        SettingsValueType type = SettingsValueType::String;
        std::variant<std::u16string, bool, std::int32_t, std::vector<std::u16string>> data;
    };
    /// One section with its values.
    struct Section {
        std::u16string name;
        std::vector<Value> values;
    };

    /// Reads a text (string or wide string) value.
    [[nodiscard]] ReadStatus ReadString(std::u16string_view key, std::u16string_view name,
                                        std::u16string& result) const;
    /// Reads a Boolean value.
    [[nodiscard]] ReadStatus ReadBool(std::u16string_view key, std::u16string_view name,
                                      bool& result) const;
    /// Reads an integer value.
    [[nodiscard]] ReadStatus ReadInteger(std::u16string_view key, std::u16string_view name,
                                         std::int32_t& result) const;
    /// Reads a string list.
    [[nodiscard]] ReadStatus ReadMultiString(std::u16string_view key, std::u16string_view name,
                                             std::vector<std::u16string>& result) const;
    /// The type of a stored value, or nothing when it is missing.
    [[nodiscard]] std::optional<SettingsValueType> typeOf(std::u16string_view key,
                                                          std::u16string_view name) const;

    /// Stores a string value (replacing any value of that name).
    void WriteString(std::u16string_view key, std::u16string_view name, std::u16string_view value);
    /// Stores a wide string value.
    void WriteWideString(std::u16string_view key, std::u16string_view name,
                         std::u16string_view value);
    /// Stores a Boolean value.
    void WriteBool(std::u16string_view key, std::u16string_view name, bool value);
    /// Stores an integer value.
    void WriteInteger(std::u16string_view key, std::u16string_view name, std::int32_t value);
    /// Stores a string list.
    void WriteMultiString(std::u16string_view key, std::u16string_view name,
                          std::span<const std::u16string> value);

    /// Every section, in order.
    [[nodiscard]] const std::vector<Section>& sections() const { return m_sections; }
    /// True when nothing is stored.
    [[nodiscard]] bool empty() const { return m_sections.empty(); }
    /// Drops every section.
    void clear() { m_sections.clear(); }

    /// Replaces the content with what a file's text holds. On error the content is left empty.
    [[nodiscard]] std::optional<SettingsError> parse(std::string_view text);
    /// The file's text: the three comment lines, then every section.
    [[nodiscard]] std::string serialise() const;

    /// Reads the file at path (a missing file is an error too; callers check first).
    [[nodiscard]] std::optional<SettingsError> Load(const std::filesystem::path& path);
    /// Writes the file at path through a temporary file in the same folder that is flushed to
    /// disk and renamed over the old one, so the old file stays whole when anything fails.
    /// Missing folders of the path are created. An old file that does not load as settings is
    /// kept beside it as "<name>.damaged" (replacing an older one) before it is replaced.
    [[nodiscard]] std::optional<SettingsError> Save(const std::filesystem::path& path) const;

private:
    [[nodiscard]] const Value* find(std::u16string_view key, std::u16string_view name) const;
    void store(std::u16string_view key, Value value);

    std::vector<Section> m_sections;
};

/// Keeps a settings file that cannot be used beside it as "<name>.damaged" (replacing an older
/// one), so that a hand edit gone wrong is not lost when the file is next saved. The kept
/// file's path; empty when there is no such file or it could not be kept.
[[nodiscard]] std::filesystem::path KeepDamagedSettingsFile(const std::filesystem::path& path);

/// Scrambles a text in place with the program's 17-character key: byte k is xor-ed with key
/// character k mod 17, except where the byte or the result would be 0 or 26 (those bytes stay).
/// Applying it twice gives the text back.
void ScrambleText(std::span<char> text);
/// Convenience form of ScrambleText on a copy.
[[nodiscard]] std::string ScrambleText(std::string_view text);

/// The bytes of a text as decimal digits, three per byte: "Hi" -> "072105".
[[nodiscard]] std::u16string ToNumStr(std::string_view bytes);
/// The inverse of ToNumStr; nothing when the text is not groups of three digits up to 255.
[[nodiscard]] std::optional<std::string> FromNumStr(std::u16string_view digits);

}  // namespace runemeter
