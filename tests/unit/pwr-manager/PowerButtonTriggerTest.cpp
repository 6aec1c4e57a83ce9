// The button watcher's confirm, reject and repeat cases through the fake hardware layer.

#include "PowerButtonTrigger.h"
#include "support/FakeHwAbstractionLayer.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using power_manager::PowerButtonTrigger;

namespace {

class PowerButtonTriggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        hal.install();
        QObject::connect(
            &trigger, &PowerButtonTrigger::powerButtonWasPressed, &trigger, [this] { ++presses; },
            Qt::DirectConnection);
        trigger.start();
        ASSERT_TRUE(hal.waitForWaitCalls(1, std::chrono::seconds(2)));
    }

    void TearDown() override {
        hal.stop();
        trigger.terminate();
        trigger.wait(1000);
    }

    // Waits until the watcher has gone back to waiting `count` times in all.
    void waitForLoop(std::size_t count) {
        ASSERT_TRUE(hal.waitForWaitCalls(count, std::chrono::seconds(2)));
    }

    int argc = 1;
    char name[16] = "test";
    char* argv[2] = {name, nullptr};
    QCoreApplication application{argc, argv};
    testsupport::FakeHwAbstractionLayer hal;
    testsupport::LogCapture log;
    PowerButtonTrigger trigger;
    std::atomic<int> presses{0};
};

TEST_F(PowerButtonTriggerTest, EdgeConfirmedAfter50MsIsOnePress) {
    hal.pushPowerButtonValue(0);
    QElapsedTimer elapsed;
    elapsed.start();
    hal.pushPowerButtonResult(true);
    waitForLoop(2);
    EXPECT_GE(elapsed.elapsed(), 50);
    EXPECT_EQ(1, presses.load());
    EXPECT_EQ(1u, hal.countCalls("getPowerButton()"));
    EXPECT_EQ(2u, hal.countCalls("waitForPowerButton(10000)"));
}

TEST_F(PowerButtonTriggerTest, EdgeWithTheLineBackHighIsRejectedWithAWarning) {
    hal.pushPowerButtonValue(1);
    hal.pushPowerButtonResult(true);
    waitForLoop(2);
    EXPECT_EQ(0, presses.load());
    EXPECT_EQ(1u, log.count("Power button pressed, but signal rejected"));
}

TEST_F(PowerButtonTriggerTest, RepeatedPressesAreEachReported) {
    for (int press = 0; press < 2; ++press) {
        hal.pushPowerButtonValue(0);
        hal.pushPowerButtonResult(true);
    }
    waitForLoop(3);
    EXPECT_EQ(2, presses.load());
}

TEST_F(PowerButtonTriggerTest, WaitWithoutAnEdgeStartsTheNextWaitSilently) {
    hal.pushPowerButtonResult(false);
    waitForLoop(2);
    EXPECT_EQ(0, presses.load());
    EXPECT_EQ(0u, hal.countCalls("getPowerButton()"));
    EXPECT_TRUE(log.events().empty());
}

} // namespace
