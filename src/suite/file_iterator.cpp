// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/file_iterator.h"

#include <limits.h>
#include <sys/stat.h>
#include <unicode/uchar.h>

#include <algorithm>
#include <set>
#include <system_error>
#include <utility>

#include "suite/unicode_text.h"
#include "suite/zip_reader.h"

namespace runemeter {

namespace {

// Code points of a UTF-16 text, each simply case-folded, so that '?' stands for one character
// whatever its case.
std::u32string foldedCodePoints(std::u16string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const Utf16CodePoint cp = codePointAt(text, i);
        out.push_back(
            static_cast<char32_t>(u_foldCase(static_cast<UChar32>(cp.value), U_FOLD_CASE_DEFAULT)));
        i += cp.units;
    }
    return out;
}

// '*' matches any run of characters, '?' exactly one. Backtracks only to the last '*', so the
// cost stays linear in name length times mask length.
bool wildcardMatch(std::u32string_view name, std::u32string_view mask) {
    std::size_t n = 0;
    std::size_t m = 0;
    std::size_t starMask = std::u32string_view::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && (mask[m] == U'?' || mask[m] == name[n])) {
            ++n;
            ++m;
        } else if (m < mask.size() && mask[m] == U'*') {
            starMask = m++;
            starName = n;
        } else if (starMask != std::u32string_view::npos) {
            m = starMask + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == U'*')
        ++m;
    return m == mask.size();
}

bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

// A member inside a hidden folder, or hidden itself ("__MACOSX/._notes.txt" resource forks).
bool hasHiddenPart(std::string_view memberName) {
    std::size_t start = 0;
    while (start < memberName.size()) {
        std::size_t end = memberName.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = memberName.size();
        const std::string_view part = memberName.substr(start, end - start);
        if (part.size() > 1 && part.front() == '.' && part != "..")
            return true;
        start = end + 1;
    }
    return false;
}

}  // namespace

bool matchesFileMask(std::u16string_view name, std::u16string_view masks) {
    const std::u32string folded = foldedCodePoints(name);
    bool anyMask = false;
    std::size_t pos = 0;
    while (pos <= masks.size()) {
        std::size_t end = masks.find(u';', pos);
        if (end == std::u16string_view::npos)
            end = masks.size();
        std::u16string_view mask = masks.substr(pos, end - pos);
        while (!mask.empty() && isBlank(mask.front()))
            mask.remove_prefix(1);
        while (!mask.empty() && isBlank(mask.back()))
            mask.remove_suffix(1);
        if (!mask.empty()) {
            anyMask = true;
            const std::u32string m = foldedCodePoints(mask);
            if (wildcardMatch(folded, m))
                return true;
            // "name.*" also takes "name" itself, so "*.*" means every file, as users expect.
            if (m.size() >= 2 && m.ends_with(U".*") &&
                wildcardMatch(folded, std::u32string_view(m).substr(0, m.size() - 2))) {
                return true;
            }
        }
        pos = end + 1;
    }
    return !anyMask;
}

struct TFileAndDirIterator::Walk {
    FileIteratorObserver& observer;
    std::set<std::pair<dev_t, ino_t>> visited;
    std::u16string zipMask;
    std::uint64_t polls = 0;

    [[nodiscard]] bool stopped(const std::atomic<bool>& stop) {
        if (stop.load())
            return true;
        if (observer.stopRequested())
            return true;
        return false;
    }
};

void TFileAndDirIterator::IterateFindingFiles(FileIteratorObserver& observer) {
    m_stop->store(false);
    m_found.clear();
    Walk walk{observer, {}, ZipMemberMask.empty() ? FileMask : ZipMemberMask, 0};
    if (!NamedFiles.empty()) {
        for (const std::filesystem::path& file : NamedFiles) {
            if (m_stop->load())
                return;
            takeNamedFile(file, walk);
        }
        return;
    }
    const std::filesystem::path head = HeadDir.empty() ? std::filesystem::path(".") : HeadDir;
    struct stat st {};
    if (::stat(head.c_str(), &st) != 0) {
        observer.problem(head, std::error_code(errno, std::generic_category()).message());
        return;
    }
    if (!S_ISDIR(st.st_mode)) {
        observer.problem(head, "not a folder");
        return;
    }
    walk.visited.emplace(st.st_dev, st.st_ino);
    walkFolder(head, walk);
}

static_assert(TFileAndDirIterator::kMaxPathBytes == PATH_MAX);

