// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/zip_reader.h"

#include <fcntl.h>
#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <new>
#include <optional>
#include <system_error>

namespace runemeter {

namespace {

// Members are inflated in pieces of this size, so a member that claims more than it holds, or
// holds more than it claims, never gets memory it does not fill.
constexpr std::size_t kReadChunk = std::size_t{1} << 16;

std::string zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

std::string zipErrorText(zip_error_t* error) {
    return error != nullptr ? std::string(zip_error_strerror(error)) : std::string("unknown error");
}

struct ZipFileCloser {
    void operator()(zip_file_t* file) const {
        if (file != nullptr)
            zip_fclose(file);
    }
};

// The data ranges of the entries, checked before anything is unpacked. Entries that share data
// let a small archive unpack to any size (every entry reads the same bytes again), so an
// archive whose entries overlap, or whose entries point outside its data, is refused whole.
// libzip keeps the offsets of the local headers to itself: the directory is read here once
// more, and taken only when it is the one libzip read (same count, sizes and CRCs).
namespace ranges {

constexpr std::uint32_t kLocalHeader = 0x04034b50;
constexpr std::uint32_t kDirectoryEntry = 0x02014b50;
constexpr std::uint32_t kEndRecord = 0x06054b50;
constexpr std::uint32_t kZip64Locator = 0x07064b50;
constexpr std::uint32_t kZip64EndRecord = 0x06064b50;
constexpr std::size_t kLocalHeaderSize = 30;
constexpr std::size_t kEntrySize = 46;
constexpr std::size_t kEndRecordSize = 22;
constexpr std::uint32_t kAllOnes32 = 0xFFFFFFFFu;

std::uint64_t le(const unsigned char* p, int bytes) {
    std::uint64_t value = 0;
    for (int i = bytes - 1; i >= 0; --i)
        value = (value << 8) | p[i];
    return value;
}

class File {
public:
    explicit File(const std::filesystem::path& path) : m_fd(::open(path.c_str(), O_RDONLY)) {
        if (m_fd >= 0) {
            const off_t end = ::lseek(m_fd, 0, SEEK_END);
            m_size = end > 0 ? static_cast<std::uint64_t>(end) : 0;
        }
    }
    ~File() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    [[nodiscard]] bool isOpen() const { return m_fd >= 0; }
    [[nodiscard]] std::uint64_t size() const { return m_size; }
    /// Reads exactly count bytes at offset; false when they are not all there.
    bool read(std::uint64_t offset, std::size_t count, unsigned char* out) const {
        if (offset > m_size || count > m_size - offset)
            return false;
        while (count > 0) {
            const ssize_t got = ::pread(m_fd, out, count, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            out += got;
            offset += static_cast<std::uint64_t>(got);
            count -= static_cast<std::size_t>(got);
        }
        return true;
    }

private:
    int m_fd;
    std::uint64_t m_size = 0;
};

struct Entry {
    std::uint64_t offset = 0;  ///< of the local header
    std::uint64_t compressedSize = 0;
    std::uint32_t crc = 0;
    std::uint16_t nameLength = 0;
};

struct Directory {
    std::uint64_t start = 0;  ///< where the directory begins: every entry's data lies before it
    std::vector<Entry> entries;
};

// The directory that the end record at `at` describes, when it is whole.
std::optional<Directory> directoryAt(const File& file, std::uint64_t at) {
    unsigned char end[kEndRecordSize];
    if (!file.read(at, sizeof end, end) || le(end, 4) != kEndRecord)
        return std::nullopt;
    std::uint64_t count = le(end + 10, 2);
    std::uint64_t size = le(end + 12, 4);
    std::uint64_t start = le(end + 16, 4);
    unsigned char locator[20];
    if (at >= sizeof locator && file.read(at - sizeof locator, sizeof locator, locator) &&
        le(locator, 4) == kZip64Locator) {
        unsigned char record[56];
        if (!file.read(le(locator + 8, 8), sizeof record, record) ||
            le(record, 4) != kZip64EndRecord)
            return std::nullopt;
        count = le(record + 32, 8);
        size = le(record + 40, 8);
        start = le(record + 48, 8);
    }
    if (start > at || size > at - start || count > size / kEntrySize)
        return std::nullopt;
    std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
    if (!file.read(start, bytes.size(), bytes.data()))
        return std::nullopt;
    Directory directory;
    directory.start = start;
    directory.entries.reserve(static_cast<std::size_t>(count));
    std::size_t pos = 0;
    for (std::uint64_t i = 0; i < count; ++i) {
        if (bytes.size() - pos < kEntrySize || le(&bytes[pos], 4) != kDirectoryEntry)
            return std::nullopt;
        const unsigned char* e = &bytes[pos];
        const std::size_t nameLength = le(e + 28, 2);
        const std::size_t extraLength = le(e + 30, 2);
        const std::size_t commentLength = le(e + 32, 2);
        if (bytes.size() - pos - kEntrySize < nameLength + extraLength + commentLength)
            return std::nullopt;
        Entry entry;
        entry.crc = static_cast<std::uint32_t>(le(e + 16, 4));
        entry.compressedSize = le(e + 20, 4);
        entry.offset = le(e + 42, 4);
        entry.nameLength = static_cast<std::uint16_t>(nameLength);
        // Fields too large for 32 bits are in the ZIP64 extra field, in this order.
        const bool sizeInExtra = le(e + 24, 4) == kAllOnes32;
        const bool compressedInExtra = entry.compressedSize == kAllOnes32;
        const bool offsetInExtra = entry.offset == kAllOnes32;
        const unsigned char* extra = e + kEntrySize + nameLength;
        for (std::size_t x = 0; x + 4 <= extraLength;) {
            const std::size_t length = le(extra + x + 2, 2);
            if (x + 4 + length > extraLength)
                break;
            if (le(extra + x, 2) == 0x0001) {
                const unsigned char* field = extra + x + 4;
                const unsigned char* fieldEnd = field + length;
                field += sizeInExtra ? 8 : 0;
                if (compressedInExtra && field + 8 <= fieldEnd) {
                    entry.compressedSize = le(field, 8);
                    field += 8;
                }
                if (offsetInExtra && field + 8 <= fieldEnd)
                    entry.offset = le(field, 8);
                break;
            }
            x += 4 + length;
        }
        directory.entries.push_back(entry);
        pos += kEntrySize + nameLength + extraLength + commentLength;
    }
    return directory;
}

// Whether the directory holds the entries libzip read.
bool sameAsLibzip(const Directory& directory, zip_t* archive, std::uint64_t count) {
    if (directory.entries.size() != count)
        return false;
    for (std::uint64_t i = 0; i < count; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(archive, i, 0, &st) != 0)
            return false;
        const Entry& entry = directory.entries[static_cast<std::size_t>(i)];
        if (((st.valid & ZIP_STAT_COMP_SIZE) != 0 && st.comp_size != entry.compressedSize) ||
            ((st.valid & ZIP_STAT_CRC) != 0 && st.crc != entry.crc))
            return false;
    }
    return true;
}

std::string memberNumber(std::size_t index) {
    return std::to_string(index + 1);
}

// Empty when every entry's data (local header and compressed data) lies before the directory
// and no two overlap; else why the archive is refused.
std::string check(const std::filesystem::path& path, zip_t* archive, std::uint64_t count) {
    if (count == 0)
        return {};
    const File file(path);
    if (!file.isOpen())
        return "the archive cannot be read";
    // The end record is in the last 64 KiB + 22 bytes (its comment is at most 64 KiB); the
    // last one that describes libzip's directory is taken.
    const std::uint64_t tailStart = file.size() - std::min<std::uint64_t>(file.size(), 65557);
    std::vector<unsigned char> tail(static_cast<std::size_t>(file.size() - tailStart));
    if (!file.read(tailStart, tail.size(), tail.data()))
        return "the archive cannot be read";
    std::optional<Directory> directory;
    for (std::size_t at = tail.size() < kEndRecordSize ? 0 : tail.size() - kEndRecordSize + 1;
         !directory && at-- > 0;) {
        if (le(&tail[at], 4) == kEndRecord) {
            directory = directoryAt(file, tailStart + at);
            if (directory && !sameAsLibzip(*directory, archive, count))
                directory.reset();
        }
    }
    if (!directory)
        return "the archive's directory cannot be checked";

    struct Range {
        std::uint64_t begin;
        std::uint64_t end;
        std::size_t entry;
    };
    std::vector<Range> ranges;
    ranges.reserve(directory->entries.size());
    const std::uint64_t limit = directory->start;
    for (std::size_t i = 0; i < directory->entries.size(); ++i) {
        const Entry& entry = directory->entries[i];
        const std::string outside = "an entry lies outside the archive: member " + memberNumber(i);
        unsigned char header[kLocalHeaderSize];
        if (entry.offset > limit || limit - entry.offset < kLocalHeaderSize ||
            !file.read(entry.offset, sizeof header, header))
            return outside;
        // The local header's own name and extra lengths; without a header (the member is
        // damaged, which its reading will say) the directory's name length.
        const std::uint64_t headerSize =
            kLocalHeaderSize + (le(header, 4) == kLocalHeader
                                    ? le(header + 26, 2) + le(header + 28, 2)
                                    : std::uint64_t{entry.nameLength});
        const std::uint64_t room = limit - entry.offset;
        if (headerSize > room || entry.compressedSize > room - headerSize)
            return outside;
        ranges.push_back({entry.offset, entry.offset + headerSize + entry.compressedSize, i});
    }
    std::sort(ranges.begin(), ranges.end(), [](const Range& a, const Range& b) {
        return a.begin != b.begin ? a.begin < b.begin : a.entry < b.entry;
    });
    const Range* furthest = nullptr;  // of the ranges so far, the one that ends last
    for (const Range& range : ranges) {
        if (furthest != nullptr && range.begin < furthest->end) {
            const auto [first, second] = std::minmax(furthest->entry, range.entry);
            return "entries overlap: members " + memberNumber(first) + " and " +
                   memberNumber(second) + " share data";
        }
        if (furthest == nullptr || range.end > furthest->end)
            furthest = &range;
    }
    return {};
}

}  // namespace ranges

}  // namespace

struct TUnZipReader::Impl {
    zip_t* archive = nullptr;
    std::int64_t entries = 0;
    // The member being unpacked by readMember.
    std::unique_ptr<zip_file_t, ZipFileCloser> member;
    bool sizeKnown = false;
    std::uint64_t size = 0;
    std::uint64_t filled = 0;
    std::uint64_t limit = 0;
};

std::uint64_t TUnZipReader::memberLimitFor(std::uint64_t physicalMemory) {
    return std::clamp(physicalMemory / 8, kSmallestMemberLimit, kDefaultMemberLimit);
}

std::uint64_t TUnZipReader::memberLimitForThisMachine() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return kDefaultMemberLimit;
    return memberLimitFor(static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize));
}

