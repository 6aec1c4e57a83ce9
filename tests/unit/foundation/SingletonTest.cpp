#include "foundation/InitSingletonT.h"
#include "foundation/Mutex.h"
#include "foundation/SingletonT.h"

#include "FoundationTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using foundation_test::otherThreadCanLock;

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
    std::atomic<bool> go{false};
    std::vector<std::future<LazyService*>> results;
    for (int i = 0; i < 8; ++i) {
        results.push_back(std::async(std::launch::async, [&go] {
            while (!go) {
                std::this_thread::yield();
            }
            return LazyService::getInstance().get();
        }));
    }
    go = true;
    std::set<LazyService*> instances;
    for (auto& result : results) {
        instances.insert(result.get());
    }
    EXPECT_EQ(instances.size(), 1u);
    EXPECT_NE(*instances.begin(), nullptr);
    EXPECT_EQ(LazyService::getInstance().get(), *instances.begin());
    EXPECT_EQ(LazyService::constructions, 1);
}

TEST(SingletonTest, InitSingletonIsNullUntilInitialisedAndAfterRelease) {
    EXPECT_EQ(StartedService::getInstance(), nullptr);
    const StartedService* first = StartedService::initInstance().get();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(StartedService::getInstance().get(), first);

    // Initialising again replaces and releases the earlier instance.
    const std::shared_ptr<StartedService> second = StartedService::initInstance();
    EXPECT_NE(second.get(), first);
    EXPECT_EQ(StartedService::getInstance(), second);
    EXPECT_EQ(StartedService::alive, 1);

    StartedService::releaseInstance();
    EXPECT_EQ(StartedService::getInstance(), nullptr);
    // A holder keeps the released object alive; it goes with the last holder.
    EXPECT_EQ(StartedService::alive, 1);
}

// The class lock is per class, and recursive: the class's own code takes it again while its
// caller holds it, and it is free only after as many unlocks. A constructor that throws leaves
// it free.
TEST(SingletonTest, ClassLockIsPerClassRecursiveAndReleasedOnException) {
    thread::Lockable& lock = StartedService::getClassLock();
    EXPECT_NE(&lock, &FailingService::getClassLock());
    ASSERT_TRUE(lock.lock());
    const std::shared_ptr<StartedService> created = StartedService::initInstance();
    EXPECT_EQ(StartedService::getInstance(), created);
    EXPECT_FALSE(otherThreadCanLock(lock));
    EXPECT_TRUE(otherThreadCanLock(FailingService::getClassLock()));
    EXPECT_EQ(lock.unlock(), 0);
    EXPECT_TRUE(otherThreadCanLock(lock));
    StartedService::releaseInstance();

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
