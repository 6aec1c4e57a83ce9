// The monitor, request, flood and dsp-manager roles against real sockets on private endpoints,
// and the dsp-manager's control input. The dsp-manager's sessions, its answers to the power
// manager's mirrors and an answered request are shown end to end (tests/e2e).

#include "quarn-bus/CommandLine.h"
#include "quarn-bus/ControlInput.h"
#include "quarn-bus/EventMonitor.h"
#include "quarn-bus/FakeDspManager.h"
#include "quarn-bus/Flooder.h"
#include "quarn-bus/Requester.h"

#include "foundation/FileDescriptor.h"
#include "ipc/IpcClient.h"
#include "ipc/IpcServer.h"
#include "support/EventLoop.h"

#include <QDataStream>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <sstream>

using namespace quarn_bus;
using testsupport::pumpUntil;

namespace {

// Runs a role until it reports its exit code.
template <typename Role>
std::optional<int> exitCodeOf(
    Role& role, const std::function<void()>& start,
    const std::function<void()>& meanwhile = [] {}) {
    std::optional<int> exitCode;
    QObject::connect(&role, &Role::finished, [&exitCode](int code) { exitCode = code; });
    start();
    pumpUntil([&] {
        meanwhile();
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
    const ipc::IpcMessage frame(static_cast<ipc::IPC_MSG>(99), static_cast<ipc::IPC_ORIGIN>(7));
    EXPECT_EQ(exitCodeOf(
                  monitor, [&] { monitor.start(endpoints("ev")); },
                  [&] { server.publishEventMessage(frame); }),
              EXIT_OK);
    // Each line after its "HH:MM:SS.mmm " time.
    const std::string line = "IPC_MSG_??? (99) from IPC_ORIGIN_??? (7), 0 bytes\n";
    EXPECT_EQ(output.str().substr(13, line.size()) + output.str().substr(13 * 2 + line.size()),
              line + line);

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
    std::ostringstream out;
    std::ostringstream err;
    const auto run = [&] {
        err.str("");
        Requester requester(out, err, settings);
        return exitCodeOf(requester, [&] { requester.start(); });
    };

    // The fake answers nothing but its two reads: a power-down request goes unanswered.
    settings.message = ipc::IPC_MSG_DO_POWER_DOWN;
    EXPECT_EQ(run(), EXIT_TIMEOUT);
    EXPECT_EQ(out.str(), "no response within 100 ms\n");
    // Without a response channel the wait can only time out, and says why.
    settings.origin = ipc::IPC_ORIGIN_CLIENT_CAL_APP;
    settings.responsesAddress.clear();
    EXPECT_EQ(run(), EXIT_TIMEOUT);
    EXPECT_EQ(err.str(), "quarn-bus: IPC_ORIGIN_CLIENT_CAL_APP (13) has no response channel "
                         "towards this server\n");
    // Nothing bound where the requests go: the missing socket file is named.
    settings.requestsAddress = endpoints("nobody");
    EXPECT_EQ(run(), EXIT_TIMEOUT);
    EXPECT_EQ(err.str().substr(err.str().find('\n') + 1),
              "quarn-bus: no server is bound to " + endpoints("nobody") + ": " +
                  endpoints.path("nobody") + " does not exist in this mount namespace\n");
}

TEST(Flooder, PatternHoldsOnlyFramesNoServerShouldActOn) {
    // Cut headers of a battery request first, then whole frames: never a power-down; a battery
    // request only from a client the power manager does not answer; anything else unknown.
    EXPECT_EQ(Flooder::frameAt(7), QByteArray::fromHex("14 00 00 00 06 00 00"));
    EXPECT_EQ(Flooder::frameAt(8), QByteArray::fromHex("43 00 00 00 06 00 00 00"));
    EXPECT_EQ(Flooder::frameAt(Flooder::patternLength()), QByteArray());
    for (int i = 0; i < Flooder::patternLength(); ++i) {
        const QByteArray frame = Flooder::frameAt(i);
        ASSERT_EQ(frame.size() >= 8, i >= 8) << i;
        if (frame.size() < 8)
            continue;
        QDataStream header(frame);
        header.setByteOrder(QDataStream::LittleEndian);
        qint32 message = 0;
        qint32 origin = 0;
        header >> message >> origin;
        EXPECT_TRUE(message == ipc::IPC_MSG_GET_BATTERY_STATUS
                        ? origin != ipc::IPC_ORIGIN_CLIENT_CORE_APP &&
                              origin != ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE
                        : static_cast<quint32>(message) >= 67u)
            << i;
    }
}

// The dsp-manager role on private endpoints, asked by the power manager's own client.
TEST(FakeDspManager, AnswersAndTakesWhatThePowerManagerAsksFor) {
    testsupport::TempEndpoints endpoints;
    std::ostringstream output;
    FakeDspManager manager(output, 2, 1);
    manager.start(endpoints("req"), endpoints("ev"), endpoints("resp"));
    ipc::IpcClient client(true);
    client.connectTo(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, endpoints("req").c_str(),
                     endpoints("resp").c_str(), endpoints("ev").c_str());
    std::vector<ipc::IpcMessage> responses;
    QObject::connect(&client, &ipc::IpcClient::responseReceived,
                     [&responses](const ipc::IpcMessage& r) { responses.push_back(r); });
    // The server drops a response while it has not yet attached the client's end of the
    // response channel: ask until an answer comes, then let late answers in.
    ASSERT_TRUE(pumpUntil([&] {
        client.sendRequest(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
        testsupport::pumpFor(50);
        return !responses.empty();
    }));
    testsupport::pumpFor(60);
    const auto ask = [&](ipc::IPC_MSG message) {
        responses.clear();
        client.sendRequest(message);
        EXPECT_TRUE(pumpUntil([&] { return !responses.empty(); }));
        EXPECT_EQ(responses.at(0).origin(), ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
        return responses.at(0).message() == message ? responses.at(0).data() : QByteArray();
    };

    // The default record (English 31, United States 225 first) with the flag at byte 913.
    const QByteArray config = ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
    EXPECT_EQ(config.size(), 916);
    EXPECT_EQ(config.left(8) + config.mid(912, 3), QByteArray::fromHex("1f000000e1000000 000100"));
    manager.setPowerButtonFlag(0);
    EXPECT_EQ(ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG).mid(912, 3), QByteArray::fromHex("000000"));
    // What the power manager sends on a button press: its mirror's record with the flag set.
    // A record of the wrong size is not taken.
    for (const int size : {916, 915}) {
        QByteArray record(size, '\0');
        record[913] = 1;
        ipc::IpcMessage set(ipc::IPC_MSG_SET_INSTRUMENT_CONFIG, ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER);
        set.appendData(record.constData(), size);
        client.sendRequestAsZmqMessage(set);
    }
    ASSERT_TRUE(pumpUntil([&] { return output.str().find("ignored") != std::string::npos; }));
    EXPECT_EQ(ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG).mid(912, 3), QByteArray::fromHex("000100"));
    std::string error;
    EXPECT_FALSE(manager.applyControlLine("session running", error));

    // A client without a response channel towards the dsp-manager gets no answer.
    ipc::IpcClient coreApp(true);
    coreApp.connectTo(ipc::IPC_ORIGIN_CLIENT_CORE_APP, endpoints("req").c_str(),
                      endpoints("core-resp").c_str(), endpoints("ev").c_str());
    coreApp.sendRequest(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
    ASSERT_TRUE(pumpUntil([&] { return output.str().find("not sent") != std::string::npos; }));
    for (const char* line :
         {" request: IPC_MSG_SET_INSTRUMENT_CONFIG (22) from IPC_ORIGIN_CLIENT_PWR_MANAGER (12), "
          "916 bytes: powerButtonShutdown=1\n",
          " ignored: SET_INSTRUMENT_CONFIG with 915 bytes instead of 916\n",
          " response not sent: IPC_MSG_GET_INSTRUMENT_CONFIG (21) from "
          "IPC_ORIGIN_SERVER_DSP_MANAGER (2), 916 bytes: powerButtonShutdown=1\n"})
        EXPECT_NE(output.str().find(line), std::string::npos) << line;
}

TEST(ControlInput, LinesArriveWholeAndCutAndTheNamedPipeSurvivesWritersThatComeAndGo) {
    shared::FileDescriptor readEnd;
    shared::FileDescriptor writeEnd;
    ASSERT_TRUE(shared::FileDescriptor::openPipe(readEnd, writeEnd));
    testsupport::TempEndpoints dir;
    std::string error;
    auto named = ControlInput::fromNamedPipe(dir.path("control"), error);
    ASSERT_TRUE(named) << error;
    auto piped = std::make_unique<ControlInput>(std::move(readEnd));
    std::vector<std::string> lines;
    bool closed = false;
    for (ControlInput* input : {named.get(), piped.get()}) {
        QObject::connect(input, &ControlInput::lineReceived,
                         [&lines](const std::string& line) { lines.push_back(line); });
        QObject::connect(input, &ControlInput::closed, [&closed] { closed = true; });
    }
    writeEnd.writeText("session active\npower-button");
    ASSERT_TRUE(pumpUntil([&] { return lines.size() == 1; }));
    // The last line has no line end; the end of input completes it.
    const std::string longest(ControlInput::MAX_LINE_LENGTH, 'x');
    writeEnd.writeText("-flag 1\r\n\n" + longest + "xxxxxxxxxx\nquit");
    writeEnd.close();
    ASSERT_TRUE(pumpUntil([&] { return closed; }));
    // Two scripts on the named pipe, one after the other, each opening, writing and closing.
    for (const char* text : {"session pending\n", "session idle\n"}) {
        FILE* writer = std::fopen(dir.path("control").c_str(), "w");
        std::fputs(text, writer);
        std::fclose(writer);
        const std::size_t before = lines.size();
        ASSERT_TRUE(pumpUntil([&] { return lines.size() == before + 1; }));
    }
    EXPECT_EQ(lines,
              (std::vector<std::string>{"session active", "power-button-flag 1", "", longest,
                                        "xxxxxxxxxx", "quit", "session pending", "session idle"}));
    // The pipe it created goes with it; a plain file is refused, and left alone.
    named.reset();
    EXPECT_FALSE(std::filesystem::exists(dir.path("control")));
    std::fclose(std::fopen(dir.path("plain").c_str(), "w"));
    EXPECT_FALSE(ControlInput::fromNamedPipe(dir.path("plain"), error));
    EXPECT_EQ(error, dir.path("plain") + " is not a named pipe");
    EXPECT_TRUE(std::filesystem::exists(dir.path("plain")));
}
