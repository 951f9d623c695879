// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one recording observer: every report of a run as one line ("failed sub/a.txt"), paths
// relative to a base folder, the reasons kept beside, with hooks to act in the middle of a run.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "profile/analysis_run.h"
#include "suite/unicode_text.h"

namespace runemeter::test {

class RunRecorder : public AnalysisObserver {
public:
    explicit RunRecorder(std::filesystem::path base = {}) : m_base(std::move(base)) {}

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
    void foundDir(const std::filesystem::path& dir) override {
        if (recordDirs)
            log.push_back("dir " + rel(dir));
    }
    void filesFound(std::int64_t count) override {
        found = count;
        if (recordProgress)
            log.push_back("found " + std::to_string(count));
        if (onFilesFound)
            onFilesFound();
    }
    void fileProcessed(std::int64_t filesRead) override {
        lastFilesRead = filesRead;
        ++processed;
        if (recordProgress)
            log.push_back("processed " + std::to_string(filesRead));
        if (onProcessed)
            onProcessed();
    }
    bool stopRequested() override { return stopAfter > 0 && processed >= stopAfter; }

    /// Lines telling the user of a problem, and with the switches below the search and progress.
    std::vector<std::string> log;
    std::vector<std::string> reasons;
    bool recordDirs = false;
    bool recordProgress = false;
    std::int64_t found = -1;
    std::int64_t lastFilesRead = 0;
    int processed = 0;
    int stopAfter = 0;  ///< asks to stop once this many files were handled (0: never)
    std::function<void()> onFilesFound;
    std::function<void()> onProcessed;

private:
    std::string rel(const std::filesystem::path& p) const {
        return m_base.empty() ? p.string()
                              : p.lexically_relative(m_base).lexically_normal().string();
    }
    std::filesystem::path m_base;
};

/// Analyses path (a folder or a file) with the mask, as the Analyse button does.
inline void analyse(const std::filesystem::path& path, std::u16string mask, AnalysisState& state,
                    AnalysisObserver& observer, bool subFolders = false, bool zips = true,
                    const std::u16string& header = {}) {
    RunRequest request;
    request.path = pathToDisplay(path);
    request.fileMask = std::move(mask);
    request.includeSubFolders = subFolders;
    request.readZipfiles = zips;
    TFileAndDirIterator iterator;
    if (!CheckChosenPath(request, iterator))
        throw std::runtime_error("not a valid path: " + path.string());
    runAnalysis(iterator, header, state, observer);
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
