// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/analysis_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "profile/text_analyser.h"
#include "profile/zip_member_source.h"
#include "suite/unicode_text.h"
#include "suite/zip_reader.h"

namespace runemeter {

namespace {

// Hands the iterator's reports on to the run's observer.
class SearchObserver : public FileIteratorObserver {
public:
    explicit SearchObserver(AnalysisObserver& observer) : m_observer(observer) {}
    void foundDir(const std::filesystem::path& dir) override { m_observer.foundDir(dir); }
    void problem(const std::filesystem::path& where, const std::string& reason) override {
        m_observer.failedToRead(where, reason);
    }
    void archiveProblem(const std::filesystem::path& archive, const std::string& reason) override {
        m_observer.archiveProblem(archive, reason);
    }
    bool stopRequested() override { return m_observer.stopRequested(); }

private:
    AnalysisObserver& m_observer;
};

}  // namespace

bool CheckChosenPath(const RunRequest& request, TFileAndDirIterator& iterator) {
    iterator.ReadZipfiles = request.readZipfiles;
    iterator.IncludeSubFolders = request.includeSubFolders;
    // A NUL would cut the name short at the system call and name another file.
    if (request.path.empty() || request.path.find(u'\0') != std::u16string::npos) {
        return false;
    }
    const std::filesystem::path path = pathFromText(request.path);
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status))
        return false;

    iterator.ExactFileName.clear();
    iterator.ZipMemberMask.clear();
    if (std::filesystem::is_directory(status)) {
        iterator.HeadDir = path;
        iterator.FileMask = request.fileMask;
        return true;
    }
    // A file: its folder is searched for that very name (in sub-folders too when asked), taken
    // literally so that a name holding '*', '?' or ';' means only itself.
    std::filesystem::path folder = path.parent_path();
    // A bare name is looked for in the current folder and reported as typed.
    iterator.HeadDir = folder;
    iterator.ExactFileName = path.filename();
    iterator.FileMask = pathToDisplay(path.filename());
    if (std::filesystem::is_regular_file(status) && endsWithZip(path.filename())) {
        // Someone who picks an archive wants its texts read, whatever the zip option says;
        // the mask box chooses among its members.
        iterator.ReadZipfiles = true;
        iterator.ZipMemberMask = request.fileMask;
    }
    return true;
}

namespace {

// While the run decodes and counts one file, a second thread reads every other one of the next
// plain files (at most this many files ahead, and this many bytes) into memory: opening and
// reading a small file costs more than counting it, so the run reads the others itself and both
// threads share the system calls. The run still takes every file in order, on its own thread,
// so its counts, messages, stop and text are those of a run that reads one file at a time.
constexpr std::size_t kReadAheadFiles = 64;
constexpr std::size_t kReadAheadBytes = std::size_t{32} << 20;
// Fewer plain files than this are not worth a second thread.
constexpr std::size_t kReadAheadFrom = 4;

struct Job {
    const std::filesystem::path* name = nullptr;
    const TMySearchRec* rec = nullptr;
    bool leftToReader = false;  // a plain file the reading thread reads ahead
    bool taken = false;         // a thread started reading it ahead
    bool ready = false;         // read ahead: bytes hold the whole file
    bool done = false;          // the reader is finished with it (ready or not)
    std::vector<std::byte> bytes;
};

// Reads a small regular file whole, as the analyser would; false when it is anything else
// (missing, empty, special, long, unreadable): the run then lets the analyser see to it, with
// its messages.
bool readAhead(const std::filesystem::path& name, std::size_t longFrom,
               std::vector<std::byte>& bytes) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    bool ok = false;
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
        static_cast<std::uint64_t>(info.st_size) < longFrom) {
        try {
            bytes.resize(static_cast<std::size_t>(info.st_size));
            const std::size_t got = FileSource(fd).read(0, bytes).size();
            bytes.resize(got);
            ok = got == static_cast<std::size_t>(info.st_size);
        } catch (const std::exception&) {
            ok = false;  // out of memory or a read error: the analyser sees to it in its turn
        }
    }
    ::close(fd);
    if (!ok) {
        bytes = {};
    }
    return ok;
}

