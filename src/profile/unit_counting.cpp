#include "profile/unit_counting.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <algorithm>
#include <stdexcept>

#include "suite/unicode_text.h"

namespace runemeter {

namespace {

constexpr bool isSurrogateUnit(char16_t u) noexcept {
    return (u & 0xF800) == 0xD800;
}

// Whether a unit can join a grapheme cluster with what follows it, or with what precedes it,
// whatever the rest of the text. Every rule of ICU's character break iterator that keeps two
// characters x y together needs x to be Prepend or Hangul, or y to be Extend, ZWJ, a spacing
// mark, a regional indicator, an extended pictographic or an Indic consonant or virama (CR LF
// aside, which is counted as two). So a border lies between x and y whenever x is marked
// kNoJoinAfter and y kNoJoinBefore. Surrogates get neither mark: a pair is one character whose
// properties the single unit does not show.
enum : std::uint8_t { kNoJoinAfter = 1, kNoJoinBefore = 2 };

const std::array<std::uint8_t, 65536>& joinFlags() {
    static const std::array<std::uint8_t, 65536> table = [] {
        std::array<std::uint8_t, 65536> flags{};
        for (UChar32 c = 0; c < 0x10000; ++c) {
            if (U_IS_SURROGATE(c)) {
                continue;
            }
            const int gcb = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
            const bool hangul = gcb == U_GCB_L || gcb == U_GCB_V || gcb == U_GCB_T ||
                                gcb == U_GCB_LV || gcb == U_GCB_LVT;
            if (gcb != U_GCB_PREPEND && !hangul) {
                flags[c] |= kNoJoinAfter;
            }
            const int insc = u_getIntPropertyValue(c, UCHAR_INDIC_SYLLABIC_CATEGORY);
            if (gcb != U_GCB_EXTEND && gcb != U_GCB_ZWJ && gcb != U_GCB_SPACING_MARK &&
                gcb != U_GCB_REGIONAL_INDICATOR &&
                !u_hasBinaryProperty(c, UCHAR_EXTENDED_PICTOGRAPHIC) && insc != U_INSC_CONSONANT &&
                insc != U_INSC_VIRAMA) {
                flags[c] |= kNoJoinBefore;
            }
        }
        return flags;
    }();
    return table;
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

LanedCounts::LanedCounts()
    : lanes_(std::make_unique<std::array<std::array<std::uint32_t, 65536>, 4>>()),
      counts_(std::make_unique<std::array<std::int64_t, 65536>>()) {}

void LanedCounts::add(const char16_t* p, std::size_t n) {
    constexpr std::size_t kChunk = std::size_t{1} << 30;  // no lane entry can pass 2^32
    while (n > 0) {
        const std::size_t take = std::min(n, kChunk);
        if (sinceFlush_ + take > 0xFFFFFFFFu) {
            flush();
        }
        sinceFlush_ += take;
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

// ---- CodePointCounter

void CodePointCounter::add(std::u16string_view piece) {
    const char16_t* p = piece.data();
    const std::size_t n = piece.size();
    std::size_t i = 0;
    if (n == 0) {
        return;
    }
    if (atStart_) {  // a low surrogate here may end a pair begun before this text
        atStart_ = false;
        if (isLowSurrogate(p[0])) {
            headLow_ = p[0];
            i = 1;
        }
    }
    if (pendingHigh_ != 0) {
        if (isLowSurrogate(p[0])) {
            countSupplementary(combineSurrogates(pendingHigh_, p[0]));
            i = 1;
        } else {
            bmp_.addOne(pendingHigh_);
        }
        pendingHigh_ = 0;
    }
    while (i < n) {
        // Blocks of four units without a surrogate are counted as code units.
        std::size_t block = i;
        while (block + 4 <= n && !(isSurrogateUnit(p[block]) | isSurrogateUnit(p[block + 1]) |
                                   isSurrogateUnit(p[block + 2]) | isSurrogateUnit(p[block + 3]))) {
            block += 4;
        }
        bmp_.add(p + i, block - i);
        i = block;
        // Then up to four units one by one.
        for (const std::size_t stop = std::min(n, i + 4); i < stop;) {
            const char16_t u = p[i];
            if (!isHighSurrogate(u)) {
                bmp_.addOne(u);
                ++i;
            } else if (i + 1 == n) {
                pendingHigh_ = u;
                ++i;
            } else if (isLowSurrogate(p[i + 1])) {
                countSupplementary(combineSurrogates(u, p[i + 1]));
                i += 2;
            } else {
                bmp_.addOne(u);
                ++i;
            }
        }
    }
}

void CodePointCounter::countSupplementary(char32_t cp) {
    auto& plane = planes_[(cp >> 16) - 1];
    if (!plane) {
        plane = std::make_unique<std::array<std::int64_t, 65536>>();
    }
    ++(*plane)[cp & 0xFFFF];
}

void CodePointCounter::finish() {
    if (headLow_ != 0) {  // never joined: nothing precedes it
        bmp_.addOne(headLow_);
        headLow_ = 0;
    }
    if (pendingHigh_ != 0) {
        bmp_.addOne(pendingHigh_);
        pendingHigh_ = 0;
    }
    bmp_.flush();
}

void CodePointCounter::join(UnitCounter& next) {
    auto& other = sameKind<CodePointCounter>(next);
    if (other.atStart_) {  // it saw no text: this one's end is still open
        return;
    }
    if (other.headLow_ != 0) {
        add(std::u16string_view(&other.headLow_, 1));
        other.headLow_ = 0;
    }
    if (pendingHigh_ != 0) {
        bmp_.addOne(pendingHigh_);
    }
    pendingHigh_ = other.pendingHigh_;
    other.pendingHigh_ = 0;
    bmp_.merge(other.bmp_);
    for (std::size_t p = 0; p < planes_.size(); ++p) {
        if (!other.planes_[p]) {
            continue;
        }
        if (!planes_[p]) {
            planes_[p] = std::move(other.planes_[p]);
            continue;
        }
        for (std::size_t u = 0; u < 65536; ++u) {
            (*planes_[p])[u] += (*other.planes_[p])[u];
        }
    }
}

std::int64_t CodePointCounter::total() const {
    std::int64_t sum = 0;
    for (const CodePointCount& row : counts()) {
        sum += row.count;
    }
    return sum;
}

std::vector<CodePointCount> CodePointCounter::counts() const {
    const_cast<LanedCounts&>(bmp_).flush();
    std::vector<CodePointCount> rows;
    for (char32_t u = 0; u < 65536; ++u) {
        if (const std::int64_t c = bmp_.counts()[u]; c != 0) {
            rows.push_back({u, c});
        }
    }
    for (std::size_t p = 0; p < planes_.size(); ++p) {
        if (!planes_[p]) {
            continue;
        }
        for (char32_t u = 0; u < 65536; ++u) {
            if (const std::int64_t c = (*planes_[p])[u]; c != 0) {
                rows.push_back({static_cast<char32_t>(((p + 1) << 16) | u), c});
            }
        }
    }
    return rows;
}

// ---- GraphemeCounter

struct GraphemeCounter::Icu {
    std::unique_ptr<icu::BreakIterator> clusters;
    UText text = UTEXT_INITIALIZER;
    ~Icu() { utext_close(&text); }
};

GraphemeCounter::GraphemeCounter(bool continuesText)
    : single_(std::make_unique<std::array<std::int64_t, 65536>>()),
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
    } else {
        countClusters(carry_, true);
    }
    carry_.clear();
}

void GraphemeCounter::add(std::u16string_view piece) {
    const auto& flags = joinFlags();
    const char16_t* p = piece.data();
    const std::size_t n = piece.size();
    const auto borderAfter = [&](std::size_t j) {
        return (flags[p[j]] & kNoJoinAfter) && (flags[p[j + 1]] & kNoJoinBefore);
    };
    if (n == 0) {
        return;
    }
    if (!carry_.empty() && (flags[carry_.back()] & kNoJoinAfter) && (flags[p[0]] & kNoJoinBefore)) {
        closeCarry();
    }
    std::size_t i = 0;
    while (i < n) {
        const bool atBorder = carry_.empty() && !inHead_;
        if (atBorder) {  // each unit between two certain borders is a cluster of its own
            auto& single = *single_;
            while (i + 1 < n && borderAfter(i)) {
                ++single[p[i]];
                ++i;
            }
        }
        std::size_t j = i;
        while (j + 1 < n && !borderAfter(j)) {
            ++j;
        }
        if (j + 1 == n) {  // no certain border before the piece ends
            carry_.append(p + i, n - i);
            break;
        }
        if (atBorder) {
            countClusters(std::u16string_view(p + i, j + 1 - i), true);
        } else {
            carry_.append(p + i, j + 1 - i);
            closeCarry();
        }
        i = j + 1;
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
