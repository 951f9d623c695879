// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/normalise_stage.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/unorm2.h>

#include <array>
#include <stdexcept>

#include "suite/unicode_text.h"

namespace runemeter {

namespace {

constexpr char16_t kUnknown = 0xD800;  // stands for a unit before the text that is not known

const icu::Normalizer2* instance(Normalisation form) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* found = nullptr;
    switch (form) {
        case Normalisation::Nfc:
            found = icu::Normalizer2::getNFCInstance(status);
            break;
        case Normalisation::Nfd:
            found = icu::Normalizer2::getNFDInstance(status);
            break;
        case Normalisation::Nfkc:
            found = icu::Normalizer2::getNFKCInstance(status);
            break;
        case Normalisation::Nfkd:
            found = icu::Normalizer2::getNFKDInstance(status);
            break;
        case Normalisation::None:
            return nullptr;
    }
    if (U_FAILURE(status) || found == nullptr) {
        throw std::runtime_error(std::string("no normaliser: ") + u_errorName(status));
    }
    return found;
}

// The units that are a whole character in the form that never combines with its neighbours
// (quick check yes, combining class 0): a normalisation boundary lies on both sides of it
// unless a following character combines with it.
const std::array<bool, 65536>* safeUnits(Normalisation form) {
    const auto make = [](UProperty check) {
        auto table = std::make_unique<std::array<bool, 65536>>();
        for (UChar32 c = 0; c < 0x10000; ++c) {
            (*table)[c] = !U_IS_SURROGATE(c) && u_getCombiningClass(c) == 0 &&
                          u_getIntPropertyValue(c, check) == UNORM_YES;
        }
        return table;
    };
    // Each table is made on first use of its form only (a run without normalisation makes none).
    switch (form) {
        case Normalisation::Nfc: {
            static const auto nfc = make(UCHAR_NFC_QUICK_CHECK);
            return nfc.get();
        }
        case Normalisation::Nfd: {
            static const auto nfd = make(UCHAR_NFD_QUICK_CHECK);
            return nfd.get();
        }
        case Normalisation::Nfkc: {
            static const auto nfkc = make(UCHAR_NFKC_QUICK_CHECK);
            return nfkc.get();
        }
        case Normalisation::Nfkd: {
            static const auto nfkd = make(UCHAR_NFKD_QUICK_CHECK);
            return nfkd.get();
        }
        case Normalisation::None:
            break;
    }
    return nullptr;
}

icu::UnicodeString alias(std::u16string_view text) {
    return icu::UnicodeString(false, text.data(), static_cast<std::int32_t>(text.size()));
}

}  // namespace

struct NormaliseStage::Icu {
    const icu::Normalizer2* form = nullptr;
    const std::array<bool, 65536>* safe = nullptr;
    icu::UnicodeString out;

    // Whether the normalisation of text may split before text[k] (before is the unit before
    // text[0]). A surrogate whose partner may be on the other side of a border is not judged.
    [[nodiscard]] bool boundaryBefore(std::u16string_view text, std::size_t k,
                                      char16_t before) const {
        const char16_t u = text[k];
        if (isLowSurrogate(u) && isHighSurrogate(k > 0 ? text[k - 1] : before)) {
            return false;
        }
        if (isHighSurrogate(u) && k + 1 == text.size()) {
            return false;
        }
        return form->hasBoundaryBefore(static_cast<UChar32>(codePointAt(text, k).value));
    }
};

NormaliseStage::NormaliseStage(Normalisation form, UnitCounter& out, bool continuesText)
    : icu_(std::make_unique<Icu>()),
      out_(out),
      none_(form == Normalisation::None),
      inHead_(continuesText && !none_) {
    icu_->form = instance(form);
    icu_->safe = safeUnits(form);
}

NormaliseStage::~NormaliseStage() = default;

void NormaliseStage::pass(std::u16string_view text) {
    // Characters in the form that never combine (quick check yes, combining class 0) go to
    // the counter as they are; ICU sees the stretches around the others, from the character
    // before (which may take a following mark) to a run of such characters.
    constexpr int kRun = 16;
    if (icu_->safe == nullptr) {  // no normalisation: everything passes as it is
        if (!text.empty()) {
            out_.add(text);
        }
        return;
    }
    const auto& safe = *icu_->safe;
    std::size_t i = 0;
    while (i < text.size()) {
        std::size_t k = i;
        // Four at a time (one branch for four loads), then one at a time to the first that is
        // not safe.
        const char16_t* const t = text.data();
        while (k + 4 <= text.size() &&
               (safe[t[k]] & safe[t[k + 1]] & safe[t[k + 2]] & safe[t[k + 3]])) {
            k += 4;
        }
        while (k < text.size() && safe[t[k]]) {
            ++k;
        }
        const std::size_t from = k > i && k < text.size() ? k - 1 : k;
        if (from > i) {
            out_.add(text.substr(i, from - i));
        }
        if (k == text.size()) {
            return;
        }
        std::size_t end = k + 1;
        for (int run = 0; end < text.size(); ++end) {
            run = safe[text[end]] ? run + 1 : 0;
            if (run == kRun) {
                end -= kRun - 1;
                break;
            }
        }
        UErrorCode status = U_ZERO_ERROR;
        icu_->form->normalize(alias(text.substr(from, end - from)), icu_->out, status);
        if (U_FAILURE(status)) {
            throw std::runtime_error(std::string("normalisation: ") + u_errorName(status));
        }
        out_.add(std::u16string_view(icu_->out.getBuffer(),
                                     static_cast<std::size_t>(icu_->out.length())));
        i = end;
    }
}

void NormaliseStage::add(std::u16string_view piece) {
    if (none_) {
        out_.add(piece);
        return;
    }
    const char16_t before = !carry_.empty() ? carry_.back() : inHead_ ? kUnknown : u'\0';
    std::size_t first = 0;
    while (first < piece.size() && !icu_->boundaryBefore(piece, first, before)) {
        ++first;
    }
    if (first == piece.size()) {
        carry_.append(piece);
        return;
    }
    // What comes before the first boundary ends the kept text.
    if (inHead_) {
        head_ = carry_;
        head_.append(piece.substr(0, first));
        inHead_ = false;
    } else if (!carry_.empty()) {
        carry_.append(piece.substr(0, first));
        pass(carry_);
    } else {
        pass(piece.substr(0, first));
    }
    std::size_t last = piece.size();
    do {
        last -=
            last >= first + 2 && isLowSurrogate(piece[last - 1]) && isHighSurrogate(piece[last - 2])
                ? 2
                : 1;
    } while (last > first && !icu_->boundaryBefore(piece, last, before));
    pass(piece.substr(first, last - first));
    carry_.assign(piece.substr(last));
}

void NormaliseStage::finish() {
    if (!head_.empty()) {
        throw std::logic_error("a stage that continues a text must be joined before it ends");
    }
    inHead_ = false;
    pass(carry_);
    carry_.clear();
}

void NormaliseStage::join(NormaliseStage& next) {
    if (none_ || next.none_) {
        return;
    }
    if (next.inHead_) {  // no boundary in its text: all of it continues this one's
        add(next.carry_);
        next.carry_.clear();
        return;
    }
    add(next.head_);
    next.head_.clear();
    if (inHead_) {  // this one continues a text too: its head ends where next's text begins
        head_ = std::move(carry_);
        inHead_ = false;
    } else {
        pass(carry_);
    }
    carry_ = std::move(next.carry_);
    next.carry_.clear();
}

}  // namespace runemeter
