// The IPC layer: the frames on the wire, the names in the log, a server and its clients over
// private addresses, and both ends against a foreign peer that shares none of their code.

#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include "ipc/DspNames.h"
#include "ipc/IpcClient.h"
#include "ipc/IpcMessage.h"
#include "ipc/IpcMessageIds.h"
#include "ipc/IpcServer.h"
#include "ipc/ZmqFrame.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>
#include <zmq.h>

#include <dlfcn.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <future>
#include <initializer_list>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

using namespace ipc;
using testsupport::pumpFor;
using testsupport::pumpUntil;

namespace {

// Its bytes: 01 00 00 00 fe ff ff ff d4 c3 b2 a1.
struct Record {
    std::int32_t a;
    std::int32_t b;
    std::uint32_t c;
};
static_assert(sizeof(Record) == 12, "no padding");
constexpr Record SAMPLE_RECORD{1, -2, 0xA1B2C3D4u};

// A pwr-manager server and a core-app client, both ends connected. Every request is recorded
// and then handed to `answer`, when one is set.
class IpcBus : public ::testing::Test {
protected:
    explicit IpcBus(bool processQtEventsWhileWaiting = true)
        : client(processQtEventsWhileWaiting) {}

    void SetUp() override {
        server.init(IPC_ORIGIN_SERVER_PWR_MANAGER, at("requests").c_str(), at("events").c_str());
        server.addResponseSocket(IPC_ORIGIN_CLIENT_CORE_APP, at("core-app").c_str());
        QObject::connect(&server, &IpcServer::requestReceived, [this](const IpcMessage& request) {
            requests.push_back(request);
            if (answer) {
                answer(request);
            }
        });
        client.connectTo(IPC_ORIGIN_CLIENT_CORE_APP, at("requests").c_str(), at("core-app").c_str(),
                         at("events").c_str());
        QObject::connect(&client, &IpcClient::responseReceived,
                         [this](const IpcMessage& m) { responses.push_back(m); });
        QObject::connect(&client, &IpcClient::eventPublished,
                         [this](const IpcMessage& m) { events.push_back(m); });
        // A response channel refuses frames until its client is there, so exactly one of these
        // gets through.
        ASSERT_TRUE(pumpUntil(
            [this] { return server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_NONE, '!'); }));
        ASSERT_TRUE(pumpUntil([this] { return !responses.empty(); }));
        responses.clear();
    }

    testsupport::LogCapture log;
    testsupport::TempEndpoints at;
    IpcServer server;
    IpcClient client;
    std::function<void(const IpcMessage&)> answer;
    std::vector<IpcMessage> requests, responses, events;
};

std::atomic<int> passesLeft{-1};
std::atomic<int> injectedError{0};

// Makes a chosen zmq_msg_recv call of this test process fail, to reach the error paths of the
// notifier slots that a healthy socket never takes: the next `pass` receives succeed as usual,
// the one after fails with errorNumber. Every other call goes to libzmq unchanged.
void failAReceive(int pass, int errorNumber) {
    injectedError = errorNumber;
    passesLeft = pass;
}

} // namespace

// Defined in the executable, this takes the place of libzmq's own for every caller in it.
extern "C" int zmq_msg_recv(zmq_msg_t* message, void* socket, int flags) {
    using Receive = int (*)(zmq_msg_t*, void*, int);
    static const auto real = reinterpret_cast<Receive>(dlsym(RTLD_NEXT, "zmq_msg_recv"));
    int left = passesLeft.load();
    while (left >= 0 && !passesLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0) {
        errno = injectedError.load();
        return -1;
    }
    return real(message, socket, flags);
}

