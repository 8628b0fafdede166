#include "simulation/BatchRunner.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace vorteq {

int defaultBatchJobs()
{
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

BatchRunner::BatchRunner(int jobs) : m_jobs(std::max(1, jobs)) {}

int BatchRunner::run(int count, const WorkerFactory& makeWorker, const ProgressFn& progress)
{
    if (count <= 0)
        return 0;
    std::atomic<int> next{0};
    std::mutex reportMutex;
    int done = 0;
    std::exception_ptr failure;

    const auto work = [&] {
        try {
            const Job job = makeWorker();
            for (;;) {
                if (m_cancelled->load())
                    return;
                const int index = next.fetch_add(1);
                if (index >= count)
                    return;
                job(index);
                const std::lock_guard lock(reportMutex);
                ++done;
                if (progress)
                    progress(index, done, count);
            }
        } catch (...) {
            const std::lock_guard lock(reportMutex);
            if (!failure)
                failure = std::current_exception();
            m_cancelled->store(true);
        }
    };

    const int threads = std::min(m_jobs, count);
    if (threads == 1) {
        work();
    } else {
        std::vector<std::jthread> workers;
        workers.reserve(static_cast<std::size_t>(threads));
        for (int i = 0; i < threads; ++i)
            workers.emplace_back(work);
    }
    if (failure)
        std::rethrow_exception(failure);
    return done;
}

} // namespace vorteq
