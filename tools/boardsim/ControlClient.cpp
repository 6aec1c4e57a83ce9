#include "boardsim/ControlClient.h"

#include "foundation/FileDescriptor.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>

namespace boardsim {

ControlClient::ControlClient(std::string socketPath)
    : socketPath(std::move(socketPath)) {}

bool ControlClient::request(const std::string& line, std::string& answer,
                            std::string& error) const {
    sockaddr_un address;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (socketPath.empty() || socketPath.size() >= sizeof address.sun_path) {
        error = "socket path empty or too long: '" + socketPath + "'";
        return false;
    }
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
    shared::FileDescriptor socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket.isValid() ||
        ::connect(socket.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        error = socketPath + ": " + std::strerror(errno);
        return false;
    }
    const std::string message = line + "\n";
    std::size_t sent = 0;
    while (sent < message.size()) {
        const ssize_t count =
            ::send(socket.get(), message.data() + sent, message.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0) {
            error = std::string("send: ") + std::strerror(errno);
            return false;
        }
        sent += static_cast<std::size_t>(count);
    }
    ::shutdown(socket.get(), SHUT_WR);
    answer.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t count = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            error = std::string("receive: ") + std::strerror(errno);
            return false;
        }
        if (count == 0)
            return true;
        answer.append(buffer, static_cast<std::size_t>(count));
    }
}

} // namespace boardsim