namespace {

TEST(IpcMessage, WireFormIsIdentifierOriginPayloadLittleEndianBothWays) {
    IpcMessage status(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, IPC_ORIGIN_SERVER_PWR_MANAGER);
    status.appendData(reinterpret_cast<const char*>(&SAMPLE_RECORD), sizeof SAMPLE_RECORD);
    // A copy changed in every field leaves its original alone. Nothing, a negative and a zero
    // length add nothing; a zero byte is payload like any other.
    const IpcMessage low(IPC_MSG_EVENT_BATTERY_LOW, IPC_ORIGIN_SERVER_PWR_MANAGER);
    IpcMessage pieces = low;
    pieces.setMessage(IPC_MSG_SET_INSTRUMENT_CONFIG);
    pieces.setOrigin(IPC_ORIGIN_CLIENT_PWR_MANAGER);
    pieces.appendData("\x01\x02", 2);
    pieces.appendData(nullptr, 5);
    pieces.appendData("\x03", -1);
    pieces.appendData("\x03", 0);
    pieces.appendData("\x00\x04", 2);
    const std::pair<IpcMessage, const char*> cases[] = {
        {IpcMessage(), "0000000000000000"},
        {low, "3800000003000000"},
        {status, "3b00000003000000 01000000feffffffd4c3b2a1"},
        {pieces, "160000000c000000 01020004"},
        // Values outside the enumerations travel unchanged.
        {IpcMessage(static_cast<IPC_MSG>(-2), static_cast<IPC_ORIGIN>(0x01020304)),
         "feffffff04030201"},
    };
    // Decoding gives back the same frame; what an earlier frame carried is gone.
    IpcMessage decoded;
    for (const auto& [message, hex] : cases) {
        EXPECT_EQ(QByteArray::fromHex(hex), message.toFrame()) << hex;
        const std::unique_ptr<ZmqFrame> frame = message.toZmqMessage();
        EXPECT_EQ(QByteArray::fromHex(hex), QByteArray(frame->data(), qsizetype(frame->size())));
        EXPECT_TRUE(IpcMessage::fromFrame(QByteArray::fromHex(hex), decoded)) << hex;
        EXPECT_EQ(QByteArray::fromHex(hex), decoded.toFrame()) << hex;
    }

    // Shorter frames are refused and leave the message alone.
    const QByteArray full = QByteArray::fromHex("3800000003000000");
    for (int size = 0; size < 8; ++size) {
        IpcMessage out(IPC_MSG_DO_POWER_DOWN, IPC_ORIGIN_CLIENT_CAL_APP);
        out.appendData("x", 1);
        // A copy of the first `size` bytes, with nothing readable behind it.
        EXPECT_FALSE(IpcMessage::fromFrame(QByteArray(full.constData(), size), out)) << size;
        EXPECT_EQ(QByteArray::fromHex("2b0000000d000000 78"), out.toFrame()) << "left alone";
    }
    EXPECT_FALSE(IpcMessage::fromFrame(nullptr, 8, decoded));
}

static_assert(sizeof(IPC_MSG) == 4 && sizeof(IPC_ORIGIN) == 4, "int32 on the wire");
// Numbering the peers use that no frame in these tests shows.
static_assert(IPC_MSG_GET_LOGGING_SESSION_STATUS == 14 &&
                  IPC_MSG_EVENT_SESSION_STATUS_CHANGED == 47 && IPC_MSG_EVENT_POWER_DOWN == 57 &&
                  IPC_MSG_EVENT_WANT_POWER_DOWN == 58 && IPC_MSG_GUARD == 67,
              "identifiers");

// The names a lookup gives for the values, separated by spaces.
template <class Lookup> std::string namesOf(Lookup lookup, std::initializer_list<int> values) {
    std::string names;
    for (int value : values) {
        names += (names.empty() ? "" : " ") + std::string(lookup(value));
    }
    return names;
}

// The tables themselves are the code's; what matters is where they end, that no entry is lost
// or doubled, the fallbacks, and the two names the peers' log tools know with a colon.
TEST(IpcNames, EndsOfTheTablesAndTheirFallbacks) {
    const auto message = [](int value) { return ipcMessageName(static_cast<IPC_MSG>(value)); };
    EXPECT_EQ("IPC_MSG_NONE IPC_MSG_MODIFY_SESSION_FIELDS: IPC_MSG_MODIFY_SESSION_OVERVIEW: "
              "IPC_MSG_GUARD IPC_MSG_??? IPC_MSG_??? IPC_MSG_???",
              namesOf(message, {0, 16, 17, 67, 68, -1, INT_MIN}));
    std::set<std::string> names;
    for (int value = 0; value <= 67; ++value) {
        const std::string text = message(value);
        EXPECT_EQ(value == 16 || value == 17, text.back() == ':') << text;
        EXPECT_EQ(value >= 44 && value <= 66, text.rfind("IPC_MSG_EVENT_", 0) == 0) << text;
        names.insert(text);
    }
    EXPECT_EQ(68u, names.size());

    const auto origin = [](int value) { return ipcOriginName(static_cast<IPC_ORIGIN>(value)); };
    // Every origin is spelled out: the peers' log tools match these names.
    EXPECT_EQ("IPC_ORIGIN_??? IPC_ORIGIN_SERVER_CORE_APP IPC_ORIGIN_SERVER_DSP_MANAGER "
              "IPC_ORIGIN_SERVER_PWR_MANAGER IPC_ORIGIN_SERVER_USB_STORAGE_MANAGER IPC_ORIGIN_??? "
              "IPC_ORIGIN_CLIENT_CORE_APP IPC_ORIGIN_??? IPC_ORIGIN_CLIENT_SESSION_MANAGER "
              "IPC_ORIGIN_CLIENT_STATUS_MANAGER IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE "
              "IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO IPC_ORIGIN_CLIENT_PWR_MANAGER "
              "IPC_ORIGIN_CLIENT_CAL_APP IPC_ORIGIN_??? IPC_ORIGIN_???",
              namesOf(origin, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -1}));
    // Negative values are huge when compared unsigned: neither role.
    for (int value : {INT_MIN, -6, -1, 0, 1, 5, 6, 7, 15, 16, INT_MAX}) {
        const auto role = static_cast<IPC_ORIGIN>(value);
        EXPECT_EQ(value >= 1 && value <= 5, isServerOrigin(role)) << value;
        EXPECT_EQ(value >= 6 && value <= 15, isClientOrigin(role)) << value;
    }

