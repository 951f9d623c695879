#include "suite/named_mutex.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"

namespace runemeter {
namespace {

using test::ScopedEnv;
using test::TempDir;

// Started again as a child with RUNEMETER_HOLD_MUTEX set, this program takes that mutex and
// holds it until it is killed (or a minute has passed), without running a test.
[[maybe_unused]] const bool kHoldingChild = [] {
    const char* name = std::getenv("RUNEMETER_HOLD_MUTEX");
    if (name == nullptr)
        return false;
    std::string error;
    const auto held = NamedMutex::acquire(name, error);
    ::sleep(held ? 60 : 0);
    ::_exit(held ? 0 : 1);
}();

constexpr std::string_view kName = "Veltrane Tools mutex";

class NamedMutexTest : public ::testing::Test {
protected:
    // A child process holding the mutex, once it holds it.
    std::unique_ptr<test::ChildProcess> holder() {
        auto child = std::make_unique<test::ChildProcess>(
            test::Launch{{std::filesystem::read_symlink("/proc/self/exe").string()},
                         {"RUNEMETER_HOLD_MUTEX=" + std::string(kName)},
                         true,
                         ""});
        for (int i = 0; i < 1000 && !namedMutexExists(kName); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return child;
    }

    TempDir m_tmp;
    ScopedEnv m_runtime{"XDG_RUNTIME_DIR", m_tmp.path().string()};
};

TEST_F(NamedMutexTest, HeldByAnotherProcessUntilItIsKilled) {
    EXPECT_FALSE(namedMutexExists(kName));
    EXPECT_FALSE(
        std::filesystem::exists(namedMutexFile(m_tmp.path(), kName)));  // looking makes nothing
    auto child = holder();
    ASSERT_TRUE(namedMutexExists(kName));
    EXPECT_TRUE(namedMutexExists(kName));  // looking does not take it away
    std::string error;
    EXPECT_FALSE(NamedMutex::acquire(kName, error).has_value());
    EXPECT_EQ(error, "\"Veltrane Tools mutex\" is held by another process");
    child->signal(SIGKILL);
    EXPECT_EQ(child->finish().status, 128 + SIGKILL);
    EXPECT_FALSE(namedMutexExists(kName));  // its file is still there, but nobody holds it
    EXPECT_TRUE(NamedMutex::acquire(kName, error).has_value()) << error;
}

TEST_F(NamedMutexTest, HeldInThisProcessUntilReleasedAndNotByAMovedFromObject) {
    std::string error;
    auto mutex = NamedMutex::acquire(kName, error);
    ASSERT_TRUE(mutex.has_value()) << error;
    EXPECT_TRUE(namedMutexExists(kName));
    EXPECT_FALSE(namedMutexExists("another mutex"));
    NamedMutex moved = std::move(*mutex);
    mutex.reset();
    EXPECT_TRUE(namedMutexExists(kName));
    moved.release();
    EXPECT_FALSE(namedMutexExists(kName));
}

TEST_F(NamedMutexTest, EveryNameHasItsOwnFileInsideTheFolder) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"Veltrane Tools mutex", "Veltrane%20Tools%20mutex.lock"},
        {"a/b", "a%2Fb.lock"},
        {"a_b", "a_b.lock"},
        {"a%2Fb", "a%252Fb.lock"},
        {"..", "%2E..lock"},
        {"", ".lock"}};
    for (const auto& [name, file] : rows)
        EXPECT_EQ(namedMutexFile(m_tmp.path(), name), m_tmp / file) << name;
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