namespace {

// What a file-system entry that is neither a file nor a folder is, for the message.
const char* kindOf(mode_t mode) {
    if (S_ISFIFO(mode))
        return "a named pipe";
    if (S_ISSOCK(mode))
        return "a socket";
    if (S_ISCHR(mode))
        return "a character device";
    if (S_ISBLK(mode))
        return "a block device";
    return "not a file";
}

std::string tooLongReason() {
    return "the path is longer than the " + std::to_string(TFileAndDirIterator::kMaxPathBytes - 1) +
           " bytes the system accepts; skipped";
}

}  // namespace

void TFileAndDirIterator::walkFolder(const std::filesystem::path& head, Walk& walk) {
    // Folders still to search, the next one on top. A loop rather than recursion: a tree
    // thousands of levels deep must not exhaust the stack.
    std::vector<std::filesystem::path> pending{head};
    while (!pending.empty()) {
        const std::filesystem::path dir = std::move(pending.back());
        pending.pop_back();
        if (walk.stopped(*m_stop)) {
            m_stop->store(true);
            return;
        }
        std::vector<Entry> folders;
        listFolder(dir, walk, folders);
        if (m_stop->load())
            return;
        // Pushed last to first, so the first sub-folder is searched next, with everything in
        // it, before the second: the same order as searching each one as it comes.
        for (auto it = folders.rbegin(); it != folders.rend(); ++it)
            pending.push_back(std::move(it->path));
    }
}

void TFileAndDirIterator::listOneFile(const std::filesystem::path& dir, Walk& walk) {
    walk.observer.foundDir(dir);
    const bool bareNames = HeadDir.empty() && dir == std::filesystem::path(".");
    takeNamedFile(bareNames ? ExactFileName : dir / ExactFileName, walk);
}

void TFileAndDirIterator::takeNamedFile(const std::filesystem::path& path, Walk& walk) {
    if (path.native().size() >= kMaxPathBytes) {
        walk.observer.problem(path, tooLongReason());
        return;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return;
    if (!S_ISREG(st.st_mode)) {
        walk.observer.problem(path,
                              std::string("not a file but ") + kindOf(st.st_mode) + "; skipped");
    } else if (ReadZipfiles && endsWithZip(path.filename())) {
        listArchive(path, walk);
    } else {
        m_found.push_back({path, TMySearchRec{}});
    }
}

void TFileAndDirIterator::listFolder(const std::filesystem::path& dir, Walk& walk,
                                     std::vector<Entry>& folders) {
    if (!ExactFileName.empty() && !IncludeSubFolders) {
        // One named file is all this search can find: a listing of its folder would cost a
        // whole folder per file when a run is given thousands of files by name.
        listOneFile(dir, walk);
        return;
    }
    walk.observer.foundDir(dir);

    std::vector<Entry> files;
    // Entries the search wanted but cannot take, with the reason; reported in name order.
    std::vector<std::pair<Entry, std::string>> skipped;
    std::error_code ec;
    std::filesystem::directory_iterator it(dir, ec);
    if (ec) {
        walk.observer.problem(dir, "the folder cannot be read: " + ec.message());
        return;
    }
    // Whether the search wants an entry of this name that is not a folder.
    auto wantedFile = [&](const std::filesystem::path& name) {
        if (!ExactFileName.empty())
            return name == ExactFileName;
        return (ReadZipfiles && endsWithZip(name)) ||
               matchesFileMask(pathToDisplay(name), FileMask);
    };
    const bool bareNames = HeadDir.empty() && dir == std::filesystem::path(".");
    std::filesystem::path bareName;
    for (; it != std::filesystem::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        // In the current folder named by an empty HeadDir, entries are named as a user types
        // them: "name", not "./name".
        const std::filesystem::path& path =
            bareNames ? (bareName = it->path().filename()) : it->path();
        std::filesystem::path name = path.filename();
        if (!ExactFileName.empty() && name != ExactFileName && !IncludeSubFolders) {
            continue;
        }
        // Hidden entries (.git, .cache, editor state) are not the user's texts.
        if (!IncludeHidden && name.native().front() == '.' && name != ExactFileName) {
            continue;
        }
        if (path.native().size() >= kMaxPathBytes) {
            // The system takes no longer path; said once, for the entry the search wanted
            // (a folder is skipped with everything in it). The type comes from the listing.
            std::error_code typeError;
            const bool folder = it->is_directory(typeError);
            if (folder ? IncludeSubFolders : wantedFile(name)) {
                skipped.push_back({{std::move(name), path}, tooLongReason()});
            }
            continue;
        }
        // A plain file is known from the listing itself, without a system call per file;
        // anything else is looked at with stat, which follows links: a link to a file is that
        // file, a dangling link is nothing.
        std::error_code typeError;
        if (it->is_regular_file(typeError) && !typeError) {
            if (ExactFileName.empty() || name == ExactFileName) {
                files.push_back({std::move(name), path});
            }
            if ((++walk.polls & 0xFF) == 0 && walk.stopped(*m_stop)) {
                m_stop->store(true);
                return;
            }
            continue;
        }
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode)) {
            if (ExactFileName.empty() || name == ExactFileName) {
                files.push_back({std::move(name), path});
            }
        } else if (S_ISDIR(st.st_mode)) {
            // A folder already searched (reached again through a link, or a link loop) is
            // not searched twice: no endless walk, no file counted twice.
            if (IncludeSubFolders && walk.visited.emplace(st.st_dev, st.st_ino).second) {
                folders.push_back({std::move(name), path});
            }
        } else if (wantedFile(name)) {
            // FIFOs, sockets and devices are not text files: reading one could block forever
            // or never end. The user hears why a name that matched is left out.
            skipped.push_back({{std::move(name), path},
                               std::string("not a file but ") + kindOf(st.st_mode) + "; skipped"});
        }
        if ((++walk.polls & 0xFF) == 0 && walk.stopped(*m_stop)) {
            m_stop->store(true);
            return;
        }
    }
    if (ec) {
        walk.observer.problem(dir, "the folder cannot be read to its end: " + ec.message());
    }

    const auto byName = [](const Entry& a, const Entry& b) {
        return a.name.native() < b.name.native();
    };
    std::sort(files.begin(), files.end(), byName);
    std::sort(folders.begin(), folders.end(), byName);
    std::sort(skipped.begin(), skipped.end(),
              [&](const auto& a, const auto& b) { return byName(a.first, b.first); });
    for (const auto& [entry, reason] : skipped)
        walk.observer.problem(entry.path, reason);
    for (const Entry& file : files) {
        if (ReadZipfiles && endsWithZip(file.name)) {
            listArchive(file.path, walk);
            if (m_stop->load())
                return;
        } else if (!ExactFileName.empty() || matchesFileMask(pathToDisplay(file.name), FileMask)) {
            m_found.push_back({file.path, TMySearchRec{}});
        }
    }
}

