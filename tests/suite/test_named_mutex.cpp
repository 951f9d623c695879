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

// Started again with RUNEMETER_HOLD_MUTEX set, this program holds that mutex until it is killed
// (or a minute has passed), without running a test.
[[maybe_unused]] const bool kHoldingChild = [] {
    std::string error;
    if (const char* name = std::getenv("RUNEMETER_HOLD_MUTEX"))
        ::_exit(NamedMutex::acquire(name, error) ? ::sleep(60) : 1);
    return false;
}();

TEST(NamedMutex, IsHeldByALiveProcessOnly) {
    test::TempDir tmp;
    const test::ScopedEnv runtime("XDG_RUNTIME_DIR", tmp.path().string());
    const std::string_view name = kSuiteMutexName;
    EXPECT_FALSE(namedMutexExists(name));
    EXPECT_FALSE(std::filesystem::exists(namedMutexFile(tmp.path(), name)));  // looking makes none
    std::string error;
    {
        auto mutex = NamedMutex::acquire(name, error);
        ASSERT_TRUE(mutex.has_value()) << error;
        NamedMutex moved = std::move(*mutex);
        mutex.reset();  // the moved-from one lets nothing go
        EXPECT_TRUE(namedMutexExists(name));
        EXPECT_FALSE(namedMutexExists("another mutex"));
    }
    EXPECT_FALSE(namedMutexExists(name));
    test::ChildProcess child({{std::filesystem::read_symlink("/proc/self/exe").string()},
                              {"RUNEMETER_HOLD_MUTEX=" + std::string(name)},
                              true,
                              ""});
    for (int i = 0; i < 1000 && !namedMutexExists(name); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(namedMutexExists(name));
    EXPECT_FALSE(NamedMutex::acquire(name, error).has_value());
    EXPECT_EQ(error, "\"Veltrane Tools mutex\" is held by another process");
    child.signal(SIGKILL);
    EXPECT_EQ(child.finish().status, 128 + SIGKILL);
    EXPECT_FALSE(namedMutexExists(name));  // the lock went with the process, the file stays
    EXPECT_TRUE(NamedMutex::acquire(name, error).has_value()) << error;
}

TEST(NamedMutex, EveryNameHasItsOwnFileInAPrivateFolder) {
    for (const auto& [name, file] : std::vector<std::pair<std::string, std::string>>{
             {"Veltrane Tools mutex", "Veltrane%20Tools%20mutex.lock"},
             {"a/b", "a%2Fb.lock"},
             {"a_b", "a_b.lock"},
             {"a%2Fb", "a%252Fb.lock"},
             {"..", "%2E..lock"},
             {"", ".lock"}}) {
        EXPECT_EQ(namedMutexFile("/run", name), "/run/" + file) << name;
    }
    const test::ScopedEnv runtime("XDG_RUNTIME_DIR", std::string("relative/is/ignored"));
    const auto folder = namedMutexFolder();
    ASSERT_EQ(folder, "/tmp/veltrane-" + std::to_string(::getuid()));
    struct stat st {};
    ASSERT_EQ(::lstat(folder->c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode) && (st.st_mode & 0077) == 0);
}

}  // namespace
}  // namespace runemeter
