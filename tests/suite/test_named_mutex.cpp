#include "suite/named_mutex.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "suite/suite_test_support.h"

namespace runemeter {
namespace {

using test::ScopedEnv;
using test::TempFolder;

constexpr std::string_view kName = "Veltrane Tools mutex";

class NamedMutexTest : public ::testing::Test {
protected:
    TempFolder m_tmp;
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_tmp.path().string()};
};

// A child process that takes the mutex, says so through a pipe, and then waits to be told
// to end (or is killed).
class HoldingChild {
public:
    explicit HoldingChild(std::string_view name) {
        int up[2];
        int down[2];
        if (::pipe(up) != 0 || ::pipe(down) != 0) {
            return;
        }
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(up[0]);
            ::close(down[1]);
            std::string error;
            auto held = NamedMutex::acquire(name, error);
            const char answer = held ? 'y' : 'n';
            if (::write(up[1], &answer, 1) != 1) {
                ::_exit(3);
            }
            char wait = 0;
            const ssize_t got = ::read(down[0], &wait, 1);  // returns when the parent says so
            ::_exit(got >= 0 ? 0 : 4);
        }
        ::close(up[1]);
        ::close(down[0]);
        m_tell = down[1];
        char answer = 0;
        m_holds = ::read(up[0], &answer, 1) == 1 && answer == 'y';
        ::close(up[0]);
    }
    HoldingChild(const HoldingChild&) = delete;
    HoldingChild& operator=(const HoldingChild&) = delete;
    ~HoldingChild() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            end();
        }
    }

    [[nodiscard]] bool holds() const { return m_holds; }

    // Lets the child end normally and waits for it.
    void end() {
        if (m_tell >= 0) {
            ::close(m_tell);
            m_tell = -1;
        }
        if (m_pid > 0) {
            int status = 0;
            ::waitpid(m_pid, &status, 0);
            m_pid = -1;
        }
    }

    void kill() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
        }
        end();
    }

private:
    pid_t m_pid = -1;
    int m_tell = -1;
    bool m_holds = false;
};

TEST_F(NamedMutexTest, ANeverMadeMutexDoesNotExist) {
    EXPECT_FALSE(namedMutexExists(kName));
    EXPECT_FALSE(std::filesystem::exists(namedMutexFile(m_tmp.path(), kName)));
}

TEST_F(NamedMutexTest, AMutexHeldByAChildIsSeenUntilTheChildEnds) {
    HoldingChild child(kName);
    ASSERT_TRUE(child.holds());
    EXPECT_TRUE(namedMutexExists(kName));
    EXPECT_TRUE(namedMutexExists(kName));  // looking does not take it away
    std::string error;
    EXPECT_FALSE(NamedMutex::acquire(kName, error).has_value());
    EXPECT_NE(error.find("held by another process"), std::string::npos) << error;

    child.end();
    EXPECT_FALSE(namedMutexExists(kName));
}

TEST_F(NamedMutexTest, AKilledHolderLeavesTheMutexFree) {
    HoldingChild child(kName);
    ASSERT_TRUE(child.holds());
    child.kill();
    EXPECT_FALSE(namedMutexExists(kName));
    std::string error;
    EXPECT_TRUE(NamedMutex::acquire(kName, error).has_value()) << error;
}

TEST_F(NamedMutexTest, HeldInThisProcessUntilReleased) {
    std::string error;
    auto mutex = NamedMutex::acquire(kName, error);
    ASSERT_TRUE(mutex.has_value()) << error;
    EXPECT_TRUE(namedMutexExists(kName));
    EXPECT_FALSE(namedMutexExists("another mutex"));

    NamedMutex moved = std::move(*mutex);
    mutex.reset();  // the moved-from object lets nothing go
    EXPECT_TRUE(namedMutexExists(kName));
    moved.release();
    EXPECT_FALSE(namedMutexExists(kName));
}

struct FileNameCase {
    const char* name;
    std::string mutexName;
    std::string fileName;
};

TEST_F(NamedMutexTest, EveryNameHasItsOwnFileInsideTheFolder) {
    const std::vector<FileNameCase> cases = {
        {"the suite's mutex", "Veltrane Tools mutex", "Veltrane%20Tools%20mutex.lock"},
        {"slash", "a/b", "a%2Fb.lock"},
        {"underscore kept apart from slash", "a_b", "a_b.lock"},
        {"percent kept apart from its escape", "a%2Fb", "a%252Fb.lock"},
        {"parent folder", "..", "%2E..lock"},
        {"empty", "", ".lock"},
    };
    for (const FileNameCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto file = namedMutexFile(m_tmp.path(), c.mutexName);
        EXPECT_EQ(file.parent_path(), m_tmp.path());
        EXPECT_EQ(file.filename().string(), c.fileName);
    }
}

TEST(NamedMutexFolder, WithoutARuntimeFolderAPrivateFolderInTmpIsUsed) {
    const ScopedEnv runtime("XDG_RUNTIME_DIR", std::string("relative/is/ignored"));
    std::string error;
    const auto folder = namedMutexFolder(&error);
    ASSERT_TRUE(folder.has_value()) << error;
    EXPECT_EQ(*folder, "/tmp/veltrane-" + std::to_string(::getuid()));
    struct stat st {};
    ASSERT_EQ(::lstat(folder->c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

}  // namespace
}  // namespace runemeter
