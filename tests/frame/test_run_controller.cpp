// The run controller: an error on the worker ends the run with its message, not the program;
// the state comes back with what was counted, and the next run works.

#include "frame/run_controller.h"

#include <gtest/gtest.h>

#include <future>
#include <stdexcept>

#include "support/files.h"

using namespace runemeter;

namespace {

struct FailingObserver : AnalysisObserver {
    std::int64_t failAt = 0;  ///< 0: never
    void fileProcessed(std::int64_t filesRead) override {
        if (filesRead == failAt) {
            throw std::runtime_error("disk gone");
        }
    }
};

RunOutcome runOnce(RunController& run, const test::TempDir& dir, AnalysisObserver& observer) {
    RunRequest request;
    request.path = dir.path().u16string();
    std::promise<void> ended;
    EXPECT_TRUE(run.start(request, observer, [&] { ended.set_value(); }));
    EXPECT_THROW((void)run.state(), std::logic_error);
    ended.get_future().wait();
    return run.finish();
}

}  // namespace

TEST(RunController, AnErrorOnTheWorkerEndsTheRunWithItsMessage) {
    test::TempDir dir;
    test::writeFile(dir / "a.txt", "aa");
    test::writeFile(dir / "b.txt", "bb");
    RunController run;
    FailingObserver observer;
    observer.failAt = 1;
    const RunOutcome failed = runOnce(run, dir, observer);
    EXPECT_TRUE(failed.failed);
    EXPECT_EQ(failed.error, "disk gone");
    EXPECT_EQ(run.state().FilesRead, 1);
    observer.failAt = 0;
    EXPECT_FALSE(runOnce(run, dir, observer).failed);
    EXPECT_EQ(run.state().FilesRead, 2);
}
