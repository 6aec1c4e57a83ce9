// The IPC ends against a peer that shares none of their code: a Python script that builds and
// checks frames from the byte layout alone.

#include "IpcTestSupport.h"
#include "support/LogCapture.h"

#include "ipc/IpcClient.h"
#include "ipc/IpcServer.h"

#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <vector>

using namespace ipc;

namespace {

// Debian's python3-zmq is importable only by the system interpreter.
const char* const PYTHON = "/usr/bin/python3";

bool pythonHasZmq() {
    if (!QFileInfo(PYTHON).isExecutable()) {
        return false;
    }
    return QProcess::execute(PYTHON, {"-c", "import zmq"}) == 0;
}

class Peer {
public:
    Peer(const char* role, const std::string& requests, const std::string& responses,
         const std::string& events) {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(PYTHON, {IPC_PEER_SCRIPT, role, QString::fromStdString(requests),
                                QString::fromStdString(responses), QString::fromStdString(events)});
    }
    ~Peer() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(1000);
        }
    }
    bool finished() const { return process_.state() == QProcess::NotRunning; }
    int exitCode() const { return process_.exitCode(); }
    QString output() { return QString::fromUtf8(process_.readAll()); }

private:
    QProcess process_;
};

} // namespace

TEST(IpcWireCompat, ServerAnswersAndPublishesToAForeignClient) {
    if (!pythonHasZmq()) {
        GTEST_SKIP() << "/usr/bin/python3 with zmq is not available";
    }
    testsupport::LogCapture log;
    ipctest::TempEndpoints at;
    IpcServer server;
    server.init(IPC_ORIGIN_SERVER_PWR_MANAGER, at("requests").c_str(), at("events").c_str());
    server.addResponseSocket(IPC_ORIGIN_CLIENT_CORE_APP, at("core-app").c_str());
    std::vector<IpcMessage> requests;
    QObject::connect(&server, &IpcServer::requestReceived, [&](const IpcMessage& request) {
        requests.push_back(request);
        if (request.message() == IPC_MSG_GET_BATTERY_STATUS) {
            EXPECT_TRUE(server.sendResponse(request.origin(), IPC_MSG_GET_BATTERY_STATUS,
                                            ipctest::SAMPLE_RECORD));
        }
    });
    QTimer publisher;
    QObject::connect(&publisher, &QTimer::timeout, [&server] {
        server.publishSimpleEvent(IPC_MSG_EVENT_POWER_DOWN);
        server.publishSimpleEvent(IPC_MSG_EVENT_BATTERY_LOW);
    });
    publisher.start(10);

    Peer peer("client", at("requests"), at("core-app"), at("events"));
    ASSERT_TRUE(ipctest::pumpUntil([&] { return peer.finished(); }, 15000));
    const QString output = peer.output();
    EXPECT_EQ(0, peer.exitCode()) << output.toStdString();
    EXPECT_TRUE(output.contains("RESPONSE 140000000300000001000000feffffffd4c3b2a1\n"))
        << output.toStdString();
    EXPECT_TRUE(output.contains("EVENT 3800000003000000\n")) << output.toStdString();
    EXPECT_FALSE(output.contains("EVENT 3900000003000000")) << output.toStdString();

    ipctest::pumpUntil([&] { return requests.size() == 2; });
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(IPC_MSG_GET_BATTERY_STATUS, requests[0].message());
    EXPECT_EQ(IPC_ORIGIN_CLIENT_CORE_APP, requests[0].origin());
    EXPECT_TRUE(requests[0].data().isEmpty());
    EXPECT_EQ(IPC_MSG_GET_DSP_STATUS, requests[1].message());
    EXPECT_EQ(1u, log.count("Dropped a request frame of 3 bytes, shorter than the 8-byte header"));
}

TEST(IpcWireCompat, ClientTalksToAForeignServer) {
    if (!pythonHasZmq()) {
        GTEST_SKIP() << "/usr/bin/python3 with zmq is not available";
    }
    ipctest::TempEndpoints at;
    Peer peer("server", at("requests"), at("responses"), at("events"));

    IpcClient client(true);
    std::vector<IpcMessage> responses, events;
    QObject::connect(&client, &IpcClient::responseReceived,
                     [&](const IpcMessage& m) { responses.push_back(m); });
    QObject::connect(&client, &IpcClient::eventPublished, [&](const IpcMessage& m) {
        if (events.empty()) {
            client.sendRequest(IPC_MSG_GET_DSP_STATUS);
        }
        events.push_back(m);
    });
    client.connectTo(IPC_ORIGIN_CLIENT_PWR_MANAGER, at("requests").c_str(), at("responses").c_str(),
                     at("events").c_str());
    client.subscribe(IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);
    ASSERT_TRUE(client.sendRequest(IPC_MSG_GET_INSTRUMENT_CONFIG));

    ASSERT_TRUE(ipctest::pumpUntil([&] { return peer.finished(); }, 15000));
    const QString output = peer.output();
    EXPECT_EQ(0, peer.exitCode()) << output.toStdString();
    EXPECT_TRUE(output.contains("REQUEST 150000000c000000\n")) << output.toStdString();
    EXPECT_TRUE(output.contains("ACK 010000000c000000\n")) << output.toStdString();

    ASSERT_EQ(1u, responses.size());
    EXPECT_EQ(IPC_MSG_GET_INSTRUMENT_CONFIG, responses[0].message());
    EXPECT_EQ(IPC_ORIGIN_SERVER_DSP_MANAGER, responses[0].origin());
    EXPECT_EQ(QByteArray::fromHex("deadbeef"), responses[0].data());
    ASSERT_FALSE(events.empty());
    for (const IpcMessage& event : events) {
        EXPECT_EQ(IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED, event.message());
        EXPECT_EQ(IPC_ORIGIN_SERVER_DSP_MANAGER, event.origin());
        EXPECT_EQ(QByteArray::fromHex("01"), event.data());
    }
}
