#pragma once

#include <atomic>
#include <functional>
#include <memory>

namespace vorteq {

// The workers a batch uses by default: one per core the machine reports, at least one.
int defaultBatchJobs();

// Runs many independent jobs (one per stock of a list) on worker threads. Each worker makes its
// own job function once, on its own thread, so whatever the jobs need that may not be shared (a
// statement client, an analysis object) belongs to one worker alone. Items are handed out in
// list order; a cancelled run hands out no further item and waits for the ones under way.
class BatchRunner {
public:
    // Runs item `index` on the calling worker.
    using Job = std::function<void(int index)>;
    // Called once on every worker thread before its first item.
    using WorkerFactory = std::function<Job()>;
    // After each finished item, with the count finished so far and the total; calls never overlap.
    using ProgressFn = std::function<void(int index, int done, int total)>;

    explicit BatchRunner(int jobs);

    // Thread-safe: the workers stop taking items; run() returns once the running ones are done.
    void cancel() { m_cancelled->store(true); }
    bool cancelled() const { return m_cancelled->load(); }
    // The flag itself, for a caller that outlives the runner's call (a window's cancel button).
    std::shared_ptr<std::atomic<bool>> cancelFlag() const { return m_cancelled; }

    int jobs() const { return m_jobs; }

    // Runs items 0..count-1 and returns how many finished. With one job everything runs on the
    // calling thread. An exception thrown by a job ends the run early and is rethrown here.
    int run(int count, const WorkerFactory& makeWorker, const ProgressFn& progress = {});

private:
    int m_jobs;
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
};

} // namespace vorteq
