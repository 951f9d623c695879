#include "profile/analysis_run.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <new>
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

bool endsWithZip(const std::filesystem::path& name) {
    const std::u16string folded = foldCase(pathToDisplay(name));
    return folded.size() >= 4 && folded.ends_with(u".zip");
}

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

    // Shared with the reading thread, under the mutex.
    std::mutex mutex;
    std::condition_variable changed;
    std::size_t current = 0;    // the job the run is at
    std::size_t heldBytes = 0;  // bytes read ahead and not yet counted
    bool finished = false;

    std::jthread reading;
    // Tells the reading thread to end on every way out of the run (its end, a stop, an
    // exception): made after the thread, so it is told before the thread is joined.
    const struct Finish {
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& finished;
        ~Finish() {
            {
                const std::lock_guard lock(mutex);
                finished = true;
            }
            changed.notify_all();
        }
    } finish{mutex, changed, finished};
    if (plainFiles >= kReadAheadFrom) {
        const std::size_t longFrom = analyser.readPieceSize();
        try {
            reading = std::jthread([&, longFrom] {
                std::size_t next = 0;
                std::unique_lock lock(mutex);
                for (;;) {
                    next = std::max(next, current + 1);
                    while (next < jobs.size() && !jobs[next].leftToReader) {
                        ++next;
                    }
                    changed.wait(lock, [&] {
                        return finished || next >= jobs.size() ||
                               (next < current + kReadAheadFiles && heldBytes < kReadAheadBytes);
                    });
                    if (finished || next >= jobs.size()) {
                        return;
                    }
                    if (next <= current || jobs[next].taken) {
                        continue;  // the run got there first
                    }
                    Job& job = jobs[next];
                    job.taken = true;
                    lock.unlock();
                    std::vector<std::byte> bytes;
                    const bool ok = readAhead(*job.name, longFrom, bytes);
                    lock.lock();
                    job.ready = ok;
                    job.bytes = std::move(bytes);
                    job.done = true;
                    heldBytes += job.bytes.size();
                    changed.notify_all();
                    ++next;
                }
            });
        } catch (const std::system_error&) {
            // No second thread: every file is read when its turn comes.
        }
    }

    // The members of one archive come one after another: it stays open until the next
    // archive (or a plain file) comes, so a large archive is opened once, not once per member.
    TUnZipReader reader;
    // Members are streamed; the limit (which follows the machine) still keeps a small archive
    // from unpacking without end.
    const std::uint64_t memberLimit = TUnZipReader::memberLimitForThisMachine();
    std::filesystem::path unusable;  // archive that failed to open: its other members are skipped

    for (std::size_t i = 0; i < jobs.size(); ++i) {
        Job& job = jobs[i];
        // Stopped inside the file: it is dropped whole, as if the stop had come before it.
        bool stoppedInside = false;
        const TMySearchRec& rec = *job.rec;
        if (rec.zipMemberNumber >= 1) {
            const std::filesystem::path archive = TFileAndDirIterator::ZipFileFullFileName(rec);
            if (!(reader.isOpen() && reader.archivePath() == archive) && archive != unusable) {
                reader.close();
                std::error_code ec;
                if (!std::filesystem::exists(archive, ec)) {
                    unusable = archive;  // gone since the search: skipped without a message
                } else if (!reader.open(archive)) {
                    unusable = archive;
                    observer.archiveProblem(archive, reader.error());
                }
            }
            if (reader.isOpen() && reader.archivePath() == archive) {
                // The member is unpacked as it is counted, never held whole.
                ZipReadStatus status = reader.openMember(rec.zipMemberNumber - 1, memberLimit);
                if (status == ZipReadStatus::Ok) {
                    ZipMemberSource source(reader, status);
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
                    }
                    reader.closeMember();
                }
                if (status != ZipReadStatus::Ok) {
                    observer.memberDamaged(archive, nameForMessage(rec.memberName), reader.error());
                }
            }
        } else {
            reader.close();
            std::vector<std::byte> bytes;
            bool ready = false;
            if (reading.joinable() && job.leftToReader) {
                std::unique_lock lock(mutex);
                // A file being read ahead is waited for; one not taken yet is read here.
                changed.wait(lock, [&] { return !job.taken || job.done; });
                job.taken = true;
                ready = job.ready;
                bytes = std::move(job.bytes);
                heldBytes -= bytes.size();
            }
            bool read = false;
            try {
                read = ready ? analyser.AnalyseBuffer(bytes) : analyser.AnalyseFile(*job.name);
            } catch (const ReadingStopped&) {
                stoppedInside = true;
            } catch (const std::bad_alloc&) {
                observer.failedToRead(*job.name, "not enough memory to decode it");
            }
            if (read)
                ++state.FilesRead;
        }
        if (stoppedInside) {
            iterator.Stop();
            break;
        }
        if (reading.joinable()) {
            {
                const std::lock_guard lock(mutex);
                current = i + 1;
            }
            changed.notify_all();
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
