// SPDX-License-Identifier: GPL-3.0-or-later
#include "suite/named_mutex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"

namespace runemeter {
namespace {

// Held by another process and let go when it is killed: tests/tools/test_vtsuite.cpp, with the
// shell holding the suite's mutex.
TEST(NamedMutex, IsHeldUntilReleasedAndNotByAMovedFromObject) {
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
    EXPECT_TRUE(NamedMutex::acquire(name, error).has_value()) << error;
}

TEST(NamedMutex, EveryNameHasItsOwnFileInsideTheFolder) {
    for (const auto& [name, file] : std::vector<std::pair<std::string, std::string>>{
             {"Veltrane Tools mutex", "Veltrane%20Tools%20mutex.lock"},
             {"a/b", "a%2Fb.lock"},
             {"a%2Fb", "a%252Fb.lock"},
             {"..", "%2E..lock"}}) {
        EXPECT_EQ(namedMutexFile("/run", name), "/run/" + file) << name;
    }
}

}  // namespace
}  // namespace runemeter
