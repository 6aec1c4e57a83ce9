#include "foundation/Mutex.h"

#include "FoundationTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using foundation_test::otherThreadCanLock;

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
