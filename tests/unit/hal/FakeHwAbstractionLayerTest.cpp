// The daemon's tests drive the button watcher and the LED flasher through this fake, so its
// blocking and scripting rules are checked here once.

#include "support/FakeHwAbstractionLayer.h"

#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

using testsupport::FakeHwAbstractionLayer;
using namespace std::chrono_literals;

namespace {

TEST(FakeHwAbstractionLayer, InstallReplacesTheProcessLayer) {
    FakeHwAbstractionLayer first;
    first.install();
    EXPECT_EQ(&first, hal::HwAbstractionLayer::instance());
    {
        FakeHwAbstractionLayer second;
        second.install();
        EXPECT_EQ(&second, hal::HwAbstractionLayer::instance());
    }
    first.install();
    EXPECT_EQ(&first, hal::HwAbstractionLayer::instance());
}

TEST(FakeHwAbstractionLayer, WaitBlocksUntilAResultIsPushed) {
    FakeHwAbstractionLayer fake;
    auto waiter = std::async(std::launch::async, [&] { return fake.waitForPowerButton(10000); });
    ASSERT_TRUE(fake.waitForWaitCalls(1, 5s));
    EXPECT_EQ(std::future_status::timeout, waiter.wait_for(50ms));
    EXPECT_TRUE(fake.isWaiting());
    fake.pushPowerButtonResult(true);
    EXPECT_TRUE(waiter.get());
    EXPECT_FALSE(fake.isWaiting());

    // Results pushed ahead are consumed in order without blocking.
    fake.pushPowerButtonResult(false);
    fake.pushPowerButtonResult(true);
    EXPECT_FALSE(fake.waitForPowerButton(10000));
    EXPECT_TRUE(fake.waitForPowerButton(10000));
    EXPECT_EQ(3u, fake.countCalls("waitForPowerButton(10000)"));
}

TEST(FakeHwAbstractionLayer, WaitHonoursItsTimeOutAndStop) {
    FakeHwAbstractionLayer fake;
    EXPECT_FALSE(fake.waitForPowerButton(0));

    auto waiter = std::async(std::launch::async, [&] { return fake.waitForPowerButton(10000); });
    ASSERT_TRUE(fake.waitForWaitCalls(2, 5s));
    fake.stop();
    EXPECT_EQ(std::future_status::ready, waiter.wait_for(5s));
    EXPECT_FALSE(waiter.get());

    // Stopped waits still pause, so a loop around them does not spin.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fake.waitForPowerButton(10000));
    EXPECT_GE(std::chrono::steady_clock::now() - start, FakeHwAbstractionLayer::STOPPED_WAIT_PAUSE);
}

// The button watcher's loop, ended the way its owner ends it: QThread::terminate.
class EndlessWatcher : public QThread {
public:
    explicit EndlessWatcher(FakeHwAbstractionLayer& fake)
        : fake_(fake) {}

protected:
    void run() override {
        for (;;) {
            fake_.waitForPowerButton(10000);
        }
    }

private:
    FakeHwAbstractionLayer& fake_;
};

TEST(FakeHwAbstractionLayer, TerminatedThreadLeavesABlockedWait) {
    FakeHwAbstractionLayer fake;
    EndlessWatcher watcher(fake);
    watcher.start();
    ASSERT_TRUE(fake.waitForWaitCalls(1, 5s));
    watcher.terminate();
    EXPECT_TRUE(watcher.wait(5000));
    EXPECT_FALSE(fake.isWaiting());
}

TEST(FakeHwAbstractionLayer, PowerButtonValuesAndLinesAreScripted) {
    FakeHwAbstractionLayer fake;
    EXPECT_EQ(1, fake.getPowerButton());
    fake.pushPowerButtonValue(0);
    fake.setPowerButtonValue(5);
    EXPECT_EQ(0, fake.getPowerButton());
    EXPECT_EQ(5, fake.getPowerButton());

    fake.presetLine(FakeHwAbstractionLayer::Line::Led1, 1);
    fake.toggleLed1();
    fake.setLed2(fake.getLed1());
    fake.toggleLed2();
    fake.setDspRunLine(1);
    EXPECT_EQ(0, fake.led1());
    EXPECT_EQ(1, fake.led2());
    EXPECT_EQ(1, fake.dspRunLine());
    const std::vector<std::pair<int, int>> states = {{0, 0}, {0, 0}, {0, 1}};
    EXPECT_EQ(states, fake.ledStates());
    const std::vector<std::string> calls = {
        "getPowerButton()", "getPowerButton()", "getPowerButton()", "toggleLed1()",
        "getLed1()",        "setLed2(0)",       "toggleLed2()",     "setDspRunLine(1)"};
    EXPECT_EQ(calls, fake.calls());
    fake.clearCalls();
    EXPECT_TRUE(fake.calls().empty());
    EXPECT_TRUE(fake.ledStates().empty());
}

} // namespace
