// AnalyseBuffer on arbitrary bytes. The first byte gives the length (0..3) of a header marker
// taken from the bytes after it; the rest is the data. The result is checked against the slow
// reference decoder and counter.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "../tests/reference/reference_text.h"
#include "profile/text_analyser.h"

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
    static TextAnalyser analyser(state, observer);
    state.SourceText = u"previous";
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
