// SPDX-License-Identifier: GPL-3.0-or-later
#include "frame/run_controller.h"

#include <stdexcept>
#include <utility>

namespace runemeter {

namespace {

// The owner's observer, with the controller's Stop added to its own.
class StoppableObserver final : public AnalysisObserver {
public:
    StoppableObserver(AnalysisObserver& inner, const std::atomic<bool>& stop)
        : m_inner(inner), m_stop(stop) {}

    void fileIsEmpty(const std::filesystem::path& file) override { m_inner.fileIsEmpty(file); }
    void failedToRead(const std::filesystem::path& file, const std::string& reason) override {
        m_inner.failedToRead(file, reason);
    }
    void archiveProblem(const std::filesystem::path& archive, const std::string& reason) override {
        m_inner.archiveProblem(archive, reason);
    }
    void memberDamaged(const std::filesystem::path& archive, const std::string& member,
                       const std::string& reason) override {
        m_inner.memberDamaged(archive, member, reason);
    }
    void foundDir(const std::filesystem::path& dir) override { m_inner.foundDir(dir); }
    void filesFound(std::int64_t count) override { m_inner.filesFound(count); }
    void fileProcessed(std::int64_t filesRead) override { m_inner.fileProcessed(filesRead); }
    void unsignedTextLooksLikeUtf8() override { m_inner.unsignedTextLooksLikeUtf8(); }
    [[nodiscard]] bool stopRequested() override { return m_stop || m_inner.stopRequested(); }

private:
    AnalysisObserver& m_inner;
    const std::atomic<bool>& m_stop;
};

}  // namespace

RunController::RunController()
    : m_iterator(std::make_unique<TFileAndDirIterator>()),
      m_state(std::make_unique<AnalysisState>()) {}

RunController::~RunController() {
    stop();
    (void)finish();
}

bool RunController::start(const RunRequest& request, AnalysisObserver& observer,
                          std::function<void()> ended) {
    if (running() || !CheckChosenPath(request, *m_iterator)) {
        return false;
    }
    m_stop = false;
    m_iteratorInRun = m_iterator.get();
    Run run{std::move(m_iterator), std::move(m_state), {}};
    std::promise<Run> result;
    m_result = result.get_future();
    m_thread = std::thread([this, run = std::move(run), result = std::move(result), &observer,
                            header = request.headerToCut, text = request.text,
                            ended = std::move(ended)]() mutable {
        // Nothing the run throws may end the program: it ends the run, and the owner is told.
        try {
            StoppableObserver stoppable(observer, m_stop);
            runAnalysis(*run.iterator, header, *run.state, stoppable, text);
        } catch (const std::exception& error) {
            run.outcome = {true, error.what()};
        } catch (...) {
            run.outcome = {true, "an error of unknown kind"};
        }
        result.set_value(std::move(run));
        if (ended) {
            ended();
        }
    });
    return true;
}

void RunController::stop() {
    if (m_iteratorInRun != nullptr) {
        m_stop = true;
        m_iteratorInRun->Stop();
    }
}

RunOutcome RunController::finish() {
    if (!running()) {
        return {};
    }
    m_thread.join();
    Run run = m_result.get();
    m_iteratorInRun = nullptr;
    m_iterator = std::move(run.iterator);
    m_state = std::move(run.state);
    return run.outcome;
}

const AnalysisState& RunController::state() const {
    if (running()) {
        throw std::logic_error("the state belongs to the run in progress");
    }
    return *m_state;
}

AnalysisState& RunController::state() {
    return const_cast<AnalysisState&>(std::as_const(*this).state());
}

}  // namespace runemeter
