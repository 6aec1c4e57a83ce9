#include "quarn-bus/ControlCommand.h"

#include <sstream>
#include <vector>

namespace quarn_bus {

std::optional<int> parseSessionState(const std::string& text) {
    static const char* const NAMES[] = {"idle", "pending", "active", "done"};
    for (int state = 0; state < 4; ++state) {
        if (text == NAMES[state] || text == std::to_string(state)) {
            return state;
        }
    }
    return std::nullopt;
}

ControlCommand parseControlCommand(const std::string& line) {
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    ControlCommand command;
    if (words.empty() || words[0][0] == '#') {
        return command;
    }
    const std::string& verb = words[0];
    if (verb == "quit" && words.size() == 1) {
        command.kind = ControlCommand::Quit;
        return command;
    }
    if (verb == "session" && words.size() == 2) {
        if (const auto state = parseSessionState(words[1])) {
            command.kind = ControlCommand::Session;
            command.value = *state;
            return command;
        }
        command.kind = ControlCommand::Invalid;
        command.error = "session state must be idle, pending, active or done: " + words[1];
        return command;
    }
    if (verb == "power-button-flag" && words.size() == 2) {
        if (words[1] == "0" || words[1] == "1") {
            command.kind = ControlCommand::PowerButtonFlag;
            command.value = words[1] == "1" ? 1 : 0;
            return command;
        }
        command.kind = ControlCommand::Invalid;
        command.error = "power-button-flag must be 0 or 1: " + words[1];
        return command;
    }
    command.kind = ControlCommand::Invalid;
    command.error = "unknown command: " + line +
                    " (commands: session idle|pending|active|done, power-button-flag 0|1, quit)";
    return command;
}

} // namespace quarn_bus
