#include "foundation/InitSingletonT.h"
#include "foundation/Mutex.h"
#include "foundation/SingletonT.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Whether another thread could take the lock right now (it lets go again at once).
bool otherThreadCanLock(thread::Lockable& lock) {
    return std::async(std::launch::async, [&lock] { return lock.tryLock() && lock.unlock() == 0; })
        .get();
}

class LazyService : public shared::SingletonT<LazyService> {
public:
    static std::atomic<int> constructions;
    LazyService() {
        ++constructions;
        // Widens the window in which a second thread could construct another instance.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
};
std::atomic<int> LazyService::constructions{0};

class StartedService : public shared::InitSingletonT<StartedService> {
public:
    static std::atomic<int> alive;
    StartedService() { ++alive; }
    ~StartedService() override { --alive; }
};
std::atomic<int> StartedService::alive{0};

class FailingService : public shared::InitSingletonT<FailingService> {
public:
    FailingService() { throw std::runtime_error("cannot start"); }
};

TEST(SingletonTest, ConcurrentFirstUsesConstructExactlyOnce) {
    std::vector<std::future<LazyService*>> results;
    for (int i = 0; i < 8; ++i) {
        results.push_back(
            std::async(std::launch::async, [] { return LazyService::getInstance().get(); }));
    }
    ASSERT_NE(LazyService::getInstance(), nullptr);
    for (auto& result : results) {
        EXPECT_EQ(result.get(), LazyService::getInstance().get());
    }
    EXPECT_EQ(LazyService::constructions, 1);
}

// The class lock is per class, and recursive: the class's own code takes it again while its
// caller holds it, and it is free only after as many unlocks. A constructor that throws leaves
// it free.
TEST(SingletonTest, InitSingletonIsNullUntilInitialisedAndAfterReleaseAndHasAClassLock) {
    EXPECT_EQ(StartedService::getInstance(), nullptr);
    thread::Lockable& lock = StartedService::getClassLock();
    EXPECT_NE(&lock, &FailingService::getClassLock());
    ASSERT_TRUE(lock.lock());
    const StartedService* first = StartedService::initInstance().get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(StartedService::getInstance().get(), first);
    EXPECT_FALSE(otherThreadCanLock(lock));
    EXPECT_TRUE(otherThreadCanLock(FailingService::getClassLock()));
    EXPECT_EQ(lock.unlock(), 0);
    EXPECT_TRUE(otherThreadCanLock(lock));

    // Initialising again replaces and releases the earlier instance.
    const std::shared_ptr<StartedService> second = StartedService::initInstance();
    EXPECT_NE(second.get(), first);
    EXPECT_EQ(StartedService::getInstance(), second);
    EXPECT_EQ(StartedService::alive, 1);
    StartedService::releaseInstance();
    EXPECT_EQ(StartedService::getInstance(), nullptr);
    // A holder keeps the released object alive; it goes with the last holder.
    EXPECT_EQ(StartedService::alive, 1);

    EXPECT_THROW(FailingService::initInstance(), std::runtime_error);
    EXPECT_EQ(FailingService::getInstance(), nullptr);
    EXPECT_TRUE(otherThreadCanLock(FailingService::getClassLock()));
}

// Destroying a mutex that another thread still holds would be undefined.
TEST(SingletonTest, MutexDestructorWaitsForAnotherThreadToLetGo) {
    auto* mutex = new thread::Mutex();
    std::atomic<bool> held{false}, released{false};
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
