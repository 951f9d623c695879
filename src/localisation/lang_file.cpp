// SPDX-License-Identifier: GPL-3.0-or-later
#include "localisation/lang_file.h"

#include <bit>
#include <cerrno>
#include <climits>
#include <cstring>
#include <unordered_map>
#include <unordered_set>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "localisation/lzcompress.h"

namespace runemeter {

namespace {

// Advisory locks stand for the sharing modes of the file: readers hold a shared lock ("others
// denied writing"), a writer needs the exclusive one.
class FileHandle {
public:
    FileHandle(const std::filesystem::path& path, int flags)
        : m_fd(::open(path.c_str(), flags | O_CLOEXEC)), m_error(errno) {}
    ~FileHandle() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    [[nodiscard]] bool ok() const noexcept { return m_fd >= 0; }
    [[nodiscard]] int error() const noexcept { return m_error; }
    [[nodiscard]] int fd() const noexcept { return m_fd; }
    [[nodiscard]] bool lock(int how) {
        if (::flock(m_fd, how | LOCK_NB) == 0) {
            return true;
        }
        m_error = errno;
        return false;
    }
    int release() noexcept {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
    int m_error;
};

std::string openFailure(const std::filesystem::path& path, int error) {
    return "Cannot open file \"" + path.string() + "\": " + std::strerror(error);
}

// Reads at most maxBytes while holding a shared lock.
std::vector<std::byte> readShared(const std::filesystem::path& path, std::size_t maxBytes) {
    // O_NONBLOCK: a FIFO named like a language file must not hang the program; it is refused
    // below. Reads of a regular file are not affected.
    FileHandle file(path, O_RDONLY | O_NONBLOCK);
    if (!file.ok()) {
        throw EFOpenError(openFailure(path, file.error()));
    }
    struct stat info {};
    if (::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
        throw EFOpenError("Cannot open file \"" + path.string() + "\": not a regular file");
    }
    if (!file.lock(LOCK_SH)) {
        throw EFOpenError("Cannot open file \"" + path.string() +
                          "\": another program is writing it");
    }
    std::vector<std::byte> bytes;
    std::byte buffer[64 * 1024];
    while (bytes.size() < maxBytes) {
        const std::size_t want = std::min(sizeof buffer, maxBytes - bytes.size());
        const ssize_t got = ::read(file.fd(), buffer, want);
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw EFOpenError("Cannot read file \"" + path.string() +
                              "\": " + std::strerror(errno));
        }
        if (got == 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

void checkTarget(const TLocStorage* storage, int langIndex) {
    if (storage == nullptr) {
        throw ELangFileError("Invalid LocStorage");
    }
    if (langIndex >= 0 && static_cast<std::size_t>(langIndex) >= storage->LanguageCount()) {
        throw ELangFileError("Invalid index");
    }
}

// Applies the records of a body to the store as they are read.
class StoreLoader final : public LangBodyVisitor {
public:
    StoreLoader(TLangFile& file, TLocStorage& store, int langIndex, TLFLoadOptions options)
        : m_file(file),
          m_store(store),
          m_native(langIndex < 0),
          m_valueIndex(langIndex < 0 ? 0 : static_cast<std::size_t>(langIndex)),
          m_byName((options & loSyncByName) != 0),
          m_repair((options & loRepair) != 0) {
        if (!m_native) {
            // Built once: records are then found without walking the tree.
            for (TLocConstant* c : m_store.AllConstants()) {
                m_constById.emplace(c->FID, c);
            }
            for (TLocProperty* p : m_store.AllProperties()) {
                m_propById.emplace(p->FID, p);
            }
            for (TLocExtItem* e : m_store.AllExtItems()) {
                m_extById.emplace(e->FID, e);
            }
        }
    }

    void beginUnit(const std::u16string& name, std::uint16_t attributes) override {
        if (m_native) {
            m_unit = m_store.AddUnit(name);
            m_unit->FAttributes = attributes;
        } else {
            m_unit = m_store.FUnits.Find(name);
        }
    }

    void constant(const LangRecord& r) override {
        noteId(m_maxConst, r.id);
        TLocConstant* item = nullptr;
        if (m_native) {
            const std::int32_t id = repaired(m_constIds, r.id);
            item = m_unit->AddConstant(r.name, id, r.stringId);
        } else if (m_byName) {
            item = m_unit != nullptr ? m_unit->FConstants.Find(r.name) : nullptr;
        } else {
            item = find(m_constById, r.id);
        }
        if (item != nullptr) {
            apply(*item, r);
        }
    }

    void endUnits() override {
        finishSection(m_maxConst, m_file.FConstMaxID, m_store.AllConstants());
    }

    void beginForm(const std::u16string& name, std::uint16_t attributes) override {
        m_component = nullptr;
        m_inComponent = false;
        if (m_native) {
            m_form = m_store.AddForm(name);
            m_form->FAttributes = attributes;
        } else {
            m_form = m_store.FForms.Find(name);
        }
    }

    void beginComponent(const std::u16string& name, std::uint16_t attributes) override {
        m_inComponent = true;
        if (m_native) {
            m_component = m_form->AddComponent(name);
            m_component->FAttributes = attributes;
        } else {
            m_component = m_form != nullptr ? m_form->FComponents.Find(name) : nullptr;
        }
    }

    void property(const LangRecord& r) override {
        noteId(m_maxProp, r.id);
        TLocProperty* item = nullptr;
        TLocComponent* owner = m_inComponent ? m_component : m_form;
        if (m_native) {
            const std::int32_t id = repaired(m_propIds, r.id);
            item = owner->AddProperty(r.name, id, r.type());
        } else {
            item = m_byName ? (owner != nullptr ? owner->FProperties.Find(r.name) : nullptr)
                            : find(m_propById, r.id);
            // A value of another type than the program's property is of no use.
            if (item != nullptr && item->FValues.FValueType != r.type()) {
                item = nullptr;
            }
        }
        if (item != nullptr) {
            apply(*item, r);
        }
    }

    void endForms() override {
        finishSection(m_maxProp, m_file.FPropertyMaxID, m_store.AllProperties());
    }

    void beginGroup(const std::u16string& name, std::uint16_t attributes) override {
        m_groupName = name;
        if (m_native) {
            m_group = m_store.AddExtGroup(name);
            m_group->FAttributes = attributes;
        } else {
            m_group = m_store.FExtGroups.Find(name);
        }
    }

    void extItem(const LangRecord& r) override {
        noteId(m_maxExt, r.id);
        TLocExtItem* item = nullptr;
        if (m_native) {
            const std::int32_t id = repaired(m_extIds, r.id);
            item = m_group->AddItem(r.name, id);
        } else if (m_byName) {
            item = m_group != nullptr ? m_group->FExternalItems.Find(r.name) : nullptr;
        } else {
            item = find(m_extById, r.id);
        }
        if (item != nullptr) {
            apply(*item, r);
        }
    }

    void endGroups() override {
        finishSection(m_maxExt, m_file.FExtItemMaxID, m_store.AllExtItems());
    }

private:
    template <class T>
    static T* find(const std::unordered_map<std::int32_t, T*>& map, std::int32_t id) {
        const auto it = map.find(id);
        return it == map.end() ? nullptr : it->second;
    }

    static void noteId(std::int64_t& max, std::int32_t id) {
        if (id > max) {
            max = id;
        }
    }

    std::int32_t repaired(std::unordered_set<std::int32_t>& seen, std::int32_t id) const {
        if (id == 0) {
            return 0;
        }
        const bool fresh = seen.insert(id).second;
        return (m_repair && !fresh) ? 0 : id;
    }

    void apply(TLocItem& item, const LangRecord& r) {
        TLocValue& value = *item.FValues[m_valueIndex];
        if (!r.hasValue && isNumericType(r.type())) {
            value.SetValue(u"0");
        } else {
            value.SetValue(r.text);
        }
        value.FModified = std::bit_cast<double>(r.timeBits);
        value.FValueVersion = (m_native && r.version < 0) ? m_file.FVersion : r.version;
        value.FAttributes = r.attributes;
        value.SetLangID(static_cast<std::uint16_t>(m_file.FLocale));
        if (m_valueIndex != 0 && item.FValues[0]->FValueVersion > value.FValueVersion &&
            (value.FAttributes & kValueAttrShowOutdated) != 0) {
            value.FAttributes &= static_cast<std::uint16_t>(~kValueAttrShowOutdated);
        }
    }

    template <class T>
    void finishSection(std::int64_t maxRead, std::int32_t& maxField, const std::vector<T*>& items) {
        if (maxRead > maxField) {
            maxField = static_cast<std::int32_t>(maxRead);
        }
        if (!m_native) {
            return;
        }
        for (T* item : items) {
            // Past the largest ID there is none left to give; such items keep ID 0.
            if (item->FID == 0 && maxField < INT32_MAX) {
                item->FID = ++maxField;
            }
        }
    }

    TLangFile& m_file;
    TLocStorage& m_store;
    bool m_native;
    std::size_t m_valueIndex;
    bool m_byName;
    bool m_repair;

    TLocUnit* m_unit = nullptr;
    TLocForm* m_form = nullptr;
    TLocComponent* m_component = nullptr;
    bool m_inComponent = false;
    TLocExtGroup* m_group = nullptr;
    std::u16string m_groupName;

    std::unordered_map<std::int32_t, TLocConstant*> m_constById;
    std::unordered_map<std::int32_t, TLocProperty*> m_propById;
    std::unordered_map<std::int32_t, TLocExtItem*> m_extById;
    std::unordered_set<std::int32_t> m_constIds;
    std::unordered_set<std::int32_t> m_propIds;
    std::unordered_set<std::int32_t> m_extIds;
    std::int64_t m_maxConst = INT64_MIN;
    std::int64_t m_maxProp = INT64_MIN;
    std::int64_t m_maxExt = INT64_MIN;
};

LangRecord recordOf(const TLocItem& item, std::size_t langIndex) {
    const TLocValue& value = *item.FValues[langIndex];
    LangRecord r;
    r.name = item.FName;
    r.attributes = value.FAttributes;
    r.id = item.FID;
    r.typeWord = static_cast<std::uint32_t>(item.FValues.FValueType);
    r.text = value.Value();
    double number = 0;
    if (item.FValues.FValueType == TLocValueType::ptFloat && textToFloat(r.text, number)) {
        r.floatBits = std::bit_cast<std::uint64_t>(number);
    }
    r.version = value.FValueVersion;
    r.timeBits = std::bit_cast<std::uint64_t>(value.FModified);
    return r;
}

}  // namespace

std::unique_ptr<TLangFile> TLangFile::CreateInMem() {
    return std::unique_ptr<TLangFile>(new TLangFile());
}

std::unique_ptr<TLangFile> TLangFile::Create(const std::filesystem::path& fileName, bool readOnly) {
    std::unique_ptr<TLangFile> file(new TLangFile());
    file->FFileName = fileName;
    file->FReadOnly = readOnly;
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) {
        return file;
    }
    if (!readOnly) {
        FileHandle probe(fileName, O_RDWR);
        if (!probe.ok() || !probe.lock(LOCK_EX)) {
            file->FReadOnly = true;
        }
    }
    std::vector<std::byte> head = readShared(fileName, kCompressedHeaderProbe);
    ByteStream stream(std::move(head));
    if (TLZCompressor::IsCompressed(stream)) {
        // Only the head is decompressed: enough for the header, cheap for a folder listing.
        ByteStream plain;
        TLZCompressor compressor;
        compressor.SetSource(&stream);
        compressor.SetDest(&plain);
        compressor.DecompressPrefix();
        plain.seek(0);
        file->SetHeader(readLangHeader(plain));
        file->FCompressed = true;
    } else {
        if (stream.size() == kCompressedHeaderProbe) {
            // A header is at most its fixed fields and two names of 65535 bytes and units.
            constexpr std::size_t kLongestHeader = 40 + 2 + 0xFFFF + 2 + 2 * 0xFFFF;
            stream = ByteStream(readShared(fileName, kLongestHeader));
        }
        file->SetHeader(readLangHeader(stream));
        file->FCompressed = false;
    }
    file->m_headerRead = true;
    return file;
}

TLangFile::~TLangFile() {
    Unlock();
}

LangFileHeader TLangFile::Header() const {
    LangFileHeader h;
    h.formatVersion = FFormatVersion;
    h.version = FVersion;
    h.build = FBuild;
    h.locale = static_cast<std::uint16_t>(FLocale);
    h.basedOnLangId = FBasedOnLangID;
    h.englishName = FLangEnglishName;
    h.localizedName = FLangLocalizedName;
    // The stored word is kept when it still says the same, so files are rewritten unchanged.
    h.isNative = (FIsNativeWord != 0) == FIsNative ? FIsNativeWord : (FIsNative ? 1 : 0);
    h.attributes = FAttributes;
    h.constMaxId = FConstMaxID;
    h.propertyMaxId = FPropertyMaxID;
    h.extItemMaxId = FExtItemMaxID;
    return h;
}

void TLangFile::SetHeader(const LangFileHeader& h) {
    FFormatVersion = h.formatVersion;
    FVersion = h.version;
    FBuild = h.build;
    FLocale = h.locale;
    FBasedOnLangID = h.basedOnLangId;
    FLangEnglishName = h.englishName;
    FLangLocalizedName = h.localizedName;
    FIsNativeWord = h.isNative;
    FIsNative = h.isNative != 0;
    FAttributes = h.attributes;
    FConstMaxID = h.constMaxId;
    FPropertyMaxID = h.propertyMaxId;
    FExtItemMaxID = h.extItemMaxId;
}

std::size_t TLangFile::LoadHeaderFromStream(ByteStream& stream, bool keepFields) {
    LangFileHeader header;
    std::size_t end = 0;
    if (TLZCompressor::IsCompressed(stream)) {
        ByteStream plain;
        TLZCompressor compressor;
        compressor.SetSource(&stream);
        compressor.SetDest(&plain);
        compressor.Decompress();
        plain.seek(0);
        header = readLangHeader(plain);
        end = plain.position();
        FCompressed = true;
    } else {
        header = readLangHeader(stream);
        end = stream.position();
        FCompressed = false;
    }
    if (!keepFields) {
        SetHeader(header);
    }
    m_headerRead = true;
    return end;
}

void TLangFile::Load(TLocStorage* storage, int langIndex, TLFLoadOptions options) {
    checkTarget(storage, langIndex);
    const auto tooLarge = [this] {
        return EFOpenError("Cannot load \"" + FFileName.string() +
                           "\": a language file of more than " +
                           std::to_string(kMaxLangFileSize >> 20) + " MiB is not plausible");
    };
    // Refused by its size before any of it is read; checked again after reading, as the file
    // may have grown in between.
    std::error_code sizeError;
    const std::uintmax_t size = std::filesystem::file_size(FFileName, sizeError);
    if (!sizeError && size > kMaxLangFileSize) {
        throw tooLarge();
    }
    std::vector<std::byte> bytes = readShared(FFileName, kMaxLangFileSize + 1);
    if (bytes.size() > kMaxLangFileSize) {
        throw tooLarge();
    }
    ByteStream stream(std::move(bytes));
    const bool keepFields = m_headerRead;
    if (langIndex < 0) {
        storage->Clear();
    }
    ByteStream plain;
    ByteStream* source = &stream;
    FCompressed = TLZCompressor::IsCompressed(stream);
    if (FCompressed) {
        TLZCompressor compressor;
        compressor.SetSource(&stream);
        compressor.SetDest(&plain);
        compressor.Decompress();
        plain.seek(0);
        source = &plain;
    }
    const LangFileHeader header = readLangHeader(*source);
    if (!keepFields) {
        SetHeader(header);
    }
    m_headerRead = true;
    loadBody(*source, header.formatVersion, *storage, langIndex, options);
}

void TLangFile::LoadFromStream(ByteStream& stream, TLocStorage* storage, TLFLoadOptions options,
                               int langIndex) {
    checkTarget(storage, langIndex);
    if (langIndex < 0) {
        storage->Clear();
    }
    ByteStream plain;
    ByteStream* source = &stream;
    FCompressed = TLZCompressor::IsCompressed(stream);
    if (FCompressed) {
        TLZCompressor compressor;
        compressor.SetSource(&stream);
        compressor.SetDest(&plain);
        compressor.Decompress();
        plain.seek(0);
        source = &plain;
    }
    const LangFileHeader header = readLangHeader(*source);
    SetHeader(header);
    m_headerRead = true;
    loadBody(*source, header.formatVersion, *storage, langIndex, options);
}

void TLangFile::loadBody(ByteStream& stream, std::uint16_t formatVersion, TLocStorage& storage,
                         int langIndex, TLFLoadOptions options) {
    if (langIndex < 0) {
        storage.FMainLangID = static_cast<std::uint16_t>(FLocale);
        storage.FLocales[0] = FLocale;
        FLangIndex = 0;
    } else {
        FLangIndex = langIndex;
    }
    StoreLoader loader(*this, storage, langIndex, options);
    readLangBody(stream, formatVersion, loader);
}

void TLangFile::IncreaseVersion() {
    SetVersion(FVersion == INT32_MAX ? FVersion : FVersion + 1);
}

void TLangFile::SetVersion(std::int32_t version) {
    if (version != FVersion) {
        FVersion = version;
        FBuild = 0;
    }
}

void TLangFile::UpdateFormatVersion() {
    FFormatVersion = kLangFormatVersion;
}

void TLangFile::Lock() {
    if (FHandle >= 0) {
        return;
    }
    FileHandle file(FFileName, O_RDONLY);
    if (!file.ok() || !file.lock(LOCK_SH)) {
        throw ELangFileError("Can not open language file exclusively");
    }
    FHandle = file.release();
}

void TLangFile::Unlock() noexcept {
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
}

void TLangFile::SaveHeader(ByteStream& stream) {
    if (FFormatVersion < 4) {
        FFormatVersion = 4;
    }
    if (FModified && FFormatVersion > 4) {
        ++FBuild;
    }
    writeLangHeader(stream, Header());
}

void TLangFile::SaveOwnSection(ByteStream& stream, const TLocStorage& storage,
                               std::size_t langIndex) {
    if (langIndex >= storage.LanguageCount()) {
        throw ELangFileError("Invalid index");
    }
    LangFileImage image;
    image.header = Header();
    for (const auto& unit : storage.FUnits) {
        LangUnitRecord u{unit->FName, unit->FAttributes, {}};
        for (const auto& constant : unit->FConstants) {
            LangRecord r = recordOf(*constant, langIndex);
            r.stringId = constant->FStringID;
            u.constants.push_back(std::move(r));
        }
        image.units.push_back(std::move(u));
    }
    for (const auto& form : storage.FForms) {
        LangFormRecord f{form->FName, form->FAttributes, {}, {}};
        for (const auto& property : form->FProperties) {
            f.properties.push_back(recordOf(*property, langIndex));
        }
        for (const auto& component : form->FComponents) {
            LangComponentRecord c{component->FName, component->FAttributes, {}};
            for (const auto& property : component->FProperties) {
                c.properties.push_back(recordOf(*property, langIndex));
            }
            f.components.push_back(std::move(c));
        }
        image.forms.push_back(std::move(f));
    }
    for (const auto& group : storage.FExtGroups) {
        LangGroupRecord g{group->FName, group->FAttributes, {}};
        for (const auto& item : group->FExternalItems) {
            g.items.push_back(recordOf(*item, langIndex));
        }
        image.groups.push_back(std::move(g));
    }
    writeLangBody(stream, image);
}

void TLangFile::SaveToStream(ByteStream& stream, const TLocStorage& storage,
                             std::size_t langIndex) {
    if (langIndex >= storage.LanguageCount()) {
        throw ELangFileError("Invalid index");
    }
    SaveHeader(stream);
    SaveOwnSection(stream, storage, langIndex);
}

void TLangFile::Save(const TLocStorage& storage, std::size_t langIndex) {
    if (FFileName.empty()) {
        throw EFOpenError("Cannot save a language file that has no file name");
    }
    if (FReadOnly) {
        throw EFOpenError("Cannot write file \"" + FFileName.string() + "\": it is read-only");
    }
    ByteStream plain;
    SaveToStream(plain, storage, langIndex);
    const std::vector<std::byte> bytes = FCompressed ? lzCompress(plain.bytes()) : plain.data();

    // Our own hold is released for the write; another holder makes the write fail.
    const bool wasLocked = FHandle >= 0;
    Unlock();
    {
        std::error_code ec;
        if (std::filesystem::exists(FFileName, ec)) {
            FileHandle guard(FFileName, O_RDWR);
            if (!guard.ok() || !guard.lock(LOCK_EX)) {
                if (wasLocked) {
                    Lock();
                }
                throw EFOpenError("Cannot write file \"" + FFileName.string() +
                                  "\": it is in use or not writable");
            }
            writeFileBytes(FFileName, bytes);
        } else {
            writeFileBytes(FFileName, bytes);
        }
    }
    if (wasLocked) {
        Lock();
    }
    FModified = false;
}

}  // namespace runemeter
