// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/long_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "profile/header_cut.h"
#include "profile/large_buffer.h"
#include "profile/normalise_stage.h"
#include "profile/unsigned_text.h"
#include "suite/unicode_text.h"
#include "suite/utf8_one.h"

namespace runemeter {

namespace {

// Room before each piece for the at most three bytes held back from the piece before.
constexpr std::size_t kHeld = 4;
// Bytes counted between two flushes of the 32-bit lanes: no lane entry can overflow.
constexpr std::uint64_t kFlushEvery = std::uint64_t{1} << 30;
// pread() moves at most about 2 GiB per call on Linux; ask for less and loop.
constexpr std::size_t kMaxReadChunk = std::size_t{1} << 30;
constexpr std::uint64_t kToTheEnd = std::numeric_limits<std::uint64_t>::max();

// Thrown inside a text read automatically as UTF-8 that proves not to be: it is read again
// from its start as ANSI.
struct RestartAsAnsi {};

// A long text read as ANSI is checked for the look of UTF-8 in its first bytes only (by each
// thread): the hint then costs the same on a text of any length.
constexpr std::uint64_t kHintCheckBytes = std::uint64_t{4} << 20;

bool isUtf16(TextEncoding encoding) {
    return encoding == TextEncoding::Utf16Le || encoding == TextEncoding::Utf16Be;
}

// Continuation bytes at the start of bytes that belong to a character begun before them: at
// most three, since a character has at most four bytes. After them a character starts.
std::size_t leadingContinuations(std::span<const std::byte> bytes) {
    std::size_t n = 0;
    while (n < 3 && n < bytes.size() && utf8::isContinuation(static_cast<std::uint8_t>(bytes[n]))) {
        ++n;
    }
    return n;
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

void keepBeginning(std::u16string& text) {
    if (text.size() <= kSourceTextKept) {
        return;
    }
    std::size_t keep = kSourceTextKept;
    if (isSurrogatePairAt(text, keep - 1)) {
        --keep;
    }
    text.resize(keep);
}

std::span<const std::byte> MemorySource::read(std::uint64_t offset, std::span<std::byte> buffer) {
    if (offset >= m_data.size()) {
        return {};
    }
    return m_data.subspan(static_cast<std::size_t>(offset),
                          std::min<std::size_t>(buffer.size(), m_data.size() - offset));
}

std::span<const std::byte> FileSource::read(std::uint64_t offset, std::span<std::byte> buffer) {
    std::size_t got = 0;
    while (got < buffer.size()) {
        const std::size_t ask = std::min(buffer.size() - got, kMaxReadChunk);
        const ssize_t n = ::pread(m_fd, buffer.data() + got, ask, static_cast<off_t>(offset + got));
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::system_error(errno, std::generic_category());
        }
        if (n == 0) {
            break;  // the end of the file, wherever it is now
        }
        got += static_cast<std::size_t>(n);
    }
    return buffer.first(got);
}

std::span<const std::byte> SequentialSource::read(std::uint64_t offset,
                                                  std::span<std::byte> buffer) {
    if (offset != m_position) {
        throw std::logic_error("a sequential source is read in order");
    }
    std::size_t got = 0;
    while (got < buffer.size()) {
        const std::size_t n = readNext(buffer.subspan(got));
        if (n == 0) {
            break;
        }
        got += n;
    }
    m_position += got;
    return buffer.first(got);
}

bool SequentialSource::rewind(std::uint64_t offset) {
    if (!reopen()) {
        return false;
    }
    m_position = 0;
    std::byte skipped[4096];
    while (m_position < offset) {
        const std::size_t n = readNext(std::span<std::byte>(skipped).first(static_cast<std::size_t>(
            std::min<std::uint64_t>(sizeof skipped, offset - m_position))));
        if (n == 0) {
            return false;  // shorter than it was
        }
        m_position += n;
    }
    return true;
}

void SequentialSource::finish() {
    std::byte rest[4096];
    while (readNext(rest) > 0) {
    }
}

std::size_t DescriptorSource::readNext(std::span<std::byte> buffer) {
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer.data(), std::min(buffer.size(), kMaxReadChunk));
        if (n >= 0) {
            return static_cast<std::size_t>(n);
        }
        if (errno != EINTR) {
            throw std::system_error(errno, std::generic_category());
        }
    }
}

std::span<const std::byte> PrefixedSource::read(std::uint64_t offset, std::span<std::byte> buffer) {
    if (offset >= m_prefix.size()) {
        return m_rest.read(offset, buffer);
    }
    const std::size_t fromPrefix =
        std::min<std::size_t>(buffer.size(), m_prefix.size() - static_cast<std::size_t>(offset));
    std::memcpy(buffer.data(), m_prefix.data() + offset, fromPrefix);
    if (fromPrefix == buffer.size()) {
        return buffer;
    }
    const std::span<const std::byte> more =
        m_rest.read(m_prefix.size(), buffer.subspan(fromPrefix));
    return buffer.first(fromPrefix + more.size());
}

bool PrefixedSource::rewind(std::uint64_t offset) {
    return m_rest.rewind(std::max<std::uint64_t>(offset, m_prefix.size()));
}

