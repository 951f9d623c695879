// SPDX-License-Identifier: GPL-3.0-or-later
// runemeter-cli: the analysis of the desktop program, without a window. Prints the copy text
// (or another form) of the profile on standard output and the summary lines on standard error;
// "merge" adds up counts files written by earlier runs.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "cli/cli_options.h"
#include "profile/analysis_run.h"
#include "profile/decode.h"
#include "profile/long_text.h"
#include "profile/profile.h"
#include "profile/text_analyser.h"
#include "results/compare.h"
#include "results/copy_text.h"
#include "results/counts_file.h"
#include "results/groups.h"
#include "results/output_forms.h"
#include "results/sorting.h"
#include "suite/file_iterator.h"
#include "suite/number_format.h"
#include "suite/resource_strings.h"
#include "suite/unicode_text.h"

namespace {

using namespace runemeter;

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

// The first Ctrl-C stops the run (within a piece of the file in hand) and prints what was read;
// a second one ends the program at once.
extern "C" void onInterrupt(int) {
    if (g_interrupted.exchange(true)) {
        _exit(130);
    }
}

/// Reports of the run on standard error; a progress line only when that is a terminal.
class CliObserver final : public AnalysisObserver {
public:
    explicit CliObserver(bool showProgress) : m_showProgress(showProgress) {}

    /// Where the problems of the run in hand go.
    void collectInto(RunCounts& part) {
        m_part = &part;
        m_lastRead = 0;
    }

    void fileIsEmpty(const std::filesystem::path& file) override {
        message(ResId::VTFileIsEmpty, {pathToDisplay(file)});
    }
    void failedToRead(const std::filesystem::path& file, const std::string& reason) override {
        message(ResId::VTFailedToRead, {pathToDisplay(file)}, reason);
        m_part->problems.push_back({file.string(), {}, reason});
    }
    void archiveProblem(const std::filesystem::path& archive, const std::string& reason) override {
        message(ResId::VTArchiveDamaged, {pathToDisplay(archive), utf8ToUtf16(reason)});
        m_part->problems.push_back({archive.string(), {}, reason});
    }
    void memberDamaged(const std::filesystem::path& archive, const std::string& member,
                       const std::string& reason) override {
        message(ResId::VTMemberDamaged,
                {utf8ToUtf16(member), pathToDisplay(archive), utf8ToUtf16(reason)});
        m_part->problems.push_back({archive.string(), member, reason});
    }
    void foundDir(const std::filesystem::path& dir) override {
        if (m_showProgress) {
            progress("searching " + utf16ToUtf8(oneLine(pathToDisplay(dir))));
        }
    }
    void filesFound(std::int64_t count) override {
        m_found = count;
        m_part->filesFound = count;
        if (m_showProgress) {
            progress("found " + std::to_string(count) + " files");
        }
    }
    void fileProcessed(std::int64_t filesRead) override {
        ++m_processed;
        if (filesRead == 1 && m_lastRead != 1) {
            m_firstReadAt = m_processed;
        }
        m_lastRead = filesRead;
        if (m_showProgress) {
            progress("read " + std::to_string(filesRead) + " of " + std::to_string(m_found) +
                     " files");
        }
    }
    void unsignedTextLooksLikeUtf8() override {
        if (!m_hintGiven) {  // once per run, however many operands
            m_hintGiven = true;
            message(ResId::VTUnsignedLooksUtf8, {u"--unsigned auto"});
        }
    }
    [[nodiscard]] bool stopRequested() override { return g_interrupted.load(); }
    /// Files processed so far, over all runs.
    [[nodiscard]] std::int64_t processed() const { return m_processed; }
    /// The number (as processed() counts) of the file that made the latest run's first read.
    [[nodiscard]] std::int64_t firstReadAt() const { return m_firstReadAt; }

    void finish() {
        if (m_progressShown) {
            std::fputs("\r\033[K", stderr);
        }
    }

