// AnalyseBuffer on arbitrary bytes. The first byte gives the length (0..3) of a header marker
// taken from the bytes after it; the rest is the data. The result is checked against the slow
// reference decoder and counter.

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

    AnalysisState state;
    AnalysisObserver observer;
    TextAnalyser analyser(state, observer);
    analyser.setHeaderToCut(marker);
    check(analyser.AnalyseBuffer(std::as_bytes(std::span(body, bodySize))));

    reference::State expected;
    reference::analyseBuffer(reference::Bytes(body, body + bodySize), marker, expected);
    check(state.SourceText == expected.sourceText);
    check(state.Utf8FileCount == expected.utf8Files);
    check(state.UnicodeFileCount == expected.unicodeFiles);
    check(state.BigEndianFileCount == expected.bigEndianFiles);
    check(state.CrLfCount == expected.crLf);
    for (std::size_t u = 0; u < expected.counts.size(); ++u) {
        check((*state.CharCounts)[u] == expected.counts[u]);
    }
    return 0;
}
