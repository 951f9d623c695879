// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The binary layout of language files, record by record, independent of the store: a reader
// that hands every record to a visitor, an image (all records in file order) and its writer.
//
// All numbers little-endian. Short count: u16. Packed count (body, format version 6 and 7):
// b0 < 128 -> b0; else b1 < 128 -> (b0 & 127) + b1 * 128; else u16 w ->
// (b0 & 127) + (b1 & 127) * 128 + w * 16384. Name string: count + Windows-1252 bytes.
// Text string: count + UTF-16LE code units.
//
// Header ([fv > n]: only when the format version is above n):
// | Field              | Size                | Notes                                      |
// |--------------------|---------------------|--------------------------------------------|
// | magic              | 2                   | "LF"                                       |
// | FFormatVersion     | 2                   | 1..7                                       |
// | FVersion           | 4                   | signed                                     |
// | FBuild             | 4                   | [fv > 4]                                   |
// | FLocale            | 2                   |                                            |
// | FBasedOnLangID     | 2                   | [fv > 2]                                   |
// | FLangEnglishName   | short count + bytes | name string                                |
// | FLangLocalizedName | short count + 2n    | text string                                |
// | FIsNative          | 2                   | non-zero: native                           |
// | FAttributes        | 2                   | [fv > 1]                                   |
// | FConstMaxID        | 4                   |                                            |
// | FPropertyMaxID     | 4                   |                                            |
// | FExtItemMaxID      | 4                   | [fv > 6]                                   |
//
// Body (list counts u16; string counts short below fv 6, packed from fv 6):
// | Section   | Layout                                                                        |
// |-----------|-------------------------------------------------------------------------------|
// | units     | count; per unit: name, attrs [fv > 1], constant count, constants              |
// | constant  | name, attrs [fv > 1], string id u16, id i32, text, version i32, time f64       |
// | forms     | count; per form: name, attrs [fv > 1], property count, properties,            |
// |           | component count; per component: name, attrs [fv > 1], count, properties      |
// | property  | name, attrs [fv > 1], id i32, type u32 (low byte), value, version i32, time   |
// | value     | ptFloat f64, ptInteger i32 [fv > 3]; ptString/ptStringList text; others none |
// | groups    | [fv > 6] count; per group: name, attrs, item count, items                     |
// | ext item  | name, attrs, id i32, text, version i32, time f64                              |

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "localisation/byte_stream.h"
#include "localisation/loc_storage.h"
#include "suite/named_error.h"