namespace {

// A source read only once, kept as it is read in an unnamed temporary file so that it can be
// read again from where the keeping began: from the file, then on from the source. A file that
// cannot be made or written is no problem unless the text has to be read again.
class KeptSource final : public ByteSource {
public:
    KeptSource(ByteSource& rest, std::uint64_t from) : m_rest(rest), m_from(from), m_end(from) {
        m_fd = makeTemporaryFile();
        if (m_fd < 0) {
            m_problem = errno;
        }
    }
    ~KeptSource() override {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    KeptSource(const KeptSource&) = delete;
    KeptSource& operator=(const KeptSource&) = delete;

    [[nodiscard]] std::span<const std::byte> read(std::uint64_t offset,
                                                  std::span<std::byte> buffer) override {
        if (!m_replaying) {
            const std::span<const std::byte> got = m_rest.read(offset, buffer);
            keep(offset, got);
            return got;
        }
        if (offset >= m_end) {
            return m_rest.read(offset, buffer);
        }
        const std::size_t fromFile =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), m_end - offset));
        const std::span<const std::byte> kept =
            FileSource(m_fd).read(offset - m_from, buffer.first(fromFile));
        if (kept.size() != fromFile) {
            throw std::system_error(EIO, std::generic_category());  // the file was cut
        }
        if (fromFile == buffer.size()) {
            return buffer;
        }
        const std::span<const std::byte> more = m_rest.read(m_end, buffer.subspan(fromFile));
        return buffer.first(fromFile + more.size());
    }
    [[nodiscard]] bool rereadable() const override { return false; }
    [[nodiscard]] bool rewindable() const override { return m_problem == 0; }
    [[nodiscard]] bool rewind(std::uint64_t offset) override {
        if (m_problem != 0 || offset < m_from) {
            return false;
        }
        m_replaying = true;
        return true;
    }
    void finish() override { m_rest.finish(); }

    // Why the bytes could not be kept (0: they were).
    [[nodiscard]] int problem() const { return m_problem; }

private:
    // An unnamed file in the temporary folder; -1 with errno set when none can be made.
    static int makeTemporaryFile() {
        const char* const env = std::getenv("TMPDIR");
        const std::string folder = env != nullptr && *env != '\0' ? env : "/tmp";
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) {
            return fd;
        }
        // A file system without unnamed files: a named one, unlinked at once.
        std::string name = folder + "/runemeter-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd >= 0) {
            ::unlink(name.c_str());
        }
        return fd;
    }

    void keep(std::uint64_t offset, std::span<const std::byte> got) {
        if (m_problem != 0) {
            return;
        }
        if (offset != m_end) {
            m_problem = ESPIPE;  // not read in order: nothing sound to keep
            return;
        }
        std::size_t done = 0;
        while (done < got.size()) {
            const ssize_t n = ::write(m_fd, got.data() + done, got.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                m_problem = n < 0 ? errno : ENOSPC;
                return;
            }
            done += static_cast<std::size_t>(n);
        }
        m_end += got.size();
    }

    ByteSource& m_rest;
    std::uint64_t m_from;  // offset of the first byte kept
    std::uint64_t m_end;   // offset after the last byte kept
    int m_fd = -1;
    int m_problem = 0;
    bool m_replaying = false;
};

// The first position from i on (i itself or later, n at most) where a surrogate may stand:
// eight units without one are passed over at once.
std::size_t skipToSurrogate(const char16_t* u, std::size_t i, std::size_t n) {
#if defined(__SSE2__)
    const __m128i bits = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    while (i + 8 <= n) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(eight, bits), surrogate)) != 0) {
            break;
        }
        i += 8;
    }
#endif
    return i;
}

}  // namespace

// One thread's share of a text: reads its stretch piece by piece and counts it into its own
// tables, which reach the run's counts only when the whole text was read. With a header to cut
// it looks for the marker in every piece first; where it finds it, it forgets what it counted
// and counts on from the cut. Only looking (searchOnly), it notes where the cut is and ends.
class LongTextCounter::Stream {
public:
    Stream(std::size_t pieceSize, Utf8Counting way)
        : m_pieceSize(pieceSize),
          m_way(way),
          m_buffer(kHeld + pieceSize),
          m_held(kHeld),
          m_lanes(makeZeroedTable<LaneTables>()),
          m_totals(makeZeroedTable<CharCountTable>()) {}

    // How the next texts are counted: with units (if any) the decoded pieces go through a
    // normalisation stage into a counter of that kind (continuesText for a second half);
    // check (if any) checks the bytes of a text without a signature, and restartOnTurn makes
    // a turn to ANSI restart the text.
    void configure(const TextChoices* units, bool continuesText, std::optional<UnsignedMode> check,
                   bool restartOnTurn, bool collectPairs) {
        m_collectPairs = collectPairs;
        m_sinkChoices = units != nullptr ? std::optional<TextChoices>(*units) : std::nullopt;
        m_continues = continuesText;
        m_checkMode = check;
        m_restartOnTurn = restartOnTurn;
        m_checkFinished = false;
    }

    // cut (if any) is looked for until found; enough (if any) ends a search early.
    void begin(TextEncoding encoding, std::u16string* head, HeaderCut* cut = nullptr,
               bool searchOnly = false, const std::atomic<bool>* enough = nullptr) {
        m_encoding = encoding;
        m_headTarget = head;
        m_cut = cut != nullptr && cut->active() ? cut : nullptr;
        m_searchOnly = searchOnly;
        m_enough = enough;
        m_found.reset();
        // Room before each piece for the bytes held back from the piece before.
        m_room = kHeld + (m_cut != nullptr ? m_cut->overlap() + kHeld : 0);
        if (m_buffer.size() < m_room + m_pieceSize) {
            m_buffer.resize(m_room + m_pieceSize);
        }
        if (m_held.size() < m_room) {
            m_held.resize(m_room);
        }
        m_heldCount = 0;
        m_skippedCount = 0;
        m_ended = false;
        restart(false);  // the tables are kept zeroed between texts
    }

