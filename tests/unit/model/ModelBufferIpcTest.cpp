// A buffer fed by a real IpcClient, with the owner played on plain sockets.

#include "FakeOwner.h"

#include "ipc/IpcClient.h"
#include "model/ModelBuffer.h"
#include "records/InstrumentConfig.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using modeltest::FakeOwner;
using modeltest::hexBytes;
using modeltest::pumpFor;
using modeltest::pumpUntil;
using ConfigBuffer = model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>;

const char* const LOGGER = "model_buffer_logger";
const std::string SENDING = "Sending buffer initialization request IPC_MSG_GET_INSTRUMENT_CONFIG";
const std::string RETRYING =
    "Buffer not yet initialized, retrying initialization request IPC_MSG_GET_INSTRUMENT_CONFIG";
const std::string SEND_FAILED =
    "Could not sent buffer initialization request IPC_MSG_GET_INSTRUMENT_CONFIG";

// IPC_MSG_GET_INSTRUMENT_CONFIG (21) from IPC_ORIGIN_CLIENT_PWR_MANAGER (12), no payload.
const char* const CONFIG_REQUEST_FRAME = "15 00 00 00 0c 00 00 00";
// Subscribe (0x01) to IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED (60) as its 4 little-endian bytes.
const char* const CONFIG_EVENT_SUBSCRIPTION = "01 3c 00 00 00";

// A 916-byte instrument configuration image, zero but for the language (offset 0) and the
// power-button flag (offset 913).
QByteArray configImage(int languageByte, char powerButtonShutdown) {
    QByteArray image(916, '\0');
    image[0] = static_cast<char>(languageByte);
    image[913] = powerButtonShutdown;
    return image;
}

class ModelBufferIpcTest : public ::testing::Test {
protected:
    ModelBufferIpcTest()
        : client(false) {
        ipc::registerIpcMetaTypes();
        client.connectTo(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, owner.requestsAddress(),
                         owner.responsesAddress(), owner.eventsAddress());
        QObject::connect(&buffer, &model::ModelBufferBase::updated,
                         [this](ipc::IPC_MSG id) { updates.push_back(id); });
    }

    void initializeConfigBuffer(int retryPeriodMs) {
        buffer.setInitTiming(20, retryPeriodMs);
        buffer.initializeIpc(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG,
                             {ipc::IPC_MSG_GET_INSTRUMENT_CONFIG},
                             {ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, &client);
    }

    // Both the subscription and the first request have reached the owner, so an event
    // published from now on reaches the client.
    bool waitForStart() {
        return pumpUntil(
            [this] { return !owner.subscriptions().empty() && !owner.requests().empty(); }, 3000,
            &owner);
    }

    bool waitForUpdates(size_t count) {
        return pumpUntil([this, count] { return updates.size() >= count; }, 3000, &owner);
    }

    std::vector<testsupport::LogEvent> bufferEvents() const {
        std::vector<testsupport::LogEvent> result;
        for (const testsupport::LogEvent& event : capture.events()) {
            if (event.logger == LOGGER) {
                result.push_back(event);
            }
        }
        return result;
    }

    size_t countOf(const std::string& text) const {
        size_t n = 0;
        for (const std::string& message : capture.messages(LOGGER)) {
            n += message == text ? 1 : 0;
        }
        return n;
    }

    testsupport::LogCapture capture;
    FakeOwner owner;
    ipc::IpcClient client;
    ConfigBuffer buffer;
    std::vector<ipc::IPC_MSG> updates;
};

TEST_F(ModelBufferIpcTest, EventBeforeResponseInitialisesOnceAndBothUpdate) {
    initializeConfigBuffer(600);
    ASSERT_TRUE(waitForStart());
    ASSERT_EQ(owner.subscriptions().size(), 1u);
    EXPECT_EQ(owner.subscriptions()[0], hexBytes(CONFIG_EVENT_SUBSCRIPTION));
    EXPECT_EQ(owner.requests()[0].frame, hexBytes(CONFIG_REQUEST_FRAME));

    owner.publishEvent(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1));
    ASSERT_TRUE(waitForUpdates(1));
    EXPECT_EQ(updates[0], ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);
    EXPECT_TRUE(buffer.isInitialized());
    EXPECT_EQ(buffer.getData().language, 42);
    EXPECT_EQ(buffer.getData().country, 0);
    EXPECT_EQ(buffer.getData().powerButtonShutdown, 1);

