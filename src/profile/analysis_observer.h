// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How the analysis reports to whoever runs it: the window, the command line, a test.

#include <cstdint>
#include <filesystem>
#include <string>

namespace runemeter {

/// Callbacks of a run. All are called on the thread that runs the analysis; a message call
/// returns when the user has seen the message (the window blocks on a modal dialog).
class AnalysisObserver {
public:
    virtual ~AnalysisObserver() = default;

    /// A plain file holds no bytes; it is not counted as read.
    virtual void fileIsEmpty(const std::filesystem::path& file) { (void)file; }
    /// A file or member could not be read; it is not counted as read. reason is for the log.
    virtual void failedToRead(const std::filesystem::path& file, const std::string& reason) {
        (void)file;
        (void)reason;
    }
    /// An archive is damaged and is skipped whole; the run goes on.
    virtual void archiveProblem(const std::filesystem::path& archive, const std::string& reason) {
        (void)archive;
        (void)reason;
    }
    /// One member of an archive that opened is damaged and is skipped; the other members are
    /// read. member is the member's name made fit for a one-line message. By default reported
    /// as an archive problem whose reason names the member.
    virtual void memberDamaged(const std::filesystem::path& archive, const std::string& member,
                               const std::string& reason) {
        archiveProblem(archive, "member \"" + member + "\": " + reason);
    }
    /// A folder is being searched.
    virtual void foundDir(const std::filesystem::path& dir) { (void)dir; }
    /// The search is over: this many files and members are to be processed.
    virtual void filesFound(std::int64_t count) { (void)count; }
    /// A file was handled; filesRead is the run's FilesRead after it.
    virtual void fileProcessed(std::int64_t filesRead) { (void)filesRead; }
    /// Text without a signature was read as ANSI (the chosen reading) although its bytes are
    /// well-formed UTF-8 with multi-byte sequences. Called at most once per run, at its end.
    virtual void unsignedTextLooksLikeUtf8() {}
    /// Polled between files and during the search; true ends the run early.
    [[nodiscard]] virtual bool stopRequested() { return false; }
};

}  // namespace runemeter
