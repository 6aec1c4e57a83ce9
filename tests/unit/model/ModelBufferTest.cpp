// Buffers fed by a real IpcClient, with the owner played on plain ZeroMQ sockets, so that the
// tests see the bytes the client puts on the wire: a PULL for requests, a PUSH for responses and
// an XPUB for events (an XPUB also hands over the subscriptions it receives).

#include "model/ModelBuffer.h"
#include "model/ModelClassBuffer.h"
#include "records/BatteryStatusRecord.h"
#include "records/InstrumentConfig.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include "ipc/IpcClient.h"

#include <QDataStream>
#include <QDateTime>
#include <QElapsedTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <log4cplus/loglevel.h>
#include <zmq.hpp>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace ipc;
using Lines = std::vector<std::string>;

IpcMessage message(IPC_MSG id, const QByteArray& payload) {
    IpcMessage result(id, IPC_ORIGIN_SERVER_DSP_MANAGER);
    result.appendData(payload.constData(), static_cast<int>(payload.size()));
    return result;
}

class ConfigBuffer : public ::testing::Test {
protected:
    ConfigBuffer() {
        for (auto [socket, name] : {std::pair{&requestSocket, "requests"},
                                    {&responseSocket, "responses"},
                                    {&eventSocket, "events"}}) {
            socket->set(zmq::sockopt::linger, 0);
            socket->bind(at(name));
        }
        registerIpcMetaTypes();
        QObject::connect(&buffer, &model::ModelBufferBase::updated,
                         [this](IPC_MSG id) { updates.push_back(id); });
    }

    // Until then the client's request socket has no peer, so every send would block.
    void connectClient() {
        client.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("requests").c_str(),
                         at("responses").c_str(), at("events").c_str());
    }
    void start(int retryPeriodMs, IpcClient* via, IPC_MSG request = IPC_MSG_GET_INSTRUMENT_CONFIG) {
        buffer.setInitTiming(20, retryPeriodMs);
        buffer.initializeIpc(request, {IPC_MSG_GET_INSTRUMENT_CONFIG},
                             {IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, via);
    }

    // A frame as a dsp-manager (origin 2) would send it; the client's own frames are pinned.
    static void send(zmq::socket_t& socket, IPC_MSG id, const QByteArray& payload) {
        const QByteArray frame = message(id, payload).toFrame();
        socket.send(zmq::buffer(frame.constData(), size_t(frame.size())),
                    zmq::send_flags::dontwait);
    }

    // Runs the event loop, taking in what reaches the owner, until done() holds.
    bool until(const std::function<bool()>& done, int timeoutMs = 3000) {
        return testsupport::pumpUntil(
            [&] {
                for (auto [socket, into] :
                     {std::pair{&requestSocket, &requests}, {&eventSocket, &subscriptions}}) {
                    for (zmq::message_t m; socket->recv(m, zmq::recv_flags::dontwait);) {
                        into->push_back(QByteArray(m.data<char>(), qsizetype(m.size())));
                    }
                }
                return done();
            },
            timeoutMs);
    }

    Lines lines() const { return capture.withLevels("model_buffer_logger"); }

    testsupport::LogCapture capture;
    testsupport::TempEndpoints at;
    zmq::context_t context;
    zmq::socket_t requestSocket{context, zmq::socket_type::pull};
    zmq::socket_t responseSocket{context, zmq::socket_type::push};
    zmq::socket_t eventSocket{context, zmq::socket_type::xpub};
    std::vector<QByteArray> requests;
    std::vector<QByteArray> subscriptions; // 0x01, then the subscribed prefix
    IpcClient client{false};
    model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG> buffer;
    std::vector<IPC_MSG> updates;
};

const std::string SENDING =
    "INFO Sending buffer initialization request IPC_MSG_GET_INSTRUMENT_CONFIG";
const std::string RETRYING = "WARN Buffer not yet initialized, retrying initialization request "
                             "IPC_MSG_GET_INSTRUMENT_CONFIG";
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

