// What a press of the power button, a power-down request and the shutdown sequence do, through
// the assembled daemon and the fake hardware layer.

#include "DaemonHarness.h"
#include "ShutdownCommand.h"
#include "support/EventLoop.h"

#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>

using testsupport::DaemonHarness;

namespace {

constexpr int SESSION_IDLE = 0;
constexpr int SESSION_PENDING = 1;
constexpr int SESSION_ACTIVE = 2;
constexpr int SESSION_DONE = 3;

// The events other than the periodic battery status, which the running timer adds.
std::vector<int> identifiers(const std::vector<ipc::IpcMessage>& messages) {
    std::vector<int> result;
    for (const ipc::IpcMessage& message : messages) {
        if (message.message() != ipc::IPC_MSG_EVENT_BATTERY_STATUS_CHANGED) {
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

// The power-manager's own lines, in order.
std::vector<std::string> lines(DaemonHarness& daemon) {
    return daemon.log().messages("power_manager_logger");
}

void press(DaemonHarness& daemon) {
    daemon.hal().pushPowerButtonValue(0);
    daemon.hal().pushPowerButtonResult(true);
}

class PowerDownTest : public ::testing::Test {
protected:
    void startWithSession(int state, bool powerButtonFlag = false) {
        daemon.setSessionState(state);
        daemon.setPowerButtonFlag(powerButtonFlag);
        daemon.startDaemon();
        ASSERT_TRUE(daemon.waitForMirrors());
        daemon.log().clear();
    }

    DaemonHarness daemon;
};

TEST_F(PowerDownTest, ButtonWithoutASessionRecordsTheFlagAndShutsDownInOrder) {
    startWithSession(SESSION_IDLE);
    press(daemon);
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == 1; }));
    ASSERT_TRUE(daemon.spinUntil(
        [&] { return !requestsOf(daemon, ipc::IPC_MSG_SET_INSTRUMENT_CONFIG).empty(); }));

    const auto set = requestsOf(daemon, ipc::IPC_MSG_SET_INSTRUMENT_CONFIG);
    ASSERT_EQ(1u, set.size());
    EXPECT_EQ(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, set[0].origin());
    ASSERT_EQ(916, set[0].data().size());
    EXPECT_EQ(1, set[0].data().at(913));
    // The rest of the record is the mirrored configuration unchanged: "UTC" at offset 48.
    EXPECT_EQ(QByteArray::fromHex("55000000 54000000 43000000 00000000"),
              set[0].data().mid(48, 16));

    EXPECT_EQ(QByteArray("0\0", 2), daemon.fileBytes("pwm/run"));
    ASSERT_TRUE(daemon.spinUntil([&] { return !identifiers(daemon.events).empty(); }));
    EXPECT_EQ(std::vector<int>{ipc::IPC_MSG_EVENT_POWER_DOWN}, identifiers(daemon.events));
    EXPECT_EQ(
        (std::vector<std::string>{"Power button was pressed!", "Switching off the backlight ...",
                                  "Shuting down the system ..."}),
        lines(daemon));
    DaemonHarness::spinFor(100);
    EXPECT_EQ(1, daemon.shutdownCalls());
}

class PowerDownDuringSessionTest : public PowerDownTest,
                                   public ::testing::WithParamInterface<int> {};

TEST_P(PowerDownDuringSessionTest, ButtonOnlyAsksTheUserInterface) {
    startWithSession(GetParam());
    press(daemon);
    ASSERT_TRUE(daemon.spinUntil([&] { return !identifiers(daemon.events).empty(); }));
    DaemonHarness::spinFor(150);
    EXPECT_EQ(std::vector<int>{ipc::IPC_MSG_EVENT_WANT_POWER_DOWN}, identifiers(daemon.events));
    EXPECT_EQ((std::vector<std::string>{
                  "Power button was pressed!",
                  "Sending power down request to core-app because there is an active session."}),
              lines(daemon));
    EXPECT_EQ(0, daemon.shutdownCalls());
    EXPECT_TRUE(requestsOf(daemon, ipc::IPC_MSG_SET_INSTRUMENT_CONFIG).empty());
    EXPECT_TRUE(daemon.fileBytes("pwm/run").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(PendingAndActive, PowerDownDuringSessionTest,
                         ::testing::Values(SESSION_PENDING, SESSION_ACTIVE));

TEST_F(PowerDownTest, ButtonAfterTheSessionIsDoneShutsDown) {
    startWithSession(SESSION_DONE);
    press(daemon);
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == 1; }));
}

TEST_F(PowerDownTest, RunningSessionWithoutTheButtonFlagDoesNotHoldTheShutdown) {
    startWithSession(SESSION_ACTIVE, false);
    daemon.app().shutDownInstrument();
    EXPECT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == 1; }));
    EXPECT_EQ(0u, daemon.log().count("Waiting for the session to stop, #1"));
}

