#include "IpcTestSupport.h"
#include "ZmqFaultInjection.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <vector>

using namespace ipc;
using ipctest::IpcBus;
using ipctest::pumpFor;
using ipctest::pumpUntil;
using ipctest::SAMPLE_RECORD;

TEST_F(IpcBus, BurstOfTenThousandRequestsArrivesCompleteAndInOrder) {
    constexpr qint32 COUNT = 10000;
    for (qint32 sequence = 0; sequence < COUNT; ++sequence) {
        IpcMessage request(IPC_MSG_GET_MEASUREMENT, IPC_ORIGIN_CLIENT_CORE_APP);
        request.appendData(reinterpret_cast<const char*>(&sequence), sizeof sequence);
        // A full channel refuses the frame instead of blocking; the caller retries later.
        while (!client.sendRequestAsZmqMessage(request)) {
            QCoreApplication::processEvents();
        }
    }
    ASSERT_TRUE(pumpUntil([&] { return requests.size() >= size_t(COUNT); }, 20000));
    pumpFor(20);
    ASSERT_EQ(size_t(COUNT), requests.size());
    for (qint32 sequence = 0; sequence < COUNT; ++sequence) {
        ASSERT_EQ(QByteArray(reinterpret_cast<const char*>(&sequence), 4),
                  requests[sequence].data());
    }
}

// While its receiver has it paused the server reads nothing (ZeroMQ holds the frames). A ZeroMQ
// error inside a slot is logged and ends that activation. The next one reads what waits, at most
// 64 frames a turn so that the timers get their turn too, and the rest follows by itself although
// the notifier signals edges only.
TEST_F(IpcBus, PausedOrFailedReadingAndAtMost64FramesATurn) {
    server.pauseRequests();
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(client.sendRequest(IPC_MSG_GET_DSP_STATUS));
    }
    pumpFor(100);
    EXPECT_TRUE(requests.empty());
    server.resumeRequests();
    ipctest::failAReceive(1, EPROTO);
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    EXPECT_EQ(1u, requests.size()) << "reading stopped at the failure";
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    EXPECT_EQ(1u + IpcServer::MAX_REQUESTS_PER_TURN, requests.size());
    ASSERT_TRUE(pumpUntil([this] { return requests.size() == 100; }));

    ASSERT_TRUE(server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_DSP_STATUS, 'r'));
    QThread::msleep(50);
    ipctest::failAReceive(0, EFAULT);
    ASSERT_TRUE(QMetaObject::invokeMethod(&client, "onResponseSocketActivity"));
    EXPECT_TRUE(responses.empty());
    // The response path's lock and state were released on the way out.
    ASSERT_TRUE(QMetaObject::invokeMethod(&client, "onResponseSocketActivity"));
    ASSERT_EQ(1u, responses.size());
    EXPECT_EQ(QByteArray("r"), responses[0].data());
    EXPECT_EQ((std::vector<std::string>{
                  "ZeroMQ error while reading requests, reading stopped: Protocol error (errno 71)",
                  "ZeroMQ error while reading responses, reading stopped: Bad address (errno 14)"}),
              log.messages("exception_logger", log4cplus::ERROR_LOG_LEVEL));
}

TEST_F(IpcBus, RefusedSendsAreLoggedAndReported) {
    EXPECT_FALSE(
        server.sendResponse(IPC_ORIGIN_CLIENT_CAL_APP, IPC_MSG_GET_BATTERY_STATUS, SAMPLE_RECORD));
    EXPECT_FALSE(server.sendResponse(static_cast<IPC_ORIGIN>(7), IPC_MSG_DO_POWER_DOWN, 'x'));
    server.close();
    server.close();
    EXPECT_FALSE(server.publishSimpleEvent(IPC_MSG_EVENT_POWER_DOWN));
    EXPECT_FALSE(
        server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_BATTERY_STATUS, SAMPLE_RECORD));
    client.close();
    EXPECT_FALSE(client.sendRequest(IPC_MSG_GET_BATTERY_STATUS));
    const std::vector<std::string> expected{
        "No response socket for client origin 13 (IPC_ORIGIN_CLIENT_CAL_APP), response "
        "IPC_MSG_GET_BATTERY_STATUS not sent",
        "No response socket for client origin 7 (IPC_ORIGIN_???"
        "), response IPC_MSG_DO_POWER_DOWN not sent",
        "Event socket is closed, event IPC_MSG_EVENT_POWER_DOWN not published",
        "Response socket of IPC_ORIGIN_CLIENT_CORE_APP is closed, response "
        "IPC_MSG_GET_BATTERY_STATUS not sent"};
    EXPECT_EQ(expected, log.messages("ipc_server_logger", log4cplus::ERROR_LOG_LEVEL));
    EXPECT_EQ(std::vector<std::string>{"Request socket is closed, request "
                                       "IPC_MSG_GET_BATTERY_STATUS not sent"},
              log.messages("ipc_client_logger", log4cplus::ERROR_LOG_LEVEL));
    pumpFor(20);
    EXPECT_TRUE(responses.empty());
}

