#include "IpcTestSupport.h"
#include "ZmqFaultInjection.h"
#include "support/LogCapture.h"

#include "ipc/IpcClient.h"
#include "ipc/IpcServer.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

using namespace ipc;
using ipctest::pumpUntil;

namespace {

QByteArray received(zmq::socket_t& socket) {
    zmq::message_t frame;
    if (!socket.recv(frame, zmq::recv_flags::dontwait)) {
        return QByteArray();
    }
    return QByteArray(static_cast<const char*>(frame.data()), static_cast<qsizetype>(frame.size()));
}

void sendRaw(zmq::socket_t& socket, const QByteArray& bytes) {
    socket.send(zmq::const_buffer(bytes.constData(), static_cast<size_t>(bytes.size())),
                zmq::send_flags::none);
}

std::vector<std::string> linesOf(const testsupport::LogCapture& log, const std::string& logger,
                                 log4cplus::LogLevel level) {
    std::vector<std::string> lines;
    for (const testsupport::LogEvent& event : log.events()) {
        if (event.logger == logger && event.level == level) {
            lines.push_back(testsupport::LogCapture::stripPrefix(event.message));
        }
    }
    return lines;
}

// A server of this daemon's role and a core-app client, on private addresses.
class IpcBus : public ::testing::Test {
protected:
    void SetUp() override {
        server.init(IPC_ORIGIN_SERVER_PWR_MANAGER, at("requests").c_str(), at("events").c_str());
        server.addResponseSocket(IPC_ORIGIN_CLIENT_CORE_APP, at("core-app").c_str());
        connectClient(client, IPC_ORIGIN_CLIENT_CORE_APP, "core-app", responses, events);
        QObject::connect(&server, &IpcServer::requestReceived,
                         [this](const IpcMessage& message) { requests.push_back(message); });
    }

    void connectClient(IpcClient& c, IPC_ORIGIN origin, const char* channel,
                       std::vector<IpcMessage>& responseSink, std::vector<IpcMessage>& eventSink) {
        c.connectTo(origin, at("requests").c_str(), at(channel).c_str(), at("events").c_str());
        QObject::connect(&c, &IpcClient::responseReceived,
                         [&responseSink](const IpcMessage& m) { responseSink.push_back(m); });
        QObject::connect(&c, &IpcClient::eventPublished,
                         [&eventSink](const IpcMessage& m) { eventSink.push_back(m); });
    }

    testsupport::LogCapture log;
    ipctest::TempEndpoints at;
    IpcServer server;
    IpcClient client{true};
    std::vector<IpcMessage> requests;
    std::vector<IpcMessage> responses;
    std::vector<IpcMessage> events;
};

} // namespace

TEST_F(IpcBus, ResponseReturnsOnTheRequestersOwnChannelWithTheServersOrigin) {
    IpcClient remote(true);
    std::vector<IpcMessage> remoteResponses, remoteEvents;
    server.addResponseSocket(IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, at("remote").c_str());
    connectClient(remote, IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, "remote", remoteResponses,
                  remoteEvents);

    ASSERT_TRUE(client.sendRequest(IPC_MSG_GET_BATTERY_STATUS));
    ASSERT_TRUE(pumpUntil([&] { return requests.size() == 1; }));
    EXPECT_EQ(IPC_MSG_GET_BATTERY_STATUS, requests[0].message());
    EXPECT_EQ(IPC_ORIGIN_CLIENT_CORE_APP, requests[0].origin());
    EXPECT_TRUE(requests[0].data().isEmpty());

    ASSERT_TRUE(server.sendResponse(requests[0].origin(), IPC_MSG_GET_BATTERY_STATUS,
                                    ipctest::SAMPLE_RECORD));
    ASSERT_TRUE(pumpUntil([&] { return responses.size() == 1; }));
    EXPECT_EQ(IPC_MSG_GET_BATTERY_STATUS, responses[0].message());
    EXPECT_EQ(IPC_ORIGIN_SERVER_PWR_MANAGER, responses[0].origin());
    EXPECT_EQ(QByteArray::fromHex("01000000feffffffd4c3b2a1"), responses[0].data());
    EXPECT_EQ(IpcClient::Idle, client.syncState()) << "nobody was waiting for it";

    // The other client asks too; each answer goes to its own asker only.
    IpcMessage withPayload(IPC_MSG_DO_POWER_DOWN, remote.origin());
    withPayload.appendData("\x05\x06", 2);
    ASSERT_TRUE(remote.sendRequestAsZmqMessage(withPayload));
    ASSERT_TRUE(pumpUntil([&] { return requests.size() == 2; }));
    EXPECT_EQ(IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, requests[1].origin());
    EXPECT_EQ(QByteArray::fromHex("0506"), requests[1].data());
    ASSERT_TRUE(server.sendResponse(requests[1].origin(), IPC_MSG_DO_POWER_DOWN, qint8(9)));
    ASSERT_TRUE(pumpUntil([&] { return remoteResponses.size() == 1; }));
    EXPECT_EQ(IPC_MSG_DO_POWER_DOWN, remoteResponses[0].message());
    EXPECT_EQ(IPC_ORIGIN_SERVER_PWR_MANAGER, remoteResponses[0].origin());
    EXPECT_EQ(QByteArray::fromHex("09"), remoteResponses[0].data());
    ipctest::pumpFor(30);
    EXPECT_EQ(1u, responses.size());
    EXPECT_EQ(1u, remoteResponses.size());
}

