// The assembled daemon over the fake board: the roads of a battery reading and of a request, the
// battery level policy, the power button, the shutdown sequence and the power LED's patterns;
// and the button watcher and the shutdown command on their own.

#include "DaemonHarness.h"
#include "PowerButtonTrigger.h"
#include "PowerLedTrigger.h"
#include "RequestManager.h"
#include "ShutdownCommand.h"
#include "support/BatteryRecordHex.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

using testsupport::DaemonHarness;
using testsupport::Gauge;
using testsupport::pumpFor;
using testsupport::pumpUntil;
using Ids = std::vector<int>;
using Lines = std::vector<std::string>;
using Ticks = std::vector<std::pair<int, int>>;
using power_manager::PowerButtonTrigger;
using power_manager::PowerLedTrigger;

namespace {

constexpr int SESSION_IDLE = 0, SESSION_PENDING = 1, SESSION_ACTIVE = 2, SESSION_DONE = 3;
// The events' identifiers as the bus carries them.
constexpr int LOW = 56, DOWN = 57, WANT_DOWN = 58, STATUS = 59;

// The identifiers in arrival order, but those of one kind (the periodic battery status).
Ids identifiers(const std::vector<ipc::IpcMessage>& messages, int without = 0) {
    Ids result;
    for (const ipc::IpcMessage& message : messages) {
        if (message.message() != without) {
            result.push_back(message.message());
        }
    }
    return result;
}

std::vector<ipc::IpcMessage> requestsOf(const DaemonHarness& daemon, ipc::IPC_MSG message) {
    std::vector<ipc::IpcMessage> result;
    std::copy_if(daemon.dspRequests.begin(), daemon.dspRequests.end(), std::back_inserter(result),
                 [&](const ipc::IpcMessage& request) { return request.message() == message; });
    return result;
}

Lines lines(DaemonHarness& daemon) {
    return daemon.log.messages("power_manager_logger");
}

// A reading is published, and so is the one behind each answer; every requester is answered on its
// own channel, and cal-app, which has none, is still read. Requests that arrive together are all
// read; one that is not served gets no answer.
//
// A flooding client must not fill the daemon's memory: what waits is bounded, and meanwhile the
// server reads nothing, so ZeroMQ holds the client back. Unserved identifiers are not kept. The
// last request that fits is a power-down: it is served last and runs the shutdown sequence alone
// (no flag, no answer), and a running session without the button flag does not hold it.
TEST(DaemonRoads, ReadingsArePublishedAndRequestsAnsweredInOrderOnTheRequestersChannel) {
    DaemonHarness daemon(SESSION_ACTIVE, false, false);
    ASSERT_TRUE(daemon.started);
    daemon.app().checkBatteryStatus();
    for (ipc::IpcClient* peer : {&daemon.coreApp, &daemon.remote, &daemon.calApp}) {
        ASSERT_TRUE(peer->sendRequest(ipc::IPC_MSG_GET_BATTERY_STATUS));
    }
    for (ipc::IPC_MSG request : {ipc::IPC_MSG_GET_DSP_STATUS, ipc::IPC_MSG_GET_BATTERY_STATUS,
                                 ipc::IPC_MSG_GET_BATTERY_STATUS}) {
        ASSERT_TRUE(daemon.coreApp.sendRequest(request));
    }
    ASSERT_TRUE(pumpUntil([&] {
        return daemon.events.size() == 6 && daemon.coreAppResponses.size() == 3 &&
               daemon.remoteResponses.size() == 1;
    }));
    const QByteArray record = QByteArray::fromHex(testsupport::DISCHARGING_BATTERY_RECORD_HEX);
    for (const ipc::IpcMessage& event : daemon.events) {
        EXPECT_EQ(QByteArray::fromHex("3b000000 03000000") + record, event.toFrame());
    }
    daemon.coreAppResponses.push_back(daemon.remoteResponses[0]);
    for (const ipc::IpcMessage& answer : daemon.coreAppResponses) {
        EXPECT_EQ(QByteArray::fromHex("14000000 03000000") + record, answer.toFrame());
    }
    daemon.log.clear();
    daemon.events.clear();
    daemon.coreAppResponses.clear();

    auto requests = power_manager::RequestManager::getInstance();
    auto server = ipc::IpcServer::getInstance();
    requests->queueRequestFromIpc(
        ipc::IpcMessage(ipc::IPC_MSG_GET_DSP_STATUS, ipc::IPC_ORIGIN_CLIENT_CORE_APP));
    EXPECT_EQ(0, requests->queuedRequestCount());
    for (int request = 0; request < 20; ++request) {
        requests->queueRequestFromIpc(ipc::IpcMessage(
            request == 15 ? ipc::IPC_MSG_DO_POWER_DOWN : ipc::IPC_MSG_GET_BATTERY_STATUS,
            ipc::IPC_ORIGIN_CLIENT_CORE_APP));
    }
    EXPECT_EQ(16, requests->queuedRequestCount());
    EXPECT_TRUE(server->requestsPaused());
    ASSERT_TRUE(pumpUntil([&] { return daemon.events.size() == 16 && daemon.shutdownCalls(); }));
    pumpFor(100);
    EXPECT_EQ(DOWN, daemon.events.back().message());
    EXPECT_FALSE(server->requestsPaused());
    EXPECT_EQ(15u, daemon.coreAppResponses.size());
    EXPECT_TRUE(daemon.calAppResponses.empty());
    EXPECT_TRUE(requestsOf(daemon, ipc::IPC_MSG_SET_INSTRUMENT_CONFIG).empty());
    EXPECT_EQ(QByteArray("0\0", 2), daemon.fileBytes("run"));
    EXPECT_EQ((Lines{"Request queue full, dropped request IPC_MSG_GET_BATTERY_STATUS from "
                     "IPC_ORIGIN_CLIENT_CORE_APP",
                     "Switching off the backlight ...", "Shuting down the system ..."}),
              lines(daemon));
    EXPECT_EQ(1, daemon.shutdownCalls());
}

// Two checks in a row: a shutdown needs both below the threshold; a low level is published at
// every check, after the reading, and warned of once. Only a single argument within 1 to 99 sets
// the threshold, and the threshold in force is always logged.
TEST(DaemonPolicy, ThresholdArgumentAndLowAndVeryLowLevelsOnBattery) {
    const struct {
        std::vector<std::string> arguments;
        int threshold;
        Gauge gauge;
        Ids events;
    } cases[] = {
        {{}, 10, {9}, {STATUS, LOW, STATUS, DOWN}},
        {{}, 10, {10}, {STATUS, LOW, STATUS, LOW}},
        {{}, 10, {15}, {STATUS, LOW, STATUS, LOW}},
        {{}, 10, {16}, {STATUS, STATUS}},
        {{"50"}, 50, {40}, {STATUS, STATUS, DOWN}},
        {{"1"}, 1, {0}, {STATUS, LOW, STATUS, DOWN}},
        {{"1"}, 1, {1}, {STATUS, LOW, STATUS, LOW}},
        {{"99"}, 99, {98}, {STATUS, STATUS, DOWN}},
        // Refused arguments leave the default.
        {{"0"}, 10, {9}, {STATUS, LOW, STATUS, DOWN}},
        {{"100"}, 10, {9}, {STATUS, LOW, STATUS, DOWN}},
        {{"5x"}, 10, {9}, {STATUS, LOW, STATUS, DOWN}},
        {{"5", "7"}, 10, {9}, {STATUS, LOW, STATUS, DOWN}},
        // Idle and unknown states on battery count as discharging.
        {{}, 10, {12, "Unknown"}, {STATUS, LOW, STATUS, LOW}},
        {{}, 10, {12, "Discharging", -50000}, {STATUS, LOW, STATUS, LOW}},
        // Charging, external power and no battery do nothing at any level.
        {{}, 10, {0, "Charging", -200000}, {STATUS, STATUS}},
        {{}, 10, {0, "Discharging", 0}, {STATUS, STATUS}},
        {{}, 10, {0, "Discharging", -300000, 0}, {STATUS, STATUS}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.gauge.status << " " << c.gauge.capacity);
        DaemonHarness daemon(SESSION_IDLE, false, false, c.arguments, c.gauge);
        daemon.app().checkBatteryStatus();
        daemon.app().checkBatteryStatus();
        const int shutdowns = static_cast<int>(std::count(c.events.begin(), c.events.end(), DOWN));
        ASSERT_TRUE(pumpUntil([&] {
            return daemon.events.size() >= c.events.size() && daemon.shutdownCalls() == shutdowns;
        }));
        pumpFor(50);
        EXPECT_EQ(c.events, identifiers(daemon.events));
        EXPECT_EQ(shutdowns, daemon.shutdownCalls());
        if (c.events[1] == LOW) {
            EXPECT_EQ(QByteArray::fromHex("38000000 03000000"), daemon.events[1].toFrame());
        }
        Lines expected;
        if (c.threshold == 10 && !c.arguments.empty()) {
            expected.push_back(c.arguments.size() == 1
                                   ? "Invalid auto-shutdown threshold \"" + c.arguments[0] +
                                         "\", expected 1 to 99"
                                   : "Expected one argument at most, the auto-shutdown "
                                     "threshold; the 2 arguments given are ignored");
        }
        expected.push_back("Auto-shutdown battery threshold level is " +
                           std::to_string(c.threshold) + "%.");
        if (std::count(c.events.begin(), c.events.end(), LOW) > 0) {
            expected.push_back("Battery level is low! (below 15%)");
        }
        if (shutdowns) {
            expected.insert(expected.end(),
                            {"Battery level is very low, below shutdown threshold (" +
                                 std::to_string(c.threshold) + "%)!",
                             "Switching off the backlight ...", "Shuting down the system ..."});
        }
        EXPECT_EQ(expected, lines(daemon));
    }
}

// Without a session, or after it, a press records the button's flag and shuts down; while one
// is pending or running, the user interface decides.
TEST(DaemonButton, PressShutsDownOnlyWithoutARunningSession) {
    for (int session : {SESSION_IDLE, SESSION_PENDING, SESSION_ACTIVE, SESSION_DONE}) {
        SCOPED_TRACE(session);
        const int shutdowns = session == SESSION_IDLE || session == SESSION_DONE ? 1 : 0;
        DaemonHarness daemon(session);
        ASSERT_TRUE(daemon.started);
        daemon.log.clear();
        daemon.hal.pushPowerButtonValue(0);
        daemon.hal.pushPowerButtonResult(true);
        ASSERT_TRUE(pumpUntil([&] {
            return !identifiers(daemon.events, STATUS).empty() &&
                   daemon.shutdownCalls() == shutdowns;
        }));
        pumpFor(150);
        EXPECT_EQ(Ids{shutdowns ? DOWN : WANT_DOWN}, identifiers(daemon.events, STATUS));
        EXPECT_EQ((shutdowns ? Lines{"Power button was pressed!", "Switching off the backlight ...",
                                     "Shuting down the system ..."}
                             : Lines{"Power button was pressed!",
                                     "Sending power down request to core-app "
                                     "because there is an "
                                     "active session."}),
                  lines(daemon));
        EXPECT_EQ(shutdowns, daemon.shutdownCalls());
        EXPECT_EQ(shutdowns ? QByteArray("0\0", 2) : QByteArray(), daemon.fileBytes("run"));
        const auto set = requestsOf(daemon, ipc::IPC_MSG_SET_INSTRUMENT_CONFIG);
        ASSERT_EQ(static_cast<size_t>(shutdowns), set.size());
        if (shutdowns) {
            EXPECT_EQ(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, set[0].origin());
            ASSERT_EQ(916, set[0].data().size());
            EXPECT_EQ(1, set[0].data().at(913));
            // The rest of the record is the mirrored configuration unchanged: "UTC" at 48.
            EXPECT_EQ(QByteArray::fromHex("55000000 54000000 43000000 00000000"),
                      set[0].data().mid(48, 16));
        }
    }
}

TEST(DaemonShutdown, SessionThatNeverStopsIsWaitedForNineTimes250Ms) {
    DaemonHarness daemon(SESSION_ACTIVE, true);
    ASSERT_TRUE(daemon.started);
    daemon.log.clear();
    QElapsedTimer elapsed;
    elapsed.start();
    daemon.app().shutDownInstrument();
    EXPECT_EQ(0, daemon.shutdownCalls());
    ASSERT_TRUE(pumpUntil([&] { return daemon.shutdownCalls() == 1; }, 4000));
    EXPECT_GE(elapsed.elapsed(), 9 * 250);
    EXPECT_LT(elapsed.elapsed(), 9 * 250 + 600);

    Lines expected{"Switching off the backlight ..."};
    for (int wait = 1; wait <= 9; ++wait) {
        expected.push_back("Waiting for the session to stop, #" + std::to_string(wait));
    }
    expected.push_back("Shuting down the system ...");
    EXPECT_EQ(expected, lines(daemon));

    // The command succeeded: later triggers leave it pending, with one line between them.
    daemon.log.clear();
    daemon.app().shutDownInstrument();
    daemon.app().shutDownInstrument();
    pumpFor(100);
    EXPECT_EQ(1, daemon.shutdownCalls());
    EXPECT_EQ(Lines{"Shutdown already requested, waiting for the system to go down"},
              lines(daemon));
}

// The flag comes from the dsp-manager's configuration event; the session's end is seen at the
// next step of the wait.
TEST(DaemonShutdown, MirroredButtonFlagHoldsTheShutdownUntilTheSessionStops) {
    DaemonHarness daemon;
    ASSERT_TRUE(daemon.started);
    daemon.publishInstrumentConfig(true);
    // Both travel on one socket: once the session is seen, so is the flag.
    ASSERT_TRUE(daemon.publishSession(SESSION_ACTIVE));
    daemon.app().shutDownInstrument();
    ASSERT_TRUE(pumpUntil([&] { return daemon.log.count("Waiting for the session to stop, #3"); }));
    ASSERT_TRUE(daemon.publishSession(SESSION_DONE));
    ASSERT_TRUE(pumpUntil([&] { return daemon.shutdownCalls() == 1; }));
    EXPECT_EQ(0u, daemon.log.count("Waiting for the session to stop, #4"));
}

// Real children of /bin/sh, the re-issue time cut to 1 s; a daemon without timers lends its
// application object.
TEST(ShutdownCommand, FailedRunsAgainSucceededOnlyAfterTheReissueTimeAndTheLoopRunsMeanwhile) {
    using power_manager::ShutdownCommand;
    DaemonHarness daemon(SESSION_IDLE, false, false);
    daemon.log.clear();
    ShutdownCommand failing("exit 3", 1000);
    ShutdownCommand succeeding("sleep 0.2", 1000);
    ASSERT_TRUE(failing.run() && succeeding.run());
    EXPECT_TRUE(succeeding.absorbTrigger()) << "running";
    // A request to end the event loop, as a signal makes it, is served while the command runs.
    QTimer::singleShot(50, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(1, QCoreApplication::exec());
    EXPECT_EQ(ShutdownCommand::Running, succeeding.state());
    ASSERT_TRUE(pumpUntil([&] {
        return failing.state() == ShutdownCommand::Failed &&
               succeeding.state() == ShutdownCommand::Succeeded;
    }));
    EXPECT_FALSE(failing.absorbTrigger());
    EXPECT_TRUE(succeeding.absorbTrigger());
    pumpFor(1100);
    EXPECT_FALSE(succeeding.absorbTrigger());
    EXPECT_EQ((Lines{"Shutdown already requested, waiting for the system to go down",
                     "Shutdown command \"exit 3\" failed with exit status 3",
                     "The system is still up 1 s after the shutdown command, issuing "
                     "it again"}),
              lines(daemon));
}

// A watcher of its own over the fake hardware layer of a daemon without timers: failed waits, a
// press, a bounce and a press again, then a stop that must end it at once although it is blocked in
// a wait.
TEST(PowerButtonTrigger, FailedWaitsPauseEdgesAreConfirmedAndStopEndsTheWait) {
    DaemonHarness daemon(SESSION_IDLE, false, false);
    daemon.log.clear();
    PowerButtonTrigger trigger;
    std::atomic<int> presses{0};
    QObject::connect(
        &trigger, &PowerButtonTrigger::powerButtonWasPressed, &trigger, [&] { ++presses; },
        Qt::DirectConnection);
    // A wait that comes back at once without an edge has failed: no spinning, one line.
    for (int failure = 0; failure < 3; ++failure) {
        daemon.hal.pushPowerButtonResult(false);
    }
    // Only a line still low after the confirmation delay is a press.
    for (int line : {0, 1, 0}) {
        daemon.hal.pushPowerButtonValue(line);
        daemon.hal.pushPowerButtonResult(true);
    }
    QElapsedTimer elapsed;
    elapsed.start();
    trigger.start();
    ASSERT_TRUE(pumpUntil([&] { return daemon.hal.countCalls("waitForPowerButton(10000)") == 7; }));
    EXPECT_GE(elapsed.elapsed(), 3 * PowerButtonTrigger::RETRY_PAUSE_MS +
                                     3 * PowerButtonTrigger::CONFIRMATION_DELAY_MS);
    EXPECT_EQ(2, presses.load());
    EXPECT_EQ(3u, daemon.hal.countCalls("getPowerButton()"));
    EXPECT_EQ((Lines{"Waiting for the power button failed, trying again every 500 ms",
                     "Power button pressed, but signal rejected"}),
              lines(daemon));

    elapsed.restart();
    trigger.stop();
    EXPECT_TRUE(trigger.wait(1000));
    EXPECT_LT(elapsed.elapsed(), 200);
}

// The power LED's patterns tick by tick, and how battery readings and session changes choose them.
constexpr int NONE = -1;
// A record with neither a battery nor external power, which the monitor itself never makes.
constexpr int NEITHER = -2;

TEST(PowerLedTrigger, ReadingsAndSessionsChooseThePatternTickByTickAndTheTimersRun) {
    DaemonHarness daemon(SESSION_IDLE, false, false);
    ASSERT_TRUE(daemon.started);
    PowerLedTrigger* led = PowerLedTrigger::getInstance().get();
    const struct {
        int capacity; // a reading at this level, or NONE or NEITHER
        bool externalPower;
        int session; // a published session state, or NONE
        int mode;
        Ticks ticks; // (LED 1, LED 2) after each tick, both starting at 0
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
        SCOPED_TRACE(testing::Message() << step.capacity << " " << step.session);
        if (step.capacity == NEITHER) {
            quarn_system::BATTERY_STATUS neither{};
            neither.capacity = 5;
            led->processBatteryStatus(neither);
        } else if (step.capacity != NONE) {
            daemon.writeGauge({step.capacity, step.externalPower ? "Charging" : "Discharging",
                               step.externalPower ? 500000 : -300000});
            daemon.app().checkBatteryStatus();
        } else if (step.session != NONE) {
            ASSERT_TRUE(daemon.publishSession(step.session));
        }
        EXPECT_EQ(step.mode, led->mode());
        daemon.hal.setLed1(0);
        daemon.hal.setLed2(0);
        Ticks ticks;
        for (size_t i = 0; i < step.ticks.size(); ++i) {
            led->processPowerLedTriggerTimeout();
            ticks.emplace_back(daemon.hal.getLed1(), daemon.hal.getLed2());
        }
        EXPECT_EQ(step.ticks, ticks);
    }
    EXPECT_EQ(1u, daemon.log.count("LED flashing was activated"));
    EXPECT_EQ(1u, daemon.log.count("LED flashing was stopped"));

    // The timer ticks every second: a window of 2.1 s holds two or three ticks.
    daemon.hal.clearCalls();
    pumpFor(2100);
    const size_t ticks = daemon.hal.countCalls("setLed1(1)");
    EXPECT_GE(ticks, 2u);
    EXPECT_LE(ticks, 3u);
    EXPECT_EQ(ticks, daemon.hal.countCalls("setLed2(1)"));
}

// Apart, so that the ThreadSanitizer pass, whose slowdown shifts timers against the clock, can
// leave it out by name.
TEST(DaemonRoads, FirstCheckComesOneTimerPeriodAfterStart) {
    DaemonHarness daemon(SESSION_IDLE, false, false);
    ASSERT_TRUE(daemon.started);
    const size_t published = daemon.events.size();
    QElapsedTimer sinceStart;
    daemon.app().start();
    sinceStart.start();
    ASSERT_TRUE(pumpUntil([&] { return daemon.events.size() > published; }, 4000));
    EXPECT_GE(sinceStart.elapsed(), 1990);
    EXPECT_LT(sinceStart.elapsed(), 2300);
}

} // namespace