void TFileAndDirIterator::listArchive(const std::filesystem::path& archive, Walk& walk) {
    TUnZipReader reader;
    if (!reader.open(archive)) {
        walk.observer.archiveProblem(archive, reader.error());
        return;
    }
    struct Member {
        std::string name;
        std::int32_t index;
    };
    std::vector<Member> members;
    for (ZipMemberInfo& info : reader.members()) {
        if (info.isDirectory)
            continue;
        const std::size_t slash = info.name.find_last_of("/\\");
        const std::string_view part = slash == std::string::npos
                                          ? std::string_view(info.name)
                                          : std::string_view(info.name).substr(slash + 1);
        if (part.empty() || (!IncludeHidden && hasHiddenPart(info.name)) ||
            !matchesFileMask(utf8ToUtf16(part), walk.zipMask)) {
            continue;
        }
        members.push_back({std::move(info.name), info.index});
        if ((++walk.polls & 0xFF) == 0 && walk.stopped(*m_stop)) {
            m_stop->store(true);
            return;
        }
    }
    std::stable_sort(members.begin(), members.end(),
                     [](const Member& a, const Member& b) { return a.name < b.name; });
    for (Member& member : members) {
        TMySearchRec rec;
        rec.zipMemberNumber = member.index + 1;
        rec.archive = archive;
        rec.memberName = std::move(member.name);
        // Joined as text: a member name that begins with '/' must not replace the archive path.
        std::filesystem::path name(archive.native() + "/" + rec.memberName);
        m_found.push_back({std::move(name), std::move(rec)});
    }
}

void TFileAndDirIterator::ProcessAllFilesFound(
    const std::function<void(const std::filesystem::path&, const TMySearchRec&)>& process) {
    for (const Found& found : m_found) {
        if (m_stop->load())
            return;
        process(found.name, found.rec);
    }
}

void TFileAndDirIterator::Stop() {
    m_stop->store(true);
}

std::filesystem::path TFileAndDirIterator::ZipFileFullFileName(const TMySearchRec& rec) {
    return rec.archive;
}

bool endsWithZip(const std::filesystem::path& name) {
    const std::string& s = name.native();
    if (s.size() < 4)
        return false;
    std::string tail = s.substr(s.size() - 4);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    return tail == ".zip";
}

}  // namespace runemeter