TUnZipReader::TUnZipReader() : m_impl(std::make_unique<Impl>()) {}

void TUnZipReader::memberError(InputErrorCode code, std::string message) {
    m_error = {code, static_cast<std::size_t>(std::int64_t{m_member} + 1), std::move(message)};
}

TUnZipReader::~TUnZipReader() {
    close();
}

bool TUnZipReader::open(const std::filesystem::path& archive) {
    close();
    m_path = archive;
    m_error = {};
    m_member = -1;
    std::error_code ec;
    const auto status = std::filesystem::status(archive, ec);
    if (ec || !std::filesystem::exists(status)) {
        m_error = {InputErrorCode::Unreadable, 0, "the archive does not exist"};
        return false;
    }
    // A FIFO or device named *.zip would block or never end; only regular files are archives.
    if (!std::filesystem::is_regular_file(status)) {
        m_error = {InputErrorCode::Unreadable, 0, "the archive is not a regular file"};
        return false;
    }
    int code = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    if (za == nullptr) {
        const bool unreadable = code == ZIP_ER_OPEN || code == ZIP_ER_READ || code == ZIP_ER_MEMORY;
        m_error = {unreadable ? InputErrorCode::Unreadable : InputErrorCode::Malformed, 0,
                   zipErrorText(code)};
        return false;
    }
    const zip_int64_t entries = zip_get_num_entries(za, 0);
    if (entries < 0) {
        zip_discard(za);
        m_error = {InputErrorCode::Malformed, 0, "the archive's directory cannot be read"};
        return false;
    }
    std::string refused;
    try {
        refused = ranges::check(archive, za, static_cast<std::uint64_t>(entries));
    } catch (const std::bad_alloc&) {
        refused = "not enough memory to check the archive's directory";
    }
    if (!refused.empty()) {
        zip_discard(za);
        m_error = {InputErrorCode::Malformed, 0, std::move(refused)};
        return false;
    }
    m_impl->archive = za;
    // Member numbers are 32-bit; entries beyond that are not offered.
    m_impl->entries = std::min<std::int64_t>(entries, INT32_MAX);
    return true;
}

