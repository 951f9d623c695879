// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Unicode normalisation between the decoder and the counter, on a text that arrives in pieces.
//
// A piece is passed on up to its last normalisation boundary (a character that never combines
// with what precedes it); the rest is kept and put before the next piece, so a sequence cut by
// a piece border is normalised whole. Text already in the chosen form goes to the counter as
// it is, without a copy. After finish() the stage can take the next text.
//
// For a text normalised in two halves on two threads, the second half's stage is made with
// continuesText = true and keeps back its leading units up to its first boundary (its head).
// After both halves are done, first.join(second) normalises the first's kept tail together
// with that head and hands the result to the first's counter; only then are the counters
// joined (firstCounter.join(secondCounter)), and finally first.finish() and
// firstCounter.finish() are called.

#include <memory>
#include <string>
#include <string_view>

#include "profile/unit_counting.h"

namespace runemeter {

enum class Normalisation { None, Nfc, Nfd, Nfkc, Nfkd };

class NormaliseStage {
public:
    NormaliseStage(Normalisation form, UnitCounter& out, bool continuesText = false);
    ~NormaliseStage();
    NormaliseStage(const NormaliseStage&) = delete;
    NormaliseStage& operator=(const NormaliseStage&) = delete;

    /// The next decoded piece; what can be normalised already goes to the counter.
    void add(std::u16string_view piece);
    /// The text has ended: the kept tail goes to the counter.
    void finish();
    /// Takes over the stage that normalised the text following this one's (see above).
    void join(NormaliseStage& next);

private:
    struct Icu;
    /// Normalises text, which ends at a boundary, into the counter.
    void pass(std::u16string_view text);

    std::unique_ptr<Icu> icu_;
    UnitCounter& out_;
    bool none_;
    bool inHead_;
    std::u16string carry_;  // after the last boundary
    std::u16string head_;   // a continued text's units before its first boundary
};

}  // namespace runemeter
