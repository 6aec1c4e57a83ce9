#pragma once

// A fixture that plays the owner of a mirrored value on plain ZeroMQ sockets, so that the tests
// see the bytes a real IpcClient puts on the wire: a PULL for requests, a PUSH for responses and
// an XPUB for events (an XPUB also hands over the subscriptions it receives). The buffer under
// test is fed by that client.

#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include "ipc/IpcClient.h"
#include "model/ModelBufferBase.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QtEndian>

#include <gtest/gtest.h>
#include <zmq.hpp>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace modeltest {

using Line = std::pair<log4cplus::LogLevel, std::string>;

template <class Buffer> class FakeOwner : public ::testing::Test {
protected:
    FakeOwner() {
        for (auto [socket, name] : {std::pair{&requestSocket, "requests"},
                                    {&responseSocket, "responses"},
                                    {&eventSocket, "events"}}) {
            socket->set(zmq::sockopt::linger, 0);
            socket->bind(at(name));
        }
        clock.start();
        ipc::registerIpcMetaTypes();
        client.connectTo(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, at("requests").c_str(),
                         at("responses").c_str(), at("events").c_str());
        QObject::connect(&buffer, &model::ModelBufferBase::updated,
                         [this](ipc::IPC_MSG id) { updates.push_back(id); });
    }

    // A frame as a dsp-manager (origin 2) would send it.
    static void send(zmq::socket_t& socket, ipc::IPC_MSG message, const QByteArray& payload) {
        QByteArray frame(8, '\0');
        qToLittleEndian<qint32>(message, frame.data());
        qToLittleEndian<qint32>(ipc::IPC_ORIGIN_SERVER_DSP_MANAGER, frame.data() + 4);
        frame += payload;
        socket.send(zmq::buffer(frame.constData(), static_cast<size_t>(frame.size())),
                    zmq::send_flags::dontwait);
    }

    // Runs the event loop, taking in what reaches the owner, until done() holds.
    bool until(const std::function<bool()>& done, int timeoutMs = 3000) {
        const auto bytes = [](const zmq::message_t& m) {
            return QByteArray(m.data<char>(), static_cast<qsizetype>(m.size()));
        };
        return testsupport::pumpUntil(
            [&] {
                zmq::message_t frame;
                while (requestSocket.recv(frame, zmq::recv_flags::dontwait)) {
                    requests.push_back({bytes(frame), clock.elapsed()});
                }
                while (eventSocket.recv(frame, zmq::recv_flags::dontwait)) {
                    subscriptions.push_back(bytes(frame));
                }
                return done();
            },
            timeoutMs);
    }
    void idle(int milliseconds) {
        until([] { return false; }, milliseconds);
    }

    std::vector<Line> lines() const {
        std::vector<Line> result;
        for (const testsupport::LogEvent& event : capture.events()) {
            if (event.logger == "model_buffer_logger") {
                result.emplace_back(event.level,
                                    testsupport::LogCapture::stripPrefix(event.message));
            }
        }
        return result;
    }

    struct Request {
        QByteArray frame;
        qint64 atMs; // since the fixture was made
    };
    testsupport::LogCapture capture;
    testsupport::TempEndpoints at;
    zmq::context_t context;
    zmq::socket_t requestSocket{context, zmq::socket_type::pull};
    zmq::socket_t responseSocket{context, zmq::socket_type::push};
    zmq::socket_t eventSocket{context, zmq::socket_type::xpub};
    QElapsedTimer clock;
    std::vector<Request> requests;
    std::vector<QByteArray> subscriptions; // 0x01, then the subscribed prefix
    ipc::IpcClient client{false};
    Buffer buffer;
    std::vector<ipc::IPC_MSG> updates;
};

} // namespace modeltest
