#pragma once

#include <cstddef>
#include <cstdint>

namespace ipc {

class ZmqContext;
class ZmqFrame;

// One ZeroMQ socket. Sends and receives never wait: "would block" is the false result, so no
// absent, slow or vanished peer can hold up the thread that runs the event loop.
class ZmqSocket {
public:
    // type: ZMQ_PUB, ZMQ_SUB, ZMQ_PUSH or ZMQ_PULL.
    ZmqSocket(ZmqContext& context, int type);
    // Closes a socket still open with linger 0, so that the context can terminate at once.
    ~ZmqSocket();
    ZmqSocket(const ZmqSocket&) = delete;
    ZmqSocket& operator=(const ZmqSocket&) = delete;

    void bind(const char* address);
    void connect(const char* address);
    void subscribe(const void* prefix, std::size_t length);
    void setLinger(int milliseconds);
    // ZMQ_RCVHWM and ZMQ_MAXMSGSIZE; both apply to connections made afterwards.
    void setReceiveHighWaterMark(int frames);
    void setMaxMessageSize(std::int64_t bytes);
    // ZMQ_RECONNECT_IVL_MAX: while the peer of a connection is absent, ZeroMQ doubles the time
    // between two attempts up to this bound (plus a random part below ZMQ_RECONNECT_IVL, 100 ms).
    // Applies to connections made afterwards.
    void setMaxReconnectInterval(int milliseconds);

    // The descriptor ZeroMQ signals on. It is edge-like: it becomes readable when the socket's
    // state changes, not while frames wait, so a reader drains until receive returns false.
    int fileDescriptor() const;
    // ZMQ_EVENTS has ZMQ_POLLIN. Reading it also lets ZeroMQ process pending state changes.
    bool hasInput() const;

    // True when ZeroMQ took the frame (the frame is then empty); false when it would block.
    bool send(ZmqFrame& frame);
    // True with a frame; false when nothing is queued or the socket is closed.
    bool receive(ZmqFrame& frame);

    // Closing twice is harmless; a closed socket receives nothing and refuses to send.
    void close();
    bool isOpen() const { return socket_ != nullptr; }

private:
    void* socket_;
};

} // namespace ipc