TEST_F(IpcBus, EventsArePublishedAsExactFrames) {
    zmq::context_t context;
    zmq::socket_t subscriber(context, zmq::socket_type::sub);
    subscriber.set(zmq::sockopt::subscribe, "");
    subscriber.connect(at("events"));
    // A subscription needs a moment to reach the publisher; until then events are dropped.
    QByteArray first;
    ASSERT_TRUE(pumpUntil([&] {
        server.publishSimpleEvent(IPC_MSG_EVENT_BATTERY_LOW);
        first = received(subscriber);
        return !first.isEmpty();
    }));
    EXPECT_EQ(QByteArray::fromHex("3800000003000000"), first);

    ASSERT_TRUE(server.publishSimpleEvent(IPC_MSG_EVENT_POWER_DOWN));
    ASSERT_TRUE(server.publishEvent(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, ipctest::SAMPLE_RECORD));
    subscriber.set(zmq::sockopt::rcvtimeo, 2000);
    std::vector<QByteArray> frames;
    while (frames.size() < 2) {
        zmq::message_t frame;
        ASSERT_TRUE(subscriber.recv(frame));
        const QByteArray bytes(frame.data<char>(), static_cast<qsizetype>(frame.size()));
        // More battery-low events of the warm-up may still be on their way.
        if (bytes != first) {
            frames.push_back(bytes);
        }
    }
    EXPECT_EQ(QByteArray::fromHex("3900000003000000"), frames[0]);
    EXPECT_EQ(QByteArray::fromHex("3b00000003000000"
                                  "01000000feffffffd4c3b2a1"),
              frames[1]);
}

TEST_F(IpcBus, SubscriptionFiltersByIdentifierPrefix) {
    IpcClient unsubscribed(true);
    std::vector<IpcMessage> unsubscribedResponses, unsubscribedEvents;
    connectClient(unsubscribed, IPC_ORIGIN_CLIENT_CORE_APP, "core-app", unsubscribedResponses,
                  unsubscribedEvents);
    client.subscribe(IPC_MSG_EVENT_BATTERY_LOW);

    // 56 + 256 shares three bytes with 56 but not the whole 4-byte prefix.
    const auto lookalike = static_cast<IPC_MSG>(IPC_MSG_EVENT_BATTERY_LOW + 256);
    ASSERT_TRUE(pumpUntil([&] {
        server.publishSimpleEvent(IPC_MSG_EVENT_POWER_DOWN);
        server.publishSimpleEvent(lookalike);
        server.publishEvent(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, ipctest::SAMPLE_RECORD);
        server.publishSimpleEvent(IPC_MSG_EVENT_BATTERY_LOW);
        ipctest::pumpFor(5);
        return events.size() >= 3;
    }));
    for (const IpcMessage& event : events) {
        EXPECT_EQ(IPC_MSG_EVENT_BATTERY_LOW, event.message());
        EXPECT_EQ(IPC_ORIGIN_SERVER_PWR_MANAGER, event.origin());
        EXPECT_TRUE(event.data().isEmpty());
    }
    EXPECT_TRUE(unsubscribedEvents.empty()) << "nothing arrives before a subscription";

    client.subscribe(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED);
    ASSERT_TRUE(pumpUntil([&] {
        server.publishEvent(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, ipctest::SAMPLE_RECORD);
        ipctest::pumpFor(5);
        return events.back().message() == IPC_MSG_EVENT_BATTERY_STATUS_CHANGED;
    }));
    EXPECT_EQ(QByteArray::fromHex("01000000feffffffd4c3b2a1"), events.back().data());
}

