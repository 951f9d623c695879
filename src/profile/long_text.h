// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Counting a text too long to be decoded whole: read piece by piece into buffers that stay in
// cache, counted without keeping the decoded text (only its beginning, for showing), and on two
// threads when it is long enough to pay.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "profile/analysis_state.h"
#include "profile/decode.h"
#include "profile/large_buffer.h"
#include "profile/text_choices.h"
#include "profile/utf8_count.h"

namespace runemeter {

class HeaderCut;

/// Number of CR units in text immediately followed by an LF unit.
[[nodiscard]] std::int64_t countCrLf(std::u16string_view text);

/// The header cut: if marker occurs (first occurrence, case-sensitive, at 0-based index i),
/// text loses its first i + 1 units. An empty marker cuts nothing.
void cutHeader(std::u16string& text, std::u16string_view marker);

/// Cuts text to the kSourceTextKept units kept for showing, one fewer when the cut would fall
/// between the two halves of a surrogate pair.
void keepBeginning(std::u16string& text);

/// Thrown when the run asks to stop while a text is read: the text is dropped whole. It is no
/// std::exception, so that no handler of read errors takes it for one.
struct ReadingStopped {};

/// Asked on the reading thread between two pieces of a text: true stops the reading. An empty
/// one never stops it.
using StopPoll = std::function<bool()>;

/// Where the bytes of a long text come from.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// Bytes from offset on, as many as buffer holds or fewer where the data ends (none past
    /// the end). The result lies in buffer, or, for data already in memory, in that data.
    /// Throws std::system_error when the bytes cannot be read.
    [[nodiscard]] virtual std::span<const std::byte> read(std::uint64_t offset,
                                                          std::span<std::byte> buffer) = 0;
    /// True when every result lies in one block of memory, in order: then the bytes before a
    /// result are the end of the result before it.
    [[nodiscard]] virtual bool inMemory() const { return false; }
    /// False when the bytes can be read only once, in order (offsets only grow, from one
    /// thread): such a source is never split over two threads nor read twice.
    [[nodiscard]] virtual bool rereadable() const { return true; }
    /// True when the source can be read again from an earlier offset after rewind(), also if it
    /// is read in order (a zip member opened again).
    [[nodiscard]] virtual bool rewindable() const { return rereadable(); }
    /// Makes the source ready to be read again from offset (a source read in order: in order
    /// from there). False when it cannot be.
    [[nodiscard]] virtual bool rewind(std::uint64_t /*offset*/) { return rereadable(); }
    /// Called once the text was read as far as it goes (a zero may end it early), before its
    /// counts are added: a source that must be read to its end to be checked reads on here and
    /// throws when the check fails.
    virtual void finish() {}
};

/// Bytes that can be read only once, in order: a zip member being unpacked, standard input.
/// read() takes the offsets in order, each where the one before ended.
class SequentialSource : public ByteSource {
public:
    /// The next bytes into buffer: as many as fit, or fewer near the end (0: the end).
    [[nodiscard]] virtual std::size_t readNext(std::span<std::byte> buffer) = 0;

    [[nodiscard]] std::span<const std::byte> read(std::uint64_t offset,
                                                  std::span<std::byte> buffer) override;
    [[nodiscard]] bool rereadable() const override { return false; }
    [[nodiscard]] bool rewindable() const override { return canReopen(); }
    /// Opens the source again from its start (reopen()) and reads on to offset.
    [[nodiscard]] bool rewind(std::uint64_t offset) override;
    /// Reads on to the end, so that whatever the source checks there is checked.
    void finish() override;

protected:
    /// Whether reopen() can work.
    [[nodiscard]] virtual bool canReopen() const { return false; }
    /// Starts the bytes again from the first: readNext gives them from there. False when it
    /// cannot.
    [[nodiscard]] virtual bool reopen() { return false; }

private:
    std::uint64_t m_position = 0;
};

/// An open descriptor read in order with read(): standard input, a pipe.
class DescriptorSource final : public SequentialSource {
public:
    explicit DescriptorSource(int fd) : m_fd(fd) {}
    /// Throws std::system_error when the bytes cannot be read.
    [[nodiscard]] std::size_t readNext(std::span<std::byte> buffer) override;

private:
    int m_fd;
};

/// A sequential source whose first bytes were read already (to look at them first).
class PrefixedSource final : public ByteSource {
public:
    /// rest has given exactly the bytes of prefix so far.
    PrefixedSource(std::span<const std::byte> prefix, ByteSource& rest)
        : m_prefix(prefix), m_rest(rest) {}
    [[nodiscard]] std::span<const std::byte> read(std::uint64_t offset,
                                                  std::span<std::byte> buffer) override;
    [[nodiscard]] bool rereadable() const override { return m_rest.rereadable(); }
    [[nodiscard]] bool rewindable() const override { return m_rest.rewindable(); }
    /// The prefix stays in memory: only the rest is rewound, to where the prefix ends at most.
    [[nodiscard]] bool rewind(std::uint64_t offset) override;
    void finish() override { m_rest.finish(); }

private:
    std::span<const std::byte> m_prefix;
    ByteSource& m_rest;
};

