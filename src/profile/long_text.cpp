#include "profile/long_text.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include "profile/large_buffer.h"
#include "profile/text_analyser.h"
#include "profile/utf8_one.h"
#include "suite/unicode_text.h"

namespace runemeter {

namespace {

// Room before each piece for the at most three bytes held back from the piece before.
constexpr std::size_t kHeld = 4;
// Bytes counted between two flushes of the 32-bit lanes: no lane entry can overflow.
constexpr std::uint64_t kFlushEvery = std::uint64_t{1} << 30;
// pread() moves at most about 2 GiB per call on Linux; ask for less and loop.
constexpr std::size_t kMaxReadChunk = std::size_t{1} << 30;
constexpr std::uint64_t kToTheEnd = std::numeric_limits<std::uint64_t>::max();

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

}  // namespace

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

// One thread's share of a text: reads its stretch piece by piece and counts it into its own
// tables, which reach the run's counts only when the whole text was read.
class LongTextCounter::Stream {
public:
    Stream(std::size_t pieceSize, Utf8Counting way)
        : m_pieceSize(pieceSize),
          m_way(way),
          m_buffer(kHeld + pieceSize),
          m_lanes(makeZeroedTable<LaneTables>()),
          m_totals(makeZeroedTable<CharCountTable>()) {}

    void begin(TextEncoding encoding, std::u16string* head) {
        m_encoding = encoding;
        m_head = head;
        m_heldCount = 0;
        m_skippedCount = 0;
        m_ended = false;
        m_crLf = 0;
        m_lastWasCr = false;
        m_firstKnown = false;
        m_firstIsLf = false;
        m_sinceFlush = 0;
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
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(m_pieceSize, to - offset));
            const std::span<std::byte> room(m_buffer.data() + kHeld, want);
            std::span<const std::byte> got = source.read(offset, room);
            if (got.empty()) {
                break;
            }
            offset += got.size();
            if (firstPiece && skipToCharacter) {
                m_skippedCount = leadingContinuations(got);
                std::memcpy(m_skipped, got.data(), m_skippedCount);
                got = got.subspan(m_skippedCount);
            }
            firstPiece = false;
            std::span<const std::byte> text = got;
            if (m_heldCount > 0) {
                if (source.inMemory()) {
                    // The held bytes are the ones right before this piece.
                    text = std::span<const std::byte>(got.data() - m_heldCount,
                                                      got.size() + m_heldCount);
                } else {
                    std::byte* const at = m_buffer.data() + kHeld - m_heldCount;
                    std::memcpy(at, m_held, m_heldCount);
                    text = std::span<const std::byte>(at, got.size() + m_heldCount);
                }
                m_heldCount = 0;
            }
            const std::size_t beforeZero = bytesBeforeZero(text, m_encoding);
            if (beforeZero < text.size()) {
                text = text.first(beforeZero);
                m_ended = true;
            }
            const std::size_t hold = m_ended ? 0 : incompleteTail(text, m_encoding);
            countBytes(text.first(text.size() - hold));
            std::memcpy(m_held, text.data() + text.size() - hold, hold);
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
        if (!m_ended && m_heldCount > 0) {
            countBytes(std::span<const std::byte>(m_held, m_heldCount));
        }
        m_heldCount = 0;
    }

    // Adds the stream's counts to counts and clears its tables; returns the units added.
    std::int64_t moveInto(CharCountTable& counts) {
        flushLanes();
        std::int64_t units = 0;
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
    }