TEST_F(IpcBus, BurstOfTenThousandRequestsArrivesCompleteAndInOrder) {
    constexpr qint32 COUNT = 10000;
    int refused = 0;
    for (qint32 sequence = 0; sequence < COUNT; ++sequence) {
        IpcMessage request(IPC_MSG_GET_MEASUREMENT, IPC_ORIGIN_CLIENT_CORE_APP);
        request.appendData(reinterpret_cast<const char*>(&sequence), sizeof sequence);
        // A full channel refuses the frame instead of blocking; the caller retries later.
        while (!client.sendRequestAsZmqMessage(request)) {
            ++refused;
            QCoreApplication::processEvents();
        }
    }
    ASSERT_TRUE(pumpUntil([&] { return requests.size() >= size_t(COUNT); }, 20000))
        << requests.size();
    ipctest::pumpFor(20);
    ASSERT_EQ(size_t(COUNT), requests.size());
    for (qint32 sequence = 0; sequence < COUNT; ++sequence) {
        ASSERT_EQ(4, requests[sequence].data().size());
        qint32 carried;
        memcpy(&carried, requests[sequence].data().constData(), 4);
        ASSERT_EQ(sequence, carried);
    }
    RecordProperty("refused", refused);
}

TEST_F(IpcBus, OneActivationDeliversEverythingQueuedAndAnIdleOneNothing) {
    ipctest::pumpFor(20);
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    ASSERT_TRUE(QMetaObject::invokeMethod(&client, "onResponseSocketActivity"));
    ASSERT_TRUE(QMetaObject::invokeMethod(&client, "onEventSocketActivity"));
    EXPECT_TRUE(requests.empty());
    EXPECT_TRUE(responses.empty());
    EXPECT_TRUE(events.empty());

    // Five requests wait in the server's queue without the event loop running; a single
    // activation hands over all of them, oldest first.
    for (qint8 sequence = 0; sequence < 5; ++sequence) {
        IpcMessage request(IPC_MSG_GET_MEASUREMENT, IPC_ORIGIN_CLIENT_CORE_APP);
        request.appendData(reinterpret_cast<const char*>(&sequence), 1);
        ASSERT_TRUE(client.sendRequestAsZmqMessage(request));
    }
    QThread::msleep(50);
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    ASSERT_EQ(5u, requests.size());
    for (int sequence = 0; sequence < 5; ++sequence) {
        EXPECT_EQ(QByteArray(1, char(sequence)), requests[sequence].data());
    }
}

TEST_F(IpcBus, ZeroMqErrorInsideASlotIsLoggedAndEndsThatActivation) {
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(client.sendRequest(IPC_MSG_GET_DSP_STATUS));
    }
    QThread::msleep(50);
    ipctest::failAReceive(1, EPROTO);
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    EXPECT_EQ(1u, requests.size()) << "reading stopped at the failure";
    EXPECT_EQ(std::vector<std::string>{"ZeroMQ error while reading requests, reading stopped: "
                                       "Protocol error (errno 71)"},
              linesOf(log, "exception_logger", log4cplus::ERROR_LOG_LEVEL));
    // Nothing was lost: the next activation reads the rest.
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    EXPECT_EQ(3u, requests.size());

    ASSERT_TRUE(server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_DSP_STATUS, 'r'));
    QThread::msleep(50);
    log.clear();
    ipctest::failAReceive(0, EFAULT);
    ASSERT_TRUE(QMetaObject::invokeMethod(&client, "onResponseSocketActivity"));
    EXPECT_TRUE(responses.empty());
    EXPECT_EQ(std::vector<std::string>{"ZeroMQ error while reading responses, reading stopped: "
                                       "Bad address (errno 14)"},
              linesOf(log, "exception_logger", log4cplus::ERROR_LOG_LEVEL));
    // The mutex of the response path was released on the way out.
    ASSERT_TRUE(QMetaObject::invokeMethod(&client, "onResponseSocketActivity"));
    ASSERT_EQ(1u, responses.size());
    EXPECT_EQ(QByteArray("r"), responses[0].data());
}

