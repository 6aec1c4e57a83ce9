// A buffer fed by a real IpcClient, with the owner played on plain sockets.

#include "FakeOwner.h"

#include "model/ModelBuffer.h"
#include "records/InstrumentConfig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace ipc;
using modeltest::Line;
constexpr auto INFO = log4cplus::INFO_LOG_LEVEL;
constexpr auto WARN = log4cplus::WARN_LOG_LEVEL;
constexpr auto ERROR = log4cplus::ERROR_LOG_LEVEL;

const std::string SENDING = "Sending buffer initialization request IPC_MSG_GET_INSTRUMENT_CONFIG";
const std::string RETRYING =
    "Buffer not yet initialized, retrying initialization request IPC_MSG_GET_INSTRUMENT_CONFIG";
const std::string SEND_FAILED =
    "Could not sent buffer initialization request IPC_MSG_GET_INSTRUMENT_CONFIG";
// IPC_MSG_GET_INSTRUMENT_CONFIG (21) from IPC_ORIGIN_CLIENT_PWR_MANAGER (12), no payload.
const QByteArray CONFIG_REQUEST = QByteArray::fromHex("15000000 0c000000");

// A 916-byte configuration image, zero but for the language (offset 0) and the power-button
// flag (offset 913).
QByteArray configImage(int language, char powerButtonShutdown) {
    QByteArray image(916, '\0');
    image[0] = static_cast<char>(language);
    image[913] = powerButtonShutdown;
    return image;
}

IpcMessage message(IPC_MSG id, const QByteArray& payload) {
    IpcMessage result(id, IPC_ORIGIN_SERVER_DSP_MANAGER);
    result.appendData(payload.constData(), static_cast<int>(payload.size()));
    return result;
}

class ConfigBuffer
    : public modeltest::FakeOwner<model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>> {
protected:
    void start(int retryPeriodMs, IpcClient* via, IPC_MSG request = IPC_MSG_GET_INSTRUMENT_CONFIG) {
        buffer.setInitTiming(20, retryPeriodMs);
        buffer.initializeIpc(request, {IPC_MSG_GET_INSTRUMENT_CONFIG},
                             {IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, via);
    }
    // The subscription and the first request have reached the owner: an event published from
    // now on reaches the client.
    bool started() {
        return until([this] { return !subscriptions.empty() && !requests.empty(); });
    }
};

TEST_F(ConfigBuffer, EventBeforeResponseInitialisesOnceAndBothUpdate) {
    start(600, &client);
    ASSERT_TRUE(started());
    // Subscribe (01) to IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED (60) as its 4 bytes.
    EXPECT_EQ(std::vector<QByteArray>{QByteArray::fromHex("01 3c000000")}, subscriptions);
    EXPECT_EQ(CONFIG_REQUEST, requests[0].frame);

    send(eventSocket, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1));
    ASSERT_TRUE(until([this] { return updates.size() == 1; }));
    EXPECT_EQ(42, buffer.getData().language);
    EXPECT_EQ(1, buffer.getData().powerButtonShutdown);
    send(responseSocket, IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(28, 0));
    ASSERT_TRUE(until([this] { return updates.size() == 2; }));
    EXPECT_EQ(28, buffer.getData().language);
    EXPECT_EQ(0, buffer.getData().powerButtonShutdown);

    // The first value stopped the retries for good.
    idle(900);
    EXPECT_EQ(1u, requests.size());
    EXPECT_TRUE(buffer.isInitialized());
    EXPECT_EQ((std::vector<IPC_MSG>{IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED,
                                    IPC_MSG_GET_INSTRUMENT_CONFIG}),
              updates);
    EXPECT_EQ((std::vector<Line>{{INFO, SENDING},
                                 {INFO, "Buffered data initialized by event "
                                        "IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED."}}),
              lines());
}

TEST_F(ConfigBuffer, MessagesAreTakenOnALaterTurnOfTheEventLoop) {
    start(1000, &client);
    // As the client's notifier slot would: the value must not change under that slot's feet.
    emit client.eventPublished(
        message(IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 0)));
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(31, buffer.getData().language);
    ASSERT_TRUE(until([this] { return updates.size() == 1; }));
    EXPECT_EQ(42, buffer.getData().language);
}

TEST_F(ConfigBuffer, IdentifiersOutsideItsSetsAreIgnored) {
    start(400, &client);
    ASSERT_TRUE(started());
    // Another buffer's response on the same client, and the event identifier arriving as a
    // response: neither is this buffer's, whatever the payload size.
    send(responseSocket, IPC_MSG_GET_BATTERY_STATUS, QByteArray(88, '\x01'));
    send(responseSocket, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1));
    // The response identifier arriving as an event: handed straight to the slot, since the
    // subscription keeps it off the socket.
    buffer.processIpcEvent(message(IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 1)));

    // Ignored messages do not stop the retries either.
    ASSERT_TRUE(until([this] { return lines().size() == 2; }));
    EXPECT_EQ((std::vector<Line>{{INFO, SENDING}, {WARN, RETRYING}}), lines());
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(31, buffer.getData().language);
}