    owner.sendResponse(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(28, 0));
    ASSERT_TRUE(waitForUpdates(2));
    EXPECT_EQ(updates[1], ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
    EXPECT_EQ(buffer.getData().language, 28);
    EXPECT_EQ(buffer.getData().powerButtonShutdown, 0);

    // The first value stopped the retries for good.
    pumpFor(900, &owner);
    EXPECT_EQ(owner.requests().size(), 1u);
    std::vector<std::string> lines;
    for (const testsupport::LogEvent& event : bufferEvents()) {
        EXPECT_EQ(event.level, log4cplus::INFO_LOG_LEVEL) << event.message;
        lines.push_back(testsupport::LogCapture::stripPrefix(event.message));
    }
    EXPECT_EQ(lines, (std::vector<std::string>{
                         SENDING,
                         "Buffered data initialized by event "
                         "IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED.",
                     }));
    EXPECT_EQ(updates.size(), 2u);
}

TEST_F(ModelBufferIpcTest, ResponseInitialisesAndLaterEventsOnlyUpdate) {
    initializeConfigBuffer(600);
    ASSERT_TRUE(waitForStart());

    owner.sendResponse(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 0));
    ASSERT_TRUE(waitForUpdates(1));
    EXPECT_EQ(updates[0], ipc::IPC_MSG_GET_INSTRUMENT_CONFIG);
    EXPECT_EQ(buffer.getData().language, 42);

    owner.publishEvent(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(59, 0));
    owner.publishEvent(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(66, 1));
    ASSERT_TRUE(waitForUpdates(3));
    EXPECT_EQ(updates[2], ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);
    EXPECT_EQ(buffer.getData().language, 66);

    pumpFor(900, &owner);
    EXPECT_EQ(owner.requests().size(), 1u);
    EXPECT_EQ(
        capture.messages(LOGGER),
        (std::vector<std::string>{
            SENDING, "Buffered data initialized by response IPC_MSG_GET_INSTRUMENT_CONFIG."}));
}

TEST_F(ModelBufferIpcTest, MessagesAreTakenOnALaterTurnOfTheEventLoop) {
    initializeConfigBuffer(1000);
    ipc::IpcMessage event(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED,
                          ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    const QByteArray image = configImage(42, 0);
    event.appendData(image.constData(), image.size());

    // As the client's notifier slot would: the value must not change under that slot's feet.
    emit client.eventPublished(event);
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(buffer.getData().language, 31);
    ASSERT_TRUE(waitForUpdates(1));
    EXPECT_EQ(buffer.getData().language, 42);
}

TEST_F(ModelBufferIpcTest, IdentifiersOutsideItsSetsAreIgnored) {
    initializeConfigBuffer(400);
    ASSERT_TRUE(waitForStart());

    // Another buffer's response on the same client, and the event identifier arriving as a
    // response: neither is this buffer's, whatever the payload size.
    owner.sendResponse(ipc::IPC_MSG_GET_BATTERY_STATUS, QByteArray(88, '\x01'));
    owner.sendResponse(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1));
    // The response identifier arriving as an event: handed straight to the slot, since the
    // subscription keeps it off the socket.
    ipc::IpcMessage stray(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    const QByteArray image = configImage(42, 1);
    stray.appendData(image.constData(), image.size());
    buffer.processIpcEvent(stray);

    // Ignored messages do not stop the retries either.
    ASSERT_TRUE(pumpUntil([this] { return countOf(RETRYING) == 1; }, 3000, &owner));
    EXPECT_TRUE(updates.empty());
    EXPECT_FALSE(buffer.isInitialized());
    EXPECT_EQ(buffer.getData().language, 31);
    EXPECT_EQ(buffer.getData().powerButtonShutdown, 0);
    EXPECT_EQ(capture.messages(LOGGER), (std::vector<std::string>{SENDING, RETRYING}));
}

TEST_F(ModelBufferIpcTest, WithoutInitRequestOnlyEventsAreAwaited) {
    buffer.setInitTiming(20, 100);
    buffer.initializeIpc(ipc::IPC_MSG_NONE, {}, {ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED},
                         &client);
    ASSERT_TRUE(pumpUntil([this] { return !owner.subscriptions().empty(); }, 3000, &owner));
    pumpFor(450, &owner);
    EXPECT_TRUE(owner.requests().empty());
    EXPECT_TRUE(capture.messages(LOGGER).empty());

    // Even a stray time-out finds nothing to retry.
    buffer.processInitResponseTimeout();
    EXPECT_TRUE(capture.messages(LOGGER).empty());

    owner.publishEvent(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 0));
    ASSERT_TRUE(waitForUpdates(1));
    EXPECT_EQ(capture.messages(LOGGER),
              (std::vector<std::string>{
                  "Buffered data initialized by event IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED."}));
    pumpFor(250, &owner);
    EXPECT_TRUE(owner.requests().empty());
}

