#pragma once

#include <zmq.h>

#include <cstddef>

namespace ipc {

// One ZeroMQ message (a single frame), closed when the holder goes whatever became of it.
class ZmqFrame {
public:
    ZmqFrame();
    // Throws zmq::error_t when ZeroMQ cannot allocate the bytes.
    explicit ZmqFrame(std::size_t size);
    ~ZmqFrame();
    ZmqFrame(const ZmqFrame&) = delete;
    ZmqFrame& operator=(const ZmqFrame&) = delete;

    char* data() { return static_cast<char*>(zmq_msg_data(&message_)); }
    const char* data() const {
        return static_cast<const char*>(zmq_msg_data(const_cast<zmq_msg_t*>(&message_)));
    }
    std::size_t size() const { return zmq_msg_size(&message_); }

    // Releases the bytes and makes the frame empty again, ready for the next receive.
    void rebuild();

    zmq_msg_t* handle() { return &message_; }

private:
    zmq_msg_t message_;
};

} // namespace ipc