    // A message of the command line itself, one line.
    void note(const std::string& text) {
        finish();
        std::fprintf(stderr, "runemeter-cli: %s\n", text.c_str());
    }

private:
    // The message's arguments are made one line each; a reason the message has no place for
    // follows in brackets.
    void message(ResId id, std::initializer_list<std::u16string> args,
                 const std::string& reason = {}) {
        finish();
        std::vector<std::u16string> lines;
        for (const std::u16string& arg : args) {
            lines.push_back(oneLine(arg));
        }
        const std::vector<std::u16string_view> views(lines.begin(), lines.end());
        std::string text = utf16ToUtf8(formatWithStrings(ResourceString(id), views));
        if (!reason.empty()) {
            text += " (" + utf16ToUtf8(oneLine(utf8ToUtf16(reason))) + ")";
        }
        std::fprintf(stderr, "runemeter-cli: %s\n", text.c_str());
    }

    void progress(const std::string& text) {
        // Keep the line short enough for a narrow terminal.
        std::string line = text.size() > 76 ? text.substr(0, 73) + "..." : text;
        std::fprintf(stderr, "\r\033[K%s", line.c_str());
        std::fflush(stderr);
        m_progressShown = true;
    }

    RunCounts* m_part = nullptr;
    bool m_showProgress;
    bool m_progressShown = false;
    bool m_hintGiven = false;
    std::int64_t m_found = 0;
    std::int64_t m_firstReadAt = 0;
    std::int64_t m_lastRead = 0;  // the latest run's files read so far
    std::int64_t m_processed = 0;
};

CompareForm compareForm(CliFormat format) {
    switch (format) {
        case CliFormat::Table:
            return CompareForm::Table;
        case CliFormat::Csv:
            return CompareForm::Csv;
        case CliFormat::Json:
            return CompareForm::Json;
        case CliFormat::Tsv:
        case CliFormat::Counts:
            break;
    }
    return CompareForm::Tsv;
}

// Standard output in the chosen form: the rows, or their groups (the window saves the same).
std::string formatOutput(const CliOptions& options, const RunCounts& run, const Profile& profile) {
    if (options.format == CliFormat::Counts) {
        return writeCountsFile(run);
    }
    const RunSummary summary{run.filesFound, run.problems};
    ResultForm form = ResultForm::Json;
    switch (options.format) {
        case CliFormat::Tsv:
            form = ResultForm::Tsv;
            break;
        case CliFormat::Table:
            form = ResultForm::Table;
            break;
        case CliFormat::Csv:
            form = ResultForm::Csv;
            break;
        case CliFormat::Json:
        case CliFormat::Counts:
            break;
    }
    return writeResult(form, run.state, profile, options.lettersOnly, options.groupBy, &summary);
}

std::string forMessage(std::string_view bytes) {
    return nameForMessage(bytes);
}

// The whole content of a file ("-": standard input), or the reason it cannot be read.
std::optional<std::string> readWhole(const std::string& name, std::string& content) {
    const int fd = name == "-" ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::string(std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        return std::string("is a folder, not a file");
    }
    content.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            const int error = errno;
            if (fd != STDIN_FILENO) {
                ::close(fd);
            }
            return std::string(std::strerror(error));
        }
        if (got == 0) {
            break;
        }
        content.append(buffer, static_cast<std::size_t>(got));
    }
    if (fd != STDIN_FILENO) {
        ::close(fd);
    }
    return std::nullopt;
}