// The reading thread: takes every plain file marked for it, in order, at most kReadAheadFiles
// ahead of the run and kReadAheadBytes in hand. It is told to end when the stage goes, on every
// way out of the run (its end, a stop, an exception).
class ReadAheadStage {
public:
    ReadAheadStage(std::vector<Job>& jobs, std::size_t longFrom) : m_jobs(jobs) {
        try {
            m_thread = std::jthread([this, longFrom] { run(longFrom); });
        } catch (const std::system_error&) {
            // No second thread: every file is read when its turn comes.
        }
    }
    ~ReadAheadStage() {
        {
            const std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_changed.notify_all();
        // m_thread, the last member, is joined first.
    }
    ReadAheadStage(const ReadAheadStage&) = delete;
    ReadAheadStage& operator=(const ReadAheadStage&) = delete;

    /// The bytes of job if the thread read it whole (waited for while it is being read); a job
    /// not taken yet is the run's to read.
    [[nodiscard]] bool take(Job& job, std::vector<std::byte>& bytes) {
        if (!m_thread.joinable() || !job.leftToReader) {
            return false;
        }
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !job.taken || job.done; });
        job.taken = true;
        bytes = std::move(job.bytes);
        m_heldBytes -= bytes.size();
        return job.ready;
    }

    /// The run is at job number current.
    void advance(std::size_t current) {
        if (!m_thread.joinable()) {
            return;
        }
        {
            const std::lock_guard lock(m_mutex);
            m_current = current;
        }
        m_changed.notify_all();
    }

private:
    void run(std::size_t longFrom) {
        std::size_t next = 0;
        std::unique_lock lock(m_mutex);
        for (;;) {
            next = std::max(next, m_current + 1);
            while (next < m_jobs.size() && !m_jobs[next].leftToReader) {
                ++next;
            }
            m_changed.wait(lock, [&] {
                return m_finished || next >= m_jobs.size() ||
                       (next < m_current + kReadAheadFiles && m_heldBytes < kReadAheadBytes);
            });
            if (m_finished || next >= m_jobs.size()) {
                return;
            }
            if (next <= m_current || m_jobs[next].taken) {
                continue;  // the run got there first
            }
            Job& job = m_jobs[next];
            job.taken = true;
            lock.unlock();
            std::vector<std::byte> bytes;
            const bool ok = readAhead(*job.name, longFrom, bytes);
            lock.lock();
            job.ready = ok;
            job.bytes = std::move(bytes);
            job.done = true;
            m_heldBytes += job.bytes.size();
            m_changed.notify_all();
            ++next;
        }
    }

    std::vector<Job>& m_jobs;
    std::mutex m_mutex;  // guards the jobs' flags and bytes and the fields below
    std::condition_variable m_changed;
    std::size_t m_current = 0;    // the job the run is at
    std::size_t m_heldBytes = 0;  // bytes read ahead and not yet counted
    bool m_finished = false;
    std::jthread m_thread;
};

// The archive the members come from. The members of one archive come one after another: it
// stays open until the next archive (or a plain file) comes, so a large archive is opened once,
// not once per member.
struct ArchiveCursor {
    TUnZipReader reader;
    // Members are streamed; the limit (which follows the machine) still keeps a small archive
    // from unpacking without end.
    std::uint64_t memberLimit = TUnZipReader::memberLimitForThisMachine();
    std::filesystem::path unusable;  // archive that failed to open: its other members are skipped
};