TEST_F(ConfigBuffer, PayloadOfWrongLengthIsRefusedUntilARightOneInitialises) {
    start(300, &client);
    ASSERT_TRUE(started());
    send(responseSocket, IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 1).left(915));
    send(eventSocket, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1) + '\0');
    send(responseSocket, IPC_MSG_GET_INSTRUMENT_CONFIG, QByteArray());
    // Still not initialised: the retry comes.
    ASSERT_TRUE(until([this] { return capture.count(RETRYING) == 1; }));
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(31, buffer.getData().language);
    EXPECT_EQ(0, buffer.getData().powerButtonShutdown);
    for (const char* refused :
         {"IPC_MSG_GET_INSTRUMENT_CONFIG, expected 916 bytes but received 915",
          "IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, expected 916 bytes but "
          "received 917",
          "IPC_MSG_GET_INSTRUMENT_CONFIG, expected 916 bytes but received 0"}) {
        const std::string text =
            "Wrong buffered data size in " + std::string(refused) + " bytes; buffered data kept.";
        EXPECT_EQ(1u, capture.count(text)) << text;
    }

    send(responseSocket, IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 1));
    ASSERT_TRUE(until([this] { return updates.size() == 1; }));
    EXPECT_EQ(42, buffer.getData().language);
    EXPECT_EQ(Line(INFO, "Buffered data initialized by response IPC_MSG_GET_INSTRUMENT_CONFIG."),
              lines().back());
}

TEST_F(ConfigBuffer, WithoutInitRequestOnlyEventsAreAwaited) {
    start(100, &client, IPC_MSG_NONE);
    ASSERT_TRUE(until([this] { return !subscriptions.empty(); }));
    idle(450);
    // Even a stray time-out finds nothing to retry.
    buffer.processInitResponseTimeout();
    send(eventSocket, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 0));
    ASSERT_TRUE(until([this] { return updates.size() == 1; }));
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ((std::vector<Line>{{INFO, "Buffered data initialized by event "
                                        "IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED."}}),
              lines());
}

TEST_F(ConfigBuffer, ProductTimingWaitsHalfASecondThenRetriesEveryFiveSeconds) {
    const qint64 startedAt = clock.elapsed();
    buffer.initializeIpc(IPC_MSG_GET_INSTRUMENT_CONFIG, {IPC_MSG_GET_INSTRUMENT_CONFIG},
                         {IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, &client);
    ASSERT_TRUE(until([this] { return requests.size() == 2; }, 8000));
    // Precise timers never fire early; a request is seen a few ms after it arrives.
    EXPECT_GE(requests[0].atMs - startedAt, 500);
    EXPECT_GE(requests[1].atMs - requests[0].atMs, 4990);
    EXPECT_LT(requests[1].atMs - requests[0].atMs, 6500);
    EXPECT_EQ(CONFIG_REQUEST, requests[1].frame);
    EXPECT_EQ((std::vector<Line>{{INFO, SENDING}, {WARN, RETRYING}}), lines());
}

TEST_F(ConfigBuffer, RefusedSendsAreLoggedOnceAndRetriedUntilOneGoesOut) {
    // Not connected yet: its request socket has no peer, so every send would block.
    IpcClient lateClient(false);
    start(50, &lateClient);
    idle(400);
    EXPECT_EQ((std::vector<Line>{{INFO, SENDING}, {ERROR, SEND_FAILED}, {WARN, RETRYING}}),
              lines());
    lateClient.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("requests").c_str(),
                         at("responses").c_str(), at("events").c_str());
    ASSERT_TRUE(until([this] { return !requests.empty(); }));
    EXPECT_EQ(CONFIG_REQUEST, requests[0].frame);
    EXPECT_EQ(3u, lines().size());
    EXPECT_FALSE(buffer.isInitialized());
}

TEST_F(ConfigBuffer, NullClientIsRefusedAndNothingIsStored) {
    start(50, nullptr);
    // No request, no retry, no identifiers and no connection to the client were kept.
    buffer.subscribeAndPostInitRequest();
    buffer.processInitResponseTimeout();
    emit client.responseReceived(message(IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 0)));
    buffer.processIpcResponse(message(IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 0)));
    idle(200);
    EXPECT_EQ((std::vector<Line>{{ERROR, "Attempt to initialize with NULL IPC client."}}), lines());
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(31, buffer.getData().language);
}

} // namespace
