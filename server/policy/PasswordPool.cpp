#include "server/policy/PasswordPool.h"

#include <algorithm>
#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace vorteq::server {

namespace {
// How much less the password threads weigh with the scheduler than the request threads.
constexpr int kNiceIncrement = 5;
// How many checks of earlier lanes a waiting lane lets go first before its own turn comes.
constexpr std::size_t kPatience[3] = {0, 3, 8};
} // namespace

PasswordPool::PasswordPool(int threads, std::size_t maxQueuedPerLane) : m_maxQueued(maxQueuedPerLane)
{
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] { work(); });
}

PasswordPool::~PasswordPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_ready.notify_all();
    for (auto& t : m_threads)
        t.join();
}

bool PasswordPool::submit(Lane lane, std::function<void()> task)
{
    {
        std::lock_guard lock(m_mutex);
        auto& queue = m_lanes[static_cast<int>(lane)];
        if (m_stopping || queue.size() >= m_maxQueued)
            return false;
        queue.push_back(std::move(task));
    }
    m_ready.notify_one();
    return true;
}

void PasswordPool::work()
{
    // Linux gives each thread its own nice value; a failure only leaves the priority as it was.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    errno = 0;
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (errno == 0)
        (void)::setpriority(PRIO_PROCESS, tid, current + kNiceIncrement);
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(m_mutex);
            auto next = [this]() -> int {
                for (int lane = 2; lane >= 1; --lane)
                    if (!m_lanes[lane].empty() && m_passedOver[lane] >= kPatience[lane])
                        return lane; // waited long enough
                for (int lane = 0; lane < 3; ++lane)
                    if (!m_lanes[lane].empty())
                        return lane;
                return -1;
            };
            m_ready.wait(lock, [&] { return m_stopping || next() >= 0; });
            const int chosen = next();
            if (chosen < 0)
                return; // stopping with nothing left
            for (int lane = 0; lane < 3; ++lane) {
                auto& passed = m_passedOver[lane];
                passed = lane == chosen || m_lanes[lane].empty() ? 0 : passed + 1;
            }
            auto& queue = m_lanes[chosen];
            task = std::move(queue.front());
            queue.pop_front();
        }
        task();
    }
}

} // namespace vorteq::server