    // Counts the bytes from `from` up to `to` (or the end of the data), stopping early at a zero
    // byte or unit. skipToCharacter: the stretch may begin inside a character, whose bytes are
    // kept aside for the seam. Bytes of a character that runs past `to` are held back. After
    // every piece, ask (if any) is asked whether to stop and its answer noted in stop; once stop
    // holds, ReadingStopped is thrown.
    void run(ByteSource& source, std::uint64_t from, std::uint64_t to, bool skipToCharacter,
             std::atomic<bool>& stop, const StopPoll* ask) {
        std::uint64_t offset = from;
        bool firstPiece = true;
        while (!m_ended && offset < to) {
            if (m_enough != nullptr && m_enough->load(std::memory_order_relaxed)) {
                return;
            }
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_pieceSize, to - offset));
            const std::span<std::byte> room(m_buffer.data() + m_room, want);
            std::span<const std::byte> got = source.read(offset, room);
            if (got.empty()) {
                break;
            }
            std::uint64_t textStart = offset;
            offset += got.size();
            if (firstPiece && skipToCharacter) {
                m_skippedCount = leadingContinuations(got);
                std::memcpy(m_skipped, got.data(), m_skippedCount);
                got = got.subspan(m_skippedCount);
                textStart += m_skippedCount;
            }
            firstPiece = false;
            std::span<const std::byte> text = got;
            const std::size_t heldBefore = m_heldCount;
            if (m_heldCount > 0) {
                if (source.inMemory()) {
                    // The held bytes are the ones right before this piece.
                    text = std::span<const std::byte>(got.data() - m_heldCount,
                                                      got.size() + m_heldCount);
                } else {
                    std::byte* const at = m_buffer.data() + m_room - m_heldCount;
                    std::memcpy(at, m_held.data(), m_heldCount);
                    text = std::span<const std::byte>(at, got.size() + m_heldCount);
                }
                textStart -= m_heldCount;
                m_heldCount = 0;
            }
            const std::size_t beforeZero = bytesBeforeZero(text, m_encoding);
            if (beforeZero < text.size()) {
                text = text.first(beforeZero);
                m_ended = true;
            }
            if (m_unsigned && m_checkedBytes < kHintCheckBytes) {
                m_checkedBytes += text.size();
                (void)m_unsigned->add(text.subspan(std::min(heldBefore, text.size())));
                if (m_restartOnTurn && !m_unsigned->wellFormed()) {
                    throw RestartAsAnsi();
                }
            }
            const std::size_t tail = m_ended ? 0 : incompleteTail(text, m_encoding);
            if (m_cut != nullptr && lookForCut(text, text.size() - tail, textStart, text)) {
                if (m_searchOnly) {
                    return;
                }
            }
            const std::size_t hold = m_ended            ? 0
                                     : m_cut != nullptr ? m_cut->holdFor(text, tail)
                                                        : tail;
            if (!m_searchOnly) {
                countBytes(text.first(text.size() - hold));
            }
            std::memcpy(m_held.data(), text.data() + text.size() - hold, hold);
            m_heldCount = hold;
            if (ask != nullptr && (*ask)()) {
                stop.store(true, std::memory_order_relaxed);
            }
            if (stop.load(std::memory_order_relaxed)) {
                throw ReadingStopped();
            }
        }
    }

    // The held bytes end the text (an unfinished character, an odd byte).
    void finishText() {
        if (m_unsigned && m_checkedBytes < kHintCheckBytes) {
            (void)m_unsigned->finish();
            m_checkFinished = true;
            if (m_restartOnTurn && !m_unsigned->wellFormed()) {
                throw RestartAsAnsi();
            }
        }
        if (!m_ended && m_heldCount > 0) {
            std::span<const std::byte> text(m_held.data(), m_heldCount);
            if (m_cut != nullptr) {
                (void)lookForCut(text, text.size(), 0, text);
            }
            if (!m_searchOnly) {
                countBytes(text);
            }
        }
        m_heldCount = 0;
    }

    // Counts units decoded elsewhere (the rest of a character cut by the header cut).
    void countDecoded(std::u16string_view units) {
        if (m_head != nullptr) {
            m_head->append(units);
            if (m_head->size() > kSourceTextKept) {
                keepBeginning(*m_head);
                m_head = nullptr;
            }
        }
        countUnits(units);
    }

    /// Where the cut was found (searchOnly): the offset of the first byte kept and the units
    /// kept before it.
    struct Found {
        std::uint64_t keptFrom = 0;
        std::u16string prefix;
    };
    [[nodiscard]] const std::optional<Found>& found() const { return m_found; }

    // Adds the stream's counts to counts and clears its tables; returns the units added (those
    // that went to the unit counter too).
    std::int64_t moveInto(CharCountTable& counts) {
        flushLanes();
        std::int64_t units = m_sinkUnits;
        m_sinkUnits = 0;
        CharCountTable& totals = *m_totals;
        for (std::size_t c = 1; c < counts.size(); ++c) {
            counts[c] += totals[c];
            units += totals[c];
        }
        totals.fill(0);
        return units;
    }

    // Forgets what was counted.
    void discard() {
        for (auto& lane : *m_lanes) {
            lane.fill(0);
        }
        m_totals->fill(0);
        m_heldCount = 0;
        m_skippedCount = 0;
        m_stage.reset();
        m_counter.reset();
        m_sinkUnits = 0;
        m_pairs.clear();
    }

    // Counts UTF-8 bytes as code units and notes their four-byte sequences, found by the
    // counting kernel on its way (the kernel counted each as a surrogate pair).
    void countUtf8AndPairs(std::span<const std::byte> bytes) {
        const auto* const p = reinterpret_cast<const std::uint8_t*>(bytes.data());
        const std::size_t noted = countUtf8UnitsNotingLeads(bytes, *m_lanes, m_leads, m_way);
        for (std::size_t b = 0; b < noted; ++b) {
            const LeadBits& lead = m_leads[b];
            for (std::uint64_t bits = lead.bits; bits != 0; bits &= bits - 1) {
                notePairAt(p, bytes.size(),
                           lead.offset + static_cast<std::size_t>(__builtin_ctzll(bits)));
            }
        }
    }

    // Valid surrogate pairs in decoded units (code points counted as code units).
    void notePairs(std::u16string_view units) {
        const std::size_t n = units.size();
        for (std::size_t i = skipToSurrogate(units.data(), 0, n); i + 1 < n;) {
            if (isSurrogatePairAt(units, i)) {
                notePair(0x10000 + ((char32_t(units[i]) - 0xD800) << 10) + (units[i + 1] - 0xDC00));
                i = skipToSurrogate(units.data(), i + 2, n);
            } else {
                i = skipToSurrogate(units.data(), i + 1, n);
            }
        }
    }
    // The well-formed four-byte sequence at i, if there is one there.
    void notePairAt(const std::uint8_t* p, std::size_t n, std::size_t i) {
        if (i + 4 > n) {
            return;
        }
        std::uint32_t w;  // the four bytes, the first in the lowest
        std::memcpy(&w, p + i, 4);
        if constexpr (std::endian::native == std::endian::big) {
            w = __builtin_bswap32(w);
        }
        // F0..F7 and three continuation bytes, then no overlong form and nothing past U+10FFFF.
        if ((w & 0xC0C0C0F8u) != 0x808080F0u) {
            return;
        }
        const char32_t code =
            ((w & 0x07u) << 18) | ((w & 0x3F00u) << 4) | ((w >> 10) & 0xFC0u) | ((w >> 24) & 0x3Fu);
        if (code >= 0x10000 && code <= 0x10FFFF) {
            notePair(code);
        }
    }
    void notePair(char32_t code) { m_pairs.add(code, 1); }
    // Adds the pairs noted to pairs.
    void takePairs(SupplementaryCounts& pairs) {
        pairs.addAll(m_pairs);
        m_pairs.clear();
    }

    [[nodiscard]] bool counting() const { return m_counter != nullptr; }
    // Units decoded elsewhere that belong to the text here (the character cut by the middle).
    void feed(std::u16string_view units) {
        if (m_restartOnTurn) {
            m_sinkReplacements += std::count(units.begin(), units.end(), u'\uFFFD');
        }
        m_stage->add(units);
        m_sinkUnits += static_cast<std::int64_t>(units.size());
    }
    // The second half's text follows this one's: its stage and counter are taken over.
    void joinSink(Stream& second) {
        m_stage->join(*second.m_stage);
        m_counter->join(*second.m_counter);
        m_sinkUnits += second.m_sinkUnits;
        second.m_sinkUnits = 0;
    }
    // The text has ended: its units are finished and joined into units.
    void finishSinkInto(UnitCounter& units) {
        m_stage->finish();
        m_counter->finish();
        units.join(*m_counter);
        units.finish();
        m_stage.reset();
        m_counter.reset();
    }
    [[nodiscard]] const UnsignedText* check() const { return m_unsigned ? &*m_unsigned : nullptr; }

    [[nodiscard]] bool ended() const { return m_ended; }
    [[nodiscard]] bool headFull() const { return m_head == nullptr; }
    [[nodiscard]] std::int64_t crLf() const { return m_crLf; }
    [[nodiscard]] bool lastWasCr() const { return m_lastWasCr; }
    [[nodiscard]] bool firstIsLf() const { return m_firstKnown && m_firstIsLf; }
    [[nodiscard]] std::span<const std::byte> held() const { return {m_held.data(), m_heldCount}; }
    [[nodiscard]] bool highByte() const { return m_highByte; }
    [[nodiscard]] std::span<const std::byte> skipped() const { return {m_skipped, m_skippedCount}; }