// The operands: those given, or the names of the --files0-from list. An empty name in the list
// is a problem of the run; false when the list cannot be read.
bool collectOperands(const CliOptions& options, std::vector<std::string>& operands,
                     std::vector<RunProblem>& problems) {
    if (!options.files0From) {
        operands = options.paths;
        return true;
    }
    const std::string& list = *options.files0From;
    std::string text;
    if (list == "-" && isatty(STDIN_FILENO) == 1) {
        std::fputs(
            "runemeter-cli: --files0-from -: standard input is a terminal; pipe the "
            "list in (e.g. find ... -print0 | runemeter-cli --files0-from -)\n",
            stderr);
        return false;
    }
    if (auto error = readWhole(list, text)) {
        std::fprintf(stderr, "runemeter-cli: cannot read the list %s: %s\n",
                     forMessage(list).c_str(), error->c_str());
        return false;
    }
    std::size_t entry = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\0', at), text.size());
        ++entry;
        if (end == at) {
            const std::string reason =
                "entry " + std::to_string(entry) + " of the list is an empty file name";
            std::fprintf(stderr, "runemeter-cli: %s: %s\n", forMessage(list).c_str(),
                         reason.c_str());
            problems.push_back({list, {}, reason});
        } else {
            operands.push_back(text.substr(at, end - at));
        }
        at = end + 1;
    }
    if (entry == 0) {
        std::fprintf(stderr, "runemeter-cli: the list %s names no file\n",
                     forMessage(list).c_str());
        problems.push_back({list, {}, "the list names no file"});
    }
    return true;
}

// The first line of every counts file, up to its version.
constexpr std::string_view kCountsHead = "runemeter-counts ";

// Standard input read as one file, in order, never held whole: counted like a file of a
// folder (signature rules, header cut), named "-" in the label and the problems.
// Standard input already read whole (by compare, to see whether it is a counts file).
const std::string* g_stdinRead = nullptr;

void readStandardInput(const std::u16string& headerToCut, const TextChoices& choices,
                       RunCounts& part, CliObserver& observer) {
    const std::filesystem::path name("-");
    observer.filesFound(1);
    if (g_stdinRead == nullptr && ::fcntl(STDIN_FILENO, F_GETFD) == -1) {
        observer.failedToRead(name, "standard input is closed");
        return;
    }
    TextAnalyser analyser(part.state, observer);
    analyser.setHeaderToCut(headerToCut);
    analyser.setChoices(choices);
    DescriptorSource source(STDIN_FILENO);
    try {
        const bool read =
            g_stdinRead != nullptr
                ? !g_stdinRead->empty() && analyser.AnalyseBuffer(std::as_bytes(
                                               std::span(g_stdinRead->data(), g_stdinRead->size())))
                : analyser.AnalyseSequential(source, 0);
        if (read) {
            ++part.state.FilesRead;
        } else {
            observer.fileIsEmpty(name);
        }
        observer.fileProcessed(part.state.FilesRead);
        if (analyser.takeUtf8LookingHint()) {
            observer.unsignedTextLooksLikeUtf8();
        }
    } catch (const ReadingStopped&) {
        // interrupted: the text is dropped whole, the run reports it
    } catch (const std::system_error& error) {
        observer.failedToRead(name, error.code().message());
    } catch (const std::bad_alloc&) {
        observer.failedToRead(name, "not enough memory to decode it");
    } catch (const std::exception& error) {
        observer.failedToRead(name, error.what());  // e.g. not UTF-8 after all, and not kept
    }
}

// Whether an operand is a plain file that a run over a list of files takes as it is: not
// standard input, a folder, an archive (whose members the mask chooses) or a name to be looked
// for in the sub-folders too.
bool namesPlainFile(const CliOptions& options, const std::string& operand) {
    if (options.subfolders || operand == "-" || operand.empty() ||
        operand.find('\0') != std::string::npos) {
        return false;
    }
    const std::filesystem::path path = pathFromText(utf8ToUtf16(operand));
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && !endsWithZip(path);
}