// Refused sends are logged once and retried until one goes out; then refused payloads leave the
// retries running until a right one initialises.
TEST_F(ConfigBuffer, RefusedSendsAndPayloadsAreRetriedUntilARightOneInitialises) {
    start(200, &client);
    testsupport::pumpFor(600);
    const Lines failing{
        SENDING, "ERROR Could not sent buffer initialization request IPC_MSG_GET_INSTRUMENT_CONFIG",
        RETRYING};
    EXPECT_EQ(failing, lines());
    connectClient();
    // The subscription and a request have reached the owner: an event published from now on
    // reaches the client.
    ASSERT_TRUE(until([this] { return !subscriptions.empty() && !requests.empty(); }));
    // Subscribe (01) to IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED (60) as its 4 bytes.
    EXPECT_EQ(std::vector<QByteArray>{QByteArray::fromHex("01 3c000000")}, subscriptions);
    EXPECT_EQ(CONFIG_REQUEST, requests[0]);
    EXPECT_EQ(failing, lines());

    // Another buffer's response on the same client, and the event identifier arriving as a
    // response: neither is this buffer's, whatever the payload size.
    send(responseSocket, IPC_MSG_GET_BATTERY_STATUS, QByteArray(88, '\x01'));
    send(responseSocket, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1));
    // The response identifier arriving as an event: handed straight to the slot, since the
    // subscription keeps it off the socket.
    buffer.processIpcEvent(message(IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 1)));
    send(responseSocket, IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 1).left(915));
    send(eventSocket, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1) + '\0');
    send(responseSocket, IPC_MSG_GET_INSTRUMENT_CONFIG, QByteArray());
    // Still not initialised: the retries go on. The foreign identifiers left no line.
    size_t sent = requests.size();
    ASSERT_TRUE(until([&] { return lines().size() == 6 && requests.size() > sent; }));
    const auto refused = [](const std::string& sizes) {
        return "ERROR Wrong buffered data size in IPC_MSG_" + sizes + " bytes; buffered data kept.";
    };
    EXPECT_THAT(lines(),
                testing::UnorderedElementsAre(
                    failing[0], failing[1], failing[2],
                    refused("GET_INSTRUMENT_CONFIG, expected 916 bytes but received 915"),
                    refused("EVENT_INSTRUMENT_CONFIG_CHANGED, expected 916 bytes but received 917"),
                    refused("GET_INSTRUMENT_CONFIG, expected 916 bytes but received 0")));
    EXPECT_EQ(31, buffer.getData().language); // the default's

    // The response initialises, a later event updates without a second line.
    send(responseSocket, IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(28, 0));
    ASSERT_TRUE(until([this] { return updates.size() == 1; }));
    EXPECT_EQ(28, buffer.getData().language);
    send(eventSocket, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 1));
    ASSERT_TRUE(until([this] { return updates.size() == 2; }));
    EXPECT_EQ(42, buffer.getData().language);
    EXPECT_EQ(1, buffer.getData().powerButtonShutdown);

    // The first value stopped the retries for good.
    sent = requests.size();
    until([] { return false; }, 700);
    EXPECT_EQ(sent, requests.size());
    EXPECT_TRUE(buffer.isInitialized());
    EXPECT_EQ((std::vector<IPC_MSG>{IPC_MSG_GET_INSTRUMENT_CONFIG,
                                    IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}),
              updates);
    EXPECT_EQ(7u, lines().size());
    EXPECT_EQ("INFO Buffered data initialized by response IPC_MSG_GET_INSTRUMENT_CONFIG.",
              lines().back());
}

