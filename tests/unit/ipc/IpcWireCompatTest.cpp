// The IPC ends against a peer that shares none of their code: a Python script that builds and
// checks frames from the byte layout alone.

#include "IpcTestSupport.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <future>
#include <sstream>
#include <vector>

using namespace ipc;

namespace {

// Debian's python3-zmq is importable only by the system interpreter.
const std::string PYTHON = "/usr/bin/python3";

using IpcWireCompat = ipctest::IpcBus;

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
            EXPECT_TRUE(
                server.sendResponse(request.origin(), request.message(), ipctest::SAMPLE_RECORD));
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
    ipctest::pumpUntil(
        [&] { return peer.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 20000);
    peer.get();
    std::ostringstream output;
    output << std::ifstream(at.path("peer.out")).rdbuf();
    EXPECT_EQ("OK\n", output.str());

    ASSERT_TRUE(ipctest::pumpUntil([this] { return requests.size() == 2; }));
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
    EXPECT_TRUE(ipctest::pumpUntil([this] {
        return log.count("Dropped an event frame of 5 bytes, shorter than the 8-byte header") > 0;
    }));
}

} // namespace
