#pragma once

#include "foundation/LogRepeatLimiter.h"
#include "ipc/IpcMessage.h"
#include "ipc/ZmqContext.h"
#include "ipc/ZmqSocket.h"

#include <QByteArray>
#include <QObject>
#include <QRecursiveMutex>

#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <type_traits>

class QSocketNotifier;

namespace ipc {

// The client end of the bus towards one server: requests go out on a PUSH socket, the server's
// responses come back on this client's private PULL channel and its events on a SUB socket.
// Both arrive as signals, from socket notifiers on the thread that runs the event loop. The
// client can also wait for one response synchronously.
class IpcClient : public QObject {
    Q_OBJECT

public:
    enum SyncState { Idle = 0, Awaiting = 1, Received = 2, TimedOut = 3 };

    // The synchronous wait never lasts less than this, whatever the caller asks.
    static constexpr int MIN_SYNCHRONOUS_TIMEOUT_MS = 3000;
    // A server that is not there is tried again after 100 ms, then after twice as long each
    // time, up to this interval; with ZeroMQ's random part of up to 100 ms added, a server that
    // starts later is reached within 5 s. Trying every 100 ms for ever would wake an idle
    // process 30 times a second.
    static constexpr int MAX_RECONNECT_INTERVAL_MS = 4900;

    // processQtEventsWhileWaiting: the synchronous wait runs the event loop (true) or sleeps in
    // 50 ms steps (false; the response must then be read by another thread's event loop).
    explicit IpcClient(bool processQtEventsWhileWaiting);
    ~IpcClient() override;

    // Connects the three channels; origin is this client's role, stamped into every request.
    // Throws zmq::error_t for an address ZeroMQ refuses. A server that is not there yet is no
    // error: ZeroMQ keeps trying (see MAX_RECONNECT_INTERVAL_MS), and requests sent meanwhile
    // wait in its queue until the server is there.
    void connectTo(IPC_ORIGIN origin, const char* requestsAddress, const char* responsesAddress,
                   const char* eventsAddress);

    // Lets events with this identifier through. No event arrives before the first subscription.
    void subscribe(IPC_MSG message);

    // False when the request channel would block (the server is gone or too slow); nothing is
    // then queued. Other ZeroMQ failures throw zmq::error_t.
    bool sendRequestAsZmqMessage(const IpcMessage& message);
    // A request without payload, stamped with this client's origin.
    bool sendRequest(IPC_MSG message);

    // Waits until the awaited response is there or max(timeoutMs, 3000) ms have passed.
    void processEventsUntilResponseOrTimeout(int timeoutMs);
    // Logs at ERROR what is wrong with the synchronous response; true when nothing is.
    bool reportErrorFor_getSynchronousResponseData(size_t expectedSize);

    // Sends the request, waits for its response and hands back its payload, which must be
    // expectedSize bytes long and answer the same identifier. False (and logged) otherwise.
    bool requestSynchronously(const IpcMessage& request, size_t expectedSize, int timeoutMs,
                              QByteArray& responseData);

    // The same for a plain record: on success out holds the response's bytes.
    template <class T> bool requestSynchronously(IPC_MSG message, T& out, int timeoutMs) {
        static_assert(std::is_trivially_copyable<T>::value, "a record travels as its raw bytes");
        QByteArray payload;
        if (!requestSynchronously(IpcMessage(message, origin_), sizeof(T), timeoutMs, payload)) {
            return false;
        }
        std::memcpy(static_cast<void*>(&out), payload.constData(), sizeof(T));
        return true;
    }

    // Closes the three sockets with linger 0.
    void close();

    IPC_ORIGIN origin() const { return origin_; }
    SyncState syncState() const { return syncState_; }

signals:
    void eventPublished(ipc::IpcMessage message);
    void responseReceived(ipc::IpcMessage message);

private slots:
    void onEventSocketActivity();
    void onResponseSocketActivity();

private:
    // Reading responses stops while a synchronous response is unconsumed; once it is, the
    // frames still queued need an explicit read, because their edge has long passed.
    void resumeHeldResponses();

    const bool processQtEventsWhileWaiting_;
    IPC_ORIGIN origin_;
    ZmqContext context_;
    ZmqSocket eventReceiver_;
    ZmqSocket requestSender_;
    ZmqSocket responseReceiver_;
    std::unique_ptr<QSocketNotifier> eventNotifier_;
    std::unique_ptr<QSocketNotifier> responseNotifier_;
    // Atomic because with processQtEventsWhileWaiting false the response may be read on
    // another thread while the waiting one polls it.
    std::atomic<SyncState> syncState_;
    QRecursiveMutex mutex_;
    IPC_MSG awaitedMessage_;
    IPC_MSG responseMessage_;
    QByteArray responseData_;
    bool responsesHeld_;
    shared::LogRepeatLimiter shortEvents_;
    shared::LogRepeatLimiter shortResponses_;
};

} // namespace ipc
