// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The counting stage: what one counted unit of a text is. The reading pipeline hands a counter
// the decoded UTF-16 text in pieces, in order, and calls finish() once after the last piece of
// each text; the counts add up over the texts. A counter holds tables of a few hundred KiB to
// 1.5 MiB: make one per run and thread, not one per file.
//
// A long text may be counted in two halves on two threads. The counter of the second half is
// made with continuesText = true: it keeps back its leading units (its head) until it knows
// where a unit begins there, because a surrogate pair or a grapheme cluster may have been split
// by the border. first.join(second) then counts the head with the end of the first half, adds
// the second's counts and takes over the second's unfinished tail; finish() is called on the
// first after the join. Joins chain: a text in three parts is a.join(b), then a.join(c).
//
// CR LF pairs are left to the pipeline, which counts them in code units in every kind: a
// grapheme counter counts CR and LF each as a cluster of its own, never "\r\n" as one.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "profile/large_buffer.h"

namespace runemeter {

/// 64-bit counts by UTF-16 unit (or by the low 16 bits of a code point), zeroed by the kernel.
using UnitCountTable = std::array<std::int64_t, 65536>;
using ZeroedUnitCounts = std::unique_ptr<UnitCountTable, PageReleaser>;

/// What one counted unit is.
enum class CountingUnit { Utf16, CodePoint, Grapheme };

class UnitCounter {
public:
    virtual ~UnitCounter() = default;
    [[nodiscard]] virtual CountingUnit unit() const noexcept = 0;
    /// The next piece of decoded text (any length, borders anywhere).
    virtual void add(std::u16string_view piece) = 0;
    /// The text has ended: counts what was kept back for the next piece.
    virtual void finish() = 0;
    /// Takes over a counter of the same kind, made with continuesText, that counted the text
    /// following this one's. Throws std::invalid_argument for a counter of another kind.
    virtual void join(UnitCounter& next) = 0;
    /// Units counted so far (after finish(): all of them).
    [[nodiscard]] virtual std::int64_t total() const = 0;
    /// Adds the counts of a finished counter of the same kind that counted other texts (the
    /// texts of another part of a run). Throws std::invalid_argument for another kind.
    virtual void addCountsOf(const UnitCounter& other) = 0;
};

/// A counter of the given kind.
[[nodiscard]] std::unique_ptr<UnitCounter> makeUnitCounter(CountingUnit unit,
                                                           bool continuesText = false);

/// Counts in four lanes of 32-bit counts taken in turn (a run of one character does not wait
/// on its own previous increment), moved into 64-bit counts before they can overflow.
class LanedCounts {
public:
    LanedCounts();
    /// Counts n units that are all below 65536.
    void add(const char16_t* units, std::size_t n);
    void addOne(char16_t unit) { ++(*counts_)[unit]; }
    /// Takes back one count of a unit counted before.
    void takeOne(char16_t unit) { --(*counts_)[unit]; }
    /// Adds n (which may be negative) to the count of unit.
    void addTo(char16_t unit, std::int64_t n) { (*counts_)[unit] += n; }
    /// Moves the lanes into the 64-bit counts.
    void flush();
    void merge(LanedCounts& other);
    /// Adds counts made elsewhere.
    void addCounts(const std::array<std::int64_t, 65536>& counts);
    /// Adds counts made elsewhere and leaves them all zero; quick when few units are counted.
    void moveCounts(std::array<std::int64_t, 65536>& counts);
    /// The counts by unit value (flush() first).
    [[nodiscard]] const std::array<std::int64_t, 65536>& counts() const { return *counts_; }

private:
    std::unique_ptr<std::array<std::array<std::uint32_t, 65536>, 4>, PageReleaser>
        lanes_;  // on first add()
    ZeroedUnitCounts counts_;
    std::uint64_t sinceFlush_ = 0;
};

/// UTF-16 code units: every unit is counted as it is.
class Utf16UnitCounter final : public UnitCounter {
public:
    [[nodiscard]] CountingUnit unit() const noexcept override { return CountingUnit::Utf16; }
    void add(std::u16string_view piece) override { counts_.add(piece.data(), piece.size()); }
    // The lanes are moved into the counts when these are read, not at the end of every text:
    // a move reads 1.5 MiB, far more than a short file's units.
    void finish() override {}
    void join(UnitCounter& next) override;
    [[nodiscard]] std::int64_t total() const override;
    void addCountsOf(const UnitCounter& other) override;
    [[nodiscard]] const std::array<std::int64_t, 65536>& counts() const {
        const_cast<LanedCounts&>(counts_).flush();
        return counts_.counts();
    }

private:
    LanedCounts counts_;
};

struct CodePointCount {
    char32_t codePoint;
    std::int64_t count;
    bool operator==(const CodePointCount&) const = default;
};

/// Counts of the code points past U+FFFF, in blocks of 256 code points made on first use: a
/// text uses few of them, and every fresh page of a full table costs more than the counting.
class SupplementaryCounts {
public:
    /// Adds n to the count of codePoint (U+10000 to U+10FFFF).
    void add(char32_t codePoint, std::int64_t n) {
        if (blocks_) {
            if (Block* counts = (*blocks_)[(codePoint - 0x10000) >> 8].get()) {
                (*counts)[codePoint & 0xFF] += n;
                return;
            }
        }
        block(codePoint)[codePoint & 0xFF] += n;
    }
    /// Calls f(codePoint, count) for every code point whose count is not zero, in order.
    template <typename F>
    void forEach(F&& f) const {
        if (!blocks_) {
            return;
        }
        for (std::size_t b = 0; b < blocks_->size(); ++b) {
            if (const Block* counts = (*blocks_)[b].get()) {
                for (std::size_t i = 0; i < counts->size(); ++i) {
                    if ((*counts)[i] != 0) {
                        f(static_cast<char32_t>(0x10000 + (b << 8) + i), (*counts)[i]);
                    }
                }
            }
        }
    }
    void addAll(const SupplementaryCounts& other) {
        other.forEach([this](char32_t codePoint, std::int64_t n) { add(codePoint, n); });
    }
    /// Sets every count to zero (keeping the blocks).
    void clear();

private:
    using Block = std::array<std::int64_t, 256>;
    Block& block(char32_t codePoint);

