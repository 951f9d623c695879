#include "profile/text_analyser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "profile/decode.h"
#include "profile/large_buffer.h"

namespace runemeter {

namespace {

constexpr std::size_t kMaxFlushEvery = (std::size_t{1} << 31) - 1;
// Room before each read piece for the at most three bytes held back from the piece before.
constexpr std::size_t kHeld = 4;
// read() moves at most about 2 GiB per call on Linux; ask for less and loop.
constexpr std::size_t kMaxReadChunk = std::size_t{1} << 30;
// Units counted between two looks at whether the run is to stop.
constexpr std::size_t kStopPollEvery = std::size_t{256} << 10;

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

bool isUtf16(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

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

CodeUnitCounter::CodeUnitCounter(std::size_t flushEvery, std::size_t interleaveFrom,
                                 std::size_t splitFrom)
    : m_flushEvery(std::clamp<std::size_t>(flushEvery, 4, kMaxFlushEvery)),
      m_interleaveFrom(interleaveFrom),
      m_splitFrom(std::max<std::size_t>(splitFrom, 2)) {}

void CodeUnitCounter::countPiece(const char16_t* p, std::size_t n, LaneTables& lanes,
                                 std::atomic<bool>& stop, const StopPoll* ask) {
    while (n > 0 && !stop.load(std::memory_order_relaxed)) {
        const std::size_t piece = std::min(n, kStopPollEvery);
        addToLanes(p, piece, lanes);
        p += piece;
        n -= piece;
        if (ask != nullptr && (*ask)()) {
            stop.store(true, std::memory_order_relaxed);
        }
    }
}

std::int64_t CodeUnitCounter::count(std::u16string_view text, CharCountTable& counts,
                                    const StopPoll& stopRequested) {
    if (text.size() < m_interleaveFrom) {
        return countCodeUnits(text, counts);
    }
    const StopPoll* const ask = stopRequested ? &stopRequested : nullptr;
    std::atomic<bool> stop{false};
    const bool split = text.size() >= m_splitFrom;
    if (!m_lanes) {
        m_lanes = std::make_unique<LaneTables>();  // value-initialised: all zero
    }
    if (split && !m_secondLanes) {
        m_secondLanes = std::make_unique<LaneTables>();
    }

    // A text longer than one flush is gathered apart, so that a stop leaves counts unchanged.
    std::unique_ptr<CharCountTable, PageReleaser> pending;
    if (text.size() > (split ? 2 : 1) * m_flushEvery) {
        pending = makeZeroedTable<CharCountTable>();
    }
    CharCountTable& into = pending ? *pending : counts;
    const auto dropIfStopped = [&] {
        if (stop.load(std::memory_order_relaxed)) {
            for (LaneTables* lanes : {m_lanes.get(), m_secondLanes.get()}) {
                if (lanes != nullptr) {
                    for (auto& lane : *lanes) {
                        lane.fill(0);
                    }
                }
            }
            throw ReadingStopped();
        }
    };

    const std::int64_t crBefore = into[u'\r'];
    const char16_t* p = text.data();
    std::size_t remaining = text.size();
    while (remaining > 0) {
        if (!split) {
            const std::size_t chunk = std::min(remaining, m_flushEvery);
            countPiece(p, chunk, *m_lanes, stop, ask);
            dropIfStopped();
            flushInto(*m_lanes, into);
            p += chunk;
            remaining -= chunk;
            continue;
        }
        // Each half fits one flush: the 32-bit tables of both threads cannot overflow.
        const std::size_t chunk = std::min(remaining, 2 * m_flushEvery);
        const std::size_t half = chunk / 2;
        const char16_t* second = p + half;
        LaneTables& secondLanes = *m_secondLanes;
        try {
            std::thread worker([second, n = chunk - half, &secondLanes, &stop] {
                countPiece(second, n, secondLanes, stop, nullptr);
            });
            countPiece(p, half, *m_lanes, stop, ask);
            worker.join();
        } catch (const std::system_error&) {
            // No thread to be had (nothing was counted yet): count both halves here.
            countPiece(p, half, *m_lanes, stop, ask);
            countPiece(second, chunk - half, secondLanes, stop, ask);
        }
        dropIfStopped();
        flushInto(*m_lanes, into);
        flushInto(secondLanes, into);
        p += chunk;
        remaining -= chunk;
    }
    const bool anyCr = into[u'\r'] != crBefore;
    if (pending) {
        for (std::size_t c = 0; c < counts.size(); ++c) {
            counts[c] += into[c];
        }
    }
    if (!anyCr) {
        return 0;
    }
    return split ? countCrLfOnTwoThreads(text) : countCrLf(text);
}

std::int64_t CodeUnitCounter::countCrLfOnTwoThreads(std::u16string_view text) {
    // The first part reaches one unit past the middle, so a pair across it is seen there
    // only: the second part starts at the middle unit, which is an LF, not a CR, then.
    const std::size_t mid = text.size() / 2;
    const std::u16string_view first = text.substr(0, mid + 1);
    const std::u16string_view second = text.substr(mid);
    std::int64_t secondPairs = 0;
    std::int64_t firstPairs = 0;
    try {
        std::thread worker([second, &secondPairs] { secondPairs = countCrLf(second); });
        firstPairs = countCrLf(first);
        worker.join();
    } catch (const std::system_error&) {
        firstPairs = countCrLf(first);
        secondPairs = countCrLf(second);
    }
    return firstPairs + secondPairs;
}

void CodeUnitCounter::flushInto(LaneTables& lanes, CharCountTable& counts) {
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
    : m_state(state),
      m_observer(observer),
      m_stopPoll([this] { return m_observer.stopRequested(); }) {}

std::size_t TextAnalyser::readFully(int fd, std::span<std::byte> into) {
    std::size_t got = 0;
    while (got < into.size()) {
        const std::size_t ask = std::min(into.size() - got, kMaxReadChunk);
        const ssize_t n = ::read(fd, into.data() + got, ask);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category());
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void TextAnalyser::decodeInPieces(int fd, std::size_t sizeHint) {
    // The buffer keeps kHeld bytes in front of each piece for the bytes held back from the
    // piece before (an unfinished UTF-8 sequence or an odd UTF-16 byte).
    std::byte* const piece = m_readBuffer.data() + kHeld;
    const TextEncoding encoding = detectEncoding(std::span<const std::byte>(piece, m_pieceSize));
    std::span<const std::byte> text =
        textAfterSignature(std::span<const std::byte>(piece, m_pieceSize), encoding);

    std::u16string& out = m_text;
    out.clear();
    try {
        // Room for the whole file as announced, taken once: UTF-16 has one unit per two
        // bytes, the others at most one per byte. A file that grows meanwhile grows the text.
        const std::size_t units =
            encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be
                ? sizeHint / 2 + 1
                : sizeHint + 1;
        if (out.capacity() < units) {
            out.shrink_to_fit();  // free the old text first: never hold two large buffers
            out.reserve(std::min(units, out.max_size()));
        }
        adviseLargeBuffer(out.data(), out.capacity() * sizeof(char16_t));
        bool last = false;
        for (;;) {
            const std::size_t beforeZero = bytesBeforeZero(text, encoding);
            if (beforeZero < text.size()) {
                text = text.first(beforeZero);
                last = true;
            }
            const std::size_t hold = last ? 0 : incompleteTail(text, encoding);
            appendDecoded(text.first(text.size() - hold), encoding, out);
            if (last) {
                break;
            }
            if (m_observer.stopRequested()) {
                throw ReadingStopped();
            }
            std::memmove(piece - hold, text.data() + text.size() - hold, hold);
            const std::size_t got = readFully(fd, std::span<std::byte>(piece, m_pieceSize));
            last = got < m_pieceSize;
            text = std::span<const std::byte>(piece - hold, hold + got);
        }
    } catch (...) {
        out.clear();
        throw;
    }
    cutAndCount(encoding);
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
        const auto expectedSize = static_cast<std::uint64_t>(std::max<off_t>(info.st_size, 0));
        if (m_headerToCut.empty() && expectedSize >= m_pieceSize) {
            // Long: counted as it is read. Only the signature is looked at first.
            FileSource source(file.get());
            std::byte signature[3];
            const std::span<const std::byte> first = source.read(0, signature);
            if (first.empty()) {
                m_observer.fileIsEmpty(fileName);
                return false;
            }
            if (first.size() < 3) {
                return AnalyseBuffer(first);  // shrunk since it was measured
            }
            countLong(source, first, expectedSize);
            return true;
        }
        // Only the piece buffer is held, never the whole file; its capacity is kept between
        // files (zip members may have grown it further).
        if (m_readBuffer.size() < kHeld + m_pieceSize) {
            m_readBuffer.resize(kHeld + m_pieceSize);
        }
        // A file is read as long as it was when opened: asking for exactly that many bytes
        // saves the read that would only find the end. A size of 0 (some system files) says
        // nothing: then it is read to its end.
        const std::size_t want = expectedSize > 0 && expectedSize < m_pieceSize
                                     ? static_cast<std::size_t>(expectedSize)
                                     : m_pieceSize;
        const std::size_t size =
            readFully(file.get(), std::span<std::byte>(m_readBuffer.data() + kHeld, want));
        if (size == 0) {
            m_observer.fileIsEmpty(fileName);
            return false;
        }
        if (size < m_pieceSize) {
            return AnalyseBuffer(std::span<const std::byte>(m_readBuffer.data() + kHeld, size));
        }
        decodeInPieces(file.get(), static_cast<std::size_t>(expectedSize));
        return true;
    } catch (const std::bad_alloc&) {
        m_observer.failedToRead(fileName, "not enough memory to read the whole file");
    } catch (const std::system_error& e) {
        m_observer.failedToRead(fileName, errorText(e.code().value()));
    } catch (const std::exception& e) {
        m_observer.failedToRead(fileName, e.what());
    }
    return false;
}

void TextAnalyser::countLong(ByteSource& source, std::span<const std::byte> signature,
                             std::uint64_t expectedEnd) {
    const TextEncoding encoding = detectEncoding(signature);
    const std::size_t start = signature.size() - textAfterSignature(signature, encoding).size();
    const LongTextResult result = m_longText->count(source, encoding, start, expectedEnd,
                                                    *m_state.CharCounts, m_text, m_stopPoll);
    m_state.SourceText.swap(m_text);
    m_state.SourceTextLength = result.units;
    m_state.CrLfCount += result.crLf;
    countEncoding(encoding);
}

bool TextAnalyser::AnalyseBuffer(std::span<const std::byte> data) {
    if (data.size() < 3) {
        return true;  // counts as read; too short to hold a signature and text
    }
    if (m_headerToCut.empty() && data.size() >= m_pieceSize) {
        MemorySource source(data);
        countLong(source, data.first(3), data.size());
        return true;
    }
    const TextEncoding encoding = detectEncoding(data);
    if (data.size() >= m_pieceSize) {
        decodeLongBuffer(data, encoding);
    } else {
        decodeText(data, encoding, m_text);
    }
    cutAndCount(encoding);
    return true;
}

void TextAnalyser::decodeLongBuffer(std::span<const std::byte> data, TextEncoding encoding) {
    std::span<const std::byte> rest = textAfterSignature(data, encoding);
    rest = rest.first(bytesBeforeZero(rest, encoding));
    m_text.clear();
    try {
        m_text.reserve(isUtf16(encoding) ? rest.size() / 2 : rest.size());
        while (!rest.empty()) {
            std::size_t n = std::min(rest.size(), m_pieceSize);
            if (n < rest.size()) {
                n -= incompleteTail(rest.first(n), encoding);
            }
            appendDecoded(rest.first(n), encoding, m_text);
            rest = rest.subspan(n);
            if (!rest.empty() && m_observer.stopRequested()) {
                throw ReadingStopped();
            }
        }
    } catch (...) {
        m_text.clear();
        throw;
    }
}

void TextAnalyser::cutAndCount(TextEncoding encoding) {
    // Only decoding and the first long text can run out of memory, and both come before any
    // count or counter changes, so a failure leaves the run's figures as they were.
    std::u16string& text = m_text;
    cutHeader(text, m_headerToCut);
    m_state.CrLfCount += m_counter.count(text, *m_state.CharCounts, m_stopPoll);
    m_state.SourceTextLength = static_cast<std::int64_t>(text.size());
    if (text.size() > kSourceTextKept) {
        keepBeginning(text);
        text.shrink_to_fit();
    }
    m_state.SourceText.swap(text);
    if (m_text.capacity() > 2 * kSourceTextKept) {
        m_text = std::u16string();  // the text before: a large block is not held twice
    }
    countEncoding(encoding);
}

void TextAnalyser::countEncoding(TextEncoding encoding) {
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
}

}  // namespace runemeter
