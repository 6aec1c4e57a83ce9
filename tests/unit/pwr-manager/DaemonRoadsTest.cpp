// The roads of a battery update and of a request through the assembled daemon, and the
// battery level policy.

#include "DaemonHarness.h"
#include "RequestManager.h"
#include "support/BatteryRecordHex.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::DaemonHarness;
using testsupport::Gauge;

namespace {

// The harness's default gauge reads as this record.
const QByteArray DEFAULT_GAUGE_RECORD =
    QByteArray::fromHex(testsupport::DISCHARGING_BATTERY_RECORD_HEX);

QByteArray frame(const ipc::IpcMessage& message) {
    return message.toFrame();
}

std::vector<int> identifiers(const std::vector<ipc::IpcMessage>& messages) {
    std::vector<int> result;
    for (const ipc::IpcMessage& message : messages) {
        result.push_back(message.message());
    }
    return result;
}

TEST(DaemonRoads, EachBatteryCheckPublishesOneEventEqualToTheReading) {
    DaemonHarness daemon;
    daemon.startDaemon(false);
    daemon.app().checkBatteryStatus();
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.events.size() == 1; }));
    EXPECT_EQ(QByteArray::fromHex("3b000000 03000000") + DEFAULT_GAUGE_RECORD,
              frame(daemon.events[0]));

    daemon.app().checkBatteryStatus();
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.events.size() == 2; }));
    EXPECT_EQ(frame(daemon.events[0]), frame(daemon.events[1]));
}

TEST(DaemonRoads, FirstCheckComesOneTimerPeriodAfterStart) {
    DaemonHarness daemon;
    daemon.startDaemon(false);
    QElapsedTimer sinceStart;
    daemon.app().start();
    sinceStart.start();
    ASSERT_TRUE(daemon.spinUntil([&] { return !daemon.events.empty(); }, 4000));
    EXPECT_GE(sinceStart.elapsed(), 1990);
    EXPECT_LT(sinceStart.elapsed(), 2300);
}

TEST(DaemonRoads, EachRequesterIsAnsweredOnItsOwnChannelWithOrigin3AfterTheEvent) {
    DaemonHarness daemon;
    daemon.startDaemon(false);
    ASSERT_TRUE(daemon.coreApp().sendRequest(ipc::IPC_MSG_GET_BATTERY_STATUS));
    ASSERT_TRUE(daemon.spinUntil(
        [&] { return daemon.coreAppResponses.size() == 1 && daemon.events.size() == 1; }));
    EXPECT_EQ(QByteArray::fromHex("14000000 03000000") + DEFAULT_GAUGE_RECORD,
              frame(daemon.coreAppResponses[0]));
    EXPECT_EQ(DEFAULT_GAUGE_RECORD, daemon.events[0].data());

    ASSERT_TRUE(daemon.remote().sendRequest(ipc::IPC_MSG_GET_BATTERY_STATUS));
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.remoteResponses.size() == 1; }));
    EXPECT_EQ(frame(daemon.coreAppResponses[0]), frame(daemon.remoteResponses[0]));
    DaemonHarness::spinFor(100);
    EXPECT_EQ(1u, daemon.coreAppResponses.size());
}

TEST(DaemonRoads, OtherIdentifiersAndOtherOriginsGetNoAnswer) {
    DaemonHarness daemon;
    daemon.startDaemon(false);
    ASSERT_TRUE(daemon.coreApp().sendRequest(ipc::IPC_MSG_GET_DSP_STATUS));
    ASSERT_TRUE(daemon.calApp().sendRequest(ipc::IPC_MSG_GET_BATTERY_STATUS));
    // The cal-app request is still read: its reading is published, only the answer has no way.
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.events.size() == 1; }));
    DaemonHarness::spinFor(200);
    EXPECT_TRUE(daemon.coreAppResponses.empty());
    EXPECT_TRUE(daemon.remoteResponses.empty());
    EXPECT_TRUE(daemon.calAppResponses.empty());
    EXPECT_EQ(0, daemon.shutdownCalls());
}