private:
    // Looks for the marker in the first `searched` bytes of text (which begins at offset
    // textStart). Found: notes it, stops looking and, when counting, forgets what was counted,
    // counts the rest of the cut character and leaves in text what follows it.
    bool lookForCut(std::span<const std::byte> text, std::size_t searched, std::uint64_t textStart,
                    std::span<const std::byte>& rest) {
        const std::optional<HeaderCut::Cut> cut = m_cut->find(text.first(searched));
        if (!cut) {
            return false;
        }
        m_cut = nullptr;
        m_found = Found{textStart + cut->keptFrom, cut->prefix};
        if (!m_searchOnly) {
            restart(true);
            countDecoded(cut->prefix);
            rest = text.subspan(cut->keptFrom);
        }
        return true;
    }

    // Forgets every count (clearTables: some may have been made) and the beginning kept so far.
    void restart(bool clearTables) {
        if (clearTables) {
            for (auto& lane : *m_lanes) {
                lane.fill(0);
            }
            m_totals->fill(0);
        }
        m_crLf = 0;
        m_lastWasCr = false;
        m_firstKnown = false;
        m_firstIsLf = false;
        m_sinceFlush = 0;
        m_sinkUnits = 0;
        m_sinkReplacements = 0;
        m_pairs.clear();
        m_stage.reset();
        m_counter.reset();
        if (m_sinkChoices && !m_searchOnly) {
            m_counter = makeUnitCounter(m_sinkChoices->unit, m_continues);
            m_stage = std::make_unique<NormaliseStage>(m_sinkChoices->normalisation, *m_counter,
                                                       m_continues);
        }
        if (!clearTables) {  // a header cut goes on checking the same bytes
            m_unsigned.reset();
            m_highByte = false;
            m_checkedBytes = 0;
            if (m_checkMode && !m_searchOnly && !m_restartOnTurn) {
                m_unsigned.emplace(*m_checkMode);
            }
        }
        m_head = m_headTarget;
        if (m_head != nullptr) {
            m_head->clear();
        }
    }

    // Counts bytes that hold whole characters (or end the text).
    void countBytes(std::span<const std::byte> bytes) {
        if (m_restartOnTurn && m_encoding == TextEncoding::Utf8 && !m_searchOnly) {
            // Read automatically as UTF-8: a malformed sequence shows as a replacement
            // character that no EF BF BD in the bytes accounts for.
            const std::int64_t before = replacements();
            countCheckedBytes(bytes);
            const std::int64_t added = replacements() - before;
            if (added > 0 && encodedReplacements(bytes) < added) {
                throw RestartAsAnsi();
            }
            m_highByte = m_highByte || hasHighByte(bytes);
            return;
        }
        countCheckedBytes(bytes);
    }

    static bool hasHighByte(std::span<const std::byte> bytes) {
        const auto* p = reinterpret_cast<const std::uint8_t*>(bytes.data());
        std::size_t i = 0;
        for (std::uint64_t word = 0; i + 8 <= bytes.size(); i += 8) {
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) != 0) {
                return true;
            }
        }
        for (; i < bytes.size(); ++i) {
            if (p[i] >= 0x80) {
                return true;
            }
        }
        return false;
    }
    static std::int64_t encodedReplacements(std::span<const std::byte> bytes) {
        const std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        std::int64_t n = 0;
        for (std::size_t at = text.find("\xEF\xBF\xBD"); at != std::string_view::npos;
             at = text.find("\xEF\xBF\xBD", at + 3)) {
            ++n;
        }
        return n;
    }
    [[nodiscard]] std::int64_t replacements() const {
        const LaneTables& lanes = *m_lanes;
        return (*m_totals)[0xFFFD] + std::int64_t{lanes[0][0xFFFD]} + lanes[1][0xFFFD] +
               lanes[2][0xFFFD] + lanes[3][0xFFFD] + m_sinkReplacements;
    }

    void countCheckedBytes(std::span<const std::byte> bytes) {
        if (m_head != nullptr) {
            bytes = fillHead(bytes);
        }
        if (bytes.empty()) {
            return;
        }
        if (m_encoding == TextEncoding::Utf8 && !m_counter) {
            const std::uint8_t* const p = reinterpret_cast<const std::uint8_t*>(bytes.data());
            const std::uint64_t crBefore = crCount();
            if (m_collectPairs) {
                countUtf8AndPairs(bytes);
            } else {
                countUtf8Units(bytes, *m_lanes, m_way);
            }
            if (crCount() != crBefore) {
                m_crLf += countCrLfBytes(bytes);
            }
            // CR and LF are one byte each in UTF-8, and never part of another character.
            noteEnds(p[0] == 0x0A, p[bytes.size() - 1] == 0x0D);
        } else {
            m_scratch.clear();
            appendDecoded(bytes, m_encoding, m_scratch);
            countUnits(m_scratch);
        }
        m_sinceFlush += bytes.size();
        if (m_sinceFlush >= kFlushEvery) {
            flushLanes();
        }
    }

    // Decodes into the head, in whole characters, as much of bytes as it still takes, and
    // counts it; returns the rest. The head is filled one unit past what is kept, so that the
    // cut can see whether it would split a surrogate pair.
    std::span<const std::byte> fillHead(std::span<const std::byte> bytes) {
        std::u16string& head = *m_head;
        const std::size_t room = kSourceTextKept + 1 - std::min(head.size(), kSourceTextKept);
        // UTF-16 gives one unit per two bytes; the others at most one per byte, so room bytes
        // and the rest of a character begun in them give at most room + 3 units.
        std::size_t take = std::min(bytes.size(), isUtf16(m_encoding) ? 2 * room : room + 3);
        if (take < bytes.size()) {
            take -= incompleteTail(bytes.first(take), m_encoding);
        }
        const std::size_t before = head.size();
        appendDecoded(bytes.first(take), m_encoding, head);
        countUnits(std::u16string_view(head).substr(before));
        if (head.size() > kSourceTextKept) {
            keepBeginning(head);
            m_head = nullptr;
        }
        return bytes.subspan(take);
    }

    void countUnits(std::u16string_view units) {
        if (units.empty()) {
            return;
        }
        if (m_counter) {
            // CR LF pairs are counted in code units, before any normalisation.
            m_crLf += countCrLf(units);
            noteEnds(units.front() == u'\n', units.back() == u'\r');
            feed(units);
            return;
        }
        const std::uint64_t crBefore = crCount();
        const std::size_t n = units.size();
        addToLanes(units.data(), n, *m_lanes);
        if (m_collectPairs) {
            notePairs(units);
        }
        if (crCount() != crBefore) {
            m_crLf += countCrLf(units);
        }
        noteEnds(units.front() == u'\n', units.back() == u'\r');
        m_sinceFlush += n;
        if (m_sinceFlush >= kFlushEvery) {
            flushLanes();
        }
    }

    // A CR at the end of the last stretch and an LF at the start of this one are a pair too.
    void noteEnds(bool startsWithLf, bool endsWithCr) {
        if (m_lastWasCr && startsWithLf) {
            ++m_crLf;
        }
        if (!m_firstKnown) {
            m_firstKnown = true;
            m_firstIsLf = startsWithLf;
        }
        m_lastWasCr = endsWithCr;
    }

    [[nodiscard]] std::uint64_t crCount() const {
        const LaneTables& lanes = *m_lanes;
        return std::uint64_t{lanes[0][u'\r']} + lanes[1][u'\r'] + lanes[2][u'\r'] + lanes[3][u'\r'];
    }

    void flushLanes() {
        LaneTables& lanes = *m_lanes;
        CharCountTable& totals = *m_totals;
        // Entry 0 holds the bytes that began no unit: dropped.
        for (std::size_t c = 1; c < totals.size(); ++c) {
            totals[c] += std::int64_t{lanes[0][c]} + lanes[1][c] + lanes[2][c] + lanes[3][c];
        }
        for (auto& lane : lanes) {
            lane.fill(0);
        }
        m_sinceFlush = 0;
    }

    std::size_t m_pieceSize;
    Utf8Counting m_way;
    std::vector<std::byte> m_buffer;
    std::size_t m_room = kHeld;  ///< bytes in front of each piece in m_buffer
    std::vector<std::byte> m_held;
    std::unique_ptr<LaneTables, PageReleaser> m_lanes;
    std::unique_ptr<CharCountTable, PageReleaser> m_totals;
    std::u16string m_scratch;

    TextEncoding m_encoding = TextEncoding::Ansi;
    std::u16string* m_headTarget = nullptr;
    std::u16string* m_head = nullptr;
    HeaderCut* m_cut = nullptr;
    bool m_searchOnly = false;
    const std::atomic<bool>* m_enough = nullptr;
    std::optional<Found> m_found;
    std::size_t m_heldCount = 0;
    std::byte m_skipped[kHeld] = {};
    std::size_t m_skippedCount = 0;
    bool m_ended = false;
    std::int64_t m_crLf = 0;
    bool m_lastWasCr = false;
    bool m_firstKnown = false;
    bool m_firstIsLf = false;
    std::uint64_t m_sinceFlush = 0;
    std::optional<TextChoices> m_sinkChoices;
    bool m_continues = false;
    std::unique_ptr<UnitCounter> m_counter;
    std::unique_ptr<NormaliseStage> m_stage;
    std::int64_t m_sinkUnits = 0;
    std::optional<UnsignedMode> m_checkMode;
    bool m_restartOnTurn = false;
    bool m_checkFinished = false;
    std::optional<UnsignedText> m_unsigned;
    bool m_collectPairs = false;
    std::vector<LeadBits> m_leads;  // where the four-byte sequences of a piece begin
    bool m_highByte = false;
    std::uint64_t m_checkedBytes = 0;
    std::int64_t m_sinkReplacements = 0;
    SupplementaryCounts m_pairs;  // the code points of the surrogate pairs counted as units
};