TEST_F(IpcBus, ShortRequestFramesAreDroppedAndLogged) {
    zmq::context_t context;
    zmq::socket_t pusher(context, zmq::socket_type::push);
    pusher.connect(at("requests"));
    sendRaw(pusher, QByteArray::fromHex("383900"));
    sendRaw(pusher, QByteArray::fromHex("38000000030000"));
    sendRaw(pusher, QByteArray());
    sendRaw(pusher, QByteArray::fromHex("2b00000006000000"));
    ASSERT_TRUE(pumpUntil([&] { return requests.size() == 1; }));
    EXPECT_EQ(IPC_MSG_DO_POWER_DOWN, requests[0].message());
    EXPECT_EQ(IPC_ORIGIN_CLIENT_CORE_APP, requests[0].origin());
    const std::vector<std::string> expected{
        "Dropped a request frame of 3 bytes, shorter than the 8-byte header",
        "Dropped a request frame of 7 bytes, shorter than the 8-byte header",
        "Dropped a request frame of 0 bytes, shorter than the 8-byte header"};
    EXPECT_EQ(expected, linesOf(log, "ipc_server_logger", log4cplus::ERROR_LOG_LEVEL));
}

TEST(IpcClientInput, ShortEventAndResponseFramesAreDroppedAndLogged) {
    testsupport::LogCapture log;
    ipctest::TempEndpoints at;
    zmq::context_t context;
    zmq::socket_t publisher(context, zmq::socket_type::pub);
    zmq::socket_t responder(context, zmq::socket_type::push);
    publisher.bind(at("events"));
    responder.bind(at("responses"));

    IpcClient client(true);
    std::vector<IpcMessage> responses, events;
    QObject::connect(&client, &IpcClient::responseReceived,
                     [&](const IpcMessage& m) { responses.push_back(m); });
    QObject::connect(&client, &IpcClient::eventPublished,
                     [&](const IpcMessage& m) { events.push_back(m); });
    client.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("requests").c_str(), at("responses").c_str(),
                     at("events").c_str());
    client.subscribe(IPC_MSG_EVENT_BATTERY_LOW);

    sendRaw(responder, QByteArray::fromHex("14000000"));
    sendRaw(responder, QByteArray::fromHex("1400000002000000"));
    ASSERT_TRUE(pumpUntil([&] {
        // The short event matches the subscribed prefix, so it does reach the client.
        sendRaw(publisher, QByteArray::fromHex("3800000002"));
        sendRaw(publisher, QByteArray::fromHex("3800000002000000"));
        ipctest::pumpFor(5);
        return !events.empty() && !responses.empty();
    }));
    for (const IpcMessage& event : events) {
        EXPECT_EQ(IPC_MSG_EVENT_BATTERY_LOW, event.message());
        EXPECT_EQ(IPC_ORIGIN_SERVER_DSP_MANAGER, event.origin());
    }
    ASSERT_EQ(1u, responses.size());
    EXPECT_EQ(IPC_MSG_GET_BATTERY_STATUS, responses[0].message());

    const std::vector<std::string> errors =
        linesOf(log, "ipc_client_logger", log4cplus::ERROR_LOG_LEVEL);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(1, std::count(errors.begin(), errors.end(),
                            "Dropped a response frame of 4 bytes, shorter than the 8-byte header"));
    EXPECT_GE(std::count(errors.begin(), errors.end(),
                         "Dropped an event frame of 5 bytes, shorter than the 8-byte header"),
              1);
}

TEST_F(IpcBus, ResponseToAnOriginWithoutSocketIsLoggedAndRefused) {
    EXPECT_FALSE(server.sendResponse(IPC_ORIGIN_CLIENT_CAL_APP, IPC_MSG_GET_BATTERY_STATUS,
                                     ipctest::SAMPLE_RECORD));
    EXPECT_FALSE(server.sendResponse(static_cast<IPC_ORIGIN>(7), IPC_MSG_DO_POWER_DOWN, 'x'));
    const std::vector<std::string> expected{
        "No response socket for client origin 13 (IPC_ORIGIN_CLIENT_CAL_APP), response "
        "IPC_MSG_GET_BATTERY_STATUS not sent",
        "No response socket for client origin 7 (IPC_ORIGIN_???"
        "), response "
        "IPC_MSG_DO_POWER_DOWN not sent"};
    EXPECT_EQ(expected, linesOf(log, "ipc_server_logger", log4cplus::ERROR_LOG_LEVEL));
    ipctest::pumpFor(20);
    EXPECT_TRUE(responses.empty());
}

