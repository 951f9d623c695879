// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One language file: its header fields, loading it into a TLocStorage (native or translation)
// and writing it back. The binary layout is described in localisation/lang_file_format.h.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "localisation/byte_stream.h"
#include "localisation/lang_file_format.h"
#include "localisation/loc_storage.h"

namespace runemeter {

/// Options of a load.
enum TLFLoadOption : unsigned {
    loSyncByName = 1,  ///< Match translation records by names instead of IDs.
    loRepair = 2,      ///< Native load: a record whose ID is already taken gets a fresh one.
};
/// A set of TLFLoadOption values.
using TLFLoadOptions = unsigned;

/// Files larger than this are refused before they are read.
inline constexpr std::size_t kMaxLangFileSize = std::size_t{256} << 20;

/// Compressed files are read this far when only their header is wanted.
inline constexpr std::size_t kCompressedHeaderProbe = 2048;

/// A language file.
class TLangFile {
public:
    /// An object with the defaults and no file (the data comes as a stream).
    [[nodiscard]] static std::unique_ptr<TLangFile> CreateInMem();
    /// An object for a file: when it exists its header is read. Unless readOnly, the file is
    /// first tried for writing; when that fails (no permission, or another holder has it
    /// locked) FReadOnly is set. Throws EFOpenError, ELangFileError, ECompressError, EReadError.
    [[nodiscard]] static std::unique_ptr<TLangFile> Create(const std::filesystem::path& fileName,
                                                           bool readOnly);
    ~TLangFile();
    TLangFile(const TLangFile&) = delete;
    TLangFile& operator=(const TLangFile&) = delete;

    /// Reads the header from the stream's position (decompressing first when the stream is in
    /// the compressed container) and returns the position after it, in the decompressed data
    /// when it was compressed. With keepFields the object's header fields stay as they are.
    std::size_t LoadHeaderFromStream(ByteStream& stream, bool keepFields);
    /// Loads the whole file into the store as language langIndex (-1: the native language).
    void Load(TLocStorage* storage, int langIndex, TLFLoadOptions options = 0);
    /// Loads data given as a stream (from its position); the header fields are taken from it.
    void LoadFromStream(ByteStream& stream, TLocStorage* storage, TLFLoadOptions options,
                        int langIndex);

    /// FVersion + 1 (and FBuild back to 0).
    void IncreaseVersion();
    /// Sets FVersion; a change resets FBuild to 0.
    void SetVersion(std::int32_t version);
    /// Moves the file to the current format version.
    void UpdateFormatVersion();
    /// Holds the file open with others denied writing. Throws ELangFileError.
    void Lock();
    /// Releases the hold.
    void Unlock() noexcept;

    /// Writes the header (format version raised to at least 4; FBuild + 1 when modified).
    void SaveHeader(ByteStream& stream);
    /// Writes the body with the values of one language of the store.
    void SaveOwnSection(ByteStream& stream, const TLocStorage& storage, std::size_t langIndex);
    /// Header and body.
    void SaveToStream(ByteStream& stream, const TLocStorage& storage, std::size_t langIndex);
    /// Writes FFileName (compressed when FCompressed), replacing it in one step; clears
    /// FModified. Throws EFOpenError (also when FReadOnly) and ELangFileError.
    void Save(const TLocStorage& storage, std::size_t langIndex);

    /// The header fields as stored.
    [[nodiscard]] LangFileHeader Header() const;
    /// Takes over the header fields.
    void SetHeader(const LangFileHeader& header);

    // Header fields.
    std::uint16_t FFormatVersion = kLangFormatVersion;  ///< 1..7.
    std::int32_t FVersion = 0;          ///< Version of the translation; see SetVersion().
    std::uint32_t FBuild = 0;           ///< Build counter within the version.
    std::uint32_t FLocale = 0;          ///< Language of the file.
    std::uint16_t FBasedOnLangID = 0;   ///< Language the translation was made from.
    std::u16string FLangEnglishName;    ///< English name of the language.
    std::u16string FLangLocalizedName;  ///< The language's own name for itself.
    bool FIsNative = false;             ///< The native file.
    std::uint16_t FIsNativeWord = 0;    ///< The stored word behind FIsNative.
    std::uint16_t FAttributes = 0;      ///< 2: bidirectional mode; 256: show untranslated.
    std::int32_t FConstMaxID = 0;       ///< Highest constant ID in use.
    std::int32_t FPropertyMaxID = 0;    ///< Highest property ID in use.
    std::int32_t FExtItemMaxID = 0;     ///< Highest external item ID in use.

    // State.
    std::filesystem::path FFileName;        ///< Empty for data in memory.
    bool FModified = false;                 ///< The file must be saved.
    std::uint32_t FKeyboardLayout = 0;      ///< Keyboard layout at creation (none on this system).
    std::uint32_t FRepLocale = 0;           ///< Locale to replace (engine use).
    bool FAskRepLocale = true;              ///< Ask before replacing (engine use).
    bool FRegisteredDLL = false;            ///< A resource module was registered (engine use).
    int FLangIndex = -1;                    ///< Index of this language in the store.
    int FHandle = -1;                       ///< Lock handle, -1 when unlocked.
    bool FReadOnly = false;                 ///< The file can not be written.
    bool FCompressed = false;               ///< The data came through the compressed container.
    bool FNativeExeMismatch = false;        ///< Engine use.
    std::u16string FNativeExeMismatchText;  ///< Engine use.

private:
    TLangFile() = default;
    void loadBody(ByteStream& stream, std::uint16_t formatVersion, TLocStorage& storage,
                  int langIndex, TLFLoadOptions options);
    bool m_headerRead = false;
};

}  // namespace runemeter
