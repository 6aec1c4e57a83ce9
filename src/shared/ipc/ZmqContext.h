#pragma once

// ZmqContext, ZmqFrame and ZmqSocket are the only code that calls libzmq. Every failing call
// surfaces as zmq::error_t carrying zmq_errno(), except "would block", which is a false result.

namespace ipc {

// I/O threads of every context of the bus: the traffic is a few small frames per second.
constexpr int NUM_ZEROMQ_IO_THREADS = 1;

// Owns a ZeroMQ context. Every socket made in it must be closed before the context goes, so
// the owning class declares its context before its sockets.
class ZmqContext {
public:
    explicit ZmqContext(int ioThreads = NUM_ZEROMQ_IO_THREADS);
    ~ZmqContext();
    ZmqContext(const ZmqContext&) = delete;
    ZmqContext& operator=(const ZmqContext&) = delete;

    void* handle() const { return context_; }

private:
    void* context_;
};

} // namespace ipc
