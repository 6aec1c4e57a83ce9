#include "IpcTestSupport.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace ipc;
using ipctest::Record;
using ipctest::SAMPLE_RECORD;

namespace {

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
    EXPECT_TRUE(lines("ipc_client_logger", log4cplus::ERROR_LOG_LEVEL).empty());
    EXPECT_EQ(std::vector<std::string>{"Dropped response IPC_MSG_GET_DSP_STATUS while a "
                                       "synchronous response of IPC_MSG_GET_DSP_STATUS is not "
                                       "consumed yet"},
              lines("ipc_client_logger", log4cplus::WARN_LOG_LEVEL));

    // The third waited behind the dropped one; once the response is consumed it is read,
    // although no new edge came for it.
    ASSERT_TRUE(ipctest::pumpUntil([this] { return responses.size() == 2; }));
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
    EXPECT_EQ(expected, lines("ipc_client_logger", log4cplus::ERROR_LOG_LEVEL));
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
              lines("ipc_client_logger", log4cplus::WARN_LOG_LEVEL));
    const std::vector<std::string> expected{
        "Response awaited but nothing was received, still in synchronisation state 3",
        "Wrong message data size received received, expected 12 bytes but received 0 bytes",
        "Wrong response received, expected IPC_MSG_GET_BATTERY_STATUS but received "
        "IPC_MSG_NONE"};
    EXPECT_EQ(expected, lines("ipc_client_logger", log4cplus::ERROR_LOG_LEVEL));
}
