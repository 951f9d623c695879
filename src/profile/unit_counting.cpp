// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/unit_counting.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <mutex>
#include <stdexcept>

#include "suite/unicode_text.h"

namespace runemeter {

namespace {

constexpr bool isSurrogateUnit(char16_t u) noexcept {
    return (u & 0xF800) == 0xD800;
}

// Where a grapheme cluster surely ends, whatever the text before. Each rule of ICU's character
// break iterator that keeps two characters x y together has x Prepend or Hangul, or y Extend,
// ZWJ or a spacing mark, or else (x, y) is (ZWJ, extended pictographic), (regional indicator,
// regional indicator), or (virama or mark, Indic consonant); CR LF is counted as two anyway.
// So a cluster ends between x and y when certainBorder(flags of x, flags of y).
enum : std::uint8_t {
    kNoJoinAfter = 1,    // x is neither Prepend nor Hangul
    kNoJoinBefore = 2,   // y is neither Extend, ZWJ nor a spacing mark
    kPlainAfter = 4,     // x is neither Extend, ZWJ nor a regional indicator
    kSpecialBefore = 8,  // y is an extended pictographic, a regional indicator or a consonant
};

constexpr bool certainBorder(std::uint8_t x, std::uint8_t y) noexcept {
    return (x & kNoJoinAfter) && (y & kNoJoinBefore) &&
           ((x & kPlainAfter) || !(y & kSpecialBefore));
}

using FlagPlane = std::array<std::uint8_t, 65536>;

std::unique_ptr<FlagPlane> makeFlagPlane(UChar32 first) {
    auto flags = std::make_unique<FlagPlane>();
    for (UChar32 c = first; c < first + 0x10000; ++c) {
        if (U_IS_SURROGATE(c)) {
            continue;  // a lone surrogate: the pipeline of a cluster is not known
        }
        const int gcb = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
        const int insc = u_getIntPropertyValue(c, UCHAR_INDIC_SYLLABIC_CATEGORY);
        const bool hangul = gcb == U_GCB_L || gcb == U_GCB_V || gcb == U_GCB_T || gcb == U_GCB_LV ||
                            gcb == U_GCB_LVT;
        std::uint8_t f = 0;
        f |= gcb != U_GCB_PREPEND && !hangul ? kNoJoinAfter : 0;
        f |= gcb != U_GCB_EXTEND && gcb != U_GCB_ZWJ && gcb != U_GCB_SPACING_MARK ? kNoJoinBefore
                                                                                  : 0;
        f |= gcb != U_GCB_EXTEND && gcb != U_GCB_ZWJ && gcb != U_GCB_REGIONAL_INDICATOR &&
                     insc != U_INSC_VIRAMA
                 ? kPlainAfter
                 : 0;
        f |= u_hasBinaryProperty(c, UCHAR_EXTENDED_PICTOGRAPHIC) ||
                     gcb == U_GCB_REGIONAL_INDICATOR || insc == U_INSC_CONSONANT
                 ? kSpecialBefore
                 : 0;
        (*flags)[c & 0xFFFF] = f;
    }
    return flags;
}

const FlagPlane& bmpFlags() {
    static const std::unique_ptr<FlagPlane> bmp = makeFlagPlane(0);
    return *bmp;
}

// The flags of the 17 planes, each made on first use.
std::uint8_t flagsOf(char32_t cp) {
    if (cp < 0x10000) {
        return bmpFlags()[cp];
    }
    static std::array<std::once_flag, 16> made;
    static std::array<std::unique_ptr<FlagPlane>, 16> planes;
    const std::size_t plane = (cp >> 16) - 1;
    std::call_once(made[plane], [&] { planes[plane] = makeFlagPlane(UChar32(cp & ~0xFFFFu)); });
    return (*planes[plane])[cp & 0xFFFF];
}

/// The flags of the character at text[i] (none for a lone surrogate or a cut pair).
std::uint8_t flagsAt(std::u16string_view text, std::size_t i) {
    const char16_t u = text[i];
    if (!isSurrogateUnit(u)) {
        return flagsOf(u);
    }
    return isSurrogatePairAt(text, i) ? flagsOf(combineSurrogates(u, text[i + 1])) : 0;
}

/// The flags of the character that ends text.
std::uint8_t flagsOfLast(std::u16string_view text) {
    const std::size_t n = text.size();
    return n >= 2 && isSurrogatePairAt(text, n - 2) ? flagsAt(text, n - 2) : flagsAt(text, n - 1);
}

template <typename Counter>
Counter& sameKind(UnitCounter& next) {
    auto* other = dynamic_cast<Counter*>(&next);
    if (other == nullptr) {
        throw std::invalid_argument("counters of different kinds cannot be joined");
    }
    return *other;
}

}  // namespace

std::unique_ptr<UnitCounter> makeUnitCounter(CountingUnit unit, bool continuesText) {
    switch (unit) {
        case CountingUnit::CodePoint:
            return std::make_unique<CodePointCounter>(continuesText);
        case CountingUnit::Grapheme:
            return std::make_unique<GraphemeCounter>(continuesText);
        case CountingUnit::Utf16:
            break;
    }
    return std::make_unique<Utf16UnitCounter>();
}

// ---- LanedCounts

LanedCounts::LanedCounts() : counts_(makeZeroedTable<UnitCountTable>()) {}

void LanedCounts::add(const char16_t* p, std::size_t n) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;  // no lane entry can pass 2^32
    while (n > 0) {
        const std::size_t take = std::min(n, kChunk);
        if (sinceFlush_ + take > 0xFFFFFFFFu) {
            flush();
        }
        sinceFlush_ += take;
        if (!lanes_) {  // made on first use: counts added whole (addCounts) need none
            lanes_ = makeZeroedTable<std::array<std::array<std::uint32_t, 65536>, 4>>();
        }
        auto& [lane0, lane1, lane2, lane3] = *lanes_;
        const std::size_t whole = take - take % 4;
        for (std::size_t i = 0; i < whole; i += 4) {
            ++lane0[p[i]];
            ++lane1[p[i + 1]];
            ++lane2[p[i + 2]];
            ++lane3[p[i + 3]];
        }
        for (std::size_t i = whole; i < take; ++i) {
            ++lane0[p[i]];
        }
        p += take;
        n -= take;
    }
}