LongTextCounter::LongTextCounter(std::size_t pieceSize, std::uint64_t splitFrom, Utf8Counting way)
    : m_pieceSize(std::max<std::size_t>(pieceSize, 8)),
      m_splitFrom(std::max<std::uint64_t>(splitFrom, 2)),
      m_way(way) {}

LongTextCounter::~LongTextCounter() = default;

namespace {

// Runs first here and second on another thread (after first, here, when no thread can be had).
// While the second ends, ask (if any) is still asked, its answer noted in stop. A failure of
// first sets stop (the second is not wanted) and is thrown once the second ended; a failure of
// the second is thrown after.
void runOnTwoThreads(const std::function<void()>& first,
                     const std::function<void(const StopPoll*)>& second, std::atomic<bool>& stop,
                     const StopPoll* ask) {
    std::exception_ptr secondFailure;
    std::mutex doneMutex;
    std::condition_variable secondEnded;
    bool secondDone = false;
    auto runSecond = [&](const StopPoll* secondAsk) {
        try {
            second(secondAsk);
        } catch (...) {
            secondFailure = std::current_exception();
        }
        const std::lock_guard lock(doneMutex);
        secondDone = true;
        secondEnded.notify_all();
    };
    {
        std::jthread worker;
        try {
            worker = std::jthread(runSecond, nullptr);
        } catch (const std::system_error&) {
            // No thread to be had: the second part follows the first here.
        }
        try {
            first();
        } catch (...) {
            stop.store(true, std::memory_order_relaxed);
            throw;
        }
        if (!worker.joinable()) {
            runSecond(ask);
        } else if (ask != nullptr) {
            // The second part may take longer (not all of it in the page cache): the run is
            // still asked while it ends.
            std::unique_lock lock(doneMutex);
            while (!secondEnded.wait_for(lock, std::chrono::milliseconds(20),
                                         [&] { return secondDone; })) {
                if ((*ask)()) {
                    stop.store(true, std::memory_order_relaxed);
                }
            }
        }
    }  // joined here, also when the first part failed
    if (secondFailure) {
        std::rethrow_exception(secondFailure);
    }
}

}  // namespace

