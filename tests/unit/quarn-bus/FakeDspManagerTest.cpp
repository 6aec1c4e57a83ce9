#include "quarn-bus/FakeDspManager.h"

#include "QuarnBusTestSupport.h"

#include "foundation/Qt48DataStream.h"
#include "ipc/IpcClient.h"

#include <gtest/gtest.h>

#include <sstream>

using quarn_bus::FakeDspManager;

namespace {

constexpr int CONFIG_SIZE = 916;
constexpr int POWER_BUTTON_BYTE = 913;

// The dsp-manager role on private endpoints, and the power manager's client talking to it.
class FakeDspManagerTest : public ::testing::Test {
protected:
    void startManager(int sessionState, int flag) {
        manager = std::make_unique<FakeDspManager>(output, sessionState, flag);
        manager->start(endpoints("req"), endpoints("ev"), endpoints("resp"));
        client.connectTo(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, endpoints("req").c_str(),
                         endpoints("resp").c_str(), endpoints("ev").c_str());
        QObject::connect(&client, &ipc::IpcClient::eventPublished,
                         [this](const ipc::IpcMessage& event) { events.push_back(event); });
        settleResponseChannel();
    }

    // The server drops a response while it has not yet attached the client's end of the
    // response channel; ask until an answer comes, then start from a clean slate.
    void settleResponseChannel() {
        bool answered = false;
        auto connection =
            QObject::connect(&client, &ipc::IpcClient::responseReceived,
                             [&answered](const ipc::IpcMessage&) { answered = true; });
        QElapsedTimer sinceLastAsk;
        ASSERT_TRUE(bustest::pumpUntil([&] {
            if (!answered && (!sinceLastAsk.isValid() || sinceLastAsk.elapsed() >= 50)) {
                client.sendRequest(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
                sinceLastAsk.start();
            }
            return answered;
        }));
        bustest::pumpUntil([] { return false; }, 60);
        QObject::disconnect(connection);
        output.str("");
    }

    QByteArray ask(ipc::IPC_MSG message) {
        QByteArray payload;
        responses.clear();
        auto connection =
            QObject::connect(&client, &ipc::IpcClient::responseReceived,
                             [this](const ipc::IpcMessage& r) { responses.push_back(r); });
        EXPECT_TRUE(client.sendRequest(message));
        EXPECT_TRUE(bustest::pumpUntil([this] { return !responses.empty(); }));
        QObject::disconnect(connection);
        if (responses.empty()) {
            return payload;
        }
        EXPECT_EQ(responses.front().message(), message);
        EXPECT_EQ(responses.front().origin(), ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
        return responses.front().data();
    }

    // A subscriber gets nothing until its subscription has reached the publisher: publish
    // until one event comes through, then start from a clean slate.
    void subscribeAndSettle(ipc::IPC_MSG message) {
        client.subscribe(message);
        ASSERT_TRUE(bustest::pumpUntil([&] {
            if (message == ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED) {
                manager->setSessionState(manager->sessionState());
            } else {
                manager->setPowerButtonFlag(manager->instrumentConfig().powerButtonShutdown);
            }
            return !events.empty();
        }));
        bustest::pumpUntil([] { return false; }, 50);
        events.clear();
        output.str("");
    }

    static int stateOf(const QByteArray& body) {
        session::LoggingSession session;
        shared::Qt48DataStream stream(body);
        stream >> session;
        EXPECT_EQ(stream.status(), QDataStream::Ok);
        EXPECT_TRUE(stream.atEnd());
        return session.state();
    }

    bustest::TempEndpoints endpoints;
    std::ostringstream output;
    std::unique_ptr<FakeDspManager> manager;
    ipc::IpcClient client{true};
    std::vector<ipc::IpcMessage> responses;
    std::vector<ipc::IpcMessage> events;
};

} // namespace

TEST_F(FakeDspManagerTest, InstrumentConfigAnswerCarriesTheFlagAtByte913) {
    startManager(0, 1);
    QByteArray config = ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
    ASSERT_EQ(config.size(), CONFIG_SIZE);
    EXPECT_EQ(config[POWER_BUTTON_BYTE], 1);
    // Otherwise the default record: English (31) first, then the United States (225).
    EXPECT_EQ(config.left(8), bustest::hex("1f000000 e1000000"));
    EXPECT_EQ(config[912], 0);
    EXPECT_EQ(config[914], 0);

    manager->setPowerButtonFlag(0);
    config = ask(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
    ASSERT_EQ(config.size(), CONFIG_SIZE);
    EXPECT_EQ(config[POWER_BUTTON_BYTE], 0);

    const std::vector<std::string> lines = bustest::untimedLines(output.str());
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "request: IPC_MSG_GET_INSTRUMENT_CONFIG (21) from "
                        "IPC_ORIGIN_CLIENT_PWR_MANAGER (12), 0 bytes");
    EXPECT_EQ(lines[1], "response: IPC_MSG_GET_INSTRUMENT_CONFIG (21) from "
                        "IPC_ORIGIN_SERVER_DSP_MANAGER (2), 916 bytes: powerButtonShutdown=1");
}

TEST_F(FakeDspManagerTest, SessionAnswerReadsBackInEveryState) {
    startManager(2, 0);
    EXPECT_EQ(stateOf(ask(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS)),
              session::LoggingSession::SESSION_STATE_ACTIVE);
    std::string error;
    const std::pair<const char*, int> states[] = {
        {"idle", 0}, {"pending", 1}, {"done", 3}, {"active", 2}};
    for (const auto& [word, state] : states) {
        ASSERT_TRUE(manager->applyControlLine(std::string("session ") + word, error));
        EXPECT_EQ(stateOf(ask(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS)), state) << word;
    }
}

TEST_F(FakeDspManagerTest, SetInstrumentConfigIsTakenAndAnnounced) {
    startManager(0, 0);
    subscribeAndSettle(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);

    // What the power manager sends on a button press: its mirror's record with the flag set.
    QByteArray record(CONFIG_SIZE, '\0');
    record[POWER_BUTTON_BYTE] = 1;
    ipc::IpcMessage set(ipc::IPC_MSG_SET_INSTRUMENT_CONFIG, ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER);
    set.appendData(record.constData(), CONFIG_SIZE);
    ASSERT_TRUE(client.sendRequestAsZmqMessage(set));
    ASSERT_TRUE(bustest::pumpUntil([this] { return !events.empty(); }));

    EXPECT_EQ(manager->instrumentConfig().powerButtonShutdown, 1);
    EXPECT_EQ(events[0].message(), ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);
    EXPECT_EQ(events[0].origin(), ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    EXPECT_EQ(events[0].data(), record);
    const std::vector<std::string> lines = bustest::untimedLines(output.str());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "request: IPC_MSG_SET_INSTRUMENT_CONFIG (22) from "
                        "IPC_ORIGIN_CLIENT_PWR_MANAGER (12), 916 bytes: powerButtonShutdown=1");
    EXPECT_EQ(lines[1], "event: IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED (60) from "
                        "IPC_ORIGIN_SERVER_DSP_MANAGER (2), 916 bytes: powerButtonShutdown=1");

    // A record of the wrong size is not taken and announces nothing.
    events.clear();
    output.str("");
    ipc::IpcMessage truncated(ipc::IPC_MSG_SET_INSTRUMENT_CONFIG,
                              ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER);
    truncated.appendData(QByteArray(CONFIG_SIZE - 1, '\0').constData(), CONFIG_SIZE - 1);
    ASSERT_TRUE(client.sendRequestAsZmqMessage(truncated));
    ASSERT_TRUE(
        bustest::pumpUntil([this] { return output.str().find("ignored") != std::string::npos; }));
    bustest::pumpUntil([] { return false; }, 50);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(manager->instrumentConfig().powerButtonShutdown, 1);
    EXPECT_EQ(bustest::untimedLines(output.str()).back(),
              "ignored: SET_INSTRUMENT_CONFIG with 915 bytes instead of 916");
}

TEST_F(FakeDspManagerTest, ControlLinesPublishTheChangedSession) {
    startManager(0, 0);
    subscribeAndSettle(ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED);
    std::string error;
    ASSERT_TRUE(manager->applyControlLine("session pending", error));
    ASSERT_TRUE(bustest::pumpUntil([this] { return !events.empty(); }));
    EXPECT_EQ(events[0].message(), ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED);
    EXPECT_EQ(stateOf(events[0].data()), session::LoggingSession::SESSION_STATE_PENDING);

    EXPECT_FALSE(manager->applyControlLine("session running", error));
    EXPECT_FALSE(error.empty());
    bool quit = false;
    QObject::connect(manager.get(), &FakeDspManager::quitRequested, [&quit]() { quit = true; });
    EXPECT_TRUE(manager->applyControlLine("quit", error));
    EXPECT_TRUE(quit);
}

TEST_F(FakeDspManagerTest, RequestFromAClientWithoutChannelIsNotAnswered) {
    startManager(0, 0);
    ipc::IpcClient coreApp(true);
    coreApp.connectTo(ipc::IPC_ORIGIN_CLIENT_CORE_APP, endpoints("req").c_str(),
                      endpoints("core-resp").c_str(), endpoints("ev").c_str());
    ASSERT_TRUE(coreApp.sendRequest(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG));
    ASSERT_TRUE(bustest::pumpUntil(
        [this] { return output.str().find("response not sent") != std::string::npos; }));
    EXPECT_EQ(bustest::untimedLines(output.str()).back(),
              "response not sent: IPC_MSG_GET_INSTRUMENT_CONFIG (21) from "
              "IPC_ORIGIN_SERVER_DSP_MANAGER (2), 916 bytes: powerButtonShutdown=0");
}

TEST(FakeDspManagerSession, SessionsOfEachStateAsTheMirrorSeesThem) {
    EXPECT_FALSE(FakeDspManager::makeSession(0).isActive());
    EXPECT_TRUE(FakeDspManager::makeSession(1).isActive());
    EXPECT_TRUE(FakeDspManager::makeSession(1).isPending());
    EXPECT_TRUE(FakeDspManager::makeSession(2).isActive());
    EXPECT_FALSE(FakeDspManager::makeSession(2).isPending());
    EXPECT_FALSE(FakeDspManager::makeSession(3).isActive());
    EXPECT_TRUE(FakeDspManager::makeSession(3).isStarted());
    // The body starts with the empty session name: a null QString is ff ff ff ff in this form.
    const QByteArray body = FakeDspManager::serializeSession(FakeDspManager::makeSession(2));
    ASSERT_GE(body.size(), 4);
    EXPECT_EQ(body.left(4), bustest::hex("ffffffff"));
}
