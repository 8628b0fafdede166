// The password threads: known pairs first, then addresses without failures; each lane is bounded,
// a waiting lane is passed over only so often, and what is queued still runs when the pool stops.
#include "server/policy/PasswordPool.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

using namespace vorteq::server;

namespace {

// Holds a one-thread pool's only thread until everything is queued, and records the order in
// which the queued checks ran.
class OrderOfChecks {
public:
    // Occupies the pool's thread with a task of the given lane and waits until it runs.
    void hold(PasswordPool& pool, PasswordPool::Lane lane)
    {
        ASSERT_TRUE(pool.submit(lane, [this] {
            std::unique_lock lock(m_mutex);
            m_started = true;
            m_cv.notify_all();
            m_cv.wait(lock, [this] { return m_released; });
        }));
        std::unique_lock lock(m_mutex);
        m_cv.wait(lock, [this] { return m_started; });
    }
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_released = true;
        }
        m_cv.notify_all();
    }
    std::function<void()> record(std::string name)
    {
        return [this, name] {
            std::lock_guard lock(m_mutex);
            m_order.push_back(name);
        };
    }
    const std::vector<std::string>& order() const { return m_order; }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_started = false;
    bool m_released = false;
    std::vector<std::string> m_order;
};

} // namespace

TEST(PasswordPool, KnownPairsThenClearAddressesGoFirstAndEachLaneIsBounded)
{
    OrderOfChecks checks;
    {
        PasswordPool pool(1, 2);
        checks.hold(pool, PasswordPool::Lane::Clear);
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Failed, checks.record("failed1")));
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Failed, checks.record("failed2")));
        EXPECT_FALSE(pool.submit(PasswordPool::Lane::Failed, checks.record("failed3"))); // its lane is full
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Clear, checks.record("clear1")));
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Clear, checks.record("clear2")));
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Known, checks.record("known")));
        checks.release();
    } // the pool stops here, after running what was queued
    EXPECT_EQ(checks.order(), (std::vector<std::string>{"known", "clear1", "clear2", "failed1", "failed2"}));
}

TEST(PasswordPool, AStreamOfKnownUsersLetsAFirstLoginAndThenTheRestThrough)
{
    OrderOfChecks checks;
    {
        PasswordPool pool(1, 64);
        checks.hold(pool, PasswordPool::Lane::Known);
        ASSERT_TRUE(pool.submit(PasswordPool::Lane::Failed, checks.record("failed")));
        ASSERT_TRUE(pool.submit(PasswordPool::Lane::Clear, checks.record("first")));
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(pool.submit(PasswordPool::Lane::Known, checks.record("known")));
        checks.release();
    }
    const auto& order = checks.order();
    ASSERT_EQ(order.size(), 22u);
    const auto at = [&](const char* name) {
        return std::find(order.begin(), order.end(), name) - order.begin();
    };
    // Three known checks go first, then the first login; the third lane after eight passes.
    EXPECT_EQ(at("first"), 3);
    EXPECT_EQ(at("failed"), 8);
}
