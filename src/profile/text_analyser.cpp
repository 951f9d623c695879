#include "profile/text_analyser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "profile/decode.h"
#include "profile/large_buffer.h"

namespace runemeter {

namespace {

constexpr std::size_t kMaxFlushEvery = (std::size_t{1} << 31) - 1;
constexpr std::size_t kReadStep = std::size_t{1} << 20;
// read() moves at most about 2 GiB per call on Linux; ask for less and loop.
constexpr std::size_t kMaxReadChunk = std::size_t{1} << 30;

// Closes the descriptor on every way out of AnalyseFile.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    [[nodiscard]] int get() const { return m_fd; }

private:
    int m_fd;
};

std::string errorText(int err) {
    return std::generic_category().message(err);
}

// High bit of each 16-bit lane set where the lane equals the unit in every lane of pattern.
// Exact for every lane (no borrow runs between lanes).
std::uint64_t lanesEqual(std::uint64_t word, std::uint64_t pattern) {
    constexpr std::uint64_t kLow15 = 0x7FFF7FFF7FFF7FFFULL;
    const std::uint64_t x = word ^ pattern;
    const std::uint64_t nonZero = ((x & kLow15) + kLow15) | x;
    return ~nonZero & ~kLow15;
}

}  // namespace

std::int64_t countCrLf(std::u16string_view text) {
    const std::size_t n = text.size();
    if (n < 2) {
        return 0;
    }
    const char16_t* p = text.data();
    constexpr std::uint64_t kCr = 0x000D000D000D000DULL;
    constexpr std::uint64_t kLf = 0x000A000A000A000AULL;
    std::int64_t pairs = 0;
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight CR candidates per step, summed in 16-bit lanes that are emptied before they
    // could overflow (madd below reads them as signed).
    const __m128i cr = _mm_set1_epi16(0x0D);
    const __m128i lf = _mm_set1_epi16(0x0A);
    while (i + 9 <= n) {
        const std::size_t steps = std::min<std::size_t>((n - 1 - i) / 8, 32767);
        __m128i sums = _mm_setzero_si128();
        for (std::size_t k = 0; k < steps; ++k, i += 8) {
            const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
            // A match is all ones (-1) in its lane: subtracting it adds one.
            sums = _mm_sub_epi16(
                sums, _mm_and_si128(_mm_cmpeq_epi16(here, cr), _mm_cmpeq_epi16(next, lf)));
        }
        alignas(16) std::int32_t quads[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(quads), _mm_madd_epi16(sums, _mm_set1_epi16(1)));
        pairs += std::int64_t{quads[0]} + quads[1] + quads[2] + quads[3];
    }
#endif
    // Four CR candidates per step: the word at i against CR, the word one unit later
    // against LF; each matching lane pair is one CR LF.
    for (; i + 5 <= n; i += 4) {
        std::uint64_t here;
        std::uint64_t next;
        std::memcpy(&here, p + i, sizeof here);
        std::memcpy(&next, p + i + 1, sizeof next);
        // At most one bit per lane, at its top: fold the four lanes into the top one by a
        // multiply (a plain popcount would be a library call on baseline x86-64).
        const std::uint64_t hits = (lanesEqual(here, kCr) & lanesEqual(next, kLf)) >> 15;
        pairs += static_cast<std::int64_t>((hits * 0x0001000100010001ULL) >> 48);
    }
    for (; i + 1 < n; ++i) {
        pairs += (p[i] == u'\r' && p[i + 1] == u'\n') ? 1 : 0;
    }
    return pairs;
}

std::int64_t countCodeUnits(std::u16string_view text, CharCountTable& counts) {
    const std::int64_t crBefore = counts[u'\r'];
    for (const char16_t unit : text) {
        ++counts[unit];
    }
    // Most texts have no CR at all; only then is the pair search worth its pass.
    return counts[u'\r'] != crBefore ? countCrLf(text) : 0;
}

CodeUnitCounter::CodeUnitCounter(std::size_t flushEvery, std::size_t interleaveFrom)
    : m_flushEvery(std::clamp<std::size_t>(flushEvery, 4, kMaxFlushEvery)),
      m_interleaveFrom(interleaveFrom) {}

std::int64_t CodeUnitCounter::count(std::u16string_view text, CharCountTable& counts) {
    if (text.size() < m_interleaveFrom) {
        return countCodeUnits(text, counts);
    }
    if (!m_lanes) {
        m_lanes = std::make_unique<LaneTables>();  // value-initialised: all zero
    }
    auto& lane0 = (*m_lanes)[0];
    auto& lane1 = (*m_lanes)[1];
    auto& lane2 = (*m_lanes)[2];
    auto& lane3 = (*m_lanes)[3];

    const std::int64_t crBefore = counts[u'\r'];
    const char16_t* p = text.data();
    std::size_t remaining = text.size();
    while (remaining > 0) {
        const std::size_t chunk = std::min(remaining, m_flushEvery);
        std::size_t i = 0;
        for (; i + 4 <= chunk; i += 4) {
            ++lane0[p[i]];
            ++lane1[p[i + 1]];
            ++lane2[p[i + 2]];
            ++lane3[p[i + 3]];
        }
        for (; i < chunk; ++i) {
            ++lane0[p[i]];
        }
        flushInto(counts);
        p += chunk;
        remaining -= chunk;
    }
    return counts[u'\r'] != crBefore ? countCrLf(text) : 0;
}

