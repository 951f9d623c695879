#include "profile/analysis_run.h"

#include <new>
#include <string_view>
#include <system_error>

#include "profile/text_analyser.h"
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

void appendEscapedByte(std::string& out, unsigned char b) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[b >> 4];
    out += kHex[b & 15];
}

// A member's name as it may appear in a one-line message or log line: line breaks, other
// control characters and bytes that are not UTF-8 are written as escapes.
std::string memberNameForMessage(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    std::size_t i = 0;
    while (i < name.size()) {
        const auto b = static_cast<unsigned char>(name[i]);
        if (b == '\n' || b == '\r' || b == '\t') {
            out += b == '\n' ? "\\n" : b == '\r' ? "\\r" : "\\t";
            ++i;
        } else if (b < 0x20 || b == 0x7F) {
            appendEscapedByte(out, b);
            ++i;
        } else {
            // One well-formed UTF-8 sequence is kept whole; anything else is one escaped byte.
            const std::size_t length = b < 0x80           ? 1
                                       : (b >> 5) == 0x06 ? 2
                                       : (b >> 4) == 0x0E ? 3
                                       : (b >> 3) == 0x1E ? 4
                                                          : 0;
            const std::string_view piece = length == 0 || i + length > name.size()
                                               ? std::string_view()
                                               : name.substr(i, length);
            if (!piece.empty() && utf16ToUtf8(utf8ToUtf16(piece)) == piece) {
                out += piece;
                i += length;
            } else {
                appendEscapedByte(out, b);
                ++i;
            }
        }
    }
    return out;
}

std::string memberProblem(const TMySearchRec& rec, const std::string& reason) {
    return "member \"" + memberNameForMessage(rec.memberName) + "\": " + reason;
}

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
    iterator.HeadDir = folder.empty() ? std::filesystem::path(".") : folder;
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

void runAnalysis(TFileAndDirIterator& iterator, const std::u16string& headerToCut,
                 AnalysisState& state, AnalysisObserver& observer) {
    state.clear();
    TextAnalyser analyser(state, observer);
    analyser.setHeaderToCut(headerToCut);

    SearchObserver search(observer);
    iterator.IterateFindingFiles(search);
    observer.filesFound(iterator.filesFound());
    if (observer.stopRequested())
        iterator.Stop();

    // The members of one archive come one after another: it stays open until the next
    // archive (or a plain file) comes, so a large archive is opened once, not once per member.
    TUnZipReader reader;
    // A member must fit in memory beside its decoded text: the limit follows the machine.
    const std::uint64_t memberLimit = TUnZipReader::memberLimitForThisMachine();
    std::filesystem::path unusable;  // archive that failed to open: its other members are skipped

    iterator.ProcessAllFilesFound([&](const std::filesystem::path& name, const TMySearchRec& rec) {
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
                std::vector<std::byte>& buffer = analyser.readBuffer();
                const ZipReadStatus status =
                    reader.UnZipToBufferByIndex(rec.zipMemberNumber - 1, buffer, memberLimit);
                if (status == ZipReadStatus::Ok) {
                    try {
                        if (!buffer.empty() && analyser.AnalyseBuffer(buffer))
                            ++state.FilesRead;
                    } catch (const std::bad_alloc&) {
                        observer.archiveProblem(
                            archive, memberProblem(rec, "not enough memory to decode it"));
                    }
                } else {
                    observer.archiveProblem(archive, memberProblem(rec, reader.error()));
                }
            }
        } else {
            reader.close();
            if (analyser.AnalyseFile(name))
                ++state.FilesRead;
        }
        observer.fileProcessed(state.FilesRead);
        if (observer.stopRequested())
            iterator.Stop();
    });
}

}  // namespace runemeter
