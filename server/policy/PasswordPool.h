#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vorteq::server {

// The threads that check passwords. A check costs tens of milliseconds and tens of megabytes, so it
// runs here rather than on the threads that serve requests: a flood of login attempts then waits
// for these threads and leaves screening for logged-in users alone. The threads run at a lower
// scheduling priority for the same reason. Three lanes, served in this order: a user ID from an
// address it logged in from lately, addresses without failures on record, the rest; each lane
// holds a bounded number of waiting checks. A lane that waits is passed over only so many times in
// a row (3 for the second lane, 8 for the third), so that a steady stream of known users cannot
// keep a first login waiting, nor the first logins the rest, for ever.
class PasswordPool {
public:
    enum class Lane { Known, Clear, Failed };

    PasswordPool(int threads, std::size_t maxQueuedPerLane);
    // Runs what is still waiting, then joins the threads.
    ~PasswordPool();
    PasswordPool(const PasswordPool&) = delete;
    PasswordPool& operator=(const PasswordPool&) = delete;

    // Queues a task; false (the task dropped) when its lane is full.
    bool submit(Lane lane, std::function<void()> task);

    int threadCount() const { return static_cast<int>(m_threads.size()); }

private:
    void work();

    std::size_t m_maxQueued;
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<std::function<void()>> m_lanes[3]; // by Lane
    std::size_t m_passedOver[3] = {};             // checks of earlier lanes run while this one waited
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace vorteq::server