namespace runemeter {

/// Failures of language files.
class ELangFileError : public NamedError {
public:
    using NamedError::NamedError;
    [[nodiscard]] std::string_view className() const noexcept override { return "ELangFileError"; }
};

/// Highest format version this code reads and writes.
inline constexpr std::uint16_t kLangFormatVersion = 7;
/// Largest count a packed count can carry.
inline constexpr std::uint32_t kMaxPackedCount = 127u + 127u * 128u + 65535u * 16384u;

/// The header fields as stored.
struct LangFileHeader {
    std::uint16_t formatVersion = kLangFormatVersion;  ///< 1..7.
    std::int32_t version = 0;                          ///< FVersion.
    std::uint32_t build = 0;                           ///< FBuild.
    std::uint16_t locale = 0;                          ///< FLocale.
    std::uint16_t basedOnLangId = 0;                   ///< FBasedOnLangID.
    std::u16string englishName;                        ///< FLangEnglishName (from Windows-1252).
    std::u16string localizedName;                      ///< FLangLocalizedName.
    std::uint16_t isNative = 0;                        ///< The stored word; non-zero: native.
    std::uint16_t attributes = 0;                      ///< FAttributes.
    std::int32_t constMaxId = 0;                       ///< FConstMaxID.
    std::int32_t propertyMaxId = 0;                    ///< FPropertyMaxID.
    std::int32_t extItemMaxId = 0;                     ///< FExtItemMaxID.
    bool operator==(const LangFileHeader&) const = default;
};

/// One constant, property or external item record.
struct LangRecord {
    std::u16string name;           ///< Constant, property or item name.
    std::uint16_t attributes = 0;  ///< Value attributes.
    std::uint16_t stringId = 0;    ///< Constants only.
    std::int32_t id = 0;           ///< Item ID.
    std::uint32_t typeWord = 2;    ///< Properties only; low byte is the type.
    bool hasValue = true;          ///< False where the format stores no value.
    std::u16string text;           ///< The value as text (numbers as decimals).
    std::uint64_t floatBits = 0;   ///< ptFloat: the stored double's bits.
    std::int32_t version = 0;      ///< Value version as stored.
    std::uint64_t timeBits = 0;    ///< Modification time as stored (f64 bits).
    /// The value type of a property.
    [[nodiscard]] TLocValueType type() const noexcept {
        return static_cast<TLocValueType>(typeWord & 0xFF);
    }
    bool operator==(const LangRecord&) const = default;
};

/// A unit and its constants.
struct LangUnitRecord {
    std::u16string name;                ///< Unit name.
    std::uint16_t attributes = 0;       ///< Unit attributes.
    std::vector<LangRecord> constants;  ///< In file order.
    bool operator==(const LangUnitRecord&) const = default;
};

/// A component and its properties.
struct LangComponentRecord {
    std::u16string name;                 ///< Component name.
    std::uint16_t attributes = 0;        ///< Component attributes.
    std::vector<LangRecord> properties;  ///< In file order.
    bool operator==(const LangComponentRecord&) const = default;
};

/// A form, its own properties and its components.
struct LangFormRecord {
    std::u16string name;                          ///< Form name.
    std::uint16_t attributes = 0;                 ///< Form attributes.
    std::vector<LangRecord> properties;           ///< The form's own properties.
    std::vector<LangComponentRecord> components;  ///< In file order.
    bool operator==(const LangFormRecord&) const = default;
};

/// An external group and its items.
struct LangGroupRecord {
    std::u16string name;            ///< Group name.
    std::uint16_t attributes = 0;   ///< Group attributes.
    std::vector<LangRecord> items;  ///< In file order.
    bool operator==(const LangGroupRecord&) const = default;
};

/// A whole language file, record by record.
struct LangFileImage {
    LangFileHeader header;                ///< Header fields.
    std::vector<LangUnitRecord> units;    ///< Units section.
    std::vector<LangFormRecord> forms;    ///< Forms section.
    std::vector<LangGroupRecord> groups;  ///< External groups section (format version 7).
    bool operator==(const LangFileImage&) const = default;
};

/// Receives the records of a body as they are read.
class LangBodyVisitor {
public:
    virtual ~LangBodyVisitor() = default;
    virtual void beginUnit(const std::u16string& name, std::uint16_t attributes) = 0;  ///< Unit.
    virtual void constant(const LangRecord& record) = 0;  ///< Constant of the current unit.
    virtual void endUnits() {}                            ///< After the units section.
    virtual void beginForm(const std::u16string& name, std::uint16_t attributes) = 0;  ///< Form.
    /// Component of the current form; later properties belong to it.
    virtual void beginComponent(const std::u16string& name, std::uint16_t attributes) = 0;
    /// Property of the current component, or of the form before its first component.
    virtual void property(const LangRecord& record) = 0;
    virtual void endForms() {}  ///< After the forms section.
    virtual void beginGroup(const std::u16string& name, std::uint16_t attributes) = 0;  ///< Group.
    virtual void extItem(const LangRecord& record) = 0;  ///< Item of the current group.
    virtual void endGroups() {}                          ///< After the groups section.
};

/// Reads the header at the stream's position. Throws ELangFileError for a wrong magic or format
/// version and EReadError when the data ends inside it.
[[nodiscard]] LangFileHeader readLangHeader(ByteStream& stream);

/// Reads the body of a file of the given format version, record by record. Throws EReadError
/// when the data ends inside a record; records handed over before stay handed over.
void readLangBody(ByteStream& stream, std::uint16_t formatVersion, LangBodyVisitor& visitor);

/// Reads a whole file (plain or compressed) into an image. Throws ELangFileError, EReadError,
/// ECompressError.
[[nodiscard]] LangFileImage readLangFileImage(std::span<const std::byte> bytes,
                                              bool* wasCompressed = nullptr);

/// Writes the header exactly as given. Throws ELangFileError for values the format cannot hold.
void writeLangHeader(ByteStream& stream, const LangFileHeader& header);

/// Writes the body in the layout of the image's format version. Throws ELangFileError for
/// values the format cannot hold (too many entries, too long strings, unwritable names).
void writeLangBody(ByteStream& stream, const LangFileImage& image);

/// The bytes of a whole file, optionally in the compressed container.
[[nodiscard]] std::vector<std::byte> writeLangFileImage(const LangFileImage& image, bool compress);

/// The decimal text of a stored double (shortest form that reads back to the same number).
[[nodiscard]] std::u16string floatToText(double value);
/// The double of a decimal text; nullopt-like false when it is not a number.
[[nodiscard]] bool textToFloat(std::u16string_view text, double& value);
/// The 32-bit integer of a decimal text; false when it is not one.
[[nodiscard]] bool textToInt(std::u16string_view text, std::int32_t& value);

}  // namespace runemeter
