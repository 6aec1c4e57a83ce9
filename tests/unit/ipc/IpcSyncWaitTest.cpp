#include "IpcTestSupport.h"
#include "support/LogCapture.h"

#include "ipc/IpcClient.h"
#include "ipc/IpcServer.h"

#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace ipc;
using ipctest::Record;
using ipctest::SAMPLE_RECORD;

namespace {

std::vector<std::string> clientLines(const testsupport::LogCapture& log,
                                     log4cplus::LogLevel level) {
    std::vector<std::string> lines;
    for (const testsupport::LogEvent& event : log.events()) {
        if (event.logger == "ipc_client_logger" && event.level == level) {
            lines.push_back(testsupport::LogCapture::stripPrefix(event.message));
        }
    }
    return lines;
}

// A dsp-manager stand-in that answers each request with whatever `answer` does.
class SyncWait : public ::testing::Test {
protected:
    explicit SyncWait(bool processQtEventsWhileWaiting = true)
        : client(processQtEventsWhileWaiting) {}

    void SetUp() override {
        server.init(IPC_ORIGIN_SERVER_DSP_MANAGER, at("requests").c_str(), at("events").c_str());
        server.addResponseSocket(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("responses").c_str());
        QObject::connect(&server, &IpcServer::requestReceived, [this](const IpcMessage& request) {
            if (answer) {
                answer(request);
            }
        });
        client.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("requests").c_str(),
                         at("responses").c_str(), at("events").c_str());
        QObject::connect(&client, &IpcClient::responseReceived,
                         [this](const IpcMessage& m) { responses.push_back(m); });
        // Both ends connected before anything is asked: a response channel refuses frames
        // until its client is there, so exactly one of these gets through.
        ASSERT_TRUE(ipctest::pumpUntil([this] {
            return server.sendResponse(IPC_ORIGIN_CLIENT_PWR_MANAGER, IPC_MSG_NONE, '!');
        }));
        ASSERT_TRUE(ipctest::pumpUntil([this] { return !responses.empty(); }));
        responses.clear();
    }

    testsupport::LogCapture log;
    ipctest::TempEndpoints at;
    IpcServer server;
    IpcClient client;
    std::function<void(const IpcMessage&)> answer;
    std::vector<IpcMessage> responses;
};

class SyncWaitSleeping : public SyncWait {
protected:
    SyncWaitSleeping()
        : SyncWait(false) {}
};

} // namespace

TEST_F(SyncWait, TypedRequestReturnsTheResponseRecord) {
    answer = [this](const IpcMessage& request) {
        EXPECT_EQ(IPC_ORIGIN_CLIENT_PWR_MANAGER, request.origin());
        server.sendResponse(request.origin(), request.message(), SAMPLE_RECORD);
    };
    Record out{};
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(client.requestSynchronously(IPC_MSG_GET_DSP_STATUS, out, 500));
    EXPECT_LT(clock.elapsed(), 3000) << "the minimum time-out is a bound, not a delay";
    EXPECT_EQ(1, out.a);
    EXPECT_EQ(-2, out.b);
    EXPECT_EQ(0xA1B2C3D4u, out.c);
    ASSERT_EQ(1u, responses.size()) << "the awaited response is emitted as well";
    EXPECT_EQ(IPC_ORIGIN_SERVER_DSP_MANAGER, responses[0].origin());
    EXPECT_TRUE(clientLines(log, log4cplus::ERROR_LOG_LEVEL).empty());
    EXPECT_TRUE(clientLines(log, log4cplus::WARN_LOG_LEVEL).empty());
    EXPECT_EQ(IpcClient::Idle, client.syncState());
}

TEST_F(SyncWait, SizeAndIdentifierMismatchAreReportedInOrder) {
    answer = [this](const IpcMessage& request) {
        server.sendResponse(request.origin(), IPC_MSG_GET_INSTRUMENT_CONFIG, qint32(7));
    };
    Record out{9, 9, 9};
    EXPECT_FALSE(client.requestSynchronously(IPC_MSG_GET_BATTERY_STATUS, out, 0));
    const std::vector<std::string> expected{
        "Wrong message data size received received, expected 12 bytes but received 4 bytes",
        "Wrong response received, expected IPC_MSG_GET_BATTERY_STATUS but received "
        "IPC_MSG_GET_INSTRUMENT_CONFIG"};
    EXPECT_EQ(expected, clientLines(log, log4cplus::ERROR_LOG_LEVEL));
    EXPECT_EQ(9, out.a) << "the record is left alone";
}

