// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The suite's file iterator: finds the files of a folder (and its sub-folders) that match a
// mask, and the members of its .zip files, then hands each to a callback in sorted order.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace runemeter {

/// What the iterator reports with each file.
struct TMySearchRec {
    std::int32_t zipMemberNumber = 0;  ///< 0 for a plain file, else 1-based index in the archive
    std::filesystem::path archive;     ///< the zip file holding the member (empty for plain files)
    std::string memberName;            ///< the member's name inside the archive (UTF-8 bytes)
};

/// Receives what the iterator finds and is asked whether to stop.
class FileIteratorObserver {
public:
    virtual ~FileIteratorObserver() = default;
    /// A folder is being searched (OnFoundDir).
    virtual void foundDir(const std::filesystem::path& dir) { (void)dir; }
    /// A folder could not be listed, or an entry the search wanted is no file (a FIFO, a
    /// socket, a device) or has a path too long for the system; it is skipped.
    virtual void problem(const std::filesystem::path& where, const std::string& reason) {
        (void)where;
        (void)reason;
    }
    /// An archive could not be opened or listed; it is skipped. By default reported as problem.
    virtual void archiveProblem(const std::filesystem::path& archive, const std::string& reason) {
        problem(archive, reason);
    }
    /// Polled during the search; true ends it early.
    [[nodiscard]] virtual bool stopRequested() { return false; }
};

/// Sort orders; only sorting by name is used.
enum class SortOrder { sr_sort_by_name };

/// Finds files by mask, optionally in sub-folders and inside zip archives.
class TFileAndDirIterator {
public:
    std::filesystem::path HeadDir;     ///< the folder searched
    std::u16string FileMask = u"*.*";  ///< one or more masks separated by ';', case-blind
    /// When not empty, only entries of exactly this name (bytes) are taken; FileMask is ignored.
    std::filesystem::path ExactFileName;
    /// Mask for the members of zip files; empty means FileMask.
    std::u16string ZipMemberMask;
    bool IncludeSubFolders = false;  ///< search the sub-folders too
    /// Also take files, folders and members whose name begins with '.' (hidden here); an
    /// ExactFileName is taken in any case.
    bool IncludeHidden = false;
    /// Open every *.zip (any case) found and take its matching members; the archive itself is
    /// then not a file found. Off: a .zip is an ordinary file.
    bool ReadZipfiles = true;
    /// When not empty, the search is these files, in this order, each taken as it is named
    /// (no mask; an archive's members when ReadZipfiles): HeadDir, FileMask, ExactFileName and
    /// IncludeSubFolders are not used. A name that is gone or a folder is passed over.
    std::vector<std::filesystem::path> NamedFiles;
    /// Within a folder: its files by name (byte order), each archive's members by name at the
    /// archive's place, then each sub-folder by name.
    SortOrder sortOrder = SortOrder::sr_sort_by_name;

    /// Searches HeadDir (empty: the current folder, whose entries are then named without "./");
    /// afterwards filesFound() holds the number of files to process. Clears an earlier Stop()
    /// first.
    void IterateFindingFiles(FileIteratorObserver& observer);

    /// Calls process once per file found, in sort order, until all are done or Stop().
    void ProcessAllFilesFound(
        const std::function<void(const std::filesystem::path&, const TMySearchRec&)>& process);

    /// Ends the search, and makes ProcessAllFilesFound stop before its next call (safe from
    /// another thread).
    void Stop();

    /// True once Stop() was called (until the next search).
    [[nodiscard]] bool stopped() const { return m_stop->load(); }

    /// Number of files and members the last search found.
    [[nodiscard]] std::int64_t filesFound() const {
        return static_cast<std::int64_t>(m_found.size());
    }

    /// The name reported for a zip member: archive path + "/" + member name.
    /// ZipFileFullFileName gives back the archive's path from it.
    [[nodiscard]] static std::filesystem::path ZipFileFullFileName(const TMySearchRec& rec);

    /// Longest path the system takes, its terminating NUL included; entries with longer
    /// paths are reported as problems and skipped (a folder with everything in it).
    static constexpr std::size_t kMaxPathBytes = 4096;

private:
    struct Entry {
        std::filesystem::path name;
        std::filesystem::path path;
    };
    struct Walk;
    void listArchive(const std::filesystem::path& archive, Walk& walk);
    void walkFolder(const std::filesystem::path& head, Walk& walk);
    void listFolder(const std::filesystem::path& dir, Walk& walk, std::vector<Entry>& folders);
    /// The one file ExactFileName names in dir, without sub-folders: looked at directly.
    void listOneFile(const std::filesystem::path& dir, Walk& walk);
    /// Takes the file at path (its members, for an archive) if it is one.
    void takeNamedFile(const std::filesystem::path& path, Walk& walk);

    struct Found {
        std::filesystem::path name;
        TMySearchRec rec;
    };
    std::vector<Found> m_found;
    std::shared_ptr<std::atomic<bool>> m_stop = std::make_shared<std::atomic<bool>>(false);
};

/// True when name ends in ".zip", in any case: an archive to the search.
[[nodiscard]] bool endsWithZip(const std::filesystem::path& name);

/// True when name matches one of the ';'-separated masks ('*', '?'), without regard to case.
/// A mask ending in ".*" also matches the name without an extension ("*.*" matches every
/// name); a mask text with no mask in it matches every name.
[[nodiscard]] bool matchesFileMask(std::u16string_view name, std::u16string_view masks);

}  // namespace runemeter
