// Any text as the simulated board's control lines mixed with the file operations the FUSE glue
// makes ("!o PATH", "!r", "!w BYTES", "!i REQUEST BYTES", "!p", "!c", "!t PATH", "!l PATH" on
// the last opened file): every answer is empty, data ending in a newline, or an error line, and
// the trace stays within its bound.

#include "boardsim/BoardState.h"
#include "boardsim/ControlInterpreter.h"

#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::int64_t now = 1767225600000000;
    // Every line moves the clock on by a second, so discharge and click releases happen too.
    boardsim::BoardState board("/sys/class", [&now] { return now; });
    boardsim::ControlInterpreter interpreter(board);
    std::int64_t handle = -1;
    std::istringstream lines(std::string(reinterpret_cast<const char*>(data), size));
    for (std::string line; std::getline(lines, line);) {
        now += 1000000;
        board.advance();
        if (line.size() < 2 || line[0] != '!') {
            const std::string answer = interpreter.execute(line);
            if (!answer.empty() && answer.back() != '\n' && answer.rfind("error: ", 0) != 0) {
                std::abort();
            }
            continue;
        }
        const std::string argument = line.size() > 3 ? line.substr(3) : std::string();
        std::string content;
        switch (line[1]) {
        case 'o':
            handle = board.open(argument, true, argument.size() % 2 == 0);
            break;
        case 'r':
            board.read(handle, content);
            break;
        case 'w':
            board.write(handle, argument);
            break;
        case 'i':
            board.ioctl(handle, std::strtoul(argument.c_str(), nullptr, 16), argument);
            break;
        case 'p':
            board.poll(handle);
            board.edgePending(handle);
            break;
        case 'c':
            board.close(handle);
            break;
        case 't':
            board.truncate(argument);
            break;
        default:
            board.lookup(argument);
            board.list(argument);
            break;
        }
    }
    if (board.trace().size() > boardsim::BoardState::TRACE_LIMIT) {
        std::abort();
    }
    board.traceText();
    return 0;
}