std::uint64_t LongTextCounter::middleOf(TextEncoding encoding, std::uint64_t start,
                                        std::uint64_t length) {
    // UTF-16 halves meet between two units.
    std::uint64_t middle = start + length / 2;
    if (isUtf16(encoding)) {
        middle -= (middle - start) % 2;
    }
    return middle;
}

void LongTextCounter::makeStreams(bool split) {
    if (!m_first) {
        m_first = std::make_unique<Stream>(m_pieceSize, m_way);
    }
    if (split && !m_second) {
        m_second = std::make_unique<Stream>(m_pieceSize, m_way);
    }
}

void LongTextCounter::setChoices(const TextChoices& choices, UnitCounter* units) {
    m_choices = choices;
    m_units = units;
}

LongTextResult LongTextCounter::count(ByteSource& source, TextEncoding encoding,
                                      std::uint64_t start, std::uint64_t expectedEnd,
                                      CharCountTable& counts, std::u16string& head,
                                      const StopPoll& stopRequested,
                                      std::u16string_view headerToCut) {
    m_check = false;
    m_restartOnTurn = false;
    if (encoding != TextEncoding::Ansi) {
        return countAs(source, encoding, start, expectedEnd, counts, head, stopRequested,
                       headerToCut);
    }
    switch (m_choices.unsignedText) {
        case UnsignedMode::Ansi: {
            m_check = true;  // only to tell whether it looks like UTF-8
            return countAs(source, encoding, start, expectedEnd, counts, head, stopRequested,
                           headerToCut);
        }
        case UnsignedMode::Utf8: {
            LongTextResult result = countAs(source, TextEncoding::Utf8, start, expectedEnd, counts,
                                            head, stopRequested, headerToCut);
            result.readAsUtf8 = true;
            return result;
        }
        case UnsignedMode::Auto:
            break;
    }
    m_check = true;
    m_restartOnTurn = true;
    // A source that cannot be read again is kept as it is read, in case it has to be.
    std::optional<KeptSource> kept;
    if (!source.rewindable()) {
        kept.emplace(source, start);
    }
    ByteSource& from = kept ? static_cast<ByteSource&>(*kept) : source;
    try {
        return countAs(from, TextEncoding::Utf8, start, expectedEnd, counts, head, stopRequested,
                       headerToCut);
    } catch (const RestartAsAnsi&) {
        if (m_first) {
            m_first->discard();
        }
        if (m_second) {
            m_second->discard();
        }
        head.clear();
    }
    if (!from.rewind(start)) {
        std::string why = "not UTF-8 after all, and it cannot be read again as ANSI";
        if (kept && kept->problem() != 0) {
            why += " (no temporary file to keep it in: " +
                   std::generic_category().message(kept->problem()) + ")";
        }
        throw std::runtime_error(why + "; choose ANSI or UTF-8 for text without a signature");
    }
    m_check = false;
    m_restartOnTurn = false;
    return countAs(from, TextEncoding::Ansi, start, expectedEnd, counts, head, stopRequested,
                   headerToCut);
}

