// The power LED's patterns tick by tick, and how battery readings and session changes choose
// them, through the assembled daemon and the fake hardware layer.

#include "PowerLedTrigger.h"
#include "DaemonHarness.h"

#include <gtest/gtest.h>

using power_manager::PowerLedTrigger;
using testsupport::DaemonHarness;
using testsupport::Gauge;
using Lines = std::vector<std::pair<int, int>>;

namespace {

Gauge gauge(int capacity, bool externalPower) {
    Gauge result;
    result.capacity = std::to_string(capacity);
    result.status = externalPower ? "Charging" : "Discharging";
    result.currentNow = externalPower ? "500000" : "-300000";
    return result;
}

class PowerLedTriggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        daemon.startDaemon(false);
        ASSERT_TRUE(daemon.waitForMirrors());
        led = PowerLedTrigger::getInstance().get();
    }

    void read(const Gauge& reading) {
        daemon.writeGauge(reading);
        daemon.app().checkBatteryStatus();
    }

    void session(int state) {
        daemon.publishSession(state);
        ASSERT_TRUE(daemon.spinUntil([&] { return sessionUpdates() > 0; }));
    }

    size_t sessionUpdates() {
        return daemon.log().count("LED flashing was activated") +
               daemon.log().count("LED flashing was stopped");
    }

    // (LED 1, LED 2) after each of `ticks` ticks.
    Lines tick(int ticks) {
        Lines after;
        for (int i = 0; i < ticks; ++i) {
            led->processPowerLedTriggerTimeout();
            after.emplace_back(daemon.hal().led1(), daemon.hal().led2());
        }
        return after;
    }

    DaemonHarness daemon;
    PowerLedTrigger* led = nullptr;
};

TEST_F(PowerLedTriggerTest, ExternalPowerPatternUntilTheFirstReading) {
    EXPECT_EQ(PowerLedTrigger::LED_EXTERNAL_POWER, led->mode());
    EXPECT_EQ((Lines{{0, 1}, {0, 1}, {0, 1}}), tick(3));
}

TEST_F(PowerLedTriggerTest, SteadyPatternsFollowPowerSourceAndLevel) {
    read(gauge(40, false));
    EXPECT_EQ((Lines{{1, 1}, {1, 1}}), tick(2));
    read(gauge(16, false));
    EXPECT_EQ(PowerLedTrigger::LED_ON_BATTERY, led->mode());
    read(gauge(15, false));
    EXPECT_EQ((Lines{{1, 0}, {1, 0}}), tick(2));
    read(gauge(15, true));
    EXPECT_EQ((Lines{{0, 1}}), tick(1));
}

TEST_F(PowerLedTriggerTest, NoBatteryLeavesThePatternAsItWas) {
    read(gauge(40, false));
    // The monitor reports a missing battery as external power; only a record without either
    // reaches the rule.
    quarn_system::BATTERY_STATUS neither = quarn_system::DEFAULT_BATTERY_STATUS;
    neither.present = false;
    neither.externalPower = false;
    neither.capacity = 5;
    led->processBatteryStatus(neither);
    EXPECT_EQ(PowerLedTrigger::LED_ON_BATTERY, led->mode());
}

TEST_F(PowerLedTriggerTest, FlashingPatternsWhileASessionRuns) {
    // The LED timer runs too, so a sequence may start in either phase: what is checked is that
    // the flashing line changes at every tick and the other line keeps its rule.
    read(gauge(40, false));
    session(2);
    EXPECT_EQ(PowerLedTrigger::LED_ON_BATTERY_FLASHING, led->mode());
    Lines lines = tick(4);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].first, lines[i].second) << "LED 2 follows LED 1";
        if (i > 0) {
            EXPECT_NE(lines[i - 1].first, lines[i].first);
        }
    }

    read(gauge(10, false));
    EXPECT_EQ(PowerLedTrigger::LED_BATTERY_LOW_FLASHING, led->mode());
    lines = tick(3);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(0, lines[i].second);
        if (i > 0) {
            EXPECT_NE(lines[i - 1].first, lines[i].first);
        }
    }

    read(gauge(10, true));
    EXPECT_EQ(PowerLedTrigger::LED_EXTERNAL_POWER_FLASHING, led->mode());
    lines = tick(3);
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(0, lines[i].first);
        if (i > 0) {
            EXPECT_NE(lines[i - 1].second, lines[i].second);
        }
    }
}

TEST_F(PowerLedTriggerTest, SessionChangesSwitchFlashingOnceEach) {
    read(gauge(40, false));
    session(1);
    EXPECT_EQ(1u, daemon.log().count("LED flashing was activated"));
    daemon.publishSession(2);
    DaemonHarness::spinFor(200);
    EXPECT_EQ(1u, daemon.log().count("LED flashing was activated"));
    EXPECT_EQ(PowerLedTrigger::LED_ON_BATTERY_FLASHING, led->mode());

    daemon.publishSession(3);
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.log().count("LED flashing was stopped"); }));
    EXPECT_EQ(PowerLedTrigger::LED_ON_BATTERY, led->mode());
    EXPECT_EQ((Lines{{1, 1}}), tick(1));
    daemon.publishSession(0);
    DaemonHarness::spinFor(200);
    EXPECT_EQ(1u, daemon.log().count("LED flashing was stopped"));
}

TEST_F(PowerLedTriggerTest, OtherIdentifiersLeaveTheModeUnchanged) {
    read(gauge(40, false));
    session(2);
    led->onSessionChange(ipc::IPC_MSG_EVENT_BATTERY_LOW);
    EXPECT_EQ(PowerLedTrigger::LED_ON_BATTERY_FLASHING, led->mode());
}

TEST_F(PowerLedTriggerTest, TimerTicksEverySecondFromInitialisation) {
    daemon.hal().clearCalls();
    DaemonHarness::spinFor(2100);
    // A window of 2.1 s holds two or three ticks of a one-second timer.
    const size_t ticks = daemon.hal().countCalls("setLed1(0)");
    EXPECT_GE(ticks, 2u);
    EXPECT_LE(ticks, 3u);
    EXPECT_EQ(ticks, daemon.hal().countCalls("setLed2(1)"));
}

} // namespace
