// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/run_recorder.h"

namespace runemeter {
namespace {

namespace fs = std::filesystem;
using test::RunRecorder;
using test::TempDir;
using test::writeFile;
using Lines = std::vector<std::string>;

std::int64_t count(const AnalysisState& state, char16_t unit) {
    return (*state.CharCounts)[unit];
}

// Builds `levels` folders named `name`, one in the other, each holding f.txt, through folder
// handles: fast, and the paths may grow beyond what the system takes (rm removes such a tree).
struct DeepTree {
    DeepTree(const fs::path& folder, const std::string& name, int levels) : top(folder / name) {
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < levels; ++i) {
            const int next = ::mkdirat(fd, name.c_str(), 0700) == 0
                                 ? ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY)
                                 : -1;
            ::close(fd);
            const int file = ::openat(fd = next, "f.txt", O_WRONLY | O_CREAT, 0600);
            if (file < 0 || ::write(file, "abc", 3) != 3)
                throw std::runtime_error("cannot build the tree");
            ::close(file);
        }
        ::close(fd);
    }
    ~DeepTree() { (void)test::runProgram({{"/bin/rm", "-rf", top.string()}, {}, true, "", ""}); }
    fs::path top;
};

// A thousand levels are all searched (without recursion), and in a tree about 6,000 bytes deep
// what the system can still name is read: a folder's path and its file's path each below
// 4,096 bytes. What is longer is reported once, a folder with everything in it.
TEST(HostileTree, DeepTreesAreSearchedAndPathsBeyondTheLimitReportedOnce) {
    TempDir dir;
    const std::string name(100, 'n');
    const DeepTree thousand(dir.path(), "d", 1000), tooLong(dir.path(), name, 60);
    std::int64_t reachable = 0;
    Lines expected;
    fs::path level = dir / name;
    for (; level.native().size() < 4096; level /= name) {
        if ((level / "f.txt").native().size() < 4096)
            ++reachable;
        else  // the folder below is still listed
            expected.push_back("failed " +
                               (level / "f.txt").lexically_relative(dir.path()).string());
    }
    expected.push_back("failed " + level.lexically_relative(dir.path()).string());
    ASSERT_GT(reachable, 30);
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder, true);
    EXPECT_EQ(recorder.log, expected);
    for (const std::string& reason : recorder.reasons)
        EXPECT_EQ(reason, "the path is longer than the 4095 bytes the system accepts; skipped");
    EXPECT_EQ(recorder.found, 1000 + reachable);
    EXPECT_EQ(count(state, u'a'), 1000 + reachable);
}

// Names that are not UTF-8 or hold line breaks and escapes, and links that loop in every way:
// each file is found and counted once, and a message names the very file. Pipes and devices are
// never opened (reading one could block for ever), whether found in a folder or chosen; each that
// matches says why it is left out.
TEST(HostileTree, EveryFileIsCountedOnceAndWhatIsNoFileSkippedWithoutBlocking) {
    TempDir dir;
    for (const char* f : {"top.txt", "a/a.txt", "a/b/b.txt", "x/x.txt", "y/y.txt"})
        writeFile(dir / f, "t");
    for (const char* f :
         {"bad\xFF\xFEname.txt", "cut\xE2\x82.txt", "line\nbreak.txt", "esc\x1B[2J.txt"})
        writeFile(dir / f, "nnn");
    writeFile(dir / "empty-line\nbreak.txt", "");
    fs::create_directory_symlink(".", dir / "self");            // a folder holding itself
    fs::create_directory_symlink("..", dir / "a/up");           // back to its parent
    fs::create_directory_symlink(dir.path(), dir / "a/b/top");  // back to the top
    fs::create_directory_symlink("../y", dir / "x/to-y");       // x and y hold each other
    fs::create_directory_symlink("../x", dir / "y/to-x");
    fs::create_symlink("loop2.txt", dir / "loop1.txt");  // links that never end
    fs::create_symlink("loop1.txt", dir / "loop2.txt");
    fs::create_symlink("me.txt", dir / "me.txt");
    for (const char* fifo : {"pipe.txt", "pipe.zip", "pipe.md"})  // .md is not asked for
        ASSERT_EQ(::mkfifo((dir / fifo).c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir / "null.txt");
    fs::create_directory(dir / "sub");
    fs::create_symlink("/dev/zero", dir / "sub/zero.txt");
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder, true);
    EXPECT_EQ(recorder.log, (Lines{"failed null.txt", "failed pipe.txt", "failed pipe.zip",
                                   "failed sub/zero.txt", "empty empty-line\nbreak.txt"}));
    const std::string device = "not a file but a character device; skipped";
    const std::string pipe = "not a file but a named pipe; skipped";
    EXPECT_EQ(recorder.reasons, (Lines{device, pipe, pipe, device}));
    EXPECT_EQ(recorder.found, 10);
    EXPECT_EQ(state.FilesRead, 9);
    EXPECT_EQ(count(state, u'n'), 12);

    RunRecorder chosen(dir.path());
    test::analyse(dir / "pipe.txt", u"*.txt", state, chosen);
    EXPECT_EQ(chosen.log, Lines{"failed pipe.txt"});
    EXPECT_EQ(chosen.reasons, Lines{pipe});
}

// A file or folder the user may not read is reported and skipped; the rest of the run goes on.
TEST(HostileTree, UnreadableFilesAndFoldersAreReportedAndSkipped) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not bind the super-user";
    TempDir dir;
    for (const char* f : {"a.txt", "locked.txt", "shut/in.txt", "z/z.txt"})
        writeFile(dir / f, "xyz");
    fs::permissions(dir / "locked.txt", fs::perms::none);
    fs::permissions(dir / "shut", fs::perms::none);
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder, true);
    EXPECT_EQ(recorder.log, (Lines{"failed shut", "failed locked.txt"}));
    EXPECT_EQ(state.FilesRead, 2);
    EXPECT_EQ(count(state, u'x'), 2);
}

}  // namespace
}  // namespace runemeter
