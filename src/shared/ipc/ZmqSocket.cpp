#include "ipc/ZmqSocket.h"

#include "ipc/ZmqContext.h"
#include "ipc/ZmqFrame.h"

#include <zmq.hpp>

#include <cerrno>

namespace ipc {

namespace {

// Runs one non-blocking send or receive: true when the frame went through, false when it would
// block. A call interrupted by a signal is retried; any other failure is thrown.
template <class Transfer> bool transferWithoutBlocking(Transfer transfer) {
    while (transfer() < 0) {
        const int error = zmq_errno();
        if (error == EAGAIN) {
            return false;
        }
        if (error != EINTR) {
            throw zmq::error_t(error);
        }
    }
    return true;
}

} // namespace

namespace {

void check(int result) {
    if (result != 0) {
        throw zmq::error_t();
    }
}

} // namespace

ZmqSocket::ZmqSocket(ZmqContext& context, int type)
    : socket_(zmq_socket(context.handle(), type)) {
    if (socket_ == nullptr) {
        throw zmq::error_t();
    }
}

ZmqSocket::~ZmqSocket() {
    if (socket_ != nullptr) {
        int linger = 0;
        zmq_setsockopt(socket_, ZMQ_LINGER, &linger, sizeof linger);
        zmq_close(socket_);
    }
}

void ZmqSocket::bind(const char* address) {
    if (socket_ == nullptr) {
        throw zmq::error_t(ENOTSOCK);
    }
    check(zmq_bind(socket_, address));
}

void ZmqSocket::connect(const char* address) {
    if (socket_ == nullptr) {
        throw zmq::error_t(ENOTSOCK);
    }
    check(zmq_connect(socket_, address));
}

void ZmqSocket::subscribe(const void* prefix, std::size_t length) {
    if (socket_ == nullptr) {
        throw zmq::error_t(ENOTSOCK);
    }
    check(zmq_setsockopt(socket_, ZMQ_SUBSCRIBE, prefix, length));
}

void ZmqSocket::setLinger(int milliseconds) {
    if (socket_ != nullptr) {
        check(zmq_setsockopt(socket_, ZMQ_LINGER, &milliseconds, sizeof milliseconds));
    }
}

void ZmqSocket::setReceiveHighWaterMark(int frames) {
    if (socket_ != nullptr) {
        check(zmq_setsockopt(socket_, ZMQ_RCVHWM, &frames, sizeof frames));
    }
}

void ZmqSocket::setMaxMessageSize(std::int64_t bytes) {
    if (socket_ != nullptr) {
        check(zmq_setsockopt(socket_, ZMQ_MAXMSGSIZE, &bytes, sizeof bytes));
    }
}

void ZmqSocket::setMaxReconnectInterval(int milliseconds) {
    if (socket_ != nullptr) {
        check(zmq_setsockopt(socket_, ZMQ_RECONNECT_IVL_MAX, &milliseconds, sizeof milliseconds));
    }
}

int ZmqSocket::fileDescriptor() const {
    if (socket_ == nullptr) {
        throw zmq::error_t(ENOTSOCK);
    }
    int descriptor = -1;
    size_t size = sizeof descriptor;
    check(zmq_getsockopt(socket_, ZMQ_FD, &descriptor, &size));
    return descriptor;
}

bool ZmqSocket::hasInput() const {
    if (socket_ == nullptr) {
        return false;
    }
    int events = 0;
    size_t size = sizeof events;
    while (zmq_getsockopt(socket_, ZMQ_EVENTS, &events, &size) != 0) {
        if (zmq_errno() != EINTR) {
            throw zmq::error_t();
        }
    }
    return (events & ZMQ_POLLIN) != 0;
}

bool ZmqSocket::send(ZmqFrame& frame) {
    if (socket_ == nullptr) {
        throw zmq::error_t(ENOTSOCK);
    }
    return transferWithoutBlocking(
        [&] { return zmq_msg_send(frame.handle(), socket_, ZMQ_DONTWAIT); });
}

bool ZmqSocket::receive(ZmqFrame& frame) {
    if (socket_ == nullptr) {
        return false;
    }
    return transferWithoutBlocking(
        [&] { return zmq_msg_recv(frame.handle(), socket_, ZMQ_DONTWAIT); });
}

void ZmqSocket::close() {
    if (socket_ != nullptr) {
        zmq_close(socket_);
        socket_ = nullptr;
    }
}

} // namespace ipc
