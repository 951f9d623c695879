#pragma once

// Runs a whole analysis the way the window does and writes down every report, one line each.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "profile/analysis_run.h"
#include "suite/unicode_text.h"

namespace runemeter::test {

/// Every observer call as one line ("failed sub/a.txt"), paths relative to a base folder,
/// with the reasons kept beside.
class RunRecorder : public AnalysisObserver {
public:
    explicit RunRecorder(std::filesystem::path base) : m_base(std::move(base)) {}

    void fileIsEmpty(const std::filesystem::path& file) override {
        log.push_back("empty " + rel(file));
    }
    void failedToRead(const std::filesystem::path& file, const std::string& reason) override {
        log.push_back("failed " + rel(file));
        reasons.push_back(reason);
    }
    void archiveProblem(const std::filesystem::path& archive, const std::string& reason) override {
        log.push_back("archive " + rel(archive));
        reasons.push_back(reason);
    }
    void filesFound(std::int64_t count) override { found = count; }
    void fileProcessed(std::int64_t filesRead) override { lastFilesRead = filesRead; }

    /// Only the lines that tell the user of a problem.
    std::vector<std::string> log;
    std::vector<std::string> reasons;
    std::int64_t found = -1;
    std::int64_t lastFilesRead = 0;

private:
    std::string rel(const std::filesystem::path& p) const {
        return p.lexically_relative(m_base).string();
    }
    std::filesystem::path m_base;
};

/// Analyses path (a folder or a file) with the mask, as the Analyse button does.
inline void analyse(const std::filesystem::path& path, std::u16string mask, AnalysisState& state,
                    AnalysisObserver& observer, bool subFolders = false, bool zips = true) {
    RunRequest request;
    request.path = pathToDisplay(path);
    request.fileMask = std::move(mask);
    request.includeSubFolders = subFolders;
    request.readZipfiles = zips;
    TFileAndDirIterator iterator;
    if (!CheckChosenPath(request, iterator))
        throw std::runtime_error("not a valid path: " + path.string());
    runAnalysis(iterator, {}, state, observer);
}

/// True when text is valid UTF-8 without line breaks or other control characters.
inline bool isOneReadableLine(std::string_view text) {
    if (utf16ToUtf8(utf8ToUtf16(text)) != text)
        return false;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F)
            return false;
    }
    return true;
}

}  // namespace runemeter::test
