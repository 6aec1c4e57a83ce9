#pragma once

#include "foundation/InitSingletonT.h"
#include "foundation/Log.h"
#include "ipc/IpcMessage.h"
#include "ipc/ZmqContext.h"
#include "ipc/ZmqSocket.h"

#include <QObject>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <type_traits>

class QSocketNotifier;

namespace ipc {

// The server end of the bus: requests from any client arrive on one PULL socket, each response
// goes back on the PUSH socket of the requesting client's origin, events go out on one PUB
// socket. Driven by a socket notifier on the thread that runs the event loop; nothing here ever
// waits for a peer.
//
// Requests are read no faster than their receiver takes them: it can pause reading, and then
// ZeroMQ keeps what comes in its bounded queue (REQUEST_HIGH_WATER_MARK frames per client) and
// holds the senders back. A flooding client thus costs bounded memory, and ZeroMQ's fair queueing
// between clients keeps the others served.
class IpcServer : public QObject, public shared::InitSingletonT<IpcServer> {
    Q_OBJECT

public:
    typedef shared::InitSingletonT<IpcServer> BASE_InitSingleton_OF_IpcServer;

    // Frames ZeroMQ queues for each client before it holds that client back.
    static constexpr int REQUEST_HIGH_WATER_MARK = 1000;
    // Frames read in one turn of the event loop; the rest wait for the next turn, so that a flood
    // cannot hold up the timers.
    static constexpr int MAX_REQUESTS_PER_TURN = 64;

    IpcServer();
    ~IpcServer() override;

    // Binds the requests (PULL) and events (PUB) addresses and starts watching for requests.
    // Throws zmq::error_t when an address cannot be bound.
    void init(IPC_ORIGIN origin, const char* requestsAddress, const char* eventsAddress);

    // A client whose request frame is larger is disconnected by ZeroMQ (it reconnects by
    // itself). Applies to connections made after init, so call it before. Unlimited by default.
    void setMaxRequestSize(std::int64_t bytes);

    // While paused no request is read; resuming reads what waits, on a later turn.
    void pauseRequests() { requestsPaused_ = true; }
    void resumeRequests();
    bool requestsPaused() const { return requestsPaused_; }

    // Binds the response channel of one client; an earlier one of the same origin is replaced.
    void addResponseSocket(IPC_ORIGIN clientOrigin, const char* address);

    // Sends the record's bytes to the client, stamped with this server's origin. False when the
    // client has no response socket or its channel would block (absent or slow client).
    template <class Structure>
    bool sendResponse(IPC_ORIGIN clientOrigin, IPC_MSG message, const Structure& record) {
        static_assert(std::is_trivially_copyable<Structure>::value,
                      "a record travels as its raw bytes");
        try {
            IpcMessage response(message, origin_);
            response.appendData(reinterpret_cast<const char*>(&record), sizeof(Structure));
            return sendOnResponseSocket(clientOrigin, response);
        }
        CATCH_ALL_AND_ABORT
        return false;
    }

    // Publishes the record's bytes to every subscriber of the identifier.
    template <class Structure> bool publishEvent(IPC_MSG message, const Structure& record) {
        static_assert(std::is_trivially_copyable<Structure>::value,
                      "a record travels as its raw bytes");
        try {
            IpcMessage event(message, origin_);
            event.appendData(reinterpret_cast<const char*>(&record), sizeof(Structure));
            return sendOnEventSocket(event);
        }
        CATCH_ALL_AND_ABORT
        return false;
    }

    // Publishes an event without payload (an 8-byte frame).
    bool publishSimpleEvent(IPC_MSG message) {
        try {
            return sendOnEventSocket(IpcMessage(message, origin_));
        }
        CATCH_ALL_AND_ABORT
        return false;
    }

    // For payloads that are not one plain record (a QDataStream form, for instance): the
    // message goes out as it is, origin included.
    bool sendResponseMessage(IPC_ORIGIN clientOrigin, const IpcMessage& response) {
        try {
            return sendOnResponseSocket(clientOrigin, response);
        }
        CATCH_ALL_AND_ABORT
        return false;
    }
    bool publishEventMessage(const IpcMessage& event) {
        try {
            return sendOnEventSocket(event);
        }
        CATCH_ALL_AND_ABORT
        return false;
    }

    // Closes every socket with linger 0; frames not yet taken by a peer are discarded.
    void close();

    IPC_ORIGIN origin() const { return origin_; }

signals:
    void requestReceived(ipc::IpcMessage message);

private slots:
    void onRequestSocketActivity();

private:
    bool sendOnResponseSocket(IPC_ORIGIN clientOrigin, const IpcMessage& response);
    bool sendOnEventSocket(const IpcMessage& event);
    // Frames left unread bring no new edge of the notifier: they are read on a later turn.
    void scheduleRead();

    IPC_ORIGIN origin_;
    ZmqContext context_;
    ZmqSocket eventPublisher_;
    ZmqSocket requestReceiver_;
    struct ResponseChannel {
        std::string address;
        std::unique_ptr<ZmqSocket> socket;
    };
    std::map<IPC_ORIGIN, ResponseChannel> responseSockets_;
    std::unique_ptr<QSocketNotifier> requestNotifier_;
    bool requestsPaused_ = false;
    bool readScheduled_ = false;
    shared::LogRepeatLimiter shortRequests_;
};

} // namespace ipc
