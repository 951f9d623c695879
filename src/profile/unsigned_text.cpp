#include "profile/unsigned_text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "suite/unicode_text.h"

namespace runemeter {

namespace {

std::size_t sequenceLength(unsigned char lead) {
    return lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// Whether an error of the validator at the end of the bytes is only a sequence cut short:
// its lead byte can begin a sequence and every byte after it fits.
bool cutAtEnd(const Utf8Error& error, const unsigned char* s, std::size_t n) {
    return error.offset + error.length == n && error.length < sequenceLength(s[error.offset]) &&
           s[error.offset] >= 0xC2 && s[error.offset] <= 0xF4;
}

std::string_view view(const unsigned char* s, std::size_t n) {
    return {reinterpret_cast<const char*>(s), n};
}

}  // namespace

void Utf8Check::add(std::span<const std::byte> piece) {
    const auto* s = reinterpret_cast<const unsigned char*>(piece.data());
    std::size_t n = piece.size();
    if (!wellFormed_ || n == 0) {
        return;
    }
    if (tailSize_ > 0) {  // complete the sequence the last piece cut
        const std::size_t take = std::min(n, sequenceLength(tail_[0]) - tailSize_);
        std::memcpy(tail_ + tailSize_, s, take);
        const std::size_t size = tailSize_ + take;
        const auto error = findInvalidUtf8(view(tail_, size));
        if (error && !cutAtEnd(*error, tail_, size)) {
            wellFormed_ = false;
            return;
        }
        tailSize_ = error ? size : 0;
        multiByte_ = multiByte_ || !error;
        s += take;
        n -= take;
    }
    checkRest(s, n);
}

// One pass over the bytes, ASCII eight at a time; each sequence is checked in place against
// the well-formed byte ranges (no overlong form, surrogate or value above U+10FFFF).
void Utf8Check::checkRest(const unsigned char* s, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        std::uint64_t word = 0;
        while (i + 8 <= n && (std::memcpy(&word, s + i, 8), (word & 0x8080808080808080u) == 0)) {
            i += 8;
        }
        if (i == n) {
            break;  // the piece ended on ASCII
        }
        const unsigned char c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        std::size_t length = 0;
        unsigned char low = 0x80;
        unsigned char high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            wellFormed_ = false;
            return;
        }
        const std::size_t have = std::min(length, n - i);
        bool fits = have < 2 || (s[i + 1] >= low && s[i + 1] <= high);
        for (std::size_t k = 2; fits && k < have; ++k) {
            fits = (s[i + k] & 0xC0) == 0x80;
        }
        if (!fits) {
            wellFormed_ = false;
            return;
        }
        if (have < length) {  // cut by the end of the piece: completed by the next one
            tailSize_ = have;
            std::memcpy(tail_, s + i, have);
            return;
        }
        multiByte_ = true;
        i += length;
    }
}

void Utf8Check::finish() {
    if (tailSize_ > 0) {
        wellFormed_ = false;
        tailSize_ = 0;
    }
}

UnsignedText::UnsignedText(UnsignedMode mode)
    : mode_(mode),
      reading_(mode == UnsignedMode::Ansi ? UnsignedReading::Ansi : UnsignedReading::Utf8),
      checking_(mode != UnsignedMode::Utf8) {}

UnsignedText::Step UnsignedText::add(std::span<const std::byte> piece) {
    if (!checking_) {
        return Step::Go;
    }
    const bool before = check_.multiByte();
    check_.add(piece);
    return afterCheck(before);
}

UnsignedText::Step UnsignedText::finish() {
    if (!checking_) {
        return Step::Go;
    }
    const bool before = check_.multiByte();
    check_.finish();
    const Step step = afterCheck(before);
    checking_ = false;
    if (mode_ == UnsignedMode::Auto && !check_.multiByte()) {
        reading_ = UnsignedReading::Ansi;  // ASCII only: read alike, counted as ANSI
    }
    return step;
}

UnsignedText::Step UnsignedText::afterCheck(bool multiByteBefore) {
    if (check_.wellFormed()) {
        return Step::Go;
    }
    checking_ = false;
    if (mode_ != UnsignedMode::Auto) {
        return Step::Go;
    }
    reading_ = UnsignedReading::Ansi;
    // Only ASCII was read as UTF-8 so far, or a sequence whose bytes were all kept back.
    return multiByteBefore ? Step::Restart : Step::Go;
}

}  // namespace runemeter
