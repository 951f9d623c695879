#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/run_recorder.h"
#include "support/temp_tree.h"

namespace runemeter {
namespace {

using test::RunRecorder;
using test::TempDir;
using test::writeFile;
using Lines = std::vector<std::string>;

std::int64_t count(const AnalysisState& state, char16_t unit) {
    return (*state.CharCounts)[unit];
}

// --- Names that are not UTF-8 or hold line breaks -----------------------------------------

struct NameCase {
    const char* name;
    std::string fileName;
    std::u16string shown;  ///< how a message shows it
};

void PrintTo(const NameCase& row, std::ostream* os) {
    *os << row.name;
}

class HostileFileNameTable : public ::testing::TestWithParam<NameCase> {};

TEST_P(HostileFileNameTable, IsFoundReadAndShownReadably) {
    TempDir dir;
    const auto file = dir / GetParam().fileName;
    writeFile(file, "nnn");
    writeFile(dir / "other.txt", "ooo");
    const auto empty = dir / ("empty-" + GetParam().fileName);
    writeFile(empty, "");
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder);
    EXPECT_EQ(recorder.found, 3);
    EXPECT_EQ(state.FilesRead, 2);
    EXPECT_EQ(count(state, u'n'), 3);
    EXPECT_EQ(count(state, u'o'), 3);
    // The one message names the very file, and its display form is readable text.
    EXPECT_EQ(recorder.log, Lines{"empty empty-" + GetParam().fileName});
    EXPECT_EQ(pathToDisplay(file.filename()), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Table, HostileFileNameTable,
    ::testing::Values(NameCase{"invalid_utf8", "bad\xFF\xFEname.txt", u"bad\uFFFD\uFFFDname.txt"},
                      NameCase{"cut_sequence", "cut\xE2\x82.txt", u"cut\uFFFD.txt"},
                      NameCase{"line_feed", "line\nbreak.txt", u"line\nbreak.txt"},
                      NameCase{"carriage_return", "cr\r.txt", u"cr\r.txt"},
                      NameCase{"escape_sequence", "esc\x1B[2J.txt", u"esc\x1B[2J.txt"},
                      NameCase{"utf8", "caf\xC3\xA9.txt", u"caf\u00E9.txt"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Deep trees ----------------------------------------------------------------------------

TEST(DeepTree, AThousandLevelsAreAllSearched) {
    TempDir dir;
    std::filesystem::path level = dir.path();
    for (int i = 0; i < 1000; ++i) {
        level /= "d";
        writeFile(level / "f.txt", "abc");
    }
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder, true);
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_EQ(recorder.found, 1000);
    EXPECT_EQ(state.FilesRead, 1000);
    EXPECT_EQ(count(state, u'b'), 1000);
}

// Builds levels below folder through descriptors (the paths grow beyond what the system
// takes), each level holding f.txt; removes it all again in the same way.
class LongPathTree {
public:
    LongPathTree(const std::filesystem::path& folder, const std::string& name, int levels)
        : m_top(::open(folder.c_str(), O_RDONLY | O_DIRECTORY)), m_name(name) {
        int fd = ::dup(m_top);
        for (int i = 0; i < levels; ++i) {
            if (::mkdirat(fd, name.c_str(), 0700) != 0)
                throw std::runtime_error("mkdirat");
            const int next = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
            const int file = ::openat(fd, "f.txt", O_WRONLY | O_CREAT, 0600);
            if (file < 0 || ::write(file, "abc", 3) != 3)
                throw std::runtime_error("write");
            ::close(file);
        }
        ::close(fd);
    }
    ~LongPathTree() {
        removeBelow(m_top);
        ::close(m_top);
    }
    LongPathTree(const LongPathTree&) = delete;
    LongPathTree& operator=(const LongPathTree&) = delete;

private:
    void removeBelow(int fd) {
        const int child = ::openat(fd, m_name.c_str(), O_RDONLY | O_DIRECTORY);
        if (child >= 0) {
            removeBelow(child);
            ::close(child);
            ::unlinkat(fd, m_name.c_str(), AT_REMOVEDIR);
        }
        ::unlinkat(fd, "f.txt", 0);
    }
    int m_top;
    std::string m_name;
};

TEST(DeepTree, PathsBeyondTheSystemLimitAreReportedOnceAndTheRestIsRead) {
    TempDir dir;
    const std::string name(100, 'n');
    const LongPathTree tree(dir.path(), name, 60);  // about 6,000 bytes deep
    // Which levels the system can still name: a folder's path and its file's path each
    // below 4,096 bytes.
    std::int64_t reachable = 0;
    std::filesystem::path level = dir.path();
    Lines expected;
    for (int i = 0; i < 60; ++i) {
        level /= name;
        if (level.native().size() >= 4096) {
            expected.push_back("failed " + level.lexically_relative(dir.path()).string());
            break;
        }
        if ((level / "f.txt").native().size() >= 4096) {
            expected.push_back("failed " +
                               (level / "f.txt").lexically_relative(dir.path()).string());
            continue;  // the folder below is still listed, and reported
        }
        ++reachable;
    }
    ASSERT_GT(reachable, 30);
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder, true);
    EXPECT_EQ(recorder.log, expected);
    for (const std::string& reason : recorder.reasons)
        EXPECT_EQ(reason, "the path is longer than the 4095 bytes the system accepts; skipped");
    EXPECT_EQ(recorder.found, reachable);
    EXPECT_EQ(state.FilesRead, reachable);
    EXPECT_EQ(count(state, u'a'), reachable);
}

// --- Link loops -----------------------------------------------------------------------------

TEST(LinkLoops, EveryFileIsCountedOnceWhateverTheLinksDo) {
    TempDir dir;
    for (const char* f : {"top.txt", "a/a.txt", "a/b/b.txt", "x/x.txt", "y/y.txt"})
        writeFile(dir / f, "t");
    namespace fs = std::filesystem;
    fs::create_directory_symlink(".", dir / "self");            // a folder holding itself
    fs::create_directory_symlink("..", dir / "a/up");           // back to its parent
    fs::create_directory_symlink(dir.path(), dir / "a/b/top");  // back to the top
    fs::create_directory_symlink("../y", dir / "x/to-y");       // x and y hold each other
    fs::create_directory_symlink("../x", dir / "y/to-x");
    fs::create_symlink("loop2.txt", dir / "loop1.txt");  // links that never end
    fs::create_symlink("loop1.txt", dir / "loop2.txt");
    fs::create_symlink("me.txt", dir / "me.txt");
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder, true);
    EXPECT_TRUE(recorder.log.empty());
    EXPECT_EQ(recorder.found, 5);
    EXPECT_EQ(state.FilesRead, 5);
}

// --- Things that are not files ------------------------------------------------------------

// A listening socket bound to a name in the folder; closed and removed with it.
class BoundSocket {
public:
    explicit BoundSocket(const std::filesystem::path& path)
        : m_fd(::socket(AF_UNIX, SOCK_STREAM, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string& name = path.native();
        if (m_fd < 0 || name.size() >= sizeof address.sun_path)
            throw std::runtime_error("socket");
        std::memcpy(address.sun_path, name.c_str(), name.size() + 1);
        if (::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(m_fd, 1) != 0) {
            throw std::runtime_error("bind");
        }
    }
    ~BoundSocket() { ::close(m_fd); }
    BoundSocket(const BoundSocket&) = delete;
    BoundSocket& operator=(const BoundSocket&) = delete;

private:
    int m_fd;
};

TEST(SpecialFiles, PipesSocketsAndDevicesAreSkippedWithAMessageWithoutBlocking) {
    TempDir dir;
    writeFile(dir / "text.txt", "real text");
    ASSERT_EQ(::mkfifo((dir / "pipe.txt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.zip").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "pipe.md").c_str(), 0600), 0);  // not asked for: no message
    const BoundSocket socket(dir / "sock.txt");
    std::filesystem::create_symlink("/dev/null", dir / "null.txt");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_symlink("/dev/zero", dir / "sub/zero.txt");
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir.path(), u"*.txt", state, recorder, true);
    EXPECT_EQ(recorder.log, (Lines{"failed null.txt", "failed pipe.txt", "failed pipe.zip",
                                   "failed sock.txt", "failed sub/zero.txt"}));
    EXPECT_EQ(
        recorder.reasons,
        (Lines{"not a file but a character device; skipped", "not a file but a named pipe; skipped",
               "not a file but a named pipe; skipped", "not a file but a socket; skipped",
               "not a file but a character device; skipped"}));
    EXPECT_EQ(recorder.found, 1);
    EXPECT_EQ(state.FilesRead, 1);
    EXPECT_EQ(count(state, u'e'), 2);
}

TEST(SpecialFiles, AChosenPipeIsSkippedWithAMessage) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "chosen.txt").c_str(), 0600), 0);
    AnalysisState state;
    RunRecorder recorder(dir.path());
    test::analyse(dir / "chosen.txt", u"*.txt", state, recorder);
    EXPECT_EQ(recorder.log, Lines{"failed chosen.txt"});
    EXPECT_EQ(recorder.reasons, Lines{"not a file but a named pipe; skipped"});
    EXPECT_EQ(state.FilesRead, 0);
}

}  // namespace
}  // namespace runemeter
