// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading one file or one in-memory member, decoding it, cutting the header and counting.

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "profile/analysis_observer.h"
#include "profile/analysis_state.h"
#include "profile/decode.h"
#include "profile/long_text.h"
#include "profile/normalise_stage.h"
#include "profile/text_choices.h"

namespace runemeter {

/// Counts the code units of a decoded text (one shorter than a long text) into several 32-bit
/// tables in turn, so that a long run of one character does not wait on its own previous
/// increment, and adds them to the 64-bit counts at the end of each text and before any 32-bit
/// count could overflow. Long texts are counted as they are read, by LongTextCounter.
class CodeUnitCounter {
public:
    /// Texts shorter than this are counted straight into the 64-bit table.
    static constexpr std::size_t kInterleaveFrom = std::size_t{1} << 20;
    /// Most units counted between two flushes; each table then holds at most a quarter.
    static constexpr std::size_t kDefaultFlushEvery = std::size_t{1} << 30;

    /// flushEvery (at least 4) bounds the units counted between flushes; tests lower it and
    /// the threshold.
    explicit CodeUnitCounter(std::size_t flushEvery = kDefaultFlushEvery,
                             std::size_t interleaveFrom = kInterleaveFrom);

    /// Adds every unit of text to counts; returns the number of CR LF pairs in text. A long
    /// text is counted in pieces, stopRequested asked after each: true throws ReadingStopped and
    /// leaves counts as they were.
    [[nodiscard]] std::int64_t count(std::u16string_view text, CharCountTable& counts,
                                     const StopPoll& stopRequested = {});

private:
    static void flushInto(LaneTables& lanes, CharCountTable& counts);

    std::size_t m_flushEvery;
    std::size_t m_interleaveFrom;
    std::unique_ptr<LaneTables> m_lanes;  ///< made on first long text, kept zeroed between uses
};

/// Reads and counts texts into an AnalysisState. Buffers are kept and reused between files.
class TextAnalyser {
public:
    TextAnalyser(AnalysisState& state, AnalysisObserver& observer);

    /// The header marker (empty: nothing is cut). Cut from position p: text from p + 1 on.
    void setHeaderToCut(std::u16string marker) { m_headerToCut = std::move(marker); }
    [[nodiscard]] const std::u16string& headerToCut() const { return m_headerToCut; }

    /// How texts are read and counted (see LongTextCounter::setChoices). With a unit other
    /// than UTF-16 code units or a normalisation, the state gets a counter of that unit
    /// (AnalysisState::Units) into which every text is counted; call before the first text.
    void setChoices(const TextChoices& choices);
    /// Whether a text without a signature read as ANSI looked like UTF-8 since the last ask.
    [[nodiscard]] bool takeUtf8LookingHint() { return std::exchange(m_metUtf8Looking, false); }

    /// Reads the whole file and analyses it. False (not read) when it is missing, empty
    /// (observer: fileIsEmpty) or cannot be read (observer: failedToRead). Only regular files
    /// are read; a folder, FIFO or device is refused without blocking. Throws ReadingStopped
    /// when the observer asks to stop while a long file is read (asked about every piece); the
    /// counts, counters and text are then those before the file.
    [[nodiscard]] bool AnalyseFile(const std::filesystem::path& fileName);

    /// Detects, decodes, cuts and counts data already in memory. Always true: data shorter
    /// than 3 bytes counts as read but is neither decoded nor counted. May throw
    /// std::bad_alloc while decoding, or ReadingStopped when the observer asks to stop while
    /// a long text is read; the counts, counters and text are then unchanged.
    [[nodiscard]] bool AnalyseBuffer(std::span<const std::byte> data);

    /// Reads a text that comes only once, in order (a zip member), and analyses it: a short one
    /// as a buffer, a longer one as a long text, never held whole. False (not read) when it is
    /// empty. sizeHint: the size it claims (0: unknown). Errors of the source and
    /// ReadingStopped come through as they are; the counts, counters and text are then
    /// unchanged.
    [[nodiscard]] bool AnalyseSequential(SequentialSource& source, std::uint64_t sizeHint);

    /// Texts at least this long (in bytes) are read as long texts.
    [[nodiscard]] std::size_t readPieceSize() const { return m_pieceSize; }

    /// Texts at least this long (in bytes) are long (at least 4). A shorter file is read whole
    /// and analysed like a buffer. A long text is counted piece by piece without keeping its
    /// decoded text, the header cut on the way (see LongTextCounter). Tests lower it.
    void setReadPieceSize(std::size_t bytes) { m_pieceSize = std::max<std::size_t>(bytes, 4); }

    /// How long texts are counted (piece size, where the threads split, the UTF-8 counting);
    /// tests lower the sizes.
    void setLongTextCounting(std::size_t pieceSize, std::uint64_t splitFrom,
                             Utf8Counting way = Utf8Counting::Best) {
        m_longText = std::make_unique<LongTextCounter>(pieceSize, splitFrom, way);
        m_longText->setChoices(m_choices, m_state.Units.get());
    }

    /// The default piece size.
    static constexpr std::size_t kDefaultPieceSize = std::size_t{4} << 20;

private:
    /// Reads until the span is full or the file ends; returns the byte count or throws.
    [[nodiscard]] static std::size_t readFully(int fd, std::span<std::byte> into);
    /// Cuts the header from the decoded text in m_text, counts it, makes it the state's text
    /// and counts the file by encoding.
    void cutAndCount(TextEncoding encoding);
    /// Counts a long text (cutting the header as it goes); bytes start at offset 0 of source.
    void countLong(ByteSource& source, std::span<const std::byte> signature,
                   std::uint64_t expectedEnd);
    /// Counts the file by its encoding.
    void countEncoding(TextEncoding encoding);

    AnalysisState& m_state;
    AnalysisObserver& m_observer;
    std::u16string m_headerToCut;
    StopPoll m_stopPoll;
    /// The text being decoded; it becomes the state's text only once the file is counted,
    /// so that a stop in the middle leaves the text of the file before.
    std::u16string m_text;
    std::vector<std::byte> m_readBuffer;
    std::size_t m_pieceSize = kDefaultPieceSize;
    CodeUnitCounter m_counter;
    std::unique_ptr<LongTextCounter> m_longText = std::make_unique<LongTextCounter>();
    TextChoices m_choices;
    std::unique_ptr<NormaliseStage> m_stage;  ///< into m_state.Units, for texts decoded whole
    bool m_metUtf8Looking = false;
};

/// Adds every code unit of text to counts and returns the number of CR LF pairs in it.
/// One increment per unit, no allocation; long texts go faster through CodeUnitCounter.
[[nodiscard]] std::int64_t countCodeUnits(std::u16string_view text, CharCountTable& counts);

}  // namespace runemeter