    [[nodiscard]] bool ended() const { return m_ended; }
    [[nodiscard]] bool headFull() const { return m_head == nullptr; }
    [[nodiscard]] std::int64_t crLf() const { return m_crLf; }
    [[nodiscard]] bool lastWasCr() const { return m_lastWasCr; }
    [[nodiscard]] bool firstIsLf() const { return m_firstKnown && m_firstIsLf; }
    [[nodiscard]] std::span<const std::byte> held() const { return {m_held, m_heldCount}; }
    [[nodiscard]] std::span<const std::byte> skipped() const { return {m_skipped, m_skippedCount}; }

private:
    // Counts bytes that hold whole characters (or end the text).
    void countBytes(std::span<const std::byte> bytes) {
        if (m_head != nullptr) {
            bytes = fillHead(bytes);
        }
        if (bytes.empty()) {
            return;
        }
        if (m_encoding == TextEncoding::Utf8) {
            const std::uint8_t* const p = reinterpret_cast<const std::uint8_t*>(bytes.data());
            const std::uint64_t crBefore = crCount();
            countUtf8Units(bytes, *m_lanes, m_way);
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
        const std::uint64_t crBefore = crCount();
        const std::size_t n = units.size();
        addToLanes(units.data(), n, *m_lanes);
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
    std::unique_ptr<LaneTables, PageReleaser> m_lanes;
    std::unique_ptr<CharCountTable, PageReleaser> m_totals;
    std::u16string m_scratch;

    TextEncoding m_encoding = TextEncoding::Ansi;
    std::u16string* m_head = nullptr;
    std::byte m_held[kHeld] = {};
    std::size_t m_heldCount = 0;
    std::byte m_skipped[kHeld] = {};
    std::size_t m_skippedCount = 0;
    bool m_ended = false;
    std::int64_t m_crLf = 0;
    bool m_lastWasCr = false;
    bool m_firstKnown = false;
    bool m_firstIsLf = false;
    std::uint64_t m_sinceFlush = 0;
};

LongTextCounter::LongTextCounter(std::size_t pieceSize, std::uint64_t splitFrom, Utf8Counting way)
    : m_pieceSize(std::max<std::size_t>(pieceSize, 8)),
      m_splitFrom(std::max<std::uint64_t>(splitFrom, 2)),
      m_way(way) {}

LongTextCounter::~LongTextCounter() = default;

LongTextResult LongTextCounter::count(ByteSource& source, TextEncoding encoding,
                                      std::uint64_t start, std::uint64_t expectedEnd,
                                      CharCountTable& counts, std::u16string& head,
                                      const StopPoll& stopRequested) {
    head.clear();
    const StopPoll* const ask = stopRequested ? &stopRequested : nullptr;
    std::atomic<bool> stop{false};
    if (!m_first) {
        m_first = std::make_unique<Stream>(m_pieceSize, m_way);
    }
    const std::uint64_t length = expectedEnd > start ? expectedEnd - start : 0;
    const bool split = length >= m_splitFrom;
    if (split && !m_second) {
        m_second = std::make_unique<Stream>(m_pieceSize, m_way);
    }
    Stream& first = *m_first;
    LongTextResult result;
    try {
        first.begin(encoding, &head);
        if (!split) {
            first.run(source, start, kToTheEnd, false, stop, ask);
            first.finishText();
            result.crLf = first.crLf();
            result.units = first.moveInto(counts);
        } else {
            Stream& second = *m_second;
            // UTF-16 halves meet between two units.
            std::uint64_t middle = start + length / 2;
            if (isUtf16(encoding)) {
                middle -= (middle - start) % 2;
            }
            // The second half's beginning is kept too when the first half may be too short to
            // fill what is shown (never with the default sizes).
            std::u16string secondHead;
            const bool secondNeedsHead = middle - start < 3 * (std::uint64_t{kSourceTextKept} + 3);
            second.begin(encoding, secondNeedsHead ? &secondHead : nullptr);
            std::exception_ptr secondFailure;
            std::mutex doneMutex;
            std::condition_variable secondEnded;
            bool secondDone = false;
            auto runSecond = [&](const StopPoll* secondAsk) {
                try {
                    second.run(source, middle, kToTheEnd, encoding == TextEncoding::Utf8, stop,
                               secondAsk);
                    second.finishText();
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
                    // No thread to be had: the second half follows the first here.
                }
                try {
                    first.run(source, start, middle, false, stop, ask);
                } catch (...) {
                    stop.store(true, std::memory_order_relaxed);  // the second half is not wanted
                    throw;
                }
                if (!worker.joinable()) {
                    runSecond(ask);
                } else if (ask != nullptr) {
                    // The second half may take longer (not all of it in the page cache): the
                    // run is still asked while it ends.
                    std::unique_lock lock(doneMutex);
                    while (!secondEnded.wait_for(lock, std::chrono::milliseconds(20),
                                                 [&] { return secondDone; })) {
                        if ((*ask)()) {
                            stop.store(true, std::memory_order_relaxed);
                        }
                    }
                }
            }  // joined here, also when the first half failed
            if (secondFailure) {
                std::rethrow_exception(secondFailure);
            }

            std::int64_t crLf = first.crLf();
            std::int64_t seamUnits = 0;
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
                appendDecoded(std::span<const std::byte>(seamBytes, held.size() + skipped.size()),
                              encoding, seam);
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
                    for (const char16_t unit : seam) {
                        ++counts[unit];
                    }
                    seamUnits = static_cast<std::int64_t>(seam.size());
                }
                crLf += (lastWasCr && second.firstIsLf()) ? 1 : 0;
                crLf += second.crLf();
            }
            result.crLf = crLf;
            result.units = first.moveInto(counts) + seamUnits;
            if (!first.ended()) {
                result.units += second.moveInto(counts);
            }
        }
    } catch (...) {
        first.discard();
        if (m_second) {
            m_second->discard();
        }
        head.clear();
        throw;
    }
    return result;
}

}  // namespace runemeter
