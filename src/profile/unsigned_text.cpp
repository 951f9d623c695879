// SPDX-License-Identifier: GPL-3.0-or-later
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

// One pass over the bytes: ASCII eight at a time; past it, the text toolkit's validator checks a
// stretch of bytes at a time (a sequence the stretch cuts is checked again with the next one).
void Utf8Check::checkRest(const unsigned char* s, std::size_t n) {
    constexpr std::size_t kStretch = 64;
    const auto hasHigh = [](const unsigned char* p, std::size_t count) {
        return std::any_of(p, p + count, [](unsigned char b) { return b >= 0x80; });
    };
    std::size_t i = 0;
    while (i < n) {
        std::uint64_t word = 0;
        while (i + 8 <= n && (std::memcpy(&word, s + i, 8), (word & 0x8080808080808080u) == 0)) {
            i += 8;
        }
        if (i == n) {
            break;  // the piece ended on ASCII
        }
        const std::size_t end = std::min(n, i + kStretch);
        const auto error = findInvalidUtf8(view(s + i, end - i));
        if (!error) {
            multiByte_ = multiByte_ || hasHigh(s + i, end - i);
            i = end;
            continue;
        }
        if (!cutAtEnd(*error, s + i, end - i)) {
            wellFormed_ = false;
            return;
        }
        multiByte_ = multiByte_ || hasHigh(s + i, error->offset);
        const std::size_t at = i + error->offset;
        if (end == n) {  // cut by the end of the piece: completed by the next one
            tailSize_ = n - at;
            std::memcpy(tail_, s + at, tailSize_);
            return;
        }
        i = at;  // a sequence is at most 4 bytes: at lies past i
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
