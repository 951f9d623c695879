// runemeter-cli: the analysis of the desktop program, without a window. Prints the copy text
// (or JSON) of the profile on standard output and the summary lines on standard error.

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli_options.h"
#include "profile/analysis_run.h"
#include "profile/profile.h"
#include "results/copy_text.h"
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

    void fileIsEmpty(const std::filesystem::path& file) override {
        message(ResId::VTFileIsEmpty, {pathToDisplay(file)});
    }
    void failedToRead(const std::filesystem::path& file, const std::string& reason) override {
        message(ResId::VTFailedToRead, {pathToDisplay(file)}, reason);
    }
    void archiveProblem(const std::filesystem::path& archive, const std::string& reason) override {
        message(ResId::VTArchiveDamaged, {pathToDisplay(archive), utf8ToUtf16(reason)});
    }
    void memberDamaged(const std::filesystem::path& archive, const std::string& member,
                       const std::string& reason) override {
        message(ResId::VTMemberDamaged,
                {utf8ToUtf16(member), pathToDisplay(archive), utf8ToUtf16(reason)});
    }
    void foundDir(const std::filesystem::path& dir) override {
        if (m_showProgress) {
            progress("searching " + utf16ToUtf8(oneLine(pathToDisplay(dir))));
        }
    }
    void filesFound(std::int64_t count) override {
        m_found = count;
        if (m_showProgress) {
            progress("found " + std::to_string(count) + " files");
        }
    }
    void fileProcessed(std::int64_t filesRead) override {
        ++m_processed;
        if (m_showProgress) {
            progress("read " + std::to_string(filesRead) + " of " + std::to_string(m_found) +
                     " files");
        }
    }
    void unsignedTextLooksLikeUtf8() override {
        message(ResId::VTUnsignedLooksUtf8, {u"--unsigned auto"});
    }
    [[nodiscard]] bool stopRequested() override { return g_interrupted.load(); }

    void finish() {
        if (m_progressShown) {
            std::fputs("\r\033[K", stderr);
        }
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

    bool m_showProgress;
    bool m_progressShown = false;
    std::int64_t m_found = 0;
    std::int64_t m_processed = 0;
};

// Standard output in the chosen form: the rows, or their groups.
std::string formatOutput(const CliOptions& options, const AnalysisState& state,
                         const Profile& profile) {
    const std::int64_t total = profile.totalCharacters;
    if (options.groupBy) {
        std::vector<ProfileRow> rows;
        for (const ProfileRow& row : profile.rows) {
            if (!options.lettersOnly || isCopiedRow(row.text, true)) {
                rows.push_back(row);
            }
        }
        const std::vector<CharacterGroup> groups = groupRows(rows, *options.groupBy);
        switch (options.format) {
            case CliFormat::Tsv:
                return groupsToTsv(groups, total);
            case CliFormat::Table:
                return groupsToTable(groups, total, TableForm::Table);
            case CliFormat::Csv:
                return groupsToTable(groups, total, TableForm::Csv);
            case CliFormat::Json:
                break;
        }
        return groupsToJson(state, profile, *options.groupBy, groups);
    }
    switch (options.format) {
        case CliFormat::Tsv:
            return utf16ToUtf8(buildCopyText(profile.rows, options.lettersOnly));
        case CliFormat::Table:
            return rowsToTable(profile.rows, total, options.lettersOnly, TableForm::Table);
        case CliFormat::Csv:
            return rowsToTable(profile.rows, total, options.lettersOnly, TableForm::Csv);
        case CliFormat::Json:
            break;
    }
    return profileToJson(state, profile, options.lettersOnly);
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

    RunRequest request;
    request.path = utf8ToUtf16(options.path);
    request.fileMask = utf8ToUtf16(options.mask);
    request.includeSubFolders = options.subfolders;
    request.readZipfiles = options.readZips;
    request.headerToCut = utf8ToUtf16(options.header);
    request.text = options.text;

    TFileAndDirIterator iterator;
    if (!CheckChosenPath(request, iterator)) {
        std::fprintf(stderr, "runemeter-cli: %s: no such file or folder\n",
                     utf16ToUtf8(oneLine(request.path)).c_str());
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);

    AnalysisState state;
    CliObserver observer(isatty(STDERR_FILENO) == 1);
    runAnalysis(iterator, request.headerToCut, state, observer, request.text);
    observer.finish();

    Profile profile = BuildProfile(state, request.path);
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

    const std::string output = formatOutput(options, state, profile);
    std::fwrite(output.data(), 1, output.size(), stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "runemeter-cli: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return g_interrupted.load() ? 130 : 0;
}