void LanedCounts::flush() {
    if (sinceFlush_ == 0) {
        return;
    }
    auto& counts = *counts_;
    for (auto& lane : *lanes_) {
        for (std::size_t u = 0; u < lane.size(); ++u) {
            counts[u] += lane[u];
        }
        lane.fill(0);
    }
    sinceFlush_ = 0;
}

void LanedCounts::merge(LanedCounts& other) {
    other.flush();
    flush();
    for (std::size_t u = 0; u < counts_->size(); ++u) {
        (*counts_)[u] += (*other.counts_)[u];
    }
}

void LanedCounts::addCounts(const std::array<std::int64_t, 65536>& counts) {
    flush();
    for (std::size_t u = 0; u < counts.size(); ++u) {
        (*counts_)[u] += counts[u];
    }
}

void LanedCounts::moveCounts(std::array<std::int64_t, 65536>& counts) {
    flush();
    for (std::size_t u = 0; u < counts.size(); ++u) {
        if (counts[u] != 0) {
            (*counts_)[u] += counts[u];
            counts[u] = 0;
        }
    }
}

// ---- Utf16UnitCounter

void Utf16UnitCounter::join(UnitCounter& next) {
    counts_.merge(sameKind<Utf16UnitCounter>(next).counts_);
}

std::int64_t Utf16UnitCounter::total() const {
    const_cast<LanedCounts&>(counts_).flush();
    std::int64_t sum = 0;
    for (const std::int64_t c : counts_.counts()) {
        sum += c;
    }
    return sum;
}

void Utf16UnitCounter::addCountsOf(const UnitCounter& other) {
    // The other's lanes are flushed as its counts() would (a flush changes no count).
    auto& from = sameKind<Utf16UnitCounter>(const_cast<UnitCounter&>(other));
    from.counts_.flush();
    counts_.addCounts(from.counts_.counts());
}

// ---- SupplementaryCounts

