// The button watcher's confirm, reject, repeat and failure cases through the fake hardware
// layer; every test ends the watcher the way its owner does, wherever it is blocked.

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
        QElapsedTimer stopping;
        stopping.start();
        trigger.stop();
        EXPECT_TRUE(trigger.wait(1000));
        EXPECT_LT(stopping.elapsed(), 200);
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

// A wait that comes back at once without an edge has failed: no spinning, one line.
TEST_F(PowerButtonTriggerTest, FailedWaitsAreRetriedAfterAPauseAndLoggedOnce) {
    QElapsedTimer elapsed;
    elapsed.start();
    for (int failure = 0; failure < 3; ++failure) {
        hal.pushPowerButtonResult(false);
    }
    waitForLoop(4);
    EXPECT_GE(elapsed.elapsed(), 3 * PowerButtonTrigger::RETRY_PAUSE_MS);
    EXPECT_EQ(0, presses.load());
    EXPECT_EQ(0u, hal.countCalls("getPowerButton()"));
    EXPECT_EQ(std::vector<std::string>{"Waiting for the power button failed, trying again every "
                                       "500 ms"},
              log.messages());
}

} // namespace
