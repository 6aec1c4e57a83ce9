#pragma once

#include "foundation/FileDescriptor.h"

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace boardsim {

/**
 * Listens on a Unix stream socket on a thread of its own. A client sends one command line,
 * receives the answer and the connection closes.
 */
class ControlServer {
public:
    using Handler = std::function<std::string(const std::string&)>;

    ControlServer(std::string socketPath, Handler handler);
    ~ControlServer();
    ControlServer(const ControlServer&) = delete;
    ControlServer& operator=(const ControlServer&) = delete;

    /** Binds and starts serving; false with a reason in `error`. */
    bool start(std::string& error);
    void stop();

private:
    void serve();
    void answer(int client);

    std::string socketPath;
    Handler handler;
    shared::FileDescriptor listener;
    std::thread thread;
    std::atomic<bool> stopping{false};
};

} // namespace boardsim
