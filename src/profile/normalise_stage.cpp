#include "profile/normalise_stage.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

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

icu::UnicodeString alias(std::u16string_view text) {
    return icu::UnicodeString(false, text.data(), static_cast<std::int32_t>(text.size()));
}

}  // namespace

struct NormaliseStage::Icu {
    const icu::Normalizer2* form = nullptr;
    icu::UnicodeString out;
    std::u16string joined;

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
}

NormaliseStage::~NormaliseStage() = default;

void NormaliseStage::pass(std::u16string_view text) {
    if (text.empty()) {
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    const auto done = static_cast<std::size_t>(icu_->form->spanQuickCheckYes(alias(text), status));
    if (U_SUCCESS(status) && done > 0) {  // already in the form: passed on as it is
        out_.add(text.substr(0, done));
    }
    if (U_SUCCESS(status) && done < text.size()) {  // the span ends at a boundary
        icu_->form->normalize(alias(text.substr(done)), icu_->out, status);
        out_.add(std::u16string_view(icu_->out.getBuffer(),
                                     static_cast<std::size_t>(icu_->out.length())));
    }
    if (U_FAILURE(status)) {
        throw std::runtime_error(std::string("normalisation: ") + u_errorName(status));
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
