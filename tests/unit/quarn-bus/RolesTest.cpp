// The monitor, request and flood roles against real sockets on private endpoints.

#include "quarn-bus/CommandLine.h"
#include "quarn-bus/EventMonitor.h"
#include "quarn-bus/FakeDspManager.h"
#include "quarn-bus/Flooder.h"
#include "quarn-bus/Requester.h"

#include "QuarnBusTestSupport.h"

#include "ipc/IpcServer.h"
#include "ipc/ZmqContext.h"
#include "ipc/ZmqFrame.h"
#include "ipc/ZmqSocket.h"

#include <QtEndian>

#include <gtest/gtest.h>

#include <zmq.h>

#include <optional>
#include <sstream>

using namespace quarn_bus;

TEST(EventMonitor, PrintsEveryFrameUntilTheCountIsReached) {
    bustest::TempEndpoints endpoints;
    ipc::IpcServer server;
    server.init(ipc::IPC_ORIGIN_SERVER_PWR_MANAGER, endpoints("req").c_str(),
                endpoints("ev").c_str());
    std::ostringstream output;
    EventMonitor monitor(output, 3, 5000);
    std::optional<int> exitCode;
    QObject::connect(&monitor, &EventMonitor::finished, [&](int code) { exitCode = code; });
    monitor.start(endpoints("ev"));

    // Until the subscription has reached the publisher, events are lost; keep publishing the
    // first one until it shows.
    ASSERT_TRUE(bustest::pumpUntil([&] {
        server.publishSimpleEvent(ipc::IPC_MSG_EVENT_BATTERY_LOW);
        return monitor.framesSeen() > 0;
    }));
    bustest::pumpUntil([] { return false; }, 20);
    const int seen = monitor.framesSeen();
    if (seen < 3) {
        // Frames no server of the bus would publish are printed too.
        ASSERT_TRUE(server.publishEventMessage(
            ipc::IpcMessage(static_cast<ipc::IPC_MSG>(99), static_cast<ipc::IPC_ORIGIN>(7))));
    }
    if (seen < 2) {
        server.publishSimpleEvent(ipc::IPC_MSG_EVENT_POWER_DOWN);
    }
    ASSERT_TRUE(bustest::pumpUntil([&] { return exitCode.has_value(); }));
    EXPECT_EQ(*exitCode, EXIT_OK);
    EXPECT_EQ(monitor.framesSeen(), 3);
    const std::vector<std::string> lines = bustest::untimedLines(output.str());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0],
              "IPC_MSG_EVENT_BATTERY_LOW (56) from IPC_ORIGIN_SERVER_PWR_MANAGER (3), 0 bytes");
    if (seen < 3) {
        EXPECT_EQ(lines[2], "IPC_MSG_??? (99) from IPC_ORIGIN_??? (7), 0 bytes");
    }
}

TEST(EventMonitor, TimeOutWithFewerFramesThanAskedIsAFailure) {
    bustest::TempEndpoints endpoints;
    for (const auto& [count, expected] : {std::pair{2, EXIT_TIMEOUT}, std::pair{0, EXIT_OK}}) {
        std::ostringstream output;
        EventMonitor monitor(output, count, 30);
        std::optional<int> exitCode;
        QObject::connect(&monitor, &EventMonitor::finished, [&](int code) { exitCode = code; });
        // Nobody publishes there at all.
        monitor.start(endpoints("nobody"));
        ASSERT_TRUE(bustest::pumpUntil([&] { return exitCode.has_value(); }));
        EXPECT_EQ(*exitCode, expected) << count;
        EXPECT_EQ(output.str(), "");
    }
}

namespace {

struct RequestRun {
    std::ostringstream output;
    std::ostringstream errors;
    std::optional<int> exitCode;
};

void runRequester(const Requester::Settings& settings, RequestRun& run) {
    Requester requester(run.output, run.errors, settings);
    QObject::connect(&requester, &Requester::finished, [&run](int code) { run.exitCode = code; });
    requester.start();
    ASSERT_TRUE(bustest::pumpUntil([&run] { return run.exitCode.has_value(); }));
}

} // namespace

TEST(Requester, PrintsEachResponseWithItsRoundTrip) {
    bustest::TempEndpoints endpoints;
    std::ostringstream dspOutput;
    FakeDspManager manager(dspOutput, 1, 1);
    manager.start(endpoints("req"), endpoints("ev"), endpoints("resp"));

    Requester::Settings settings;
    settings.message = ipc::IPC_MSG_GET_INSTRUMENT_CONFIG;
    settings.origin = ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER;
    settings.requestsAddress = endpoints("req");
    settings.responsesAddress = endpoints("resp");
    settings.count = 3;
    settings.reportRoundTrips = true;
    RequestRun run;
    runRequester(settings, run);
    EXPECT_EQ(*run.exitCode, EXIT_OK);
    const std::vector<std::string> lines = bustest::untimedLines(run.output.str());
    ASSERT_EQ(lines.size(), 4u);
    const std::string response = "IPC_MSG_GET_INSTRUMENT_CONFIG (21) from "
                                 "IPC_ORIGIN_SERVER_DSP_MANAGER (2), 916 bytes: "
                                 "powerButtonShutdown=1 (round trip ";
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].substr(0, response.size()), response);
        EXPECT_EQ(lines[i].substr(lines[i].size() - 4), " ms)");
    }
    EXPECT_EQ(lines[3].rfind("round trips of 3 requests: min ", 0), 0u) << lines[3];
    // One request at a time: each was answered before the next went out.
    const std::vector<std::string> dspLines = bustest::untimedLines(dspOutput.str());
    ASSERT_EQ(dspLines.size(), 7u);
    for (int i = 1; i < 7; i += 2) {
        EXPECT_EQ(dspLines[i].rfind("request: ", 0), 0u);
        EXPECT_EQ(dspLines[i + 1].rfind("response: ", 0), 0u);
    }
}