TEST(IpcAbsentPeers, SendsReturnAtOnceAndTheEventLoopKeepsRunning) {
    ipctest::TempEndpoints at;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&ticks] { ++ticks; });
    ticker.start(1);

    // A server whose client never connected its response channel.
    IpcServer server;
    server.init(IPC_ORIGIN_SERVER_PWR_MANAGER, at("requests").c_str(), at("events").c_str());
    server.addResponseSocket(IPC_ORIGIN_CLIENT_CORE_APP, at("core-app").c_str());
    QElapsedTimer clock;
    clock.start();
    int accepted = 0;
    for (int i = 0; i < 2000; ++i) {
        accepted += server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_BATTERY_STATUS,
                                        ipctest::SAMPLE_RECORD);
        // Nobody subscribes; a publisher drops and never refuses.
        EXPECT_TRUE(server.publishSimpleEvent(IPC_MSG_EVENT_BATTERY_LOW));
    }
    EXPECT_EQ(0, accepted);
    // A blocking send would never come back at all; the bound is only a generous sanity check.
    EXPECT_LT(clock.elapsed(), 2000);
    int before = ticks;
    EXPECT_TRUE(pumpUntil([&] { return ticks >= before + 3; }));

    // A client whose server does not exist: frames are queued up to the high-water mark, then
    // refused; no send waits.
    IpcClient client(true);
    client.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("no-requests").c_str(),
                     at("no-responses").c_str(), at("no-events").c_str());
    clock.restart();
    int refused = 0;
    for (int i = 0; i < 3000; ++i) {
        refused += client.sendRequest(IPC_MSG_GET_INSTRUMENT_CONFIG) ? 0 : 1;
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(clock.elapsed(), 2000);
    before = ticks;
    EXPECT_TRUE(pumpUntil([&] { return ticks >= before + 3; }));

    // A server that goes away while its client keeps sending.
    auto transient = std::make_unique<IpcServer>();
    transient->init(IPC_ORIGIN_SERVER_DSP_MANAGER, at("gone-requests").c_str(),
                    at("gone-events").c_str());
    IpcClient orphan(true);
    orphan.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("gone-requests").c_str(),
                     at("gone-responses").c_str(), at("gone-events").c_str());
    ASSERT_TRUE(orphan.sendRequest(IPC_MSG_GET_DSP_STATUS));
    ipctest::pumpFor(20);
    transient.reset();
    clock.restart();
    refused = 0;
    for (int i = 0; i < 3000; ++i) {
        refused += orphan.sendRequest(IPC_MSG_GET_DSP_STATUS) ? 0 : 1;
    }
    EXPECT_GT(refused, 0);
    EXPECT_LT(clock.elapsed(), 2000);
    before = ticks;
    EXPECT_TRUE(pumpUntil([&] { return ticks >= before + 3; }));
}

TEST_F(IpcBus, ClosedEndsRefuseToSend) {
    server.close();
    server.close();
    EXPECT_FALSE(server.publishSimpleEvent(IPC_MSG_EVENT_POWER_DOWN));
    EXPECT_FALSE(server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_BATTERY_STATUS,
                                     ipctest::SAMPLE_RECORD));
    client.close();
    EXPECT_FALSE(client.sendRequest(IPC_MSG_GET_BATTERY_STATUS));
    const std::vector<std::string> expected{
        "Event socket is closed, event IPC_MSG_EVENT_POWER_DOWN not published",
        "Response socket of IPC_ORIGIN_CLIENT_CORE_APP is closed, response "
        "IPC_MSG_GET_BATTERY_STATUS not sent"};
    EXPECT_EQ(expected, linesOf(log, "ipc_server_logger", log4cplus::ERROR_LOG_LEVEL));
    EXPECT_EQ(std::vector<std::string>{"Request socket is closed, request "
                                       "IPC_MSG_GET_BATTERY_STATUS not sent"},
              linesOf(log, "ipc_client_logger", log4cplus::ERROR_LOG_LEVEL));
    ipctest::pumpFor(20);
}

TEST_F(IpcBus, AddingAResponseSocketAgainReplacesOrKeepsTheChannel) {
    // The same address again: the channel stays usable.
    server.addResponseSocket(IPC_ORIGIN_CLIENT_CORE_APP, at("core-app").c_str());
    ASSERT_TRUE(pumpUntil([&] {
        server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_BATTERY_STATUS, 'a');
        ipctest::pumpFor(5);
        return !responses.empty();
    }));

    // A new address: the answers follow the client that connects there.
    server.addResponseSocket(IPC_ORIGIN_CLIENT_CORE_APP, at("core-app-2").c_str());
    IpcClient moved(true);
    std::vector<IpcMessage> movedResponses, movedEvents;
    connectClient(moved, IPC_ORIGIN_CLIENT_CORE_APP, "core-app-2", movedResponses, movedEvents);
    ASSERT_TRUE(pumpUntil([&] {
        server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_BATTERY_STATUS, 'b');
        ipctest::pumpFor(5);
        return !movedResponses.empty();
    }));
    EXPECT_EQ(QByteArray("b"), movedResponses[0].data());
}