LongTextResult LongTextCounter::countAs(ByteSource& source, TextEncoding encoding,
                                        std::uint64_t start, std::uint64_t expectedEnd,
                                        CharCountTable& counts, std::u16string& head,
                                        const StopPoll& stopRequested,
                                        std::u16string_view headerToCut) {
    head.clear();
    HeaderCut cut(headerToCut, encoding);
    const std::uint64_t length = expectedEnd > start ? expectedEnd - start : 0;
    if (!cut.active()) {
        return countFrom(source, encoding, start, expectedEnd, counts, head, stopRequested, nullptr,
                         {});
    }
    if (length < m_splitFrom || !source.rereadable()) {
        // One stream looks for the marker as it counts and starts again where it finds it.
        return countFrom(source, encoding, start, expectedEnd, counts, head, stopRequested, &cut,
                         {});
    }
    // Long enough for two threads: they look for the marker first, each in its half (the first
    // reaching past the middle by as much as a marker takes), then what follows it is counted.
    makeStreams(true);
    Stream& first = *m_first;
    Stream& second = *m_second;
    const StopPoll* const ask = stopRequested ? &stopRequested : nullptr;
    std::atomic<bool> stop{false};
    std::atomic<bool> firstDone{false};
    HeaderCut secondCut(headerToCut, encoding);
    const std::uint64_t middle = middleOf(encoding, start, length);
    first.begin(encoding, nullptr, &cut, true);
    second.begin(encoding, nullptr, &secondCut, true, &firstDone);
    try {
        runOnTwoThreads(
            [&] {
                first.run(source, start, middle + cut.overlap() + 2 * kHeld, false, stop, ask);
                firstDone.store(first.found() || first.ended(), std::memory_order_relaxed);
            },
            [&](const StopPoll* secondAsk) {
                second.run(source, middle, kToTheEnd, encoding == TextEncoding::Utf8, stop,
                           secondAsk);
                second.finishText();
            },
            stop, ask);
    } catch (...) {
        first.discard();
        second.discard();
        throw;
    }
    // The first half's find is the first; a text ended in it has none after.
    const std::optional<Stream::Found> found = first.found()   ? first.found()
                                               : first.ended() ? std::nullopt
                                                               : second.found();
    if (!found) {
        return countFrom(source, encoding, start, expectedEnd, counts, head, stopRequested, nullptr,
                         {});
    }
    return countFrom(source, encoding, found->keptFrom, expectedEnd, counts, head, stopRequested,
                     nullptr, found->prefix);
}