    std::unique_ptr<std::array<std::unique_ptr<Block>, 4096>> blocks_;
};

/// Code points: a high surrogate followed by a low one is one code point from U+10000 to
/// U+10FFFF; a surrogate that is not part of such a pair is counted as its own value. Every
/// unit is counted as a code unit first; a scan for surrogates, quick on text without them,
/// then moves each pair's two counts to its code point.
class CodePointCounter final : public UnitCounter {
public:
    explicit CodePointCounter(bool continuesText = false) : atStart_(continuesText) {}
    [[nodiscard]] CountingUnit unit() const noexcept override { return CountingUnit::CodePoint; }
    void add(std::u16string_view piece) override;
    void finish() override;
    void join(UnitCounter& next) override;
    [[nodiscard]] std::int64_t total() const override;
    void addCountsOf(const UnitCounter& other) override;
    /// The counted code points in ascending order (after finish()).
    [[nodiscard]] std::vector<CodePointCount> counts() const;
    /// Adds count to the count of a code point (a surrogate: its own row).
    void addCount(char32_t codePoint, std::int64_t count);
    /// Takes over a text counted elsewhere in code units (units is left all zero), whose valid
    /// surrogate pairs made the code points of pairs: their surrogates' counts move to those
    /// code points.
    void moveCounted(std::array<std::int64_t, 65536>& units, const SupplementaryCounts& pairs);

private:
    void countPair(char16_t high, char16_t low);

    LanedCounts bmp_;  // lone surrogates too, by their value
    SupplementaryCounts supplementary_;
    char16_t lastHigh_ = 0;  // a high surrogate that ended the last piece (counted as lone)
    bool atStart_;           // continuing a text and nothing seen yet
    char16_t firstLow_ = 0;  // a low surrogate that began a continued text (counted as lone)
};

struct ClusterCount {
    std::u16string text;
    std::int64_t count;
    bool operator==(const ClusterCount&) const = default;
};

/// Extended grapheme clusters, as ICU's character break iterator finds them, one count per
/// distinct cluster text (however long). Between two units that can join with nothing on that
/// side (most letters, digits, spaces and punctuation of the common scripts) the border is
/// certain without ICU: runs of such units are counted one by one, and only the stretches
/// around the others go through the break iterator.
class GraphemeCounter final : public UnitCounter {
public:
    explicit GraphemeCounter(bool continuesText = false);
    ~GraphemeCounter() override;
    GraphemeCounter(const GraphemeCounter&) = delete;
    GraphemeCounter& operator=(const GraphemeCounter&) = delete;
    [[nodiscard]] CountingUnit unit() const noexcept override { return CountingUnit::Grapheme; }
    void add(std::u16string_view piece) override;
    void finish() override;
    void join(UnitCounter& next) override;
    [[nodiscard]] std::int64_t total() const override;
    void addCountsOf(const UnitCounter& other) override;
    /// The counted clusters ordered by their UTF-16 text (after finish()).
    [[nodiscard]] std::vector<ClusterCount> counts() const;

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view s) const noexcept {
            return std::hash<std::u16string_view>{}(s);
        }
    };
    struct Icu;

    /// Counts the clusters of text; unless final, the last one is left uncounted and its
    /// length returned.
    std::size_t countClusters(std::u16string_view text, bool final);
    /// The border after carry_ is certain: counts it whole (or keeps it as the head).
    void closeCarry();
    void countCluster(std::u16string_view cluster);

    ZeroedUnitCounts single_;  // clusters of one unit
    std::unordered_map<std::u16string, std::int64_t, Hash, std::equal_to<>> clusters_;
    std::unique_ptr<Icu> icu_;
    std::u16string carry_;  // units after the last certain border
    std::u16string head_;   // a continued text's units before its first certain border
    bool inHead_;
    std::size_t trimAt_ = 1024;
};

}  // namespace runemeter
