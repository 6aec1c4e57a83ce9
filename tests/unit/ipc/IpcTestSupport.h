#pragma once

// What the IPC tests share: a record with a recognisable image and a server with one client on
// private addresses.

#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include "ipc/IpcClient.h"
#include "ipc/IpcServer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ipctest {

using testsupport::pumpFor;
using testsupport::pumpUntil;

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
        server.init(ipc::IPC_ORIGIN_SERVER_PWR_MANAGER, at("requests").c_str(),
                    at("events").c_str());
        server.addResponseSocket(ipc::IPC_ORIGIN_CLIENT_CORE_APP, at("core-app").c_str());
        QObject::connect(&server, &ipc::IpcServer::requestReceived,
                         [this](const ipc::IpcMessage& request) {
                             requests.push_back(request);
                             if (answer) {
                                 answer(request);
                             }
                         });
        client.connectTo(ipc::IPC_ORIGIN_CLIENT_CORE_APP, at("requests").c_str(),
                         at("core-app").c_str(), at("events").c_str());
        QObject::connect(&client, &ipc::IpcClient::responseReceived,
                         [this](const ipc::IpcMessage& m) { responses.push_back(m); });
        QObject::connect(&client, &ipc::IpcClient::eventPublished,
                         [this](const ipc::IpcMessage& m) { events.push_back(m); });
        // A response channel refuses frames until its client is there, so exactly one of these
        // gets through.
        ASSERT_TRUE(pumpUntil([this] {
            return server.sendResponse(ipc::IPC_ORIGIN_CLIENT_CORE_APP, ipc::IPC_MSG_NONE, '!');
        }));
        ASSERT_TRUE(pumpUntil([this] { return !responses.empty(); }));
        responses.clear();
    }

    testsupport::LogCapture log;
    testsupport::TempEndpoints at;
    ipc::IpcServer server;
    ipc::IpcClient client;
    std::function<void(const ipc::IpcMessage&)> answer;
    std::vector<ipc::IpcMessage> requests, responses, events;
};

} // namespace ipctest