bool TUnZipReader::isOpen() const {
    return m_impl->archive != nullptr;
}

void TUnZipReader::close() {
    closeMember();  // before the archive it reads from
    if (m_impl->archive != nullptr) {
        zip_discard(m_impl->archive);
        m_impl->archive = nullptr;
    }
    m_impl->entries = 0;
}

std::vector<ZipMemberInfo> TUnZipReader::members() const {
    std::vector<ZipMemberInfo> result;
    if (!isOpen())
        return result;
    result.reserve(static_cast<std::size_t>(std::min<std::int64_t>(m_impl->entries, 1 << 20)));
    for (std::int64_t i = 0; i < m_impl->entries; ++i) {
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(m_impl->archive, static_cast<zip_uint64_t>(i), 0, &st) != 0)
            continue;
        if ((st.valid & ZIP_STAT_NAME) == 0 || st.name == nullptr)
            continue;
        ZipMemberInfo info;
        info.index = static_cast<std::int32_t>(i);
        info.name = st.name;
        info.size = (st.valid & ZIP_STAT_SIZE) != 0 ? st.size : 0;
        info.isDirectory = !info.name.empty() && info.name.back() == '/';
        result.push_back(std::move(info));
    }
    return result;
}

ZipReadStatus TUnZipReader::openMember(std::int32_t index, std::uint64_t limit) {
    closeMember();
    m_error = {};
    m_member = index;
    if (!isOpen()) {
        memberError(InputErrorCode::Unreadable, "the archive is not open");
        return ZipReadStatus::NoSuchMember;
    }
    if (index < 0 || index >= m_impl->entries) {
        memberError(InputErrorCode::Malformed,
                    "there is no member number " + std::to_string(std::int64_t{index} + 1));
        return ZipReadStatus::NoSuchMember;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_impl->archive, static_cast<zip_uint64_t>(index), 0, &st) != 0) {
        memberError(InputErrorCode::Malformed, zipErrorText(zip_get_error(m_impl->archive)));
        zip_error_clear(m_impl->archive);
        return ZipReadStatus::NoSuchMember;
    }
    const bool sizeKnown = (st.valid & ZIP_STAT_SIZE) != 0;
    if (sizeKnown && st.size > limit) {
        memberError(InputErrorCode::TooLarge, "the member unpacks to " + std::to_string(st.size) +
                                                  " bytes, more than " + std::to_string(limit));
        return ZipReadStatus::TooLarge;
    }
    m_impl->member.reset(zip_fopen_index(m_impl->archive, static_cast<zip_uint64_t>(index), 0));
    if (!m_impl->member) {
        memberError(InputErrorCode::Malformed, zipErrorText(zip_get_error(m_impl->archive)));
        zip_error_clear(m_impl->archive);
        return ZipReadStatus::Damaged;
    }
    m_impl->sizeKnown = sizeKnown;
    m_impl->size = sizeKnown ? st.size : 0;
    m_impl->filled = 0;
    m_impl->limit = limit;
    return ZipReadStatus::Ok;
}

