// SPDX-License-Identifier: GPL-3.0-or-later
#include "profile/analysis_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "reference/reference_text.h"
#include "support/files.h"
#include "support/run_recorder.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::TempDir;
using test::writeFile;
using Log = std::vector<std::string>;

std::string fileName(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%03d.txt", i);
    return name;
}

// Many files of each encoding, read ahead on a second thread, give what reading them one after
// another gives: the counts, the messages in the order of the files, the text of the last file
// read. A stop ends the run after the file in hand, with the messages and progress of exactly
// the files before it; the next run starts from clean counts. An observer that throws ends it.
TEST(RunAnalysis, ManyFilesGiveTheOneAtATimeResult) {
    for (const bool lastIsEmpty : {false, true}) {
        SCOPED_TRACE(lastIsEmpty ? "last file empty" : "last file has text");
        TempDir dir;
        Log log{"dir .", "found 500"};
        reference::State expected;
        std::int64_t read = 0;
        for (int i = 0; i < 500; ++i) {
            const bool empty = i % 11 == 5 || (lastIsEmpty && i == 499);
            const std::string text =
                empty ? "" : "t\r\n" + std::to_string(i) + std::string(i % 37, 'y');
            std::string le = "\xFF\xFE";  // UTF-16 for every third file
            for (const char c : text)
                le += {c, '\0'};
            writeFile(dir / fileName(i), empty        ? ""
                                         : i % 3 == 0 ? "\xEF\xBB\xBF" + text
                                         : i % 3 == 1 ? le
                                                      : text);
            if (empty)
                log.push_back("empty " + fileName(i));
            if (!empty) {
                ++read;
                expected.utf8Files += i % 3 == 0 ? 1 : 0;
                expected.unicodeFiles += i % 3 == 1 ? 1 : 0;
                expected.sourceText = std::u16string(text.begin(), text.end());
                reference::count(expected.sourceText, expected);
            }
            log.push_back("processed " + std::to_string(read));
        }
        AnalysisState state;
        for (const int stopAfter : {6, 0, 0}) {  // the sixth file is empty
            test::RunRecorder observer(dir.path());
            observer.recordDirs = observer.recordProgress = true;
            observer.stopAfter = stopAfter;
            test::analyse(dir.path(), u"*.txt", state, observer);
            EXPECT_EQ(observer.log, stopAfter == 0 ? log : Log(log.begin(), log.begin() + 9));
        }
        // An observer that fails ends the run, the reading thread with it (it used to wait on).
        AnalysisState failed;
        test::RunRecorder failing(dir.path());
        failing.onProcessed = [&] {
            if (failing.processed == 3)
                throw std::runtime_error("observer failed");
        };
        EXPECT_THROW(test::analyse(dir.path(), u"*.txt", failed, failing), std::runtime_error);
        EXPECT_EQ(state.FilesRead, read);
        EXPECT_EQ(state.Utf8FileCount, expected.utf8Files);
        EXPECT_EQ(state.UnicodeFileCount, expected.unicodeFiles);
        EXPECT_EQ(state.CrLfCount, expected.crLf);
        EXPECT_EQ(state.SourceText, expected.sourceText);
        EXPECT_TRUE(std::equal(state.CharCounts->begin(), state.CharCounts->end(),
                               expected.counts.begin()));
    }
}

