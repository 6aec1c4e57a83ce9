// The power LED's patterns tick by tick, and how battery readings and session changes choose
// them, through the assembled daemon and the fake hardware layer.

#include "PowerLedTrigger.h"
#include "DaemonHarness.h"
#include "model/ModelClassBuffer.h"
#include "session/LoggingSession.h"
#include "support/EventLoop.h"

#include <gtest/gtest.h>

using power_manager::PowerLedTrigger;
using testsupport::DaemonHarness;
using Lines = std::vector<std::pair<int, int>>;

namespace {

constexpr int NONE = -1;
// A record with neither a battery nor external power, which the monitor itself never makes.
constexpr int NEITHER = -2;

TEST(PowerLedTrigger, ReadingsAndSessionsChooseThePatternTickByTick) {
    DaemonHarness daemon;
    ASSERT_TRUE(daemon.startDaemon(false));
    PowerLedTrigger* led = PowerLedTrigger::getInstance().get();
    const struct {
        int capacity; // a reading at this level, or NONE or NEITHER
        bool externalPower;
        int session; // a published session state, or NONE
        int mode;
        Lines ticks; // (LED 1, LED 2) after each tick, both starting at 0
    } steps[] = {
        // Until the first reading the pattern is that of external power.
        {NONE, false, NONE, PowerLedTrigger::LED_EXTERNAL_POWER, {{0, 1}, {0, 1}}},
        {40, false, NONE, PowerLedTrigger::LED_ON_BATTERY, {{1, 1}, {1, 1}}},
        {16, false, NONE, PowerLedTrigger::LED_ON_BATTERY, {}},
        {NEITHER, false, NONE, PowerLedTrigger::LED_ON_BATTERY, {}},
        {15, false, NONE, PowerLedTrigger::LED_BATTERY_LOW, {{1, 0}, {1, 0}}},
        {15, true, NONE, PowerLedTrigger::LED_EXTERNAL_POWER, {{0, 1}}},
        // A pending or running session flashes one line; activating and stopping are logged
        // once each.
        {NONE, false, 1, PowerLedTrigger::LED_EXTERNAL_POWER_FLASHING, {{0, 1}, {0, 0}, {0, 1}}},
        {NONE, false, 2, PowerLedTrigger::LED_EXTERNAL_POWER_FLASHING, {}},
        {10, false, NONE, PowerLedTrigger::LED_BATTERY_LOW_FLASHING, {{1, 0}, {0, 0}, {1, 0}}},
        // LED 2 follows LED 1.
        {40, false, NONE, PowerLedTrigger::LED_ON_BATTERY_FLASHING, {{1, 1}, {0, 0}, {1, 1}}},
        {NONE, false, 3, PowerLedTrigger::LED_ON_BATTERY, {{1, 1}}},
        {NONE, false, 0, PowerLedTrigger::LED_ON_BATTERY, {}},
    };
    for (const auto& step : steps) {
        if (step.capacity == NEITHER) {
            quarn_system::BATTERY_STATUS neither = quarn_system::DEFAULT_BATTERY_STATUS;
            neither.present = false;
            neither.externalPower = false;
            neither.capacity = 5;
            led->processBatteryStatus(neither);
        } else if (step.capacity != NONE) {
            daemon.writeGauge({step.capacity, step.externalPower ? "Charging" : "Discharging",
                               step.externalPower ? 500000 : -300000});
            daemon.app().checkBatteryStatus();
        } else if (step.session != NONE) {
            daemon.publishSession(step.session);
            ASSERT_TRUE(testsupport::pumpUntil([&] {
                return model::ModelClassBuffer<session::LoggingSession>::getInstance()
                           ->getData()
                           .state() == step.session;
            }));
        }
        EXPECT_EQ(step.mode, led->mode()) << step.capacity << " " << step.session;
        daemon.hal.setLed1(0);
        daemon.hal.setLed2(0);
        Lines ticks;
        for (size_t i = 0; i < step.ticks.size(); ++i) {
            led->processPowerLedTriggerTimeout();
            ticks.emplace_back(daemon.hal.getLed1(), daemon.hal.getLed2());
        }
        EXPECT_EQ(step.ticks, ticks) << step.capacity << " " << step.session;
    }
    EXPECT_EQ(1u, daemon.log.count("LED flashing was activated"));
    EXPECT_EQ(1u, daemon.log.count("LED flashing was stopped"));

    // The timer ticks every second: a window of 2.1 s holds two or three ticks.
    daemon.hal.clearCalls();
    testsupport::pumpFor(2100);
    const size_t ticks = daemon.hal.countCalls("setLed1(1)");
    EXPECT_GE(ticks, 2u);
    EXPECT_LE(ticks, 3u);
    EXPECT_EQ(ticks, daemon.hal.countCalls("setLed2(1)"));
}

} // namespace