TEST(DaemonRoads, RequestsAreServedOneAtATimeInArrivalOrder) {
    DaemonHarness daemon;
    daemon.startDaemon(false);
    ASSERT_TRUE(daemon.coreApp().sendRequest(ipc::IPC_MSG_GET_BATTERY_STATUS));
    ASSERT_TRUE(daemon.coreApp().sendRequest(ipc::IPC_MSG_DO_POWER_DOWN));
    ASSERT_TRUE(daemon.coreApp().sendRequest(ipc::IPC_MSG_GET_BATTERY_STATUS));
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.events.size() == 3; }));
    // All three travel on the one event socket, so their order is the order of handling.
    EXPECT_EQ(
        (std::vector<int>{ipc::IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, ipc::IPC_MSG_EVENT_POWER_DOWN,
                          ipc::IPC_MSG_EVENT_BATTERY_STATUS_CHANGED}),
        identifiers(daemon.events));
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.coreAppResponses.size() == 2; }));
    EXPECT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == 1; }));
}

// A flooding client must not fill the daemon's memory: what waits is bounded, and meanwhile the
// server reads nothing, so ZeroMQ holds the client back. Unserved identifiers are not kept.
TEST(DaemonRoads, AtMost16RequestsWaitAndTheServerReadsNoMoreMeanwhile) {
    DaemonHarness daemon;
    daemon.startDaemon(false);
    auto requests = power_manager::RequestManager::getInstance();
    auto server = ipc::IpcServer::getInstance();
    requests->queueRequestFromIpc(
        ipc::IpcMessage(ipc::IPC_MSG_GET_DSP_STATUS, ipc::IPC_ORIGIN_CLIENT_CORE_APP));
    EXPECT_EQ(0, requests->queuedRequestCount());
    for (int request = 0; request < 20; ++request) {
        requests->queueRequestFromIpc(
            ipc::IpcMessage(ipc::IPC_MSG_GET_BATTERY_STATUS, ipc::IPC_ORIGIN_CLIENT_CORE_APP));
    }
    EXPECT_EQ(16, requests->queuedRequestCount());
    EXPECT_TRUE(server->requestsPaused());
    EXPECT_EQ(1u, daemon.log().count("Request queue full, dropped request "
                                     "IPC_MSG_GET_BATTERY_STATUS from IPC_ORIGIN_CLIENT_CORE_APP"));
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.coreAppResponses.size() == 16; }));
    EXPECT_FALSE(server->requestsPaused());
}

// ---- Threshold argument ---------------------------------------------------------------------

struct ThresholdCase {
    std::vector<std::string> arguments;
    int threshold;
    bool refused;
};

TEST(DaemonThreshold, OnlyASingleArgumentWithin1To99IsTakenAndTheThresholdIsAlwaysLogged) {
    const ThresholdCase cases[] = {
        {{}, 10, false},    {{"5"}, 5, false},      {{"1"}, 1, false},  {{"99"}, 99, false},
        {{"0"}, 10, true},  {{"100"}, 10, true},    {{"-3"}, 10, true}, {{"abc"}, 10, true},
        {{"5x"}, 10, true}, {{"5", "7"}, 10, true},
    };
    for (const ThresholdCase& c : cases) {
        DaemonHarness daemon(c.arguments);
        EXPECT_EQ(c.threshold, daemon.app().threshold());
        std::vector<std::string> expected{"Auto-shutdown battery threshold level is " +
                                          std::to_string(c.threshold) + "%."};
        if (c.refused) {
            expected.insert(expected.begin(),
                            c.arguments.size() == 1
                                ? "Invalid auto-shutdown threshold \"" + c.arguments[0] +
                                      "\", expected 1 to 99"
                                : "Expected one argument at most, the auto-shutdown threshold; "
                                  "the 2 arguments given are ignored");
        }
        EXPECT_EQ(expected, daemon.log().messages("power_manager_logger")) << c.threshold;
    }
}