TEST(IpcAbsentPeers, SendsReturnAtOnceAndAClientBacksOffYetReachesALateServerWithin5s) {
    testsupport::TempEndpoints at;
    std::vector<IpcMessage> requests, responses, events;
    IpcClient client(true);
    QObject::connect(&client, &IpcClient::responseReceived,
                     [&responses](const IpcMessage& m) { responses.push_back(m); });
    QObject::connect(&client, &IpcClient::eventPublished,
                     [&events](const IpcMessage& m) { events.push_back(m); });
    QElapsedTimer sinceConnect;
    sinceConnect.start();
    client.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("requests").c_str(), at("responses").c_str(),
                     at("events").c_str());
    client.subscribe(IPC_MSG_EVENT_BATTERY_LOW);
    // Queued until the server is there.
    ASSERT_TRUE(client.sendRequest(IPC_MSG_GET_INSTRUMENT_CONFIG));
    ASSERT_TRUE(client.sendRequest(IPC_MSG_GET_LOGGING_SESSION_STATUS));

    // Meanwhile, sends to absent peers return at once. A blocking send would never come back at
    // all; the bound is only a sanity check.
    const auto refusals = [](const std::function<bool()>& send) {
        QElapsedTimer clock;
        clock.start();
        int refused = 0;
        for (int i = 0; i < 3000; ++i) {
            refused += send() ? 0 : 1;
        }
        EXPECT_LT(clock.elapsed(), 2000);
        return refused;
    };
    // A server whose client never connected its response channel; nobody subscribes either,
    // and a publisher then drops without refusing.
    IpcServer lonely;
    lonely.init(IPC_ORIGIN_SERVER_PWR_MANAGER, at("lonely").c_str(), at("lonely-events").c_str());
    lonely.addResponseSocket(IPC_ORIGIN_CLIENT_CORE_APP, at("core-app").c_str());
    EXPECT_EQ(3000, refusals([&] {
                  return lonely.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_BATTERY_STATUS,
                                             SAMPLE_RECORD);
              }));
    EXPECT_EQ(0, refusals([&] { return lonely.publishSimpleEvent(IPC_MSG_EVENT_BATTERY_LOW); }));
    // A client whose server does not exist queues up to the high-water mark, then refuses.
    IpcClient stranded(true);
    stranded.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("no-requests").c_str(),
                       at("no-responses").c_str(), at("no-events").c_str());
    EXPECT_GT(refusals([&] { return stranded.sendRequest(IPC_MSG_GET_INSTRUMENT_CONFIG); }), 0);

    // Attempts come 0.1, 0.3, 0.7, 1.5, 3.1 and 6.3 s after the connect (each step adds up to
    // 0.1 s), then every 4.9 to 5 s: a server started at 4 s is found at 6.3 s at the earliest,
    // where attempts every 100 ms would have found it at once.
    pumpFor(4000 - int(sinceConnect.elapsed()));
    IpcServer server;
    QObject::connect(&server, &IpcServer::requestReceived,
                     [&requests](const IpcMessage& m) { requests.push_back(m); });
    server.init(IPC_ORIGIN_SERVER_DSP_MANAGER, at("requests").c_str(), at("events").c_str());
    server.addResponseSocket(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("responses").c_str());
    QElapsedTimer sinceStart;
    sinceStart.start();
    ASSERT_TRUE(pumpUntil([&requests] { return requests.size() == 2; }, 8000));
    EXPECT_GE(sinceConnect.elapsed(), 6000);
    EXPECT_EQ(IPC_MSG_GET_INSTRUMENT_CONFIG, requests[0].message());
    EXPECT_EQ(IPC_MSG_GET_LOGGING_SESSION_STATUS, requests[1].message());

    // Once a channel carries its first frame, every later one arrives, in order, with the
    // server's origin and the one-byte payload.
    const auto everyFrameArrives = [&sinceStart](const std::function<bool(int)>& send,
                                                 const std::vector<IpcMessage>& received,
                                                 const char* header) {
        EXPECT_TRUE(pumpUntil(
            [&] { return send(0) && pumpUntil([&] { return !received.empty(); }, 50); }, 8000));
        // The bound of ZeroMQ's attempts, with a second to spare for a loaded machine.
        EXPECT_LT(sinceStart.elapsed(), 6000);
        const size_t first = received.size();
        for (int index = 1; index <= 50; ++index) {
            EXPECT_TRUE(send(index));
        }
        ASSERT_TRUE(pumpUntil([&] { return received.size() == first + 50; }));
        for (size_t index = first; index < received.size(); ++index) {
            EXPECT_EQ(QByteArray::fromHex(header) + char(index - first + 1),
                      received[index].toFrame());
        }
    };
    everyFrameArrives(
        [&server](int index) {
            return server.sendResponse(IPC_ORIGIN_CLIENT_PWR_MANAGER, IPC_MSG_GET_BATTERY_STATUS,
                                       static_cast<char>(index));
        },
        responses, "1400000002000000");
    everyFrameArrives(
        [&server](int index) {
            return server.publishEvent(IPC_MSG_EVENT_BATTERY_LOW, static_cast<char>(index));
        },
        events, "3800000002000000");
}

