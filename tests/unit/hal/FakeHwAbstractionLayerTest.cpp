// The daemon's tests drive the button watcher and the LED flasher through this fake, so its
// blocking and scripting rules are checked here once.

#include "support/FakeHwAbstractionLayer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>

using testsupport::FakeHwAbstractionLayer;
using namespace std::chrono_literals;

namespace {

TEST(FakeHwAbstractionLayer, WaitBlocksUntilAResultIsPushedOrItIsStopped) {
    FakeHwAbstractionLayer fake;
    EXPECT_FALSE(fake.waitForPowerButton(0));
    auto waiter = std::async(std::launch::async, [&] { return fake.waitForPowerButton(10000); });
    ASSERT_TRUE(fake.waitForWaitCalls(2, 5s));
    EXPECT_EQ(std::future_status::timeout, waiter.wait_for(50ms));
    fake.pushPowerButtonResult(true);
    EXPECT_TRUE(waiter.get());

    // Results pushed ahead are consumed in order, before a stop.
    fake.pushPowerButtonResult(false);
    fake.pushPowerButtonResult(true);
    fake.stop();
    EXPECT_FALSE(fake.waitForPowerButton(10000));
    EXPECT_TRUE(fake.waitForPowerButton(10000));
    // Stopped waits still pause, so a loop around them does not spin.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fake.waitForPowerButton(10000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, FakeHwAbstractionLayer::STOPPED_WAIT_PAUSE);
    EXPECT_EQ(4u, fake.countCalls("waitForPowerButton(10000)"));
}

} // namespace
