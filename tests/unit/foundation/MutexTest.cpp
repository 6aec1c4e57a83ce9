#include "foundation/Mutex.h"
#include "foundation/Lockable.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

// Whether another thread could take the lock right now (it lets go again at once).
bool otherThreadCanLock(thread::Lockable& lock) {
    return std::async(std::launch::async,
                      [&lock] {
                          const bool taken = lock.tryLock();
                          if (taken) {
                              lock.unlock();
                          }
                          return taken;
                      })
        .get();
}

TEST(MutexTest, SameThreadLocksTwiceAndMustUnlockTwice) {
    thread::Mutex mutex;
    ASSERT_TRUE(mutex.lock());
    ASSERT_TRUE(mutex.lock());
    EXPECT_TRUE(mutex.tryLock());
    EXPECT_EQ(mutex.unlock(), 0);

    EXPECT_FALSE(otherThreadCanLock(mutex));
    EXPECT_EQ(mutex.unlock(), 0);
    EXPECT_FALSE(otherThreadCanLock(mutex));
    EXPECT_EQ(mutex.unlock(), 0);
    EXPECT_TRUE(otherThreadCanLock(mutex));
}

TEST(MutexTest, ScopedLockHoldsForItsScope) {
    thread::Mutex mutex;
    {
        thread::ScopedLock outer(mutex);
        {
            thread::ScopedLock inner(mutex);
            EXPECT_FALSE(otherThreadCanLock(mutex));
        }
        EXPECT_FALSE(otherThreadCanLock(mutex));
    }
    EXPECT_TRUE(otherThreadCanLock(mutex));
}

TEST(MutexTest, DestructorWaitsForAnotherThreadToLetGo) {
    auto* mutex = new thread::Mutex();
    std::atomic<bool> held{false};
    std::atomic<bool> released{false};
    std::thread holder([&] {
        mutex->lock();
        held = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        released = true;
        mutex->unlock();
    });
    while (!held) {
        std::this_thread::yield();
    }
    delete mutex;
    EXPECT_TRUE(released);
    holder.join();
}

} // namespace