TEST_F(SyncWait, SecondResponseWhileAwaitingIsDroppedAndLaterOnesStillFlow) {
    answer = [this](const IpcMessage& request) {
        server.sendResponse(request.origin(), request.message(), SAMPLE_RECORD);
        server.sendResponse(request.origin(), request.message(), Record{2, 2, 2});
        server.sendResponse(request.origin(), request.message(), Record{3, 3, 3});
        // All three are in the client's queue before its notifier gets to run.
        QThread::msleep(50);
    };
    Record out{};
    ASSERT_TRUE(client.requestSynchronously(IPC_MSG_GET_DSP_STATUS, out, 500));
    EXPECT_EQ(1, out.a);
    ASSERT_EQ(1u, responses.size()) << "the second is read and dropped in the same activation";
    EXPECT_EQ(std::vector<std::string>{"Dropped response IPC_MSG_GET_DSP_STATUS while a "
                                       "synchronous response of IPC_MSG_GET_DSP_STATUS is not "
                                       "consumed yet"},
              clientLines(log, log4cplus::WARN_LOG_LEVEL));

    // The third waited behind the dropped one; once the response is consumed it is read,
    // although no new edge came for it.
    ASSERT_TRUE(ipctest::pumpUntil([this] { return responses.size() == 2; }));
    EXPECT_EQ(QByteArray::fromHex("030000000300000003000000"), responses[1].data());

    answer = nullptr;
    server.sendResponse(IPC_ORIGIN_CLIENT_PWR_MANAGER, IPC_MSG_GET_DSP_STATUS, 'x');
    ASSERT_TRUE(ipctest::pumpUntil([this] { return responses.size() == 3; }));
    EXPECT_EQ(QByteArray("x"), responses[2].data());
}

TEST_F(SyncWait, WaitRunsTheEventLoopForAtLeastThreeSeconds) {
    // The answer comes 1.5 s late: still in time, because no wait is shorter than 3000 ms.
    answer = [this](const IpcMessage& request) {
        QTimer::singleShot(1500, &server, [this, request] {
            server.sendResponse(request.origin(), request.message(), SAMPLE_RECORD);
        });
    };
    Record out{};
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(client.requestSynchronously(IPC_MSG_GET_DSP_STATUS, out, 500));
    EXPECT_GE(clock.elapsed(), 1500);
    EXPECT_EQ(1, out.a);
    EXPECT_TRUE(clientLines(log, log4cplus::WARN_LOG_LEVEL).empty());
}

TEST_F(SyncWaitSleeping, TimeOutAfterTheMinimumWithWarningAndReport) {
    bool timerRan = false;
    QTimer::singleShot(0, [&timerRan] { timerRan = true; });
    Record out{};
    QElapsedTimer clock;
    clock.start();
    EXPECT_FALSE(client.requestSynchronously(IPC_MSG_GET_BATTERY_STATUS, out, 500));
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 3000);
    EXPECT_LT(elapsed, 3000 + 1000);
    EXPECT_FALSE(timerRan) << "a sleeping wait does not run the event loop";

    EXPECT_EQ(std::vector<std::string>{"Synchronous response timeout for request "
                                       "IPC_MSG_GET_BATTERY_STATUS"},
              clientLines(log, log4cplus::WARN_LOG_LEVEL));
    const std::vector<std::string> expected{
        "Response awaited but nothing was received, still in synchronisation state 3",
        "Wrong message data size received received, expected 12 bytes but received 0 bytes",
        "Wrong response received, expected IPC_MSG_GET_BATTERY_STATUS but received "
        "IPC_MSG_NONE"};
    EXPECT_EQ(expected, clientLines(log, log4cplus::ERROR_LOG_LEVEL));

    // The request did reach the server; nothing was answered.
    ipctest::pumpFor(20);
    EXPECT_TRUE(timerRan);
    EXPECT_TRUE(responses.empty());
}
