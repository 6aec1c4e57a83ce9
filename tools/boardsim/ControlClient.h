#pragma once

#include <string>

namespace boardsim {

/** Sends control commands to a running boardsim over its Unix socket. */
class ControlClient {
public:
    explicit ControlClient(std::string socketPath);

    /** One command line; false with a reason in `error` when the board cannot be reached. */
    bool request(const std::string& line, std::string& answer, std::string& error) const;

private:
    std::string socketPath;
};

} // namespace boardsim
