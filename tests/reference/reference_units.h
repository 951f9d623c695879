// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Counting units of a whole text the slow, plain way: ICU normalises the text whole and its
// C break iterator segments it whole. The streaming stages, fed in pieces and split in two,
// are compared with this; streamed() drives them the way the reading pipeline does.

#include <unicode/ubrk.h>
#include <unicode/unorm2.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>

#include "profile/normalise_stage.h"
#include "profile/unit_counting.h"
#include "suite/unicode_text.h"

namespace runemeter::reference {

/// Counts by the unit's text: a code point's UTF-16, a cluster's text (CR LF as two).
using UnitCounts = std::map<std::u16string, std::int64_t>;

inline std::u16string normalised(std::u16string_view text, Normalisation form) {
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* n = form == Normalisation::Nfc    ? unorm2_getNFCInstance(&status)
                            : form == Normalisation::Nfd  ? unorm2_getNFDInstance(&status)
                            : form == Normalisation::Nfkc ? unorm2_getNFKCInstance(&status)
                            : form == Normalisation::Nfkd ? unorm2_getNFKDInstance(&status)
                                                          : nullptr;
    if (n == nullptr) {
        return std::u16string(text);
    }
    std::u16string out(text.size() * 18 + 1, u'\0');  // the longest expansion is 18 units
    out.resize(static_cast<std::size_t>(
        unorm2_normalize(n, text.data(), int(text.size()), out.data(), int(out.size()), &status)));
    return out;
}

inline UnitCounts counted(std::u16string_view text, CountingUnit unit) {
    UnitCounts counts;
    UErrorCode status = U_ZERO_ERROR;
    UBreakIterator* clusters =
        ubrk_open(UBRK_CHARACTER, "", text.data(), int(text.size()), &status);
    for (std::size_t i = 0; i < text.size();) {
        std::size_t units = 1;
        if (unit == CountingUnit::CodePoint) {
            units = codePointAt(text, i).units;
        } else if (unit == CountingUnit::Grapheme) {
            units = static_cast<std::size_t>(ubrk_following(clusters, int(i))) - i;
            units = text.substr(i, units) == u"\r\n" ? 1 : units;
        }
        ++counts[std::u16string(text.substr(i, units))];
        i += units;
    }
    ubrk_close(clusters);
    return counts;
}

/// A finished counter's counts by the unit's text.
inline UnitCounts countsOf(const UnitCounter& counter) {
    UnitCounts counts;
    if (const auto* points = dynamic_cast<const CodePointCounter*>(&counter)) {
        for (const CodePointCount& row : points->counts()) {
            std::u16string key;
            appendUtf16CodePoint(key, row.codePoint);
            counts[key] += row.count;
        }
    } else if (const auto* graphemes = dynamic_cast<const GraphemeCounter*>(&counter)) {
        for (const ClusterCount& row : graphemes->counts()) {
            counts[row.text] += row.count;
        }
    } else {
        const auto& units = dynamic_cast<const Utf16UnitCounter&>(counter).counts();
        for (std::size_t u = 0; u < units.size(); ++u) {
            if (units[u] != 0) {
                counts[std::u16string(1, char16_t(u))] = units[u];
            }
        }
    }
    std::int64_t sum = 0;
    for (const auto& [key, count] : counts) {
        sum += count;
    }
    if (sum != counter.total()) {
        counts[u"total differs"] = counter.total() - sum;
    }
    return counts;
}

/// The streaming stages on text in pieces of pieceSize units, counted in two halves split at
/// splitAt (no split when it is 0 or the text's length) and joined as the pipeline joins them.
inline UnitCounts streamed(std::u16string_view text, CountingUnit unit, Normalisation form,
                           std::size_t pieceSize, std::size_t splitAt) {
    const auto first = makeUnitCounter(unit);
    const auto second = makeUnitCounter(unit, true);
    NormaliseStage firstStage(form, *first);
    NormaliseStage secondStage(form, *second, true);
    splitAt = std::min(splitAt, text.size());
    for (std::size_t i = 0; i < text.size(); i += pieceSize) {
        const std::size_t end = std::min(text.size(), i + pieceSize);
        if (i < splitAt) {  // a piece that crosses the split is cut there
            firstStage.add(text.substr(i, std::min(end, splitAt) - i));
        }
        if (end > splitAt) {
            secondStage.add(text.substr(std::max(i, splitAt), end - std::max(i, splitAt)));
        }
    }
    firstStage.join(secondStage);
    first->join(*second);
    firstStage.finish();
    first->finish();
    return countsOf(*first);
}

}  // namespace runemeter::reference