namespace {

using ipctest::Record;
using SyncWait = ipctest::IpcBus;

class SyncWaitSleeping : public ipctest::IpcBus {
protected:
    SyncWaitSleeping()
        : IpcBus(false) {}
};

} // namespace

TEST_F(SyncWait, AwaitedResponseIsReturnedOrReported) {
    answer = [this](const IpcMessage& request) {
        server.sendResponse(request.origin(), request.message(), SAMPLE_RECORD);
        server.sendResponse(request.origin(), request.message(), Record{2, 2, 2});
        server.sendResponse(request.origin(), request.message(), Record{3, 3, 3});
        // All three are in the client's queue before its notifier gets to run.
        QThread::msleep(50);
    };
    Record out{};
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(client.requestSynchronously(IPC_MSG_GET_DSP_STATUS, out, 500));
    EXPECT_LT(clock.elapsed(), 3000) << "the minimum time-out is a bound, not a delay";
    EXPECT_EQ(0, memcmp(&SAMPLE_RECORD, &out, sizeof out));
    EXPECT_EQ(IpcClient::Idle, client.syncState());
    // The awaited response is emitted as well; the second is read and dropped in the same
    // activation.
    ASSERT_EQ(1u, responses.size());
    EXPECT_EQ(QByteArray::fromHex("0100000003000000 01000000feffffffd4c3b2a1"),
              responses[0].toFrame());
    EXPECT_TRUE(log.messages("ipc_client_logger", log4cplus::ERROR_LOG_LEVEL).empty());
    EXPECT_EQ(std::vector<std::string>{"Dropped response IPC_MSG_GET_DSP_STATUS while a "
                                       "synchronous response of IPC_MSG_GET_DSP_STATUS is not "
                                       "consumed yet"},
              log.messages("ipc_client_logger", log4cplus::WARN_LOG_LEVEL));

    // The third waited behind the dropped one; once the response is consumed it is read,
    // although no new edge came for it.
    ASSERT_TRUE(pumpUntil([this] { return responses.size() == 2; }));
    EXPECT_EQ(QByteArray::fromHex("030000000300000003000000"), responses[1].data());

    // Responses flow again: a size and an identifier mismatch in one give two reports, in order.
    log.clear();
    answer = [this](const IpcMessage& request) {
        server.sendResponse(request.origin(), IPC_MSG_GET_INSTRUMENT_CONFIG, qint32(7));
    };
    Record kept{9, 9, 9};
    EXPECT_FALSE(client.requestSynchronously(IPC_MSG_GET_BATTERY_STATUS, kept, 0));
    const std::vector<std::string> expected{
        "Wrong message data size received received, expected 12 bytes but received 4 bytes",
        "Wrong response received, expected IPC_MSG_GET_BATTERY_STATUS but received "
        "IPC_MSG_GET_INSTRUMENT_CONFIG"};
    EXPECT_EQ(expected, log.messages("ipc_client_logger", log4cplus::ERROR_LOG_LEVEL));
    EXPECT_EQ(9, kept.a) << "the record is left alone";
}

TEST_F(SyncWaitSleeping, TimeOutAfterTheMinimumWithWarningAndReport) {
    bool timerRan = false;
    // The context ends the timer with the test, should a later test's event loop come first.
    QObject context;
    QTimer::singleShot(0, &context, [&timerRan] { timerRan = true; });
    Record out{};
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client.requestSynchronously(IPC_MSG_GET_BATTERY_STATUS, out, 500));
    EXPECT_GE(clock.elapsed(), 3000);
    EXPECT_LT(clock.elapsed(), 3000 + 1000);
    EXPECT_FALSE(timerRan) << "a sleeping wait does not run the event loop";
    EXPECT_EQ(std::vector<std::string>{"Synchronous response timeout for request "
                                       "IPC_MSG_GET_BATTERY_STATUS"},
              log.messages("ipc_client_logger", log4cplus::WARN_LOG_LEVEL));
    const std::vector<std::string> expected{
        "Response awaited but nothing was received, still in synchronisation state 3",
        "Wrong message data size received received, expected 12 bytes but received 0 bytes",
        "Wrong response received, expected IPC_MSG_GET_BATTERY_STATUS but received "
        "IPC_MSG_NONE"};
    EXPECT_EQ(expected, log.messages("ipc_client_logger", log4cplus::ERROR_LOG_LEVEL));
}