TEST(Requester, NoResponseEndsWithExitThree) {
    bustest::TempEndpoints endpoints;
    std::ostringstream dspOutput;
    FakeDspManager manager(dspOutput, 0, 0);
    manager.start(endpoints("req"), endpoints("ev"), endpoints("resp"));

    // The fake answers nothing but its two reads; a power-down request goes unanswered.
    Requester::Settings settings;
    settings.message = ipc::IPC_MSG_DO_POWER_DOWN;
    settings.origin = ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER;
    settings.requestsAddress = endpoints("req");
    settings.responsesAddress = endpoints("resp");
    settings.timeoutMs = 100;
    RequestRun run;
    runRequester(settings, run);
    EXPECT_EQ(*run.exitCode, EXIT_TIMEOUT);
    EXPECT_EQ(run.output.str(), "no response within 100 ms\n");

    // Without a response channel the wait can only time out, and says why on stderr.
    settings.message = ipc::IPC_MSG_GET_INSTRUMENT_CONFIG;
    settings.origin = ipc::IPC_ORIGIN_CLIENT_CAL_APP;
    settings.responsesAddress.clear();
    RequestRun unanswerable;
    runRequester(settings, unanswerable);
    EXPECT_EQ(*unanswerable.exitCode, EXIT_TIMEOUT);
    EXPECT_EQ(unanswerable.errors.str(), "quarn-bus: IPC_ORIGIN_CLIENT_CAL_APP (13) has no "
                                         "response channel towards this server\n");
}

TEST(Requester, NoReadSendsAndHoldsWithoutTakingResponses) {
    bustest::TempEndpoints endpoints;
    std::ostringstream dspOutput;
    FakeDspManager manager(dspOutput, 0, 0);
    manager.start(endpoints("req"), endpoints("ev"), endpoints("resp"));

    Requester::Settings settings;
    settings.message = ipc::IPC_MSG_GET_INSTRUMENT_CONFIG;
    settings.origin = ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER;
    settings.requestsAddress = endpoints("req");
    settings.responsesAddress = endpoints("resp");
    settings.count = 2;
    settings.noRead = true;
    settings.holdMs = 100;
    RequestRun run;
    runRequester(settings, run);
    EXPECT_EQ(*run.exitCode, EXIT_OK);
    EXPECT_EQ(
        run.output.str(),
        "sent 2 of 2 requests IPC_MSG_GET_INSTRUMENT_CONFIG as IPC_ORIGIN_CLIENT_PWR_MANAGER, "
        "0 would block; not reading the responses, holding for 100 ms\n");
    // Both reached the server during the hold.
    ASSERT_TRUE(bustest::pumpUntil([&] {
        const auto lines = bustest::untimedLines(dspOutput.str());
        return lines.size() >= 5;
    }));
}

TEST(Flooder, PatternHoldsOnlyFramesNoServerShouldActOn) {
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(Flooder::frameAt(i).size(), i);
    }
    EXPECT_EQ(Flooder::frameAt(7), bustest::hex("14 00 00 00 06 00 00"));
    EXPECT_EQ(Flooder::frameAt(8), bustest::hex("43 00 00 00 06 00 00 00"));
    EXPECT_EQ(Flooder::frameAt(Flooder::patternLength()), QByteArray());
    for (int i = 8; i < Flooder::patternLength(); ++i) {
        const QByteArray frame = Flooder::frameAt(i);
        ASSERT_GE(frame.size(), 8);
        const ipc::IPC_MSG message = static_cast<ipc::IPC_MSG>(qFromLittleEndian<qint32>(frame));
        const ipc::IPC_ORIGIN origin =
            static_cast<ipc::IPC_ORIGIN>(qFromLittleEndian<qint32>(frame.constData() + 4));
        EXPECT_NE(message, ipc::IPC_MSG_DO_POWER_DOWN);
        if (message == ipc::IPC_MSG_GET_BATTERY_STATUS) {
            // Never from the two clients the power manager answers.
            EXPECT_NE(origin, ipc::IPC_ORIGIN_CLIENT_CORE_APP);
            EXPECT_NE(origin, ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE);
        } else {
            EXPECT_GE(static_cast<quint32>(message), 67u) << i;
        }
    }
}

TEST(Flooder, EveryFrameReachesAReader) {
    bustest::TempEndpoints endpoints;
    ipc::ZmqContext context;
    ipc::ZmqSocket reader(context, ZMQ_PULL);
    reader.bind(endpoints("req").c_str());
    const Flooder::Result result = Flooder::flood(endpoints("req"), 50);
    EXPECT_EQ(result.sent, 50);
    EXPECT_EQ(result.wouldBlock, 0);
    int received = 0;
    ipc::ZmqFrame frame;
    ASSERT_TRUE(bustest::pumpUntil([&] {
        while (reader.receive(frame)) {
            EXPECT_EQ(QByteArray(frame.data(), static_cast<qsizetype>(frame.size())),
                      Flooder::frameAt(received));
            frame.rebuild();
            ++received;
        }
        return received == 50;
    }));
}
