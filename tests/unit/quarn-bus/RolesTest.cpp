// The monitor, request and flood roles against real sockets on private endpoints.

#include "quarn-bus/CommandLine.h"
#include "quarn-bus/EventMonitor.h"
#include "quarn-bus/FakeDspManager.h"
#include "quarn-bus/Flooder.h"
#include "quarn-bus/Requester.h"

#include "QuarnBusTestSupport.h"

#include "ipc/IpcServer.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

using namespace quarn_bus;

namespace {

// Runs a role until it reports its exit code.
template <typename Role>
std::optional<int> exitCodeOf(Role& role, const std::function<void()>& start,
                              const std::function<void()>& meanwhile = {}) {
    std::optional<int> exitCode;
    QObject::connect(&role, &Role::finished, [&exitCode](int code) { exitCode = code; });
    start();
    testsupport::pumpUntil([&] {
        if (meanwhile) {
            meanwhile();
        }
        return exitCode.has_value();
    });
    return exitCode;
}

} // namespace

TEST(EventMonitor, PrintsFramesUntilTheCountOrTheTimeOut) {
    testsupport::TempEndpoints endpoints;
    ipc::IpcServer server;
    server.init(ipc::IPC_ORIGIN_SERVER_PWR_MANAGER, endpoints("req").c_str(),
                endpoints("ev").c_str());
    std::ostringstream output;
    EventMonitor monitor(output, 2, 5000);
    // Events are lost until the subscription has reached the publisher: keep publishing, a
    // frame that no server of the bus would publish.
    EXPECT_EQ(exitCodeOf(
                  monitor, [&] { monitor.start(endpoints("ev")); },
                  [&] {
                      server.publishEventMessage(ipc::IpcMessage(static_cast<ipc::IPC_MSG>(99),
                                                                 static_cast<ipc::IPC_ORIGIN>(7)));
                  }),
              EXIT_OK);
    EXPECT_EQ(bustest::untimedLines(output.str()),
              std::vector<std::string>(2, "IPC_MSG_??? (99) from IPC_ORIGIN_??? (7), 0 bytes"));

    // Nobody publishes: fewer frames than asked for is a failure, no count is not.
    for (const auto& [count, expected] : {std::pair{2, EXIT_TIMEOUT}, std::pair{0, EXIT_OK}}) {
        std::ostringstream silent;
        EventMonitor idle(silent, count, 30);
        EXPECT_EQ(exitCodeOf(idle, [&] { idle.start(endpoints("nobody")); }), expected) << count;
        EXPECT_EQ(silent.str(), "");
    }
}

TEST(Requester, PrintsEachResponseOrEndsWithExitThree) {
    testsupport::TempEndpoints endpoints;
    std::ostringstream dspOutput;
    FakeDspManager manager(dspOutput, 1, 1);
    manager.start(endpoints("req"), endpoints("ev"), endpoints("resp"));
    Requester::Settings settings;
    settings.origin = ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER;
    settings.requestsAddress = endpoints("req");
    settings.responsesAddress = endpoints("resp");
    settings.timeoutMs = 100;
    const auto run = [&](std::ostringstream& out, std::ostringstream& err) {
        Requester requester(out, err, settings);
        return exitCodeOf(requester, [&] { requester.start(); });
    };

    // An answered request is printed, exit 0, end to end (run_script_test.py). The fake answers
    // nothing but its two reads: a power-down request goes unanswered.
    settings.message = ipc::IPC_MSG_DO_POWER_DOWN;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(run(out, err), EXIT_TIMEOUT);
    EXPECT_EQ(out.str(), "no response within 100 ms\n");

    // Without a response channel the wait can only time out, and says why.
    settings.origin = ipc::IPC_ORIGIN_CLIENT_CAL_APP;
    settings.responsesAddress.clear();
    EXPECT_EQ(run(out, err), EXIT_TIMEOUT);
    EXPECT_EQ(err.str(), "quarn-bus: IPC_ORIGIN_CLIENT_CAL_APP (13) has no response channel "
                         "towards this server\n");

    // Nothing bound where the requests go: the missing socket file is named.
    settings.requestsAddress = endpoints("nobody");
    err.str("");
    EXPECT_EQ(run(out, err), EXIT_TIMEOUT);
    EXPECT_EQ(err.str().substr(err.str().find('\n') + 1),
              "quarn-bus: no server is bound to " + endpoints("nobody") + ": " +
                  endpoints.path("nobody") + " does not exist in this mount namespace\n");
}

TEST(Flooder, PatternHoldsOnlyFramesNoServerShouldActOn) {
    // Cut headers of a battery request first, then whole frames.
    EXPECT_EQ(Flooder::frameAt(7), bustest::hex("14 00 00 00 06 00 00"));
    EXPECT_EQ(Flooder::frameAt(8), bustest::hex("43 00 00 00 06 00 00 00"));
    EXPECT_EQ(Flooder::frameAt(Flooder::patternLength()), QByteArray());
    for (int i = 0; i < Flooder::patternLength(); ++i) {
        const QByteArray frame = Flooder::frameAt(i);
        ASSERT_EQ(frame.size() >= 8, i >= 8) << i;
        if (frame.size() < 8) {
            continue;
        }
        const auto message = static_cast<ipc::IPC_MSG>(qFromLittleEndian<qint32>(frame));
        const auto origin = qFromLittleEndian<qint32>(frame.constData() + 4);
        // Never a power-down; a battery request only from a client the power manager does not
        // answer; anything else unknown.
        EXPECT_NE(message, ipc::IPC_MSG_DO_POWER_DOWN);
        if (message == ipc::IPC_MSG_GET_BATTERY_STATUS) {
            EXPECT_NE(origin, ipc::IPC_ORIGIN_CLIENT_CORE_APP) << i;
            EXPECT_NE(origin, ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE) << i;
        } else {
            EXPECT_GE(static_cast<quint32>(message), 67u) << i;
        }
    }
}
