#include "ipc/ZmqContext.h"

#include <zmq.hpp>

#include <cerrno>

namespace ipc {

ZmqContext::ZmqContext(int ioThreads)
    : context_(zmq_ctx_new()) {
    if (context_ == nullptr) {
        throw zmq::error_t();
    }
    if (zmq_ctx_set(context_, ZMQ_IO_THREADS, ioThreads) != 0) {
        const zmq::error_t error;
        zmq_ctx_term(context_);
        throw error;
    }
}

ZmqContext::~ZmqContext() {
    // Termination waits for the sockets of the context; they are closed with linger 0, so this
    // returns at once. A signal may interrupt it, in which case it is simply repeated.
    while (zmq_ctx_term(context_) != 0 && zmq_errno() == EINTR) {
    }
}

} // namespace ipc
