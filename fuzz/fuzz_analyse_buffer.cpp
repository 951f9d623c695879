// SPDX-License-Identifier: GPL-3.0-or-later
// AnalyseBuffer on arbitrary bytes. The first byte gives the length (0..3) of a header marker
// taken from the bytes after it (low two bits) and the way the text is counted (the rest: whole,
// or as a long text in small pieces, on one thread or two, with each way of counting UTF-8);
// the rest is the data. The result is checked against the slow reference decoder and counter.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "profile/text_analyser.h"
#include "reference_text.h"

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace runemeter;
    if (size == 0) {
        return 0;
    }
    const std::size_t markerLength = std::min<std::size_t>(data[0] % 4, size - 1);
    std::u16string marker;
    for (std::size_t i = 0; i < markerLength; ++i) {
        marker.push_back(static_cast<char16_t>(data[1 + i]));
    }
    const std::uint8_t* body = data + 1 + markerLength;
    const std::size_t bodySize = size - 1 - markerLength;

    // One state for all runs: every check below leaves its counts at zero again, which is
    // far cheaper than a fresh table of 65536 counts per input.
    static AnalysisState state;
    static AnalysisObserver observer;
    struct Setting {
        std::size_t piece;
        std::uint64_t splitFrom;
        Utf8Counting way;
    };
    static constexpr Setting kSettings[] = {
        {0, 0, Utf8Counting::Best},  {8, 1 << 20, Utf8Counting::Scalar},
        {8, 2, Utf8Counting::Best},  {13, 40, Utf8Counting::Scalar},
        {64, 3, Utf8Counting::Avx2}, {300, 1 << 20, Utf8Counting::Best},
    };
    static TextAnalyser* const analysers = [] {
        static std::vector<TextAnalyser> made;
        made.reserve(std::size(kSettings));
        for (const Setting& setting : kSettings) {
            TextAnalyser& analyser = made.emplace_back(state, observer);
            if (setting.piece != 0) {
                analyser.setReadPieceSize(4);  // every buffer of 4 bytes or more is long
                analyser.setLongTextCounting(setting.piece, setting.splitFrom, setting.way);
            }
        }
        return made.data();
    }();
    TextAnalyser& analyser = analysers[(data[0] >> 2) % std::size(kSettings)];
    state.SourceText = u"previous";
    state.SourceTextLength = 8;
    state.UnicodeFileCount = state.BigEndianFileCount = state.Utf8FileCount = 0;
    state.CrLfCount = 0;
    analyser.setHeaderToCut(marker);
    check(analyser.AnalyseBuffer(std::as_bytes(std::span(body, bodySize))));

    const reference::Bytes bytes(body, body + bodySize);
    const bool decoded = bytes.size() >= 3;
    const reference::Encoding encoding = reference::detect(bytes);
    const std::u16string expected =
        decoded ? reference::cutHeader(reference::decode(bytes), marker) : u"previous";
    check(state.SourceText == expected);
    check(state.SourceTextLength == static_cast<std::int64_t>(expected.size()));
    check(state.Utf8FileCount == (decoded && encoding == reference::Encoding::Utf8 ? 1 : 0));
    check(state.UnicodeFileCount == (decoded && (encoding == reference::Encoding::Utf16Le ||
                                                 encoding == reference::Encoding::Utf16Be)
                                         ? 1
                                         : 0));
    check(state.BigEndianFileCount ==
          (decoded && encoding == reference::Encoding::Utf16Be ? 1 : 0));
    check(state.CrLfCount == (decoded ? reference::crLfPairs(expected) : 0));
    // Take each unit of the text back out of the counts: nothing may be missing or left over.
    CharCountTable& counts = *state.CharCounts;
    if (decoded) {
        for (const char16_t unit : expected) {
            check(counts[unit] > 0);
            --counts[unit];
        }
    }
    for (const std::int64_t count : counts) {
        check(count == 0);
    }
    return 0;
}