    EXPECT_EQ("ADCO_MSG_EVT_LIVE_DATA ADCO_MSG_RES_GET_CONNECTION_VERIFICATION ADCO_??? ADCO_??? "
              "ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_???",
              namesOf(adcoMessageName, {1, 41, 0, 2, 6, 20, 23, 28, 29, 42, INT_MIN}));
    EXPECT_EQ("PROBE_STATUS_NONE PROBE_STATUS_UKNOWN_PROBE PROBE_STATUS_??? PROBE_STATUS_???",
              namesOf(probeStatusName, {0, 4, 5, -1}));
    EXPECT_EQ("INPUT_TYPE_NONE INPUT_TYPE_FLEXI INPUT_TYPE_??? INPUT_TYPE_??? INPUT_TYPE_???",
              namesOf(currentInputTypeName, {-2, 1, -3, 2, INT_MAX}));
}

TEST_F(IpcBus, BurstOfTenThousandRequestsArrivesCompleteAndInOrder) {
    constexpr qint32 COUNT = 10000;
    QElapsedTimer sending;
    sending.start();
    for (qint32 sequence = 0; sequence < COUNT; ++sequence) {
        IpcMessage request(IPC_MSG_GET_MEASUREMENT, IPC_ORIGIN_CLIENT_CORE_APP);
        request.appendData(reinterpret_cast<const char*>(&sequence), sizeof sequence);
        // A full channel refuses the frame instead of blocking; the caller retries later. A server
        // that stops reading keeps it full for good, which must fail here rather than hang.
        while (!client.sendRequestAsZmqMessage(request)) {
            ASSERT_LT(sending.elapsed(), 20000) << "the server stopped reading at " << sequence;
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
    failAReceive(1, EPROTO);
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    EXPECT_EQ(1u, requests.size()) << "reading stopped at the failure";
    ASSERT_TRUE(QMetaObject::invokeMethod(&server, "onRequestSocketActivity"));
    EXPECT_EQ(1u + IpcServer::MAX_REQUESTS_PER_TURN, requests.size());
    ASSERT_TRUE(pumpUntil([this] { return requests.size() == 100; }));

    ASSERT_TRUE(server.sendResponse(IPC_ORIGIN_CLIENT_CORE_APP, IPC_MSG_GET_DSP_STATUS, 'r'));
    QThread::msleep(50);
    failAReceive(0, EFAULT);
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

using SyncWait = IpcBus;

class SyncWaitSleeping : public IpcBus {
protected:
    SyncWaitSleeping()
        : IpcBus(false) {}
};

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

// Debian's python3-zmq is importable only by the system interpreter.
const std::string PYTHON = "/usr/bin/python3";

using IpcWireCompat = IpcBus;

// The foreign peer first plays a remote com-manager client of this side's server, then a
// dsp-manager server of this side's pwr-manager client.
TEST_F(IpcWireCompat, ServerAndClientTalkToAForeignPeer) {
    const int status = std::system((PYTHON + " -c 'import zmq'").c_str());
    if (status != 0) {
        GTEST_SKIP() << PYTHON << " -c 'import zmq' ended with status " << status;
    }
    server.addResponseSocket(IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, at("remote").c_str());
    answer = [this](const IpcMessage& request) {
        if (request.message() == IPC_MSG_GET_BATTERY_STATUS) {
            EXPECT_TRUE(server.sendResponse(request.origin(), request.message(), SAMPLE_RECORD));
        }
    };
    QTimer publisher;
    QObject::connect(&publisher, &QTimer::timeout, [this] {
        server.publishSimpleEvent(IPC_MSG_EVENT_POWER_DOWN);
        server.publishSimpleEvent(IPC_MSG_EVENT_BATTERY_LOW);
    });
    publisher.start(10);

    IpcClient dspClient(true);
    std::vector<IpcMessage> dspResponses, dspEvents;
    QObject::connect(&dspClient, &IpcClient::responseReceived,
                     [&](const IpcMessage& m) { dspResponses.push_back(m); });
    QObject::connect(&dspClient, &IpcClient::eventPublished, [&](const IpcMessage& m) {
        if (dspEvents.empty()) {
            dspClient.sendRequest(IPC_MSG_GET_DSP_STATUS);
        }
        dspEvents.push_back(m);
    });
    dspClient.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("dsp-requests").c_str(),
                        at("dsp-responses").c_str(), at("dsp-events").c_str());
    dspClient.subscribe(IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);
    // Queued on the connecting side until the peer binds.
    ASSERT_TRUE(dspClient.sendRequest(IPC_MSG_GET_INSTRUMENT_CONFIG));

    // The peer runs to its end while the event loop serves this side. std::system spawns with
    // posix_spawn, which works under qemu-user too (QProcess does not).
    std::string command = "timeout 15 " + PYTHON + " " + IPC_PEER_SCRIPT;
    for (const char* name :
         {"requests", "remote", "events", "dsp-requests", "dsp-responses", "dsp-events"}) {
        command += " " + at(name);
    }
    command += " >" + at.path("peer.out") + " 2>&1";
    auto peer = std::async(std::launch::async, [&] { return std::system(command.c_str()); });
    pumpUntil([&] { return peer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; },
              20000);
    peer.get();
    std::ostringstream output;
    output << std::ifstream(at.path("peer.out")).rdbuf();
    EXPECT_EQ("OK\n", output.str());

    ASSERT_TRUE(pumpUntil([this] { return requests.size() == 2; }));
    EXPECT_EQ(QByteArray::fromHex("140000000a000000"), requests[0].toFrame());
    EXPECT_EQ(QByteArray::fromHex("010000000a000000"), requests[1].toFrame());
    EXPECT_EQ(1u, log.count("Dropped a request frame of 3 bytes, shorter than the 8-byte header"));
    ASSERT_EQ(1u, dspResponses.size());
    EXPECT_EQ(QByteArray::fromHex("1500000002000000deadbeef"), dspResponses[0].toFrame());
    ASSERT_FALSE(dspEvents.empty());
    for (const IpcMessage& event : dspEvents) {
        EXPECT_EQ(QByteArray::fromHex("3c0000000200000001"), event.toFrame());
    }
    EXPECT_EQ(1u, log.count("Dropped a response frame of 4 bytes, shorter than the 8-byte header"));
    EXPECT_TRUE(pumpUntil([this] {
        return log.count("Dropped an event frame of 5 bytes, shorter than the 8-byte header") > 0;
    }));
}

} // namespace