// Reads plain files named one after another in one run into part (a run of its own for each
// costs more than reading a small file, and a list of thousands is common). part.onePath is
// the operand of the one file read, if only one was.
void runNamedFiles(const CliOptions& options, const std::vector<std::string>& files,
                   RunCounts& part, CliObserver& observer) {
    part.filesFound = 0;
    part.problems.clear();
    part.onePath.clear();
    observer.collectInto(part);
    TFileAndDirIterator iterator;
    iterator.ReadZipfiles = false;
    for (const std::string& file : files) {
        iterator.NamedFiles.push_back(pathFromText(utf8ToUtf16(file)));
    }
    const std::int64_t before = observer.processed();
    runAnalysis(iterator, utf8ToUtf16(options.header), part.state, observer, options.text);
    if (part.state.FilesRead != 1) {
        return;
    }
    // The file whose processing made the count one.
    std::int64_t index = observer.firstReadAt() - before;
    iterator.ProcessAllFilesFound([&](const std::filesystem::path& name, const TMySearchRec&) {
        if (--index == 0) {
            for (const std::string& file : files) {
                if (pathFromText(utf8ToUtf16(file)) == name) {
                    part.onePath = file;
                    return;
                }
            }
        }
    });
}

// Reads every operand in turn into total. Returns false when the counts pass 64 bits.
bool runOperands(const CliOptions& options, const std::vector<std::string>& operands,
                 RunCounts& total) {
    CliObserver observer(isatty(STDERR_FILENO) == 1);
    RunCounts part;
    std::vector<std::string> files;  // plain files waiting to be read together
    const auto readFiles = [&] {
        if (files.empty() || g_interrupted.load()) {
            return std::optional<std::string>();
        }
        runNamedFiles(options, files, part, observer);
        files.clear();
        return addRunCounts(total, part);
    };
    for (const std::string& operand : operands) {
        if (g_interrupted.load()) {
            break;
        }
        if (namesPlainFile(options, operand)) {
            files.push_back(operand);
            continue;
        }
        if (auto overflow = readFiles()) {
            observer.note("the counts cannot be added up: " + *overflow);
            return false;
        }
        RunRequest request;
        request.path = utf8ToUtf16(operand);
        request.fileMask = utf8ToUtf16(options.mask);
        request.includeSubFolders = options.subfolders;
        request.readZipfiles = options.readZips;
        request.headerToCut = utf8ToUtf16(options.header);
        request.text = options.text;

        part.filesFound = 0;
        part.problems.clear();
        part.onePath = operand;
        observer.collectInto(part);
        TFileAndDirIterator iterator;
        if (operand == "-") {
            part.state.clear();
            readStandardInput(request.headerToCut, request.text, part, observer);
        } else if (!CheckChosenPath(request, iterator)) {
            part.state.clear();
            observer.note(forMessage(operand) + ": no such file or folder");
            part.problems.push_back({operand, {}, "no such file or folder"});
        } else {
            // (runAnalysis clears the state itself)
            runAnalysis(iterator, request.headerToCut, part.state, observer, request.text);
            if (part.filesFound == 0 && part.problems.empty() && !g_interrupted.load()) {
                observer.note(forMessage(operand) + ": no file matches the mask " +
                              forMessage(options.mask));
                part.problems.push_back({operand, {}, std::string(kNoFileMatchesProblem)});
            }
        }
        if (auto overflow = addRunCounts(total, part)) {
            observer.note("the counts cannot be added up: " + *overflow);
            return false;
        }
    }
    if (auto overflow = readFiles()) {
        observer.note("the counts cannot be added up: " + *overflow);
        return false;
    }
    observer.finish();
    return true;
}