// A null client is refused and nothing of it is kept: no request, no retry, no identifiers. Then,
// without an initialisation request, only events are awaited, and a stray time-out finds nothing
// to retry. A message is taken on a later turn of the event loop than the client's notifier slot
// that hands it over: the value must not change under that slot's feet.
TEST_F(ConfigBuffer, NullClientIsRefusedAndWithoutInitRequestEventsAreTakenOnALaterTurn) {
    start(50, nullptr);
    buffer.subscribeAndPostInitRequest();
    buffer.processInitResponseTimeout();
    emit client.responseReceived(message(IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 0)));
    buffer.processIpcResponse(message(IPC_MSG_GET_INSTRUMENT_CONFIG, configImage(42, 0)));

    connectClient();
    start(100, &client, IPC_MSG_NONE);
    ASSERT_TRUE(until([this] { return !subscriptions.empty(); }));
    testsupport::pumpFor(450);
    buffer.processInitResponseTimeout();
    emit client.eventPublished(
        message(IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, configImage(42, 0)));
    EXPECT_EQ(31, buffer.getData().language);
    ASSERT_TRUE(until([this] { return updates.size() == 1; }));
    EXPECT_EQ(42, buffer.getData().language);
    EXPECT_TRUE(requests.empty());
    EXPECT_EQ(
        (Lines{"ERROR Attempt to initialize with NULL IPC client.",
               "INFO Buffered data initialized by event IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED."}),
        lines());

    // Before any message a buffer holds its record's default, whose image the records' tests pin.
    model::ModelBuffer<quarn_system::BATTERY_STATUS> battery;
    EXPECT_EQ(0, std::memcmp(&quarn_system::DEFAULT_BATTERY_STATUS, &battery.getData(),
                             sizeof(quarn_system::BATTERY_STATUS)));
    EXPECT_FALSE(battery.isInitialized());
}

TEST_F(ConfigBuffer, ProductTimingWaitsHalfASecondThenRetriesEveryFiveSeconds) {
    QElapsedTimer clock;
    clock.start();
    connectClient();
    buffer.initializeIpc(IPC_MSG_GET_INSTRUMENT_CONFIG, {IPC_MSG_GET_INSTRUMENT_CONFIG},
                         {IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, &client);
    ASSERT_TRUE(until([this] { return requests.size() == 1; }));
    const qint64 first = clock.elapsed();
    ASSERT_TRUE(until([this] { return requests.size() == 2; }, 8000));
    const qint64 period = clock.elapsed() - first;
    // Precise timers never fire early; a request is seen a few ms after it arrives.
    EXPECT_GE(first, 500);
    EXPECT_TRUE(period >= 4990 && period < 6500) << period;
    EXPECT_EQ(CONFIG_REQUEST, requests[1]);
    EXPECT_EQ((Lines{SENDING, RETRYING}), lines());
}

// Stands in for the session model: a number, a text and a time stamp. The time stamp only reads
// right when the stream speaks Qt 4.8.
struct StreamedThing {
    qint32 number = -1;
    QString text = QStringLiteral("unset");
    QDateTime stamp;
};

QDataStream& operator>>(QDataStream& stream, StreamedThing& thing) {
    return stream >> thing.number >> thing.text >> thing.stamp;
}

// Taken from the slots straight, as the wire form is pinned above.
TEST_F(ConfigBuffer, AClassBufferReadsTheQt48StreamFormAndKeepsTheObjectOnABrokenOne) {
    model::ModelClassBuffer<StreamedThing> things;
    things.initializeIpc(IPC_MSG_GET_LOGGING_SESSION_STATUS, {IPC_MSG_GET_LOGGING_SESSION_STATUS},
                         {IPC_MSG_EVENT_SESSION_STATUS_CHANGED}, &client);
    // 0x01020304; "Hi" as a 4-byte UTF-16 length and big-endian code units; 2012-01-01 00:00:00
    // UTC as Julian day 2455928, milliseconds 0 and the UTC marker 2.
    things.processIpcEvent(
        message(IPC_MSG_EVENT_SESSION_STATUS_CHANGED,
                QByteArray::fromHex("01020304 00000004 00480069 00257978 00000000 02")));
    EXPECT_TRUE(things.isInitialized());
    EXPECT_EQ(QDateTime(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC), things.getData().stamp);
    // Cut inside the text: the number would read, the rest would not.
    things.processIpcResponse(
        message(IPC_MSG_GET_LOGGING_SESSION_STATUS, QByteArray::fromHex("0a0b0c0d 00000004 0048")));
    EXPECT_EQ(1u,
              capture.count("Could not read buffered data from IPC_MSG_GET_LOGGING_SESSION_STATUS "
                            "(10 bytes); buffered data kept."));
    EXPECT_EQ(0x01020304, things.getData().number);
    EXPECT_EQ(QStringLiteral("Hi"), things.getData().text);
}

} // namespace
