// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/text_analyser.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include "profile/decode.h"
#include "profile/large_buffer.h"
#include "profile/unsigned_text.h"

namespace runemeter {

namespace {

constexpr std::size_t kMaxFlushEvery = (std::size_t{1} << 31) - 1;
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

std::string errorText(int err) {
    return std::generic_category().message(err);
}

}  // namespace

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

std::int64_t CodeUnitCounter::count(std::u16string_view text, CharCountTable& counts,
                                    const StopPoll& stopRequested) {
    if (text.size() < m_interleaveFrom) {
        return countCodeUnits(text, counts);
    }
    if (!m_lanes) {
        m_lanes = std::make_unique<LaneTables>();  // value-initialised: all zero
    }
    // A text longer than one flush is gathered apart, so that a stop leaves counts unchanged.
    std::unique_ptr<CharCountTable, PageReleaser> pending;
    if (text.size() > m_flushEvery) {
        pending = makeZeroedTable<CharCountTable>();
    }
    CharCountTable& into = pending ? *pending : counts;
    const std::int64_t crBefore = into[u'\r'];
    const char16_t* p = text.data();
    std::size_t remaining = text.size();
    std::size_t sinceFlush = 0;
    while (remaining > 0) {
        const std::size_t piece = std::min({remaining, kStopPollEvery, m_flushEvery - sinceFlush});
        addToLanes(p, piece, *m_lanes);
        p += piece;
        remaining -= piece;
        sinceFlush += piece;
        if (remaining > 0 && stopRequested && stopRequested()) {
            for (auto& lane : *m_lanes) {
                lane.fill(0);
            }
            throw ReadingStopped();
        }
        if (sinceFlush == m_flushEvery || remaining == 0) {
            flushInto(*m_lanes, into);
            sinceFlush = 0;
        }
    }
    const bool anyCr = into[u'\r'] != crBefore;
    if (pending) {
        for (std::size_t c = 0; c < counts.size(); ++c) {
            counts[c] += into[c];
        }
    }
    return anyCr ? countCrLf(text) : 0;
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

TextAnalyser::TextAnalyser(AnalysisState& state, AnalysisObserver& observer)
    : m_state(state),
      m_observer(observer),
      m_stopPoll([this] { return m_observer.stopRequested(); }) {}

void TextAnalyser::setChoices(const TextChoices& choices) {
    m_choices = choices;
    m_state.Text = choices;
    m_stage.reset();
    m_state.Units.reset();
    if (choices.unit != CountingUnit::Utf16 || choices.normalisation != Normalisation::None) {
        m_state.Units = makeUnitCounter(choices.unit);
        m_stage = std::make_unique<NormaliseStage>(choices.normalisation, *m_state.Units);
    }
    m_longText->setChoices(choices, m_state.Units.get());
}

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
        if (expectedSize >= m_pieceSize) {
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
        if (m_readBuffer.size() < m_pieceSize) {
            m_readBuffer.resize(m_pieceSize);
        }
        // A file is read as long as it was when opened: asking for exactly that many bytes
        // saves the read that would only find the end. A size of 0 (some system files) says
        // nothing: then it is read to its end.
        const std::size_t want = expectedSize > 0 && expectedSize < m_pieceSize
                                     ? static_cast<std::size_t>(expectedSize)
                                     : m_pieceSize;
        const std::size_t size =
            readFully(file.get(), std::span<std::byte>(m_readBuffer.data(), want));
        if (size == 0) {
            m_observer.fileIsEmpty(fileName);
            return false;
        }
        if (size < m_pieceSize) {
            return AnalyseBuffer(std::span<const std::byte>(m_readBuffer.data(), size));
        }
        // Longer than it said (a file that grew, or one whose size says nothing): read again
        // from its start as a long text.
        FileSource source(file.get());
        countLong(source, std::span<const std::byte>(m_readBuffer.data(), 3),
                  std::max<std::uint64_t>(expectedSize, size));
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
    const LongTextResult result =
        m_longText->count(source, encoding, start, expectedEnd, *m_state.CharCounts, m_text,
                          m_stopPoll, m_headerToCut);
    m_state.SourceText.swap(m_text);
    m_state.SourceTextLength = result.units;
    m_state.CrLfCount += result.crLf;
    m_metUtf8Looking = m_metUtf8Looking || result.looksLikeUtf8;
    countEncoding(result.readAsUtf8 ? TextEncoding::Utf8 : encoding);
}

bool TextAnalyser::AnalyseSequential(SequentialSource& source, std::uint64_t sizeHint) {
    if (m_readBuffer.size() < m_pieceSize) {
        m_readBuffer.resize(m_pieceSize);
    }
    const std::span<const std::byte> first =
        source.read(0, std::span<std::byte>(m_readBuffer.data(), m_pieceSize));
    if (first.size() < m_pieceSize) {
        return !first.empty() && AnalyseBuffer(first);  // the whole text: it ended in the piece
    }
    PrefixedSource whole(first, source);
    countLong(whole, first.first(3), std::max<std::uint64_t>(sizeHint, first.size()));
    return true;
}

bool TextAnalyser::AnalyseBuffer(std::span<const std::byte> data) {
    if (data.size() < 3) {
        return true;  // counts as read; too short to hold a signature and text
    }
    if (data.size() >= m_pieceSize) {
        MemorySource source(data);
        countLong(source, data.first(3), data.size());
        return true;
    }
    TextEncoding encoding = detectEncoding(data);
    if (encoding != TextEncoding::Ansi) {
        decodeText(data, encoding, m_text);
        cutAndCount(encoding);
        return true;
    }
    // Without a signature: the reading chosen, or (automatic) the one the bytes allow.
    const std::span<const std::byte> text = data.first(bytesBeforeZero(data, encoding));
    bool asUtf8 = m_choices.unsignedText == UnsignedMode::Utf8;
    if (!asUtf8) {
        Utf8Check check;
        check.add(text);
        check.finish();
        const bool utf8 = check.wellFormed() && check.multiByte();
        asUtf8 = utf8 && m_choices.unsignedText == UnsignedMode::Auto;
        m_metUtf8Looking = m_metUtf8Looking || (utf8 && !asUtf8);
    }
    if (asUtf8) {
        decodeUtf8(text, m_text);
        encoding = TextEncoding::Utf8;
    } else {
        decodeText(data, encoding, m_text);
    }
    cutAndCount(encoding);
    return true;
}

void TextAnalyser::cutAndCount(TextEncoding encoding) {
    // Only decoding and the first long text can run out of memory, and both come before any
    // count or counter changes, so a failure leaves the run's figures as they were.
    std::u16string& text = m_text;
    cutHeader(text, m_headerToCut);
    if (m_stage) {
        m_state.CrLfCount += countCrLf(text);
        m_stage->add(text);
        m_stage->finish();
        m_state.Units->finish();
    } else {
        m_state.CrLfCount += m_counter.count(text, *m_state.CharCounts, m_stopPoll);
    }
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
