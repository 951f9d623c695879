#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "profile/analysis_run.h"
#include "suite/unicode_text.h"
#include "support/temp_tree.h"

namespace runemeter {
namespace {

using test::TempDir;
using test::writeFile;
using test::writeZip;
using Log = std::vector<std::string>;

// Writes every call as one line, paths relative to the test folder.
class RecordingObserver : public AnalysisObserver {
public:
    explicit RecordingObserver(std::filesystem::path base) : m_base(std::move(base)) {}

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
    void foundDir(const std::filesystem::path& dir) override { log.push_back("dir " + rel(dir)); }
    void filesFound(std::int64_t count) override {
        log.push_back("found " + std::to_string(count));
        if (onFilesFound)
            onFilesFound();
    }
    void fileProcessed(std::int64_t filesRead) override {
        log.push_back("processed " + std::to_string(filesRead));
        ++processed;
        if (onProcessed)
            onProcessed();
    }
    bool stopRequested() override { return stopAfter > 0 && processed >= stopAfter; }

    Log log;
    std::vector<std::string> reasons;
    int processed = 0;
    int stopAfter = 0;
    std::function<void()> onFilesFound;
    std::function<void()> onProcessed;

private:
    std::string rel(const std::filesystem::path& p) const {
        return p.lexically_relative(m_base).lexically_normal().string();
    }
    std::filesystem::path m_base;
};

std::int64_t count(const AnalysisState& state, char16_t unit) {
    return (*state.CharCounts)[unit];
}

// --- CheckChosenPath -------------------------------------------------------------------------

struct ChosenPathCase {
    const char* name;
    const char* path;  // relative to the test folder; "" is the empty path
    bool subFolders;
    bool zips;
    bool valid;
    const char* headDir;  // expected, relative
    std::u16string fileMask;
    const char* exactName;
    bool readZips;  // expected on the iterator
    std::u16string memberMask;
    bool nulBeforeLastPart = false;  // "a/b" becomes "a<NUL>/b": the system would see "a"
};

// Test names show the row name, not a dump of the row.
void PrintTo(const ChosenPathCase& row, std::ostream* os) {
    *os << row.name;
}

class ChosenPathTable : public ::testing::TestWithParam<ChosenPathCase> {};

TEST_P(ChosenPathTable, ValidatesAndSetsUpTheIterator) {
    TempDir dir;
    writeFile(dir / "texts/notes.txt", "x");
    writeZip(dir / "texts/pack.zip", {{"a.txt", "a"}});
    const ChosenPathCase& c = GetParam();
    RunRequest request;
    request.path = std::string_view(c.path).empty() ? u"" : pathToDisplay(dir / c.path);
    if (c.nulBeforeLastPart)
        request.path.insert(request.path.rfind(u'/'), 1, u'\0');
    request.fileMask = u"*.md";
    request.includeSubFolders = c.subFolders;
    request.readZipfiles = c.zips;
    TFileAndDirIterator iterator;
    iterator.IncludeSubFolders = !c.subFolders;
    iterator.ReadZipfiles = !c.zips;
    iterator.HeadDir = "/untouched";

    EXPECT_EQ(CheckChosenPath(request, iterator), c.valid);
    EXPECT_EQ(iterator.IncludeSubFolders, c.subFolders);
    EXPECT_EQ(iterator.ReadZipfiles, c.readZips);
    if (!c.valid) {
        EXPECT_EQ(iterator.HeadDir, "/untouched");
        return;
    }
    EXPECT_EQ(iterator.HeadDir.lexically_relative(dir.path()), c.headDir);
    EXPECT_EQ(iterator.FileMask, c.fileMask);
    EXPECT_EQ(iterator.ExactFileName, c.exactName);
    EXPECT_EQ(iterator.ZipMemberMask, c.memberMask);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ChosenPathTable,
    ::testing::Values(
        ChosenPathCase{"empty", "", true, false, false, "", u"", "", false, u""},
        ChosenPathCase{"missing", "texts/nothing.txt", false, true, false, "", u"", "", true, u""},
        ChosenPathCase{"nul_inside", "texts/zzz", false, true, false, "", u"", "", true, u"", true},
        ChosenPathCase{"folder", "texts", false, true, true, "texts", u"*.md", "", true, u""},
        ChosenPathCase{"file", "texts/notes.txt", false, true, true, "texts", u"notes.txt",
                       "notes.txt", true, u""},
        ChosenPathCase{"file_sub_folders", "texts/notes.txt", true, false, true, "texts",
                       u"notes.txt", "notes.txt", false, u""},
        ChosenPathCase{"zip_with_zips_off", "texts/pack.zip", false, false, true, "texts",
                       u"pack.zip", "pack.zip", true, u"*.md"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- runAnalysis -----------------------------------------------------------------------------

class RunTest : public ::testing::Test {
protected:
    void run(std::u16string path, std::u16string mask, bool subFolders = false, bool zips = true,
             std::u16string header = u"") {
        RunRequest request;
        request.path = std::move(path);
        request.fileMask = std::move(mask);
        request.includeSubFolders = subFolders;
        request.readZipfiles = zips;
        ASSERT_TRUE(CheckChosenPath(request, iterator));
        runAnalysis(iterator, header, state, observer);
    }
    std::u16string top() const { return pathToDisplay(dir.path()); }

    TempDir dir;
    TFileAndDirIterator iterator;
    AnalysisState state;
    RecordingObserver observer{dir.path()};
};

TEST_F(RunTest, FolderOfThreeFilesIsCountedWithMessagesInOrder) {
    writeFile(dir / "a.txt", "ab\r\n");
    writeFile(dir / "b.txt", "\xEF\xBB\xBFz\xC3\xA9");
    writeFile(dir / "c.txt", std::string("\xFF\xFEq\0\r\0\n\0", 8));
    writeFile(dir / "d.md", "not matched");
    run(top(), u"*.txt");
    EXPECT_EQ(observer.log, (Log{"dir .", "found 3", "processed 1", "processed 2", "processed 3"}));
    EXPECT_EQ(state.FilesRead, 3);
    EXPECT_EQ(state.Utf8FileCount, 1);
    EXPECT_EQ(state.UnicodeFileCount, 1);
    EXPECT_EQ(state.CrLfCount, 2);
    EXPECT_EQ(count(state, u'a'), 1);
    EXPECT_EQ(count(state, u'\u00E9'), 1);
    EXPECT_EQ(count(state, u'q'), 1);
    EXPECT_EQ(count(state, u'n'), 0);  // d.md
    EXPECT_EQ(state.SourceText, u"q\r\n");
}

TEST_F(RunTest, EachRunStartsFromCleanCounts) {
    writeFile(dir / "a.txt", "aaa");
    run(top(), u"*.txt");
    run(top(), u"*.txt");
    EXPECT_EQ(state.FilesRead, 1);
    EXPECT_EQ(count(state, u'a'), 3);
}

TEST_F(RunTest, HeaderIsCutFromEveryFile) {
    writeFile(dir / "a.txt", "head#xy");
    writeFile(dir / "b.txt", "no marker");
    run(top(), u"*.txt", false, true, u"#");
    EXPECT_EQ(count(state, u'h'), 0);
    EXPECT_EQ(count(state, u'x'), 1);
    EXPECT_EQ(count(state, u'#'), 0);
    EXPECT_EQ(count(state, u'n'), 1);
}

TEST_F(RunTest, EmptyFileIsReportedAndNotCountedAsRead) {
    writeFile(dir / "a.txt", "");
    writeFile(dir / "b.txt", "xyz");
    run(top(), u"*.txt");
    EXPECT_EQ(observer.log, (Log{"dir .", "found 2", "empty a.txt", "processed 0", "processed 1"}));
}

TEST_F(RunTest, ChosenFileReadsOnlyThatFile) {
    writeFile(dir / "a.txt", "aaa");
    writeFile(dir / "a;b.txt", "bbb");
    writeFile(dir / "b.txt", "ccc");
    run(pathToDisplay(dir / "a;b.txt"), u"*.txt");
    EXPECT_EQ(state.FilesRead, 1);
    EXPECT_EQ(count(state, u'b'), 3);
    EXPECT_EQ(count(state, u'a') + count(state, u'c'), 0);
}

// Files are read ahead on a second thread; a stop still ends the run after the file in hand,
// with the counts, messages and progress of exactly the files before it.
TEST_F(RunTest, StopAfterTheFirstOfManyFiles) {
    constexpr int kFiles = 300;
    for (int i = 0; i < kFiles; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d.txt", i);
        writeFile(dir / name, i % 7 == 3 ? "" : "xyz");
    }
    for (const bool throughIterator : {false, true}) {
        SCOPED_TRACE(throughIterator ? "Stop() on the iterator" : "the observer asks to stop");
        observer.log.clear();
        observer.processed = 0;
        observer.stopAfter = throughIterator ? 0 : 1;
        observer.onProcessed = [this, throughIterator] {
            if (throughIterator)
                iterator.Stop();
        };
        run(top(), u"*.txt");
        ASSERT_EQ(observer.processed, 1);
        // The log is that of the first n files: their progress lines and empty-file messages.
        Log expected{"dir .", "found " + std::to_string(kFiles)};
        std::int64_t read = 0;
        for (int i = 0; i < observer.processed; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "empty %03d.txt", i);
            if (i % 7 == 3)
                expected.push_back(name);
            else
                ++read;
            expected.push_back("processed " + std::to_string(read));
        }
        EXPECT_EQ(observer.log, expected);
        EXPECT_EQ(state.FilesRead, read);
        EXPECT_EQ(count(state, u'x'), read);
    }
}

// Many files read on two threads give what reading them one after another gives: the same
// counts, the messages in the order of the files, and the text of the last file decoded.
TEST_F(RunTest, ManyFilesGiveTheOneAtATimeResult) {
    struct Row {
        const char* name;
        bool lastIsEmpty;  // then the text shown is the one before it
    };
    for (const Row row : {Row{"last file has text", false}, Row{"last file empty", true}}) {
        SCOPED_TRACE(row.name);
        TempDir tree;
        Log expected{"dir ."};
        std::int64_t read = 0;
        std::int64_t units = 0;
        std::int64_t utf8 = 0;
        std::vector<std::string> progress;
        constexpr int kFiles = 500;
        std::string lastText;
        for (int i = 0; i < kFiles; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "f%03d.txt", i);
            const bool empty = i % 11 == 5 || (row.lastIsEmpty && i == kFiles - 1);
            // Each file its own length, in UTF-8 or ANSI: "t" and the number, i times 'y'.
            std::string text = empty ? "" : "t" + std::to_string(i) + std::string(i % 37, 'y');
            if (!empty && i % 2 == 0) {
                text = "\xEF\xBB\xBF" + text;
                ++utf8;
            }
            writeFile(tree.path() / name, text);
            if (empty) {
                progress.push_back(std::string("empty ") + name);
            } else {
                ++read;
                units += static_cast<std::int64_t>(1 + std::to_string(i).size() + i % 37);
                lastText = "t" + std::to_string(i) + std::string(i % 37, 'y');
            }
            progress.push_back("processed " + std::to_string(read));
        }
        expected.push_back("found " + std::to_string(kFiles));
        expected.insert(expected.end(), progress.begin(), progress.end());

        RecordingObserver quiet(tree.path());
        RunRequest request;
        request.path = pathToDisplay(tree.path());
        ASSERT_TRUE(CheckChosenPath(request, iterator));
        AnalysisState result;
        runAnalysis(iterator, u"", result, quiet);
        EXPECT_EQ(quiet.log, expected);
        EXPECT_EQ(result.FilesRead, read);
        std::int64_t total = 0;
        for (const std::int64_t n : *result.CharCounts)
            total += n;
        EXPECT_EQ(total, units);
        EXPECT_EQ(result.SourceText, std::u16string(lastText.begin(), lastText.end()));
        EXPECT_EQ(result.Utf8FileCount, utf8);
    }
}

class ZipRunTest : public RunTest {
protected:
    void SetUp() override {
        writeFile(dir / "a.txt", "plain");
        writeZip(dir / "pack.zip", {{"one.txt", "hello"},
                                    {"empty.txt", ""},
                                    {"sub/", ""},
                                    {"sub/two.txt", "\xEF\xBB\xBFwide\xE2\x82\xAC"},
                                    {"skip.md", "markdown"}});
    }
};

TEST_F(ZipRunTest, MembersAreExtractedAndCounted) {
    run(top(), u"*.txt");
    // Found: a.txt, empty.txt, one.txt, sub/two.txt; the empty member is skipped silently.
    EXPECT_EQ(observer.log, (Log{"dir .", "found 4", "processed 1", "processed 1", "processed 2",
                                 "processed 3"}));
    EXPECT_EQ(state.FilesRead, 3);
    EXPECT_EQ(state.Utf8FileCount, 1);
    EXPECT_EQ(count(state, u'h'), 1);
    EXPECT_EQ(count(state, u'\u20AC'), 1);
    EXPECT_EQ(count(state, u'k'), 0);  // skip.md does not match
}

TEST_F(ZipRunTest, ZipReadingOffLeavesArchivesAlone) {
    run(top(), u"*.txt", false, false);
    EXPECT_EQ(state.FilesRead, 1);
    EXPECT_EQ(count(state, u'h'), 0);
}

TEST_F(ZipRunTest, ChosenArchiveIsReadEvenWithZipReadingOff) {
    run(pathToDisplay(dir / "pack.zip"), u"*.md", false, false);
    EXPECT_EQ(state.FilesRead, 1);
    EXPECT_EQ(count(state, u'k'), 1);
    EXPECT_EQ(count(state, u'p'), 0);  // a.txt is not part of the archive
}

TEST_F(ZipRunTest, DamagedArchivesAndMembersAreReportedAndTheRunGoesOn) {
    writeFile(dir / "b-broken.zip", std::string(200, 'x'));
    writeZip(dir / "c-crc.zip",
             {{"crc.txt", "stored text that will be damaged", true}, {"fine.txt", "fine"}});
    std::string bytes = test::readFile(dir / "c-crc.zip");
    bytes[bytes.find("stored text")] = 'S';
    writeFile(dir / "c-crc.zip", bytes);
    // A member that claims almost 4 GiB but holds 300 bytes must not get that memory; the
    // archive is refused as soon as it is listed.
    writeZip(dir / "d-liar.zip", {{"liar.txt", std::string(300, 'L'), true}});
    bytes = test::readFile(dir / "d-liar.zip");
    const std::size_t central = bytes.find("PK\x01\x02");
    for (int i = 0; i < 4; ++i)
        bytes[central + 24 + i] = '\xFF';
    writeFile(dir / "d-liar.zip", bytes);

    run(top(), u"*.txt");
    EXPECT_EQ(observer.log, (Log{"dir .", "archive b-broken.zip", "archive d-liar.zip", "found 6",
                                 "processed 1", "archive c-crc.zip", "processed 1", "processed 2",
                                 "processed 2", "processed 3", "processed 4"}));
    EXPECT_EQ(state.FilesRead, 4);
    EXPECT_EQ(count(state, u'L'), 0);
    EXPECT_EQ(count(state, u'f'), 1);
    for (const auto& reason : observer.reasons)
        EXPECT_FALSE(reason.empty());
}

TEST_F(ZipRunTest, ArchiveGoneBeforeItsMembersAreReadIsSkippedSilently) {
    observer.onFilesFound = [this] { std::filesystem::remove(dir / "pack.zip"); };
    run(top(), u"*.txt");
    EXPECT_EQ(observer.log, (Log{"dir .", "found 4", "processed 1", "processed 1", "processed 1",
                                 "processed 1"}));
    EXPECT_EQ(state.FilesRead, 1);
}

TEST_F(ZipRunTest, ArchiveIsOpenedOnceForAllItsMembers) {
    // Once the first member is read, the archive's name is taken away. Members read from the
    // archive still open are counted; reopening by name would find nothing.
    observer.onProcessed = [this] {
        if (observer.processed == 2)
            std::filesystem::remove(dir / "pack.zip");
    };
    run(top(), u"*.txt");
    EXPECT_EQ(state.FilesRead, 3);
    EXPECT_EQ(count(state, u'\u20AC'), 1);
}

}  // namespace
}  // namespace runemeter
