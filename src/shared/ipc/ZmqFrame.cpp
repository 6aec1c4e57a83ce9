#include "ipc/ZmqFrame.h"

#include <zmq.hpp>

namespace ipc {

ZmqFrame::ZmqFrame() {
    zmq_msg_init(&message_);
}

ZmqFrame::ZmqFrame(std::size_t size) {
    if (zmq_msg_init_size(&message_, size) != 0) {
        throw zmq::error_t();
    }
}

ZmqFrame::~ZmqFrame() {
    zmq_msg_close(&message_);
}

void ZmqFrame::rebuild() {
    zmq_msg_close(&message_);
    zmq_msg_init(&message_);
}

} // namespace ipc