// Reads and counts one zip member, unpacked as it is counted, never held whole. True when the
// run was stopped inside it (it is then dropped whole).
bool analyseMember(const Job& job, ArchiveCursor& cursor, TextAnalyser& analyser,
                   AnalysisState& state, AnalysisObserver& observer) {
    const TMySearchRec& rec = *job.rec;
    TUnZipReader& reader = cursor.reader;
    const std::filesystem::path archive = TFileAndDirIterator::ZipFileFullFileName(rec);
    if (!(reader.isOpen() && reader.archivePath() == archive) && archive != cursor.unusable) {
        reader.close();
        std::error_code ec;
        if (!std::filesystem::exists(archive, ec)) {
            cursor.unusable = archive;  // gone since the search: skipped without a message
        } else if (!reader.open(archive)) {
            cursor.unusable = archive;
            observer.archiveProblem(archive, reader.error());
        }
    }
    if (!reader.isOpen() || reader.archivePath() != archive) {
        return false;
    }
    bool stoppedInside = false;
    ZipReadStatus status = reader.openMember(rec.zipMemberNumber - 1, cursor.memberLimit);
    if (status == ZipReadStatus::Ok) {
        ZipMemberSource source(reader, status, rec.zipMemberNumber - 1, cursor.memberLimit);
        try {
            if (analyser.AnalyseSequential(source, reader.memberSize()))
                ++state.FilesRead;
        } catch (const ReadingStopped&) {
            stoppedInside = true;
        } catch (const MemberFailed&) {
            // status says how; reader.error() why
        } catch (const std::bad_alloc&) {
            // The member is not damaged: it cannot be read, as a plain file.
            observer.failedToRead(*job.name, "not enough memory to decode it");
        } catch (const std::exception& e) {
            // Read well but not countable as chosen (not UTF-8 after all, and not kept)
            observer.failedToRead(*job.name, e.what());
        }
        reader.closeMember();
    }
    if (status != ZipReadStatus::Ok) {
        observer.memberDamaged(archive, nameForMessage(rec.memberName), reader.error());
    }
    return stoppedInside;
}

// Reads and counts one plain file, from what the reading thread read ahead when it did. True
// when the run was stopped inside it (it is then dropped whole).
bool analysePlainFile(Job& job, ReadAheadStage* ahead, TextAnalyser& analyser, AnalysisState& state,
                      AnalysisObserver& observer) {
    std::vector<std::byte> bytes;
    const bool ready = ahead != nullptr && ahead->take(job, bytes);
    try {
        if (ready ? analyser.AnalyseBuffer(bytes) : analyser.AnalyseFile(*job.name))
            ++state.FilesRead;
    } catch (const ReadingStopped&) {
        return true;
    } catch (const std::bad_alloc&) {
        observer.failedToRead(*job.name, "not enough memory to decode it");
    }
    return false;
}

}  // namespace

void runAnalysis(TFileAndDirIterator& iterator, const std::u16string& headerToCut,
                 AnalysisState& state, AnalysisObserver& observer, const TextChoices& choices) {
    state.clear();
    TextAnalyser analyser(state, observer);
    analyser.setHeaderToCut(headerToCut);
    analyser.setChoices(choices);

    SearchObserver search(observer);
    iterator.IterateFindingFiles(search);
    observer.filesFound(iterator.filesFound());
    if (observer.stopRequested())
        iterator.Stop();

    // Every other plain file is left to the reading thread.
    std::vector<Job> jobs;
    std::size_t plainFiles = 0;
    iterator.ProcessAllFilesFound([&](const std::filesystem::path& name, const TMySearchRec& rec) {
        Job job;
        job.name = &name;
        job.rec = &rec;
        if (rec.zipMemberNumber < 1) {
            job.leftToReader = plainFiles % 2 == 1;
            ++plainFiles;
        }
        jobs.push_back(std::move(job));
    });
    std::optional<ReadAheadStage> ahead;
    if (plainFiles >= kReadAheadFrom) {
        ahead.emplace(jobs, analyser.readPieceSize());
    }

    ArchiveCursor archive;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job& job = jobs[i];
        bool stoppedInside = false;
        if (job.rec->zipMemberNumber >= 1) {
            stoppedInside = analyseMember(job, archive, analyser, state, observer);
        } else {
            archive.reader.close();
            stoppedInside =
                analysePlainFile(job, ahead ? &*ahead : nullptr, analyser, state, observer);
        }
        if (stoppedInside) {
            // Dropped whole, as if the stop had come before it.
            iterator.Stop();
            break;
        }
        if (ahead) {
            ahead->advance(i + 1);
        }
        observer.fileProcessed(state.FilesRead);
        if (observer.stopRequested())
            iterator.Stop();
        if (iterator.stopped())
            break;
    }
    // Once per run, after the files (a stop too).
    if (analyser.takeUtf8LookingHint()) {
        observer.unsignedTextLooksLikeUtf8();
    }
}

}  // namespace runemeter
