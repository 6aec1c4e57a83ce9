// The button watcher through the fake hardware layer: failed waits, a press, a bounce and a
// press again, then a stop that must end it at once although it is blocked in a wait.

#include "PowerButtonTrigger.h"
#include "support/FakeHwAbstractionLayer.h"
#include "support/LogCapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

using power_manager::PowerButtonTrigger;

namespace {

TEST(PowerButtonTrigger, FailedWaitsPauseEdgesAreConfirmedAndStopEndsTheWait) {
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    testsupport::FakeHwAbstractionLayer hal;
    hal.install();
    testsupport::LogCapture log;
    PowerButtonTrigger trigger;
    std::atomic<int> presses{0};
    QObject::connect(
        &trigger, &PowerButtonTrigger::powerButtonWasPressed, &trigger, [&] { ++presses; },
        Qt::DirectConnection);
    // A wait that comes back at once without an edge has failed: no spinning, one line.
    for (int failure = 0; failure < 3; ++failure) {
        hal.pushPowerButtonResult(false);
    }
    // Only a line still low after the confirmation delay is a press.
    for (int line : {0, 1, 0}) {
        hal.pushPowerButtonValue(line);
        hal.pushPowerButtonResult(true);
    }
    QElapsedTimer elapsed;
    elapsed.start();
    trigger.start();
    ASSERT_TRUE(hal.waitForWaitCalls(7, std::chrono::seconds(5)));
    EXPECT_GE(elapsed.elapsed(), 3 * PowerButtonTrigger::RETRY_PAUSE_MS +
                                     3 * PowerButtonTrigger::CONFIRMATION_DELAY_MS);
    EXPECT_EQ(2, presses.load());
    EXPECT_EQ(3u, hal.countCalls("getPowerButton()"));
    EXPECT_EQ(7u, hal.countCalls("waitForPowerButton(10000)"));
    EXPECT_EQ(
        (std::vector<std::string>{"Waiting for the power button failed, trying again every 500 ms",
                                  "Power button pressed, but signal rejected"}),
        log.messages());

    elapsed.restart();
    trigger.stop();
    EXPECT_TRUE(trigger.wait(1000));
    EXPECT_LT(elapsed.elapsed(), 200);
}

} // namespace