SupplementaryCounts::Block& SupplementaryCounts::block(char32_t codePoint) {
    if (!blocks_) {
        blocks_ = std::make_unique<std::array<std::unique_ptr<Block>, 4096>>();
    }
    auto& counts = (*blocks_)[(codePoint - 0x10000) >> 8];
    if (!counts) {
        counts = std::make_unique<Block>();
    }
    return *counts;
}

void SupplementaryCounts::clear() {
    if (blocks_) {
        for (auto& counts : *blocks_) {
            if (counts) {
                counts->fill(0);
            }
        }
    }
}

// ---- CodePointCounter

void CodePointCounter::add(std::u16string_view piece) {
    const char16_t* p = piece.data();
    const std::size_t n = piece.size();
    if (n == 0) {
        return;
    }
    bmp_.add(p, n);
    if (atStart_) {  // a low surrogate here may end a pair begun before this text
        atStart_ = false;
        firstLow_ = isLowSurrogate(p[0]) ? p[0] : char16_t{0};
    } else if (lastHigh_ != 0 && isLowSurrogate(p[0])) {
        countPair(lastHigh_, p[0]);
    }
    std::size_t i = 0;
#if defined(__SSE2__)
    // Eight units at a time; only the surrogates found are looked at one by one.
    const __m128i surrogateBits = _mm_set1_epi16(static_cast<short>(0xF800));
    const __m128i surrogate = _mm_set1_epi16(static_cast<short>(0xD800));
    for (; i + 8 <= n; i += 8) {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        auto found = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, surrogateBits), surrogate)));
        for (; found != 0; found &= found - 1) {
            const std::size_t k = i + static_cast<std::size_t>(__builtin_ctz(found)) / 2;
            found &= found - 1;  // the unit's second mask bit
            if (isSurrogatePairAt(piece, k)) {
                countPair(p[k], p[k + 1]);
            }
        }
    }
#endif
    for (; i < n; ++i) {
        if (isSurrogatePairAt(piece, i)) {
            countPair(p[i], p[i + 1]);
        }
    }
    lastHigh_ = isHighSurrogate(p[n - 1]) ? p[n - 1] : char16_t{0};
}

void CodePointCounter::countPair(char16_t high, char16_t low) {
    bmp_.takeOne(high);
    bmp_.takeOne(low);
    supplementary_.add(combineSurrogates(high, low), 1);
}

void CodePointCounter::addCount(char32_t codePoint, std::int64_t count) {
    if (codePoint < 0x10000) {
        bmp_.addTo(static_cast<char16_t>(codePoint), count);
    } else {
        supplementary_.add(codePoint, count);
    }
}

void CodePointCounter::moveCounted(std::array<std::int64_t, 65536>& units,
                                   const SupplementaryCounts& pairs) {
    bmp_.moveCounts(units);
    // The surrogates of the pairs are taken back from the code units.
    pairs.forEach([this](char32_t codePoint, std::int64_t count) {
        supplementary_.add(codePoint, count);
        bmp_.addTo(static_cast<char16_t>(0xD7C0 + (codePoint >> 10)), -count);
        bmp_.addTo(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)), -count);
    });
}

void CodePointCounter::finish() {
    lastHigh_ = firstLow_ = 0;  // the lanes are moved when the counts are read
}

void CodePointCounter::join(UnitCounter& next) {
    auto& other = sameKind<CodePointCounter>(next);
    if (other.atStart_) {  // it saw no text: this one's end is still open
        return;
    }
    if (atStart_) {  // this one saw no text: the other's start is this one's
        atStart_ = false;
        firstLow_ = other.firstLow_;
    } else if (lastHigh_ != 0 && other.firstLow_ != 0) {
        countPair(lastHigh_, other.firstLow_);
    }
    lastHigh_ = other.lastHigh_;
    bmp_.merge(other.bmp_);
    supplementary_.addAll(other.supplementary_);
}

std::int64_t CodePointCounter::total() const {
    const_cast<LanedCounts&>(bmp_).flush();
    std::int64_t sum = 0;
    for (const std::int64_t c : bmp_.counts()) {
        sum += c;
    }
    supplementary_.forEach([&sum](char32_t, std::int64_t count) { sum += count; });
    return sum;
}

