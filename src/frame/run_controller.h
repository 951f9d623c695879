// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One analysis run at a time on a worker thread. The controller owns the run's iterator and
// state: while a run lasts they are the worker's alone, and they come back to the owner when it
// collects the run's end. No Qt here: the owner is told of the end on the worker thread and
// reaches its own thread in its own way.

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "profile/analysis_observer.h"
#include "profile/analysis_run.h"
#include "profile/analysis_state.h"
#include "suite/file_iterator.h"

namespace runemeter {

/// How a run ended.
struct RunOutcome {
    bool failed = false;  ///< an error ended the run early; the state holds what was counted
    std::string error;    ///< what the error was (UTF-8), for the user
};

/// Starts, stops and collects the runs of one window.
class RunController {
public:
    RunController();
    /// Stops a run in progress and waits for it.
    ~RunController();
    RunController(const RunController&) = delete;
    RunController& operator=(const RunController&) = delete;

    /// Validates the request's path and, when it is valid, starts the run on a worker thread.
    /// observer hears of the run on that thread and must outlive it; ended is the worker's last
    /// act, after which the owner calls finish(). False, and nothing started, for a path that
    /// is not valid or while a run is in progress.
    bool start(const RunRequest& request, AnalysisObserver& observer, std::function<void()> ended);
    /// Asks the run in progress to end after the file in hand; nothing when none runs.
    void stop();
    /// Waits for the worker, takes the iterator and the state back and says how the run ended;
    /// a default outcome when no run was in progress.
    RunOutcome finish();
    /// Whether a run was started and not yet finished.
    [[nodiscard]] bool running() const { return m_thread.joinable(); }

    /// The state of the last run; throws std::logic_error while a run is in progress.
    [[nodiscard]] const AnalysisState& state() const;
    [[nodiscard]] AnalysisState& state();

private:
    struct Run {
        std::unique_ptr<TFileAndDirIterator> iterator;
        std::unique_ptr<AnalysisState> state;
        RunOutcome outcome;
    };

    std::unique_ptr<TFileAndDirIterator> m_iterator;
    std::unique_ptr<AnalysisState> m_state;
    /// The iterator in the worker's hands, kept only to stop it (its Stop is thread-safe).
    TFileAndDirIterator* m_iteratorInRun = nullptr;
    std::atomic<bool> m_stop{false};
    std::future<Run> m_result;
    std::thread m_thread;
};

}  // namespace runemeter
