#include "suite/zip_reader.h"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <climits>
#include <new>
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

}  // namespace

struct TUnZipReader::Impl {
    zip_t* archive = nullptr;
    std::int64_t entries = 0;
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

TUnZipReader::~TUnZipReader() {
    close();
}

bool TUnZipReader::open(const std::filesystem::path& archive) {
    close();
    m_path = archive;
    m_error.clear();
    std::error_code ec;
    const auto status = std::filesystem::status(archive, ec);
    if (ec || !std::filesystem::exists(status)) {
        m_error = "the archive does not exist";
        return false;
    }
    // A FIFO or device named *.zip would block or never end; only regular files are archives.
    if (!std::filesystem::is_regular_file(status)) {
        m_error = "the archive is not a regular file";
        return false;
    }
    int code = 0;
    zip_t* za = zip_open(archive.c_str(), ZIP_RDONLY, &code);
    if (za == nullptr) {
        m_error = zipErrorText(code);
        return false;
    }
    const zip_int64_t entries = zip_get_num_entries(za, 0);
    if (entries < 0) {
        zip_discard(za);
        m_error = "the archive's directory cannot be read";
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

ZipReadStatus TUnZipReader::UnZipToBufferByIndex(std::int32_t index, std::vector<std::byte>& out,
                                                 std::uint64_t limit,
                                                 const std::function<bool()>& stopRequested) {
    out.clear();
    m_error.clear();
    if (!isOpen()) {
        m_error = "the archive is not open";
        return ZipReadStatus::NoSuchMember;
    }
    if (index < 0 || index >= m_impl->entries) {
        m_error = "there is no member number " + std::to_string(std::int64_t{index} + 1);
        return ZipReadStatus::NoSuchMember;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_impl->archive, static_cast<zip_uint64_t>(index), 0, &st) != 0) {
        m_error = zipErrorText(zip_get_error(m_impl->archive));
        zip_error_clear(m_impl->archive);
        return ZipReadStatus::NoSuchMember;
    }
    const bool sizeKnown = (st.valid & ZIP_STAT_SIZE) != 0;
    if (sizeKnown && st.size > limit) {
        m_error = "the member unpacks to " + std::to_string(st.size) + " bytes, more than " +
                  std::to_string(limit);
        return ZipReadStatus::TooLarge;
    }
    std::unique_ptr<zip_file_t, ZipFileCloser> file(
        zip_fopen_index(m_impl->archive, static_cast<zip_uint64_t>(index), 0));
    if (!file) {
        m_error = zipErrorText(zip_get_error(m_impl->archive));
        zip_error_clear(m_impl->archive);
        return ZipReadStatus::Damaged;
    }
    try {
        std::uint64_t filled = 0;
        std::uint64_t nextPoll = kStopPollEvery;
        // A small member is read in one piece of its size and one byte more (the end of its
        // data shows as a short read); a large or unsized one in pieces.
        const std::size_t chunk =
            sizeKnown && st.size < kReadChunk ? static_cast<std::size_t>(st.size) + 1 : kReadChunk;
        for (;;) {
            if (out.size() < filled + chunk) {
                out.resize(filled + chunk);
            }
            // Reading on to the end of the data is what makes the library check the CRC.
            const zip_int64_t got = zip_fread(file.get(), out.data() + filled, chunk);
            if (got < 0) {
                m_error = zipErrorText(zip_file_get_error(file.get()));
                out.clear();
                return ZipReadStatus::Damaged;
            }
            if (got == 0)
                break;
            filled += static_cast<std::uint64_t>(got);
            if (sizeKnown && filled > st.size) {
                m_error = "the member holds more data than its directory entry says";
                out.clear();
                return ZipReadStatus::Damaged;
            }
            if (filled > limit) {
                m_error = "the member unpacks to more than " + std::to_string(limit) + " bytes";
                out.clear();
                return ZipReadStatus::TooLarge;
            }
            if (filled >= nextPoll && stopRequested) {
                nextPoll = filled + kStopPollEvery;
                if (stopRequested()) {
                    m_error = "stopped";
                    out.clear();
                    return ZipReadStatus::Stopped;
                }
            }
        }
        out.resize(static_cast<std::size_t>(filled));
        if (sizeKnown && filled != st.size) {
            m_error = "the member holds less data than its directory entry says";
            out.clear();
            return ZipReadStatus::Damaged;
        }
    } catch (const std::bad_alloc&) {
        out.clear();
        out.shrink_to_fit();
        m_error = "not enough memory to unpack the member";
        return ZipReadStatus::TooLarge;
    }
    const int closeCode = zip_fclose(file.release());
    if (closeCode != 0) {
        m_error = zipErrorText(closeCode);
        out.clear();
        return ZipReadStatus::Damaged;
    }
    return ZipReadStatus::Ok;
}

}  // namespace runemeter
