#pragma once

// The lines that drive the dsp-manager role while it runs (from standard input or a named pipe):
//
//     session idle|pending|active|done
//     power-button-flag 0|1
//     quit
//
// Blank lines and lines starting with '#' are ignored.

#include <optional>
#include <string>

namespace quarn_bus {

struct ControlCommand {
    enum Kind { Nothing, Session, PowerButtonFlag, Quit, Invalid };
    Kind kind = Nothing;
    // The session state (0 to 3) or the flag (0 or 1).
    int value = 0;
    // What is wrong with an Invalid line.
    std::string error;
};

ControlCommand parseControlCommand(const std::string& line);

// "idle", "pending", "active", "done" or the state's number 0 to 3.
std::optional<int> parseSessionState(const std::string& text);

} // namespace quarn_bus
