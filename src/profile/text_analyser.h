#pragma once

// Reading one file or one in-memory member, decoding it, cutting the header and counting.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "profile/analysis_observer.h"
#include "profile/analysis_state.h"

namespace runemeter {

/// Reads and counts texts into an AnalysisState. Buffers are kept and reused between files.
class TextAnalyser {
public:
    TextAnalyser(AnalysisState& state, AnalysisObserver& observer);

    /// The header marker (empty: nothing is cut). Cut from position p: text from p + 1 on.
    void setHeaderToCut(std::u16string marker) { m_headerToCut = std::move(marker); }
    [[nodiscard]] const std::u16string& headerToCut() const { return m_headerToCut; }

    /// Reads the whole file and analyses it. False (not read) when it is missing, empty
    /// (observer: fileIsEmpty) or cannot be read (observer: failedToRead).
    [[nodiscard]] bool AnalyseFile(const std::filesystem::path& fileName);

    /// Detects, decodes, cuts and counts data already in memory. Always true: data shorter
    /// than 3 bytes counts as read but is neither decoded nor counted.
    [[nodiscard]] bool AnalyseBuffer(std::span<const std::byte> data);

    /// The reusable read buffer, for callers that fill it themselves (zip members).
    [[nodiscard]] std::vector<std::byte>& readBuffer() { return m_readBuffer; }

private:
    AnalysisState& m_state;
    AnalysisObserver& m_observer;
    std::u16string m_headerToCut;
    std::vector<std::byte> m_readBuffer;
};

/// Adds every code unit of text to counts and returns the number of CR LF pairs in it.
/// The hot loop of the program: one increment per unit, no allocation.
[[nodiscard]] std::int64_t countCodeUnits(std::u16string_view text, CharCountTable& counts);

/// The header cut: if marker occurs (first occurrence, case-sensitive, at 0-based index i),
/// text loses its first i + 1 units. An empty marker cuts nothing.
void cutHeader(std::u16string& text, std::u16string_view marker);

}  // namespace runemeter
