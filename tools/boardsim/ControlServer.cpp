#include "boardsim/ControlServer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>

namespace boardsim {

namespace {

const std::size_t MAX_COMMAND_BYTES = 65536;

} // namespace

ControlServer::ControlServer(std::string socketPath, Handler handler)
    : socketPath(std::move(socketPath))
    , handler(std::move(handler)) {}

ControlServer::~ControlServer() {
    stop();
}

bool ControlServer::start(std::string& error) {
    sockaddr_un address;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        error = "socket path empty or too long";
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
    listener.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!listener.isValid()) {
        error = std::strerror(errno);
        return false;
    }
    ::unlink(socketPath.c_str());
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 16) != 0) {
        error = std::strerror(errno);
        listener.reset();
        return false;
    }
    thread = std::thread([this] { serve(); });
    return true;
}

void ControlServer::stop() {
    if (!thread.joinable())
        return;
    stopping = true;
    // Wakes the accept() below: a shut-down listening socket fails it at once.
    ::shutdown(listener.get(), SHUT_RDWR);
    thread.join();
    listener.reset();
    ::unlink(socketPath.c_str());
}

void ControlServer::serve() {
    while (!stopping) {
        shared::FileDescriptor client(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
        if (!client.isValid()) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (!stopping)
                std::fprintf(stderr, "boardsim: control socket: %s\n", std::strerror(errno));
            return;
        }
        answer(client.get());
    }
}

void ControlServer::answer(int client) {
    // A client that never finishes its line must not hold the board's controls for long.
    timeval timeout{2, 0};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    std::string line;
    char buffer[4096];
    while (line.find('\n') == std::string::npos && line.size() < MAX_COMMAND_BYTES) {
        const ssize_t count = ::recv(client, buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(count));
    }
    const std::size_t end = line.find('\n');
    if (end != std::string::npos)
        line.resize(end);
    const std::string reply = handler(line);
    std::size_t sent = 0;
    while (sent < reply.size()) {
        const ssize_t count =
            ::send(client, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return;
        sent += static_cast<std::size_t>(count);
    }
}

} // namespace boardsim
