// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a text without a signature is read: as ANSI (Windows-1252), as UTF-8, or chosen by its
// bytes ("auto": UTF-8 when the bytes are well-formed UTF-8 holding at least one multi-byte
// sequence, otherwise ANSI). The file is read once, so the choice is made as the pieces come.
//
// In auto mode the text is read as UTF-8 from the start: on ASCII both readings agree. When a
// malformed sequence shows up, the reading turns to ANSI. If nothing but ASCII was read before
// it, the counts so far are the same in both readings and reading simply goes on in ANSI;
// otherwise the caller must drop the counts of this text and read it again from its start as
// ANSI (add() returns Step::Restart). Every source the program reads, a file or a zip member,
// can be opened again from its start.

#include <atomic>
#include <cstddef>
#include <span>
#include <string>

namespace runemeter {

enum class UnsignedMode { Ansi, Utf8, Auto };

/// Whether bytes are well-formed UTF-8 with a multi-byte sequence, tested piece by piece
/// (a sequence may be cut by a piece border) with the strict validator of the text toolkit.
class Utf8Check {
public:
    void add(std::span<const std::byte> piece);
    /// The bytes have ended: a sequence still cut makes them malformed.
    void finish();
    /// No malformed sequence so far (a sequence cut at the end of the last piece is not one yet).
    [[nodiscard]] bool wellFormed() const noexcept { return wellFormed_; }
    [[nodiscard]] bool multiByte() const noexcept { return multiByte_; }

private:
    void checkRest(const unsigned char* s, std::size_t n);

    unsigned char tail_[4] = {};
    std::size_t tailSize_ = 0;
    bool wellFormed_ = true;
    bool multiByte_ = false;
};

enum class UnsignedReading { Ansi, Utf8 };

/// The reading of one text without a signature. Call add() with each piece of the text's bytes
/// before decoding it (up to the first zero byte, as the decoders read), and finish() before
/// decoding the bytes the decoder kept back at the end.
class UnsignedText {
public:
    enum class Step {
        Go,      // decode the piece as reading() says
        Restart  // drop this text's counts and read it again from its start as ANSI
    };
    explicit UnsignedText(UnsignedMode mode);
    [[nodiscard]] Step add(std::span<const std::byte> piece);
    [[nodiscard]] Step finish();
    /// How to decode the next piece.
    [[nodiscard]] UnsignedReading reading() const noexcept { return reading_; }
    /// Whether the text counts among the UTF-8 files (after finish()).
    [[nodiscard]] bool countsAsUtf8() const noexcept { return reading_ == UnsignedReading::Utf8; }
    /// No malformed sequence so far; a multi-byte sequence met so far.
    [[nodiscard]] bool wellFormed() const noexcept { return check_.wellFormed(); }
    [[nodiscard]] bool multiByte() const noexcept { return check_.multiByte(); }
    /// In ANSI mode: whether the text would have been read as UTF-8 in auto mode (after finish()).
    [[nodiscard]] bool looksLikeUtf8() const noexcept {
        return mode_ == UnsignedMode::Ansi && check_.wellFormed() && check_.multiByte();
    }

private:
    [[nodiscard]] Step afterCheck(bool multiByteBefore);

    UnsignedMode mode_;
    UnsignedReading reading_;
    Utf8Check check_;
    bool checking_;
};

/// The once-per-run hint of ANSI mode: files that look like UTF-8 were read as ANSI. Shared by
/// the threads of one run.
class Utf8LookingFiles {
public:
    void note(const UnsignedText& text) noexcept {
        if (text.looksLikeUtf8()) {
            met_.store(true, std::memory_order_relaxed);
        }
    }
    /// True the first time it is asked after such a file was met, false ever after.
    [[nodiscard]] bool takeHint() noexcept {
        return met_.load(std::memory_order_relaxed) && !said_.exchange(true);
    }

private:
    std::atomic<bool> met_{false};
    std::atomic<bool> said_{false};
};

}  // namespace runemeter