// A stop asked while a long file or member is read (here after its second piece) drops it
// whole: the run ends with the counts, counters and text of the file before it alone.
TEST(RunAnalysis, StopInsideALongFileKeepsOnlyTheFilesBefore) {
    struct StopInside : test::RunRecorder {
        int polls = 0;
        bool stopRequested() override { return processed >= 1 && ++polls > 2; }
    };
    struct Row {
        const char* name;
        std::size_t mib;
        std::u16string header;
        bool zipped;
    };
    for (const Row& row : {Row{"one thread", 6, u"", false}, Row{"two threads", 12, u"", false},
                           Row{"header cut", 6, u"#", false}, Row{"zip member", 6, u"", true}}) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeFile(dir / "1.txt",
                  "\xEF\xBB\xBF"
                  "ab\r\nc#d\xC3\xA9");
        const std::string second = "#\r\n" + std::string(row.mib << 20, 'z');
        row.zipped ? test::writeZip(dir / "2.zip", {{"2.txt", second}})
                   : writeFile(dir / "2.txt", second);
        AnalysisState alone;
        AnalysisState stopped;
        test::RunRecorder quiet;
        test::analyse(dir / "1.txt", u"*.txt", alone, quiet, false, true, row.header);
        StopInside observer;
        test::analyse(dir.path(), u"*.txt", stopped, observer, false, true, row.header);
        EXPECT_EQ(observer.found, 2);
        EXPECT_EQ(observer.processed, 1);
        EXPECT_EQ(stopped.FilesRead, 1);
        EXPECT_EQ(stopped.CrLfCount, alone.CrLfCount);
        EXPECT_EQ(stopped.Utf8FileCount, 1);
        EXPECT_EQ(stopped.SourceText, alone.SourceText);
        EXPECT_EQ(*stopped.CharCounts, *alone.CharCounts);
    }
}

// What the chosen path and options make the run read. Members are read at their archive's place
// (an empty one silently); an archive is opened once (taken away after its first member, the
// others are still read); one gone before its members are read is skipped silently.
TEST(RunAnalysis, ChosenPathsAndArchives) {
    struct Row {
        const char* name;
        const char* path;
        std::u16string mask;
        bool zips;
        int removeAfter;  // files processed when the archive is removed (-1: never)
        Log log;
        std::u16string read;
    };
    const Log all{"found 5",     "processed 1", "processed 2",
                  "processed 2", "processed 3", "processed 4"};
    const Log gone{"found 5",     "processed 1", "processed 2",
                   "processed 2", "processed 2", "processed 2"};
    const Log one{"found 1", "processed 1"};
    const std::u16string everything = u"aaabbbhellowide\u20AC";
    const std::vector<Row> rows = {
        {"folder", "", u"*.txt", true, -1, all, everything},
        {"archive taken away after its first member", "", u"*.txt", true, 3, all, everything},
        {"archive gone before its members are read", "", u"*.txt", true, 0, gone, u"aaabbb"},
        {"file, by its exact name", "a;b.txt", u"*.txt", true, -1, one, u"bbb"},
        {"archive, whatever the zip option", "pack.zip", u"*.md", false, -1, one, u"markdown"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        writeFile(dir / "a.txt", "aaa");
        writeFile(dir / "a;b.txt", "bbb");
        test::writeZip(dir / "pack.zip", {{"one.txt", "hello"},
                                          {"empty.txt", ""},
                                          {"sub/", ""},
                                          {"sub/two.txt", "\xEF\xBB\xBFwide\xE2\x82\xAC"},
                                          {"skip.md", "markdown"}});
        test::RunRecorder observer(dir.path());
        observer.recordProgress = true;
        observer.onFilesFound = observer.onProcessed = [&] {
            if (observer.processed == row.removeAfter)
                fs::remove(dir / "pack.zip");
        };
        AnalysisState state;
        test::analyse(dir / row.path, row.mask, state, observer, false, row.zips);
        EXPECT_EQ(observer.log, row.log);
        reference::State expected;
        reference::count(row.read, expected);
        EXPECT_TRUE(std::equal(state.CharCounts->begin(), state.CharCounts->end(),
                               expected.counts.begin()));
    }
    RunRequest withNul;  // the system would see the folder before it
    withNul.path = pathToDisplay(fs::temp_directory_path()) + u"\0/a"s;
    TFileAndDirIterator iterator;
    EXPECT_FALSE(CheckChosenPath(withNul, iterator));
}

}  // namespace
}  // namespace runemeter