TEST_F(ModelBufferIpcTest, UnansweredRequestIsRepeatedEachRetryPeriodUntilAnswered) {
    const int period = 250;
    initializeConfigBuffer(period);
    ASSERT_TRUE(pumpUntil([this] { return owner.requests().size() >= 3; }, 5000, &owner));

    EXPECT_EQ(countOf(RETRYING), 2u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(owner.requests()[i].frame, hexBytes(CONFIG_REQUEST_FRAME));
    }
    for (size_t i = 1; i < 3; ++i) {
        // Qt's coarse timers may fire up to 5 % early.
        EXPECT_GE(owner.requests()[i].atMs - owner.requests()[i - 1].atMs, period * 95 / 100 - 2);
    }
    for (const testsupport::LogEvent& event : capture.events()) {
        if (testsupport::LogCapture::stripPrefix(event.message) == RETRYING) {
            EXPECT_EQ(event.level, log4cplus::WARN_LOG_LEVEL);
        }
    }

    owner.sendResponse(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 0));
    ASSERT_TRUE(waitForUpdates(1));
    const size_t requestsWhenAnswered = owner.requests().size();
    const size_t retriesWhenAnswered = countOf(RETRYING);
    pumpFor(3 * period, &owner);
    EXPECT_EQ(owner.requests().size(), requestsWhenAnswered);
    EXPECT_EQ(countOf(RETRYING), retriesWhenAnswered);
}

