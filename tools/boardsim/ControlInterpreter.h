#pragma once

#include <string>

namespace boardsim {

class BoardState;

/**
 * Turns one control line ("set capacity 42", "press", "trace" ...) into calls on the board and
 * returns the answer text: empty for a plain action, the requested data ending in a newline, or
 * a line beginning with "error: " when the command was refused.
 */
class ControlInterpreter {
public:
    explicit ControlInterpreter(BoardState& board);

    std::string execute(const std::string& line);

    static std::string help();

private:
    std::string get(const std::string& what, const std::string& rest);

    BoardState& board;
};

} // namespace boardsim
