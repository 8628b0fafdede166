// The password threads: known pairs first, then addresses without failures; each lane is bounded,
// a waiting lane is passed over only so often, and what is queued still runs when the pool stops.
#include "server/PasswordPool.h"

#include <algorithm>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vector>

using namespace vorteq::server;

TEST(PasswordPool, KnownPairsThenClearAddressesGoFirstAndEachLaneIsBounded)
{
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool release = false;
    std::vector<std::string> order;
    {
        PasswordPool pool(1, 2);
        // Occupy the only thread until everything is queued.
        ASSERT_TRUE(pool.submit(PasswordPool::Lane::Clear, [&] {
            std::unique_lock lock(mutex);
            started = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
        }));
        {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return started; });
        }
        auto record = [&](std::string name) {
            return [&order, &mutex, name] {
                std::lock_guard lock(mutex);
                order.push_back(name);
            };
        };
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Failed, record("failed1")));
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Failed, record("failed2")));
        EXPECT_FALSE(pool.submit(PasswordPool::Lane::Failed, record("failed3"))); // its lane is full
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Clear, record("clear1")));
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Clear, record("clear2")));
        EXPECT_TRUE(pool.submit(PasswordPool::Lane::Known, record("known")));
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        cv.notify_all();
    } // the pool stops here, after running what was queued
    EXPECT_EQ(order, (std::vector<std::string>{"known", "clear1", "clear2", "failed1", "failed2"}));
}

TEST(PasswordPool, AStreamOfKnownUsersLetsAFirstLoginAndThenTheRestThrough)
{
    std::mutex mutex;
    std::condition_variable cv;
    bool started = false;
    bool release = false;
    std::vector<std::string> order;
    {
        PasswordPool pool(1, 64);
        ASSERT_TRUE(pool.submit(PasswordPool::Lane::Known, [&] {
            std::unique_lock lock(mutex);
            started = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
        }));
        {
            std::unique_lock lock(mutex);
            cv.wait(lock, [&] { return started; });
        }
        auto record = [&](std::string name) {
            return [&order, &mutex, name] {
                std::lock_guard lock(mutex);
                order.push_back(name);
            };
        };
        ASSERT_TRUE(pool.submit(PasswordPool::Lane::Failed, record("failed")));
        ASSERT_TRUE(pool.submit(PasswordPool::Lane::Clear, record("first")));
        for (int i = 0; i < 20; ++i)
            ASSERT_TRUE(pool.submit(PasswordPool::Lane::Known, record("known")));
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        cv.notify_all();
    }
    ASSERT_EQ(order.size(), 22u);
    const auto at = [&](const char* name) {
        return std::find(order.begin(), order.end(), name) - order.begin();
    };
    // Three known checks go first, then the first login; the third lane after eight passes.
    EXPECT_EQ(at("first"), 3);
    EXPECT_EQ(at("failed"), 8);
}
