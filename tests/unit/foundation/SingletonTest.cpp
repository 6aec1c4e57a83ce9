#include "foundation/InitSingletonT.h"
#include "foundation/SingletonT.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

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

class OtherService : public shared::InitSingletonT<OtherService> {};

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
    EXPECT_EQ(LazyService::constructions, 1);
    EXPECT_EQ(LazyService::getInstance().get(), *instances.begin());
    EXPECT_EQ(LazyService::constructions, 1);
}

TEST(SingletonTest, InitSingletonIsNullUntilInitialisedAndAfterRelease) {
    EXPECT_EQ(StartedService::getInstance(), nullptr);

    const std::shared_ptr<StartedService> created = StartedService::initInstance();
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(StartedService::getInstance(), created);
    EXPECT_EQ(StartedService::alive, 1);

    StartedService::releaseInstance();
    EXPECT_EQ(StartedService::getInstance(), nullptr);
    // A holder keeps the released object alive; it goes with the last holder.
    EXPECT_EQ(StartedService::alive, 1);
}

TEST(SingletonTest, ReinitialisingReplacesAndReleasesTheEarlierInstance) {
    const StartedService* first = StartedService::initInstance().get();
    EXPECT_EQ(StartedService::alive, 1);
    const std::shared_ptr<StartedService> second = StartedService::initInstance();
    EXPECT_NE(second.get(), first);
    EXPECT_EQ(StartedService::getInstance(), second);
    EXPECT_EQ(StartedService::alive, 1);
    StartedService::releaseInstance();
    EXPECT_EQ(StartedService::getInstance(), nullptr);
    EXPECT_EQ(StartedService::alive, 1);
}

TEST(SingletonTest, ConstructorExceptionPropagatesWithTheClassLockReleased) {
    EXPECT_THROW(FailingService::initInstance(), std::runtime_error);
    EXPECT_EQ(FailingService::getInstance(), nullptr);
    EXPECT_TRUE(otherThreadCanLock(FailingService::getClassLock()));
}

TEST(SingletonTest, ClassLockIsRecursivePerClassAndExcludesOtherThreads) {
    thread::Lockable& lock = StartedService::getClassLock();
    EXPECT_EQ(&lock, &StartedService::getClassLock());
    EXPECT_NE(&lock, &OtherService::getClassLock());

    ASSERT_TRUE(lock.lock());
    // The class's own code may take its lock while creating or reading the instance.
    const std::shared_ptr<StartedService> created = StartedService::initInstance();
    EXPECT_EQ(StartedService::getInstance(), created);
    EXPECT_FALSE(otherThreadCanLock(lock));
    EXPECT_TRUE(otherThreadCanLock(OtherService::getClassLock()));
    lock.unlock();
    EXPECT_TRUE(otherThreadCanLock(lock));
    StartedService::releaseInstance();
}

} // namespace