TEST_F(ModelBufferIpcTest, ProductTimingWaitsHalfASecondThenRetriesEveryFiveSeconds) {
    const qint64 ownerAtStart = owner.elapsedMs();
    buffer.initializeIpc(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, {ipc::IPC_MSG_GET_INSTRUMENT_CONFIG},
                         {ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, &client);
    pumpFor(400, &owner);
    EXPECT_TRUE(owner.requests().empty());
    ASSERT_TRUE(pumpUntil([this] { return owner.requests().size() == 1; }, 2000, &owner));
    EXPECT_GE(owner.requests()[0].atMs - ownerAtStart, 475);

    ASSERT_TRUE(pumpUntil([this] { return owner.requests().size() == 2; }, 7000, &owner));
    const qint64 gap = owner.requests()[1].atMs - owner.requests()[0].atMs;
    EXPECT_GE(gap, 4750);
    EXPECT_LT(gap, 6500);
    EXPECT_EQ(capture.messages(LOGGER), (std::vector<std::string>{SENDING, RETRYING}));
}

TEST_F(ModelBufferIpcTest, FailedSendIsLoggedAndStillRetried) {
    // Never connected: its request socket has no peer, so every send would block.
    ipc::IpcClient lonelyClient(false);
    buffer.setInitTiming(20, 100);
    buffer.initializeIpc(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, {ipc::IPC_MSG_GET_INSTRUMENT_CONFIG},
                         {ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, &lonelyClient);
    ASSERT_TRUE(pumpUntil([this] { return countOf(SEND_FAILED) >= 2; }, 3000));

    std::vector<std::pair<log4cplus::LogLevel, std::string>> lines;
    for (const testsupport::LogEvent& event : bufferEvents()) {
        if (lines.size() < 4) {
            lines.emplace_back(event.level, testsupport::LogCapture::stripPrefix(event.message));
        }
    }
    using Line = std::pair<log4cplus::LogLevel, std::string>;
    EXPECT_EQ(lines, (std::vector<Line>{
                         {log4cplus::INFO_LOG_LEVEL, SENDING},
                         {log4cplus::ERROR_LOG_LEVEL, SEND_FAILED},
                         {log4cplus::WARN_LOG_LEVEL, RETRYING},
                         {log4cplus::ERROR_LOG_LEVEL, SEND_FAILED},
                     }));
    EXPECT_FALSE(buffer.isInitialized());
}

TEST_F(ModelBufferIpcTest, PayloadOfWrongLengthIsRefusedAndRetriesGoOn) {
    initializeConfigBuffer(300);
    ASSERT_TRUE(waitForStart());

    QByteArray shortImage = configImage(42, 1);
    shortImage.chop(1);
    owner.sendResponse(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, shortImage);
    owner.publishEvent(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1) + '\0');
    owner.sendResponse(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, QByteArray());

    // Still not initialised: the retry comes.
    ASSERT_TRUE(pumpUntil([this] { return countOf(RETRYING) == 1; }, 3000, &owner));
    EXPECT_TRUE(updates.empty());
    EXPECT_FALSE(buffer.isInitialized());
    EXPECT_EQ(buffer.getData().language, 31);
    EXPECT_EQ(buffer.getData().powerButtonShutdown, 0);
    EXPECT_EQ(countOf("Wrong buffered data size in IPC_MSG_GET_INSTRUMENT_CONFIG, expected 916 "
                      "bytes but received 915 bytes; buffered data kept."),
              1u);
    EXPECT_EQ(countOf("Wrong buffered data size in IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, "
                      "expected 916 bytes but received 917 bytes; buffered data kept."),
              1u);
    EXPECT_EQ(countOf("Wrong buffered data size in IPC_MSG_GET_INSTRUMENT_CONFIG, expected 916 "
                      "bytes but received 0 bytes; buffered data kept."),
              1u);

    owner.sendResponse(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 1));
    ASSERT_TRUE(waitForUpdates(1));
    EXPECT_TRUE(buffer.isInitialized());
    EXPECT_EQ(buffer.getData().language, 42);
}

TEST_F(ModelBufferIpcTest, NullClientIsRefusedAndNothingIsStored) {
    buffer.setInitTiming(20, 50);
    buffer.initializeIpc(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, {ipc::IPC_MSG_GET_INSTRUMENT_CONFIG},
                         {ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, nullptr);
    const std::vector<testsupport::LogEvent> events = bufferEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].level, log4cplus::ERROR_LOG_LEVEL);
    EXPECT_EQ(testsupport::LogCapture::stripPrefix(events[0].message),
              "Attempt to initialize with NULL IPC client.");

    // No request, no retry, no identifiers and no connection to the client were kept.
    buffer.subscribeAndPostInitRequest();
    buffer.processInitResponseTimeout();
    ipc::IpcMessage response(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG,
                             ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    const QByteArray image = configImage(42, 0);
    response.appendData(image.constData(), image.size());
    emit client.responseReceived(response);
    buffer.processIpcResponse(response);
    pumpFor(200, &owner);
    EXPECT_EQ(bufferEvents().size(), 1u);
    EXPECT_TRUE(updates.empty());
    EXPECT_EQ(buffer.getData().language, 31);
}

} // namespace