/// Bytes already in memory.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::byte> data) : m_data(data) {}
    [[nodiscard]] std::span<const std::byte> read(std::uint64_t offset,
                                                  std::span<std::byte> buffer) override;
    [[nodiscard]] bool inMemory() const override { return true; }

private:
    std::span<const std::byte> m_data;
};

/// An open file, read with pread so that two threads can read it at once.
class FileSource final : public ByteSource {
public:
    explicit FileSource(int fd) : m_fd(fd) {}
    [[nodiscard]] std::span<const std::byte> read(std::uint64_t offset,
                                                  std::span<std::byte> buffer) override;

private:
    int m_fd;
};

/// What counting one long text found.
struct LongTextResult {
    std::int64_t units = 0;      ///< code units counted: the length of the text
    std::int64_t crLf = 0;       ///< CR LF pairs in it
    bool readAsUtf8 = false;     ///< a text without a signature was read (and counts) as UTF-8
    bool looksLikeUtf8 = false;  ///< ANSI reading: the bytes are well-formed multi-byte UTF-8
};

/// Counts long texts; its buffers and tables are made once and reused from text to text.
class LongTextCounter {
public:
    /// Bytes read at a time by each thread.
    static constexpr std::size_t kDefaultPieceSize = std::size_t{256} << 10;
    /// Texts at least this long (in bytes) are counted in two halves on two threads.
    static constexpr std::uint64_t kDefaultSplitFrom = std::uint64_t{8} << 20;

    /// pieceSize (at least 8) and splitFrom are lowered by tests.
    explicit LongTextCounter(std::size_t pieceSize = kDefaultPieceSize,
                             std::uint64_t splitFrom = kDefaultSplitFrom,
                             Utf8Counting way = Utf8Counting::Best);
    ~LongTextCounter();
    LongTextCounter(const LongTextCounter&) = delete;
    LongTextCounter& operator=(const LongTextCounter&) = delete;

    /// Counts the text of the encoding whose bytes start at offset start of source and run to
    /// its first zero byte (UTF-16: zero unit) or the end of the data; expectedEnd (the file
    /// size) only decides where the threads split. The text's first kSourceTextKept units
    /// (never half a surrogate pair) replace head. The units are added to counts only when
    /// the whole text was read: on an exception counts are as they were and head is empty.
    /// stopRequested is asked after every piece (on two threads: what it says reaches the other
    /// thread before its next piece); true throws ReadingStopped. headerToCut (if any) is cut
    /// as cutHeader does: only what follows its first unit is counted and kept. On two threads
    /// the marker is looked for first (a search, no counting), then the text after it counted.
    /// How texts are read and counted from now on. With a unit other than UTF-16 code units or
    /// a normalisation, the decoded pieces go through a NormaliseStage into a UnitCounter of
    /// the unit (on two threads: joined as their headers describe), and each whole text is
    /// joined into units and finished there instead of being added to counts. A text without a
    /// signature (encoding ANSI) is read as choices.unsignedText says; in automatic mode a text
    /// that proves not to be UTF-8 is read again from its start as ANSI. A source that can be
    /// read only once (a pipe) is then kept, as it is read, in an unnamed temporary file, which
    /// is read first on the restart, then the rest of the source; when no such file could be
    /// made or written, the restart fails (std::runtime_error saying why).
    void setChoices(const TextChoices& choices, UnitCounter* units);

    LongTextResult count(ByteSource& source, TextEncoding encoding, std::uint64_t start,
                         std::uint64_t expectedEnd, CharCountTable& counts, std::u16string& head,
                         const StopPoll& stopRequested = {}, std::u16string_view headerToCut = {});

private:
    class Stream;

    /// Counts from start with the units of prefix in front; cut (if any) is looked for as the
    /// text is counted, on one thread.
    LongTextResult countFrom(ByteSource& source, TextEncoding encoding, std::uint64_t start,
                             std::uint64_t expectedEnd, CharCountTable& counts,
                             std::u16string& head, const StopPoll& stopRequested, HeaderCut* cut,
                             std::u16string_view prefix);
    LongTextResult countAs(ByteSource& source, TextEncoding encoding, std::uint64_t start,
                           std::uint64_t expectedEnd, CharCountTable& counts, std::u16string& head,
                           const StopPoll& stopRequested, std::u16string_view headerToCut);
    [[nodiscard]] static std::uint64_t middleOf(TextEncoding encoding, std::uint64_t start,
                                                std::uint64_t length);
    void makeStreams(bool split);

    std::size_t m_pieceSize;
    std::uint64_t m_splitFrom;
    Utf8Counting m_way;
    TextChoices m_choices;
    UnitCounter* m_units = nullptr;
    // What the text now read needs: a check of its bytes (a text without a signature read as
    // ANSI or automatically), and whether a turn to ANSI restarts it.
    bool m_check = false;
    bool m_restartOnTurn = false;
    /// The code units of a text whose code points are counted with the code unit kernels.
    std::unique_ptr<CharCountTable, PageReleaser> m_pairCounts;
    std::unique_ptr<Stream> m_first;
    std::unique_ptr<Stream> m_second;
};

}  // namespace runemeter
