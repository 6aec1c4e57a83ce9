#include "quarn-bus/FakeDspManager.h"

#include "QuarnBusTestSupport.h"

#include "foundation/Qt48DataStream.h"
#include "ipc/IpcClient.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using quarn_bus::FakeDspManager;

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
    QElapsedTimer sinceLastAsk;
    ASSERT_TRUE(testsupport::pumpUntil([&] {
        if (!sinceLastAsk.isValid() || sinceLastAsk.elapsed() >= 50) {
            client.sendRequest(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
            sinceLastAsk.start();
        }
        return !responses.empty();
    }));
    testsupport::pumpFor(60);

    const auto ask = [&](ipc::IPC_MSG message) {
        responses.clear();
        EXPECT_TRUE(client.sendRequest(message));
        EXPECT_TRUE(testsupport::pumpUntil([&] { return !responses.empty(); }));
        if (responses.empty()) {
            return QByteArray();
        }
        EXPECT_EQ(responses.front().message(), message);
        EXPECT_EQ(responses.front().origin(), ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
        return responses.front().data();
    };
    const auto sessionState = [&] {
        session::LoggingSession session;
        shared::Qt48DataStream stream(ask(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS));
        stream >> session;
        EXPECT_EQ(stream.status(), QDataStream::Ok);
        EXPECT_TRUE(stream.atEnd());
        return session.state();
    };

    // The default record (English 31, United States 225 first) with the flag at byte 913.
    const QByteArray config = ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
    ASSERT_EQ(config.size(), 916);
    EXPECT_EQ(config.left(8), bustest::hex("1f000000 e1000000"));
    EXPECT_EQ(config.mid(912, 3), bustest::hex("00 01 00"));
    manager.setPowerButtonFlag(0);
    EXPECT_EQ(ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG).mid(912, 3), bustest::hex("00 00 00"));

    // What the power manager sends on a button press: its mirror's record with the flag set.
    // A record of the wrong size is not taken.
    for (const int size : {916, 915}) {
        QByteArray record(size, '\0');
        record[913] = 1;
        ipc::IpcMessage set(ipc::IPC_MSG_SET_INSTRUMENT_CONFIG, ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER);
        set.appendData(record.constData(), size);
        ASSERT_TRUE(client.sendRequestAsZmqMessage(set));
    }
    ASSERT_TRUE(
        testsupport::pumpUntil([&] { return output.str().find("ignored") != std::string::npos; }));
    EXPECT_EQ(manager.instrumentConfig().powerButtonShutdown, 1);
    EXPECT_EQ(ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG).mid(912, 3), bustest::hex("00 01 00"));

    EXPECT_EQ(sessionState(), session::LoggingSession::SESSION_STATE_ACTIVE);
    std::string error;
    ASSERT_TRUE(manager.applyControlLine("session pending", error));
    EXPECT_EQ(sessionState(), session::LoggingSession::SESSION_STATE_PENDING);
    EXPECT_FALSE(manager.applyControlLine("session running", error));

    // A client without a response channel towards the dsp-manager gets no answer.
    ipc::IpcClient coreApp(true);
    coreApp.connectTo(ipc::IPC_ORIGIN_CLIENT_CORE_APP, endpoints("req").c_str(),
                      endpoints("core-resp").c_str(), endpoints("ev").c_str());
    ASSERT_TRUE(coreApp.sendRequest(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG));
    ASSERT_TRUE(testsupport::pumpUntil(
        [&] { return output.str().find("response not sent") != std::string::npos; }));

    const std::vector<std::string> lines = bustest::untimedLines(output.str());
    for (const char* line :
         {"request: IPC_MSG_SET_INSTRUMENT_CONFIG (22) from IPC_ORIGIN_CLIENT_PWR_MANAGER (12), "
          "916 bytes: powerButtonShutdown=1",
          "ignored: SET_INSTRUMENT_CONFIG with 915 bytes instead of 916",
          "response not sent: IPC_MSG_GET_INSTRUMENT_CONFIG (21) from "
          "IPC_ORIGIN_SERVER_DSP_MANAGER (2), 916 bytes: powerButtonShutdown=1"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
    }
}