LongTextResult LongTextCounter::countFrom(ByteSource& source, TextEncoding encoding,
                                          std::uint64_t start, std::uint64_t expectedEnd,
                                          CharCountTable& counts, std::u16string& head,
                                          const StopPoll& stopRequested, HeaderCut* cut,
                                          std::u16string_view prefix) {
    const StopPoll* const ask = stopRequested ? &stopRequested : nullptr;
    std::atomic<bool> stop{false};
    const std::uint64_t length = expectedEnd > start ? expectedEnd - start : 0;
    const bool split = cut == nullptr && length >= m_splitFrom && source.rereadable();
    makeStreams(split);
    Stream& first = *m_first;
    LongTextResult result;
    const TextChoices* const sink =
        m_units != nullptr && (m_choices.unit != CountingUnit::Utf16 ||
                               m_choices.normalisation != Normalisation::None)
            ? &m_choices
            : nullptr;
    const std::optional<UnsignedMode> check =
        m_check ? std::optional<UnsignedMode>(m_choices.unsignedText) : std::nullopt;
    // Code points of a text that is not UTF-16 are counted by the code unit kernels: only the
    // four-byte sequences (surrogate pairs) are noted apart and moved to their code points.
    const bool pairsApart = sink != nullptr && m_choices.unit == CountingUnit::CodePoint &&
                            m_choices.normalisation == Normalisation::None && !isUtf16(encoding);
    first.configure(pairsApart ? nullptr : sink, false, check, m_restartOnTurn, pairsApart);
    if (m_second) {
        m_second->configure(pairsApart ? nullptr : sink, true, check, m_restartOnTurn, pairsApart);
    }
    if (pairsApart && !m_pairCounts) {
        m_pairCounts = makeZeroedTable<CharCountTable>();
    }
    CharCountTable& unitCounts = pairsApart ? *m_pairCounts : counts;
    SupplementaryCounts pairs;
    try {
        first.begin(encoding, &head, cut);
        first.countDecoded(prefix);
        if (!split) {
            first.run(source, start, kToTheEnd, false, stop, ask);
            first.finishText();
            source.finish();
            result.crLf = first.crLf();
            if (const UnsignedText* c = first.check()) {
                result.looksLikeUtf8 = c->looksLikeUtf8();
            }
            result.readAsUtf8 = m_restartOnTurn && first.highByte();
            if (first.counting()) {
                first.finishSinkInto(*m_units);
            }
            result.units = first.moveInto(unitCounts);
            first.takePairs(pairs);
        } else {
            Stream& second = *m_second;
            const std::uint64_t middle = middleOf(encoding, start, length);
            // The second half's beginning is kept too when the first half may be too short to
            // fill what is shown (never with the default sizes).
            std::u16string secondHead;
            const bool secondNeedsHead = middle - start < 3 * (std::uint64_t{kSourceTextKept} + 3);
            second.begin(encoding, secondNeedsHead ? &secondHead : nullptr);
            runOnTwoThreads([&] { first.run(source, start, middle, false, stop, ask); },
                            [&](const StopPoll* secondAsk) {
                                second.run(source, middle, kToTheEnd,
                                           encoding == TextEncoding::Utf8, stop, secondAsk);
                                second.finishText();
                            },
                            stop, ask);

            std::int64_t crLf = first.crLf();
            std::int64_t seamUnits = 0;
            const UnsignedText* const firstCheck = first.check();
            const UnsignedText* const secondCheck = second.check();
            bool checkedWell = firstCheck != nullptr && firstCheck->wellFormed();
            bool checkedMultiByte = firstCheck != nullptr && firstCheck->multiByte();
            if (first.ended()) {
                // The text ended in the first half: the second half is not part of it.
                second.discard();
            } else {
                // The character cut by the middle: the first half's held bytes and the
                // second half's leading continuation bytes.
                std::byte seamBytes[2 * kHeld];
                const std::span<const std::byte> held = first.held();
                const std::span<const std::byte> skipped = second.skipped();
                std::memcpy(seamBytes, held.data(), held.size());
                std::memcpy(seamBytes + held.size(), skipped.data(), skipped.size());
                std::u16string seam;
                const std::span<const std::byte> seamSpan(seamBytes, held.size() + skipped.size());
                appendDecoded(seamSpan, encoding, seam);
                if (m_restartOnTurn || (firstCheck != nullptr && secondCheck != nullptr)) {
                    // The halves were checked apart; the character between them is checked here.
                    Utf8Check seamCheck;
                    seamCheck.add(seamSpan);
                    seamCheck.finish();
                    checkedWell = (m_restartOnTurn || (checkedWell && secondCheck->wellFormed())) &&
                                  seamCheck.wellFormed();
                    checkedMultiByte = checkedMultiByte || seamCheck.multiByte() ||
                                       (secondCheck != nullptr && secondCheck->multiByte());
                    if (m_restartOnTurn && !checkedWell) {
                        throw RestartAsAnsi();
                    }
                }
                if (!first.headFull()) {
                    head += seam;
                    head += secondHead;
                    keepBeginning(head);
                }
                bool lastWasCr = first.lastWasCr();
                if (!seam.empty()) {
                    crLf += (lastWasCr && seam.front() == u'\n') ? 1 : 0;
                    crLf += countCrLf(seam);
                    lastWasCr = seam.back() == u'\r';
                    if (first.counting()) {
                        first.feed(seam);
                    } else {
                        for (const char16_t unit : seam) {
                            ++unitCounts[unit];
                        }
                        seamUnits = static_cast<std::int64_t>(seam.size());
                        if (pairsApart && seam.size() == 2 && isSurrogatePairAt(seam, 0)) {
                            pairs.add(
                                0x10000 + ((char32_t(seam[0]) - 0xD800) << 10) + (seam[1] - 0xDC00),
                                1);
                        }
                    }
                }
                crLf += (lastWasCr && second.firstIsLf()) ? 1 : 0;
                crLf += second.crLf();
                if (first.counting()) {
                    first.joinSink(second);
                }
            }
            if (first.counting()) {
                first.finishSinkInto(*m_units);
            }
            if (firstCheck != nullptr) {
                result.readAsUtf8 = m_restartOnTurn && checkedMultiByte;
                result.looksLikeUtf8 = !m_restartOnTurn && checkedWell && checkedMultiByte;
            }
            result.readAsUtf8 = m_restartOnTurn && (checkedMultiByte || first.highByte() ||
                                                    (!first.ended() && second.highByte()));
            result.crLf = crLf;
            result.units = first.moveInto(unitCounts) + seamUnits;
            first.takePairs(pairs);
            if (!first.ended()) {
                result.units += second.moveInto(unitCounts);
                second.takePairs(pairs);
            }
        }
        if (pairsApart) {
            static_cast<CodePointCounter&>(*m_units).moveCounted(*m_pairCounts, pairs);
        }
    } catch (...) {
        first.discard();
        if (m_second) {
            m_second->discard();
        }
        if (m_pairCounts) {
            m_pairCounts->fill(0);
        }
        head.clear();
        throw;
    }
    return result;
}

}  // namespace runemeter