void CodePointCounter::addCountsOf(const UnitCounter& other) {
    auto& from = sameKind<CodePointCounter>(const_cast<UnitCounter&>(other));
    from.bmp_.flush();
    bmp_.addCounts(from.bmp_.counts());
    supplementary_.addAll(from.supplementary_);
}

std::vector<CodePointCount> CodePointCounter::counts() const {
    const_cast<LanedCounts&>(bmp_).flush();
    std::vector<CodePointCount> rows;
    for (char32_t u = 0; u < 65536; ++u) {
        if (const std::int64_t c = bmp_.counts()[u]; c != 0) {
            rows.push_back({u, c});
        }
    }
    supplementary_.forEach([&rows](char32_t codePoint, std::int64_t count) {
        rows.push_back({codePoint, count});
    });
    return rows;
}

// ---- GraphemeCounter

struct GraphemeCounter::Icu {
    std::unique_ptr<icu::BreakIterator> clusters;
    UText text = UTEXT_INITIALIZER;
    ~Icu() { utext_close(&text); }
};

GraphemeCounter::GraphemeCounter(bool continuesText)
    : single_(makeZeroedTable<UnitCountTable>()),
      icu_(std::make_unique<Icu>()),
      inHead_(continuesText) {
    UErrorCode status = U_ZERO_ERROR;
    icu_->clusters.reset(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !icu_->clusters) {
        throw std::runtime_error(std::string("no grapheme break iterator: ") + u_errorName(status));
    }
}

GraphemeCounter::~GraphemeCounter() = default;

void GraphemeCounter::countCluster(std::u16string_view cluster) {
    if (cluster.size() == 1) {
        ++(*single_)[cluster[0]];
    } else if (cluster == u"\r\n") {
        ++(*single_)[u'\r'];
        ++(*single_)[u'\n'];
    } else if (auto found = clusters_.find(cluster); found != clusters_.end()) {
        ++found->second;
    } else {
        clusters_.emplace(cluster, 1);
    }
}

std::size_t GraphemeCounter::countClusters(std::u16string_view text, bool final) {
    UErrorCode status = U_ZERO_ERROR;
    utext_openUChars(&icu_->text, text.data(), static_cast<std::int64_t>(text.size()), &status);
    icu_->clusters->setText(&icu_->text, status);
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("grapheme break iterator: ") + u_errorName(status));
    }
    std::size_t start = 0;
    for (std::int32_t end = icu_->clusters->next(); end != icu::BreakIterator::DONE;
         end = icu_->clusters->next()) {
        const auto stop = static_cast<std::size_t>(end);
        if (!final && stop == text.size()) {
            return stop - start;
        }
        countCluster(text.substr(start, stop - start));
        start = stop;
    }
    return 0;
}

void GraphemeCounter::closeCarry() {
    if (inHead_) {
        head_ = std::move(carry_);
        inHead_ = false;
    } else if (carry_.size() == 1 || (carry_.size() == 2 && isSurrogatePairAt(carry_, 0))) {
        countCluster(carry_);  // one character: no need to ask ICU
    } else {
        countClusters(carry_, true);
    }
    carry_.clear();
}