// ---- Battery level policy -------------------------------------------------------------------

struct PolicyCase {
    std::vector<std::string> arguments;
    Gauge gauge;
    int lowEvents;
    int shutdowns;
};

Gauge discharging(int capacity) {
    Gauge gauge;
    gauge.capacity = std::to_string(capacity);
    return gauge;
}

Gauge withStatus(int capacity, const char* status, const char* current) {
    Gauge gauge = discharging(capacity);
    gauge.status = status;
    gauge.currentNow = current;
    return gauge;
}

// Two checks in a row: a shutdown needs both below the threshold.
TEST(DaemonPolicy, LowAndVeryLowLevelsOnBattery) {
    Gauge absent = discharging(0);
    absent.present = "0";
    const PolicyCase cases[] = {
        // The first reading below the threshold is still only low.
        {{}, discharging(9), 1, 1},
        {{}, discharging(10), 2, 0},
        {{}, discharging(15), 2, 0},
        {{}, discharging(16), 0, 0},
        {{"50"}, discharging(40), 0, 1},
        {{"50"}, discharging(60), 0, 0},
        {{"1"}, discharging(0), 1, 1},
        {{"1"}, discharging(1), 2, 0},
        {{"1"}, discharging(15), 2, 0},
        // Idle and unknown states on battery count as discharging.
        {{}, withStatus(12, "Unknown", "-300000"), 2, 0},
        {{}, withStatus(12, "Discharging", "-50000"), 2, 0},
        // Charging, full, external power and no battery do nothing at any level. "Full" means
        // 100 %; below that it reads as discharging.
        {{}, withStatus(0, "Charging", "-200000"), 0, 0},
        {{"99"}, withStatus(100, "Full", "-200000"), 0, 0},
        {{}, withStatus(5, "Full", "-200000"), 1, 1},
        {{}, withStatus(0, "Discharging", "0"), 0, 0},
        {{}, absent, 0, 0},
    };
    for (const PolicyCase& c : cases) {
        DaemonHarness daemon(c.arguments);
        daemon.writeGauge(c.gauge);
        daemon.startDaemon(false);
        daemon.app().checkBatteryStatus();
        daemon.app().checkBatteryStatus();
        const std::string label = c.gauge.status + " " + c.gauge.capacity;
        ASSERT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == c.shutdowns; }))
            << label;
        ASSERT_TRUE(daemon.spinUntil([&] { return daemon.events.size() >= 2; })) << label;
        DaemonHarness::spinFor(50);
        const auto ids = identifiers(daemon.events);
        EXPECT_EQ(c.lowEvents, std::count(ids.begin(), ids.end(), ipc::IPC_MSG_EVENT_BATTERY_LOW))
            << label;
        EXPECT_EQ(c.shutdowns, daemon.shutdownCalls()) << label;
        // Repeated warnings are logged once.
        EXPECT_EQ(c.lowEvents > 0 ? 1u : 0u,
                  daemon.log().count("Battery level is low! (below 15%)"))
            << label;
        const std::string veryLow = "Battery level is very low, below shutdown threshold (" +
                                    std::to_string(daemon.app().threshold()) + "%)!";
        EXPECT_EQ(static_cast<size_t>(c.shutdowns), daemon.log().count(veryLow)) << label;
    }
}

TEST(DaemonPolicy, EveryCheckPublishesTheLowEventAgainButWarnsOnce) {
    DaemonHarness daemon;
    daemon.writeGauge(discharging(12));
    daemon.startDaemon(false);
    for (int check = 0; check < 3; ++check) {
        daemon.app().checkBatteryStatus();
    }
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.events.size() == 6; }));
    EXPECT_EQ((std::vector<int>{59, 56, 59, 56, 59, 56}), identifiers(daemon.events));
    EXPECT_EQ(1u, daemon.log().count("Battery level is low! (below 15%)"));
    EXPECT_EQ(QByteArray::fromHex("38000000 03000000"), frame(daemon.events[1]));
}

} // namespace