TEST_F(PowerDownTest, SessionThatNeverStopsIsWaitedForNineTimes250Ms) {
    startWithSession(SESSION_ACTIVE, true);
    QElapsedTimer elapsed;
    elapsed.start();
    daemon.app().shutDownInstrument();
    EXPECT_EQ(0, daemon.shutdownCalls());
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == 1; }, 4000));
    EXPECT_GE(elapsed.elapsed(), 9 * 250);
    EXPECT_LT(elapsed.elapsed(), 9 * 250 + 600);

    std::vector<std::string> expected{"Switching off the backlight ..."};
    for (int wait = 1; wait <= 9; ++wait) {
        expected.push_back("Waiting for the session to stop, #" + std::to_string(wait));
    }
    expected.push_back("Shuting down the system ...");
    EXPECT_EQ(expected, lines(daemon));

    // The command succeeded: later triggers leave it pending, with one line between them.
    daemon.log().clear();
    daemon.app().shutDownInstrument();
    daemon.app().shutDownInstrument();
    DaemonHarness::spinFor(100);
    EXPECT_EQ(1, daemon.shutdownCalls());
    EXPECT_EQ(std::vector<std::string>{"Shutdown already requested, waiting for the system to go "
                                       "down"},
              lines(daemon));
}

// Real children of /bin/sh, the re-issue time cut to 1 s.
TEST(ShutdownCommand, FailedRunsAgainSucceededOnlyAfterTheReissueTimeAndTheLoopRunsMeanwhile) {
    using power_manager::ShutdownCommand;
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    testsupport::LogCapture log;
    ShutdownCommand failing("exit 3", 1000);
    ShutdownCommand succeeding("sleep 0.2", 1000);
    ASSERT_TRUE(failing.run() && succeeding.run());
    EXPECT_TRUE(succeeding.absorbTrigger()) << "running";
    // A request to end the event loop, as a signal makes it, is served while the command runs.
    QTimer::singleShot(50, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(1, QCoreApplication::exec());
    EXPECT_EQ(ShutdownCommand::Running, succeeding.state());
    ASSERT_TRUE(testsupport::pumpUntil([&] {
        return failing.state() == ShutdownCommand::Failed &&
               succeeding.state() == ShutdownCommand::Succeeded;
    }));
    EXPECT_FALSE(failing.absorbTrigger());
    EXPECT_TRUE(succeeding.absorbTrigger());
    testsupport::pumpFor(1100);
    EXPECT_FALSE(succeeding.absorbTrigger());
    EXPECT_EQ((std::vector<std::string>{
                  "Shutdown already requested, waiting for the system to go down",
                  "Shutdown command \"exit 3\" failed with exit status 3",
                  "The system is still up 1 s after the shutdown command, issuing it again"}),
              log.messages("power_manager_logger"));
}

TEST_F(PowerDownTest, SessionThatStopsEndsTheWaitAtTheNextCall) {
    startWithSession(SESSION_ACTIVE, true);
    daemon.app().shutDownInstrument();
    ASSERT_TRUE(daemon.spinUntil(
        [&] { return daemon.log().count("Waiting for the session to stop, #3") == 1; }));
    daemon.publishSession(SESSION_DONE);
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == 1; }));
    EXPECT_EQ(0u, daemon.log().count("Waiting for the session to stop, #4"));
    EXPECT_EQ(1u, daemon.log().count("Waiting for the session to stop, #3"));
}

TEST_F(PowerDownTest, PowerDownRequestRunsExactlyTheShutdownSequence) {
    startWithSession(SESSION_IDLE);
    ASSERT_TRUE(daemon.coreApp().sendRequest(ipc::IPC_MSG_DO_POWER_DOWN));
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.shutdownCalls() == 1; }));
    ASSERT_TRUE(daemon.spinUntil([&] { return !identifiers(daemon.events).empty(); }));
    DaemonHarness::spinFor(100);
    EXPECT_EQ(std::vector<int>{ipc::IPC_MSG_EVENT_POWER_DOWN}, identifiers(daemon.events));
    EXPECT_TRUE(requestsOf(daemon, ipc::IPC_MSG_SET_INSTRUMENT_CONFIG).empty());
    EXPECT_TRUE(daemon.coreAppResponses.empty());
    EXPECT_EQ(QByteArray("0\0", 2), daemon.fileBytes("pwm/run"));
    EXPECT_EQ((std::vector<std::string>{"Switching off the backlight ...",
                                        "Shuting down the system ..."}),
              lines(daemon));
}

TEST_F(PowerDownTest, InstrumentConfigurationEventIsMirrored) {
    startWithSession(SESSION_IDLE, false);
    daemon.publishInstrumentConfig(true);
    daemon.publishSession(SESSION_ACTIVE);
    ASSERT_TRUE(daemon.spinUntil([&] { return daemon.log().count("LED flashing was activated"); }));
    DaemonHarness::spinFor(100);
    // With the mirrored flag set, a shutdown now waits for the running session.
    daemon.app().shutDownInstrument();
    EXPECT_EQ(1u, daemon.log().count("Waiting for the session to stop, #1"));
}

} // namespace