void CodeUnitCounter::flushInto(CharCountTable& counts) {
    auto& lanes = *m_lanes;
    for (std::size_t c = 0; c < counts.size(); ++c) {
        counts[c] +=
            static_cast<std::int64_t>(lanes[0][c]) + lanes[1][c] + lanes[2][c] + lanes[3][c];
    }
    for (auto& lane : lanes) {
        lane.fill(0);
    }
}

void cutHeader(std::u16string& text, std::u16string_view marker) {
    if (marker.empty()) {
        return;
    }
    const std::size_t at = std::u16string_view(text).find(marker);
    if (at == std::u16string_view::npos) {
        return;
    }
    // The first unit of the marker goes with the header; the rest of the marker stays.
    text.erase(0, at + 1);
}

TextAnalyser::TextAnalyser(AnalysisState& state, AnalysisObserver& observer)
    : m_state(state), m_observer(observer) {}

std::size_t TextAnalyser::readWholeFile(int fd, std::size_t sizeHint) {
    // Room for one byte more than announced, so a file of the expected size ends with a zero
    // read and no growth; a file that grows meanwhile is read on, one that shrinks ends early.
    if (sizeHint >= m_readBuffer.max_size() - 1) {
        throw std::bad_alloc();
    }
    const std::size_t wanted = sizeHint + 1;
    if (m_readBuffer.capacity() < wanted) {
        std::vector<std::byte>().swap(m_readBuffer);  // free first: never hold two buffers
        m_readBuffer.reserve(wanted);
        adviseLargeBuffer(m_readBuffer.data(), m_readBuffer.capacity());
    }
    std::size_t got = 0;
    for (;;) {
        if (got == m_readBuffer.size()) {
            // Widen a step at a time: the zero fill of a step is still in cache when read()
            // overwrites it. Past the capacity the vector grows (and copies) by itself.
            const std::size_t size = m_readBuffer.size();
            if (size > m_readBuffer.max_size() / 2) {
                throw std::bad_alloc();
            }
            const std::size_t roomLeft = m_readBuffer.capacity() - size;
            m_readBuffer.resize(
                size + (roomLeft > 0 ? std::min(roomLeft, kReadStep) : std::max(size, kReadStep)));
        }
        const std::size_t ask = std::min(m_readBuffer.size() - got, kMaxReadChunk);
        const ssize_t n = ::read(fd, m_readBuffer.data() + got, ask);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category());
        }
        if (n == 0) {
            return got;
        }
        got += static_cast<std::size_t>(n);
    }
}

bool TextAnalyser::AnalyseFile(const std::filesystem::path& fileName) {
    // O_NONBLOCK: opening a FIFO must never wait for a writer; it is refused below anyway.
    const FileDescriptor file(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        const int err = errno;
        if (err == ENOENT || err == ENOTDIR) {
            return false;  // gone since it was found: skipped without a message
        }
        m_observer.failedToRead(fileName, errorText(err));
        return false;
    }
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        m_observer.failedToRead(fileName, errorText(errno));
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        m_observer.failedToRead(fileName, "is a folder, not a file");
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        m_observer.failedToRead(fileName, "is not a regular file");
        return false;
    }

    try {
        const std::size_t size =
            readWholeFile(file.get(), static_cast<std::size_t>(std::max<off_t>(info.st_size, 0)));
        if (size == 0) {
            m_observer.fileIsEmpty(fileName);
            return false;
        }
        return AnalyseBuffer(std::span<const std::byte>(m_readBuffer.data(), size));
    } catch (const std::bad_alloc&) {
        m_observer.failedToRead(fileName, "not enough memory to read the whole file");
    } catch (const std::system_error& e) {
        m_observer.failedToRead(fileName, errorText(e.code().value()));
    } catch (const std::exception& e) {
        m_observer.failedToRead(fileName, e.what());
    }
    return false;
}

bool TextAnalyser::AnalyseBuffer(std::span<const std::byte> data) {
    if (data.size() < 3) {
        return true;  // counts as read; too short to hold a signature and text
    }
    const TextEncoding encoding = detectEncoding(data);
    // Only decoding and the first long text can run out of memory, and both come before any
    // count or counter changes, so a failure leaves the run's figures as they were.
    decodeText(data, encoding, m_state.SourceText);
    cutHeader(m_state.SourceText, m_headerToCut);
    m_state.CrLfCount += m_counter.count(m_state.SourceText, *m_state.CharCounts);
    switch (encoding) {
        case TextEncoding::Utf8:
            ++m_state.Utf8FileCount;
            break;
        case TextEncoding::Utf16Be:
            ++m_state.BigEndianFileCount;
            ++m_state.UnicodeFileCount;
            break;
        case TextEncoding::Utf16Le:
            ++m_state.UnicodeFileCount;
            break;
        case TextEncoding::Ansi:
            break;
    }
    return true;
}

}  // namespace runemeter