void GraphemeCounter::add(std::u16string_view piece) {
    const std::size_t n = piece.size();
    if (n == 0) {
        return;
    }
    if (!carry_.empty() && certainBorder(flagsOfLast(carry_), flagsAt(piece, 0))) {
        closeCarry();
    }
    const auto unitsAt = [&](std::size_t i) -> std::size_t {
        return isSurrogatePairAt(piece, i) ? 2 : 1;
    };
    std::size_t i = 0;
    while (i < n) {
        const bool atBorder = carry_.empty() && !inHead_;
        if (atBorder) {  // each character between two certain borders is a cluster of its own
            auto& single = *single_;
            const FlagPlane& bmp = bmpFlags();
            std::uint8_t x = flagsAt(piece, i);
            while (i + 1 < n) {
                if (!isSurrogateUnit(piece[i]) && !isSurrogateUnit(piece[i + 1])) {
                    const std::uint8_t y = bmp[piece[i + 1]];
                    if (!certainBorder(x, y)) {
                        break;
                    }
                    ++single[piece[i]];
                    ++i;
                    x = y;
                    continue;
                }
                const std::size_t next = i + unitsAt(i);
                if (next >= n) {
                    break;
                }
                const std::uint8_t y = flagsAt(piece, next);
                if (!certainBorder(x, y)) {
                    break;
                }
                countCluster(piece.substr(i, next - i));
                i = next;
                x = y;
            }
        }
        // The stretch for ICU ends at a certain border followed by a run of further ones (a
        // few borders in a word of a joining script are left to ICU with the rest of it).
        constexpr int kRun = 8;
        std::size_t end = n;
        int run = 0;
        std::uint8_t x = flagsAt(piece, i);
        for (std::size_t k = i, next = k + unitsAt(k); next < n; k = next, next = k + unitsAt(k)) {
            const std::uint8_t y = flagsAt(piece, next);
            if (!certainBorder(x, y)) {
                run = 0;
            } else if (run++ == 0) {
                end = next;
            }
            if (run == kRun) {
                break;
            }
            x = y;
        }
        if (run == 0) {
            end = n;
        }
        if (end == n) {  // no certain border before the piece ends
            carry_.append(piece.substr(i));
            break;
        }
        if (atBorder) {
            countClusters(piece.substr(i, end - i), true);
        } else {
            carry_.append(piece.substr(i, end - i));
            closeCarry();
        }
        i = end;
    }
    // A text whose characters all join (a script without spaces, a long run of marks) is
    // counted up to its last cluster, so the carry holds one cluster, not the text.
    if (!inHead_ && carry_.size() > trimAt_) {
        const std::size_t last = countClusters(carry_, false);
        carry_.erase(0, carry_.size() - last);
        trimAt_ = std::max<std::size_t>(1024, 2 * carry_.size());
    }
}

void GraphemeCounter::finish() {
    inHead_ = false;  // never joined: nothing precedes it
    if (!head_.empty()) {
        countClusters(head_, true);
        head_.clear();
    }
    if (!carry_.empty()) {
        closeCarry();
    }
}

void GraphemeCounter::join(UnitCounter& next) {
    auto& other = sameKind<GraphemeCounter>(next);
    if (other.inHead_) {  // no certain border in it: its text simply continues this one's
        add(other.carry_);
        other.carry_.clear();
        return;
    }
    add(other.head_);
    other.head_.clear();
    if (!carry_.empty()) {
        closeCarry();
    }
    carry_ = std::move(other.carry_);
    other.carry_.clear();
    for (std::size_t u = 0; u < single_->size(); ++u) {
        (*single_)[u] += (*other.single_)[u];
    }
    for (auto& [text, count] : other.clusters_) {
        clusters_[text] += count;
    }
    other.clusters_.clear();
}

std::int64_t GraphemeCounter::total() const {
    std::int64_t sum = 0;
    for (const std::int64_t c : *single_) {
        sum += c;
    }
    for (const auto& [text, count] : clusters_) {
        sum += count;
    }
    return sum;
}

void GraphemeCounter::addCountsOf(const UnitCounter& other) {
    const auto& from = sameKind<GraphemeCounter>(const_cast<UnitCounter&>(other));
    for (std::size_t unit = 0; unit < single_->size(); ++unit) {
        (*single_)[unit] += (*from.single_)[unit];
    }
    for (const auto& [text, count] : from.clusters_) {
        clusters_[text] += count;
    }
}

std::vector<ClusterCount> GraphemeCounter::counts() const {
    std::vector<ClusterCount> rows;
    rows.reserve(clusters_.size() + 256);
    for (std::size_t u = 0; u < single_->size(); ++u) {
        if ((*single_)[u] != 0) {
            rows.push_back({std::u16string(1, static_cast<char16_t>(u)), (*single_)[u]});
        }
    }
    for (const auto& [text, count] : clusters_) {
        rows.push_back({text, count});
    }
    std::sort(rows.begin(), rows.end(),
              [](const ClusterCount& a, const ClusterCount& b) { return a.text < b.text; });
    return rows;
}

}  // namespace runemeter