std::uint64_t TUnZipReader::memberSize() const {
    return m_impl->member ? m_impl->size : 0;
}

void TUnZipReader::closeMember() {
    m_impl->member.reset();
}

ZipReadStatus TUnZipReader::readMember(std::span<std::byte> buffer, std::size_t& got) {
    got = 0;
    Impl& impl = *m_impl;
    if (!impl.member) {
        return ZipReadStatus::Ok;  // nothing open: nothing more to read
    }
    const auto fail = [&](ZipReadStatus status, std::string why) {
        memberError(status == ZipReadStatus::TooLarge ? InputErrorCode::TooLarge
                                                      : InputErrorCode::Malformed,
                    std::move(why));
        closeMember();
        return status;
    };
    // Reading on to the end of the data is what makes the library check the CRC.
    const zip_int64_t n = zip_fread(impl.member.get(), buffer.data(), buffer.size());
    if (n < 0) {
        return fail(ZipReadStatus::Damaged, zipErrorText(zip_file_get_error(impl.member.get())));
    }
    if (n == 0) {
        if (impl.sizeKnown && impl.filled != impl.size) {
            return fail(ZipReadStatus::Damaged,
                        "the member holds less data than its directory entry says");
        }
        const int closeCode = zip_fclose(impl.member.release());
        if (closeCode != 0) {
            return fail(ZipReadStatus::Damaged, zipErrorText(closeCode));
        }
        return ZipReadStatus::Ok;
    }
    impl.filled += static_cast<std::uint64_t>(n);
    if (impl.sizeKnown && impl.filled > impl.size) {
        return fail(ZipReadStatus::Damaged,
                    "the member holds more data than its directory entry says");
    }
    if (impl.filled > impl.limit) {
        return fail(ZipReadStatus::TooLarge,
                    "the member unpacks to more than " + std::to_string(impl.limit) + " bytes");
    }
    got = static_cast<std::size_t>(n);
    return ZipReadStatus::Ok;
}