// --list-files: the files a run over the operands would read, in its order, each followed by
// a NUL; an archive once for its members; an operand with no file as given, so that a run over
// the list reports the same problem.
void listFiles(const CliOptions& options, const std::vector<std::string>& operands) {
    std::string out;
    for (const std::string& operand : operands) {
        RunRequest request;
        request.path = utf8ToUtf16(operand);
        request.fileMask = utf8ToUtf16(options.mask);
        request.includeSubFolders = options.subfolders;
        request.readZipfiles = options.readZips;
        TFileAndDirIterator iterator;
        std::size_t listed = 0;
        if (CheckChosenPath(request, iterator)) {
            FileIteratorObserver quiet;
            iterator.IterateFindingFiles(quiet);
            std::filesystem::path lastArchive;
            iterator.ProcessAllFilesFound(
                [&](const std::filesystem::path& file, const TMySearchRec& rec) {
                    const std::filesystem::path& name = rec.archive.empty() ? file : rec.archive;
                    if (!rec.archive.empty() && rec.archive == lastArchive) {
                        return;
                    }
                    lastArchive = rec.archive;
                    out += name.string();
                    out += '\0';
                    ++listed;
                });
        }
        if (listed == 0) {
            out += operand;
            out += '\0';
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

// Adds up the counts files; false (after a message) when one cannot be used.
bool mergeCountsFiles(const std::vector<std::string>& files, RunCounts& total) {
    RunCounts part;
    std::string text;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& file = files[i];
        if (auto error = readWhole(file, text)) {
            std::fprintf(stderr, "runemeter-cli: cannot read %s: %s\n", forMessage(file).c_str(),
                         error->c_str());
            return false;
        }
        if (auto error = readCountsFile(text, part)) {
            std::fprintf(stderr, "runemeter-cli: %s: %s\n", forMessage(file).c_str(),
                         describeInputError(*error).c_str());
            return false;
        }
        if (i == 0) {
            total.choices = part.choices;
            total.state.Text = part.state.Text;
        } else if (part.choices != total.choices) {
            std::fprintf(stderr,
                         "runemeter-cli: %s was counted with other choices than %s (%s against "
                         "%s); such counts cannot be added up\n",
                         forMessage(file).c_str(), forMessage(files.front()).c_str(),
                         describeChoices(part.choices).c_str(),
                         describeChoices(total.choices).c_str());
            return false;
        }
        if (auto overflow = addRunCounts(total, part)) {
            std::fprintf(stderr, "runemeter-cli: %s: the counts cannot be added up: %s\n",
                         forMessage(file).c_str(), overflow->c_str());
            return false;
        }
    }
    return true;
}

// compare and --charset weigh code units: true (after a message) for counts of another unit.
bool notCodeUnits(const CountChoices& choices, const std::string& what) {
    if (choices.unit == "utf16") {
        return false;
    }
    std::fprintf(stderr,
                 "runemeter-cli: %s counts the unit %s; compare and --charset weigh UTF-16 code "
                 "units only (--unit utf16)\n",
                 forMessage(what).c_str(), choices.unit.c_str());
    return true;
}

// True when the regular file name begins as a counts file does.
bool looksLikeCountsFile(const std::string& name) {
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    struct stat info {};
    char head[kCountsHead.size()];
    bool counts = false;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        const ssize_t got = ::read(fd, head, sizeof head);
        counts = got == static_cast<ssize_t>(sizeof head) &&
                 std::string_view(head, sizeof head) == kCountsHead;
    }
    ::close(fd);
    return counts;
}

// Reads the counts file name (content: text); false after a message.
bool readCountsNamed(const std::string& name, const std::string& text, RunCounts& counts) {
    if (auto error = readCountsFile(text, counts)) {
        std::fprintf(stderr, "runemeter-cli: %s: %s\n", forMessage(name).c_str(),
                     describeInputError(*error).c_str());
        return false;
    }
    return true;
}

// One side of compare: a counts file, or a path read with the options given. Standard input
// is read whole first, to see which of the two it is. False after a message (status 2).
bool loadSide(const CliOptions& options, const std::string& operand, RunCounts& side,
              std::string& stdinText) {
    std::string text;
    if (operand == "-") {
        if (::fcntl(STDIN_FILENO, F_GETFD) != -1) {
            if (auto error = readWhole("-", stdinText)) {
                std::fprintf(stderr, "runemeter-cli: cannot read standard input: %s\n",
                             error->c_str());
                return false;
            }
            if (stdinText.starts_with(kCountsHead)) {
                return readCountsNamed(operand, stdinText, side);
            }
            g_stdinRead = &stdinText;
        }
    } else if (looksLikeCountsFile(operand)) {
        if (auto error = readWhole(operand, text)) {
            std::fprintf(stderr, "runemeter-cli: cannot read %s: %s\n", forMessage(operand).c_str(),
                         error->c_str());
            return false;
        }
        return readCountsNamed(operand, text, side);
    }
    side.state.Text = options.text;
    side.choices = countChoicesOf(options.text, options.header);
    return runOperands(options, {operand}, side);
}

// compare A B: the exit status.
int runCompare(const CliOptions& options, const std::vector<std::string>& operands) {
    RunCounts sides[2];
    std::string stdinText;
    for (std::size_t i = 0; i < 2; ++i) {
        if (!loadSide(options, operands[i], sides[i], stdinText)) {
            return 2;
        }
    }
    if (sides[0].choices != sides[1].choices) {
        std::fprintf(stderr,
                     "runemeter-cli: %s and %s were counted with other choices (%s against %s); "
                     "such counts cannot be compared\n",
                     forMessage(operands[0]).c_str(), forMessage(operands[1]).c_str(),
                     describeChoices(sides[0].choices).c_str(),
                     describeChoices(sides[1].choices).c_str());
        return 2;
    }
    if (notCodeUnits(sides[0].choices, operands[0])) {
        return 2;
    }
    const Comparison comparison =
        compareCounts(*sides[0].state.CharCounts, *sides[1].state.CharCounts, options.top);
    const std::string output =
        comparisonText(comparison, operands[0], operands[1], compareForm(options.format));
    std::fwrite(output.data(), 1, output.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "runemeter-cli: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    if (g_interrupted.load()) {
        return 130;
    }
    return sides[0].problems.empty() && sides[1].problems.empty() ? 0 : 1;
}

// The characters of --charset.
struct Charset {
    CharCountTable codes{};
    std::optional<CountChoices> choices;  ///< a counts file's; a text's follow the corpus
    std::size_t size = 0;                 ///< distinct characters, line breaks left out
};

// Reads the --charset file: a counts file, or a text whose every character (line breaks
// aside) is one of the set. False after a message (status 2).
bool loadCharset(const std::string& name, Charset& charset) {
    std::string text;
    if (auto error = readWhole(name, text)) {
        std::fprintf(stderr, "runemeter-cli: cannot read the charset %s: %s\n",
                     forMessage(name).c_str(), error->c_str());
        return false;
    }
    if (text.starts_with(kCountsHead)) {
        RunCounts counts;
        if (!readCountsNamed(name, text, counts)) {
            return false;
        }
        charset.codes = *counts.state.CharCounts;
        charset.choices = counts.choices;
    } else {
        const std::span<const std::byte> bytes = std::as_bytes(std::span(text.data(), text.size()));
        // Two bytes cannot hold a signature and a character: they are read without one.
        const TextEncoding encoding =
            bytes.size() >= 3 ? detectEncoding(bytes) : TextEncoding::Ansi;
        std::u16string decoded;
        decodeText(bytes, encoding, decoded);
        for (const char16_t unit : decoded) {
            ++charset.codes[unit];
        }
    }
    for (std::size_t code = 0; code < charset.codes.size(); ++code) {
        if (charset.codes[code] > 0 && code != u'\n' && code != u'\r') {
            ++charset.size;
        }
    }
    if (charset.size == 0) {
        std::fprintf(stderr, "runemeter-cli: the charset %s holds no character\n",
                     forMessage(name).c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    CliParseResult parsed = parseCliOptions(args);
    if (parsed.exitNow) {
        std::fputs(parsed.output.c_str(), parsed.exitStatus == 0 ? stdout : stderr);
        return parsed.exitStatus;
    }
    const CliOptions& options = parsed.options;

    Myformatsettings() = formatSettingsFromEnvironment();

    RunCounts total;
    std::vector<std::string> operands;
    if (!collectOperands(options, operands, total.problems)) {
        return 2;
    }
    if (options.listFiles) {
        listFiles(options, operands);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // Standard input can be read once: as one operand, the list, or the charset.
    const auto stdinOperands = std::count(operands.begin(), operands.end(), "-");
    const bool charsetIsStdin = options.charset == "-";
    if (stdinOperands + (options.files0From == "-" ? 1 : 0) + (charsetIsStdin ? 1 : 0) > 1) {
        std::fputs(
            "runemeter-cli: standard input ('-') can be read only once: as one operand, the "
            "--files0-from list or the --charset file\n",
            stderr);
        return 2;
    }
    if ((stdinOperands > 0 || charsetIsStdin) && isatty(STDIN_FILENO) == 1) {
        std::fputs(
            "runemeter-cli: -: standard input is a terminal; pipe or redirect the text in "
            "(e.g. runemeter-cli - < file.txt)\n",
            stderr);
        return 2;
    }
    Charset charset;
    if (options.charset && !loadCharset(*options.charset, charset)) {
        return 2;
    }
    if (options.compare) {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        return runCompare(options, operands);
    }
    if (options.merge) {
        if (!mergeCountsFiles(operands, total)) {
            return 2;
        }
    } else {
        struct sigaction action {};
        action.sa_handler = onInterrupt;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        total.state.Text = options.text;
        total.choices = countChoicesOf(options.text, options.header);
        if (!runOperands(options, operands, total)) {
            return 2;
        }
        if (g_interrupted.load()) {
            total.problems.push_back({{}, {}, std::string(kInterruptedProblem)});
        }
    }

    restoreUnitCounter(total);
    Profile profile = BuildProfile(total.state, utf8ToUtf16(total.onePath));
    switch (options.sort) {
        case CliSort::Code:
            break;
        case CliSort::Text:
            sortRowsBySection(profile.rows, 0);
            break;
        case CliSort::Frequency:
            sortRowsBySection(profile.rows, 4);
            break;
    }

    // After a one-file run the second line is the path as given: escaped like the messages.
    if (!profile.labelFileInfo.empty()) {
        std::fprintf(stderr, "%s\n", utf16ToUtf8(oneLine(profile.labelFileInfo)).c_str());
    }
    std::fprintf(stderr, "%s\n", utf16ToUtf8(oneLine(profile.labelResults)).c_str());
    if (g_interrupted.load()) {
        std::fputs("runemeter-cli: interrupted; the profile covers the files read so far\n",
                   stderr);
    }

    std::string output;
    if (options.charset) {
        if (charset.choices && *charset.choices != total.choices) {
            std::fprintf(stderr,
                         "runemeter-cli: the charset %s was counted with other choices than the "
                         "corpus (%s against %s)\n",
                         forMessage(*options.charset).c_str(),
                         describeChoices(*charset.choices).c_str(),
                         describeChoices(total.choices).c_str());
            return 2;
        }
        if (notCodeUnits(total.choices, total.onePath.empty() ? "the corpus" : total.onePath)) {
            return 2;
        }
        const Comparison coverage = compareCounts(*total.state.CharCounts, charset.codes, 0, true);
        output = coverageText(coverage, charset.size, utf16ToUtf8(oneLine(profile.labelResults)),
                              *options.charset, compareForm(options.format));
    } else {
        output = formatOutput(options, total, profile);
    }
    std::fwrite(output.data(), 1, output.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "runemeter-cli: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    if (g_interrupted.load()) {
        return 130;
    }
    return total.problems.empty() ? 0 : 1;
}