ZipReadStatus TUnZipReader::UnZipToBufferByIndex(std::int32_t index, std::vector<std::byte>& out,
                                                 std::uint64_t limit,
                                                 const std::function<bool()>& stopRequested) {
    out.clear();
    const ZipReadStatus opened = openMember(index, limit);
    if (opened != ZipReadStatus::Ok) {
        return opened;
    }
    try {
        std::uint64_t filled = 0;
        std::uint64_t nextPoll = kStopPollEvery;
        // A small member is read in one piece of its size and one byte more (the end of its
        // data shows as a short read); a large or unsized one in pieces.
        const std::uint64_t size = m_impl->size;
        const std::size_t chunk = m_impl->sizeKnown && size < kReadChunk
                                      ? static_cast<std::size_t>(size) + 1
                                      : kReadChunk;
        for (;;) {
            if (out.size() < filled + chunk) {
                out.resize(filled + chunk);
            }
            std::size_t got = 0;
            const ZipReadStatus status =
                readMember(std::span<std::byte>(out.data() + filled, chunk), got);
            if (status != ZipReadStatus::Ok) {
                out.clear();
                return status;
            }
            if (got == 0)
                break;
            filled += got;
            if (filled >= nextPoll && stopRequested) {
                nextPoll = filled + kStopPollEvery;
                if (stopRequested()) {
                    closeMember();
                    memberError(InputErrorCode::Unreadable, "stopped");
                    out.clear();
                    return ZipReadStatus::Stopped;
                }
            }
        }
        out.resize(static_cast<std::size_t>(filled));
    } catch (const std::bad_alloc&) {
        closeMember();
        out.clear();
        out.shrink_to_fit();
        memberError(InputErrorCode::TooLarge, "not enough memory to unpack the member");
        return ZipReadStatus::TooLarge;
    }
    return ZipReadStatus::Ok;
}

}  // namespace runemeter
