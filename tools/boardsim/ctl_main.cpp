// boardsim-ctl: sends one command to a running boardsim and prints its answer.
#include "boardsim/ControlClient.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    std::string socketPath;
    if (const char* fromEnvironment = std::getenv("BOARDSIM_SOCKET"))
        socketPath = fromEnvironment;
    int index = 1;
    if (index + 1 < argc && std::string(argv[index]) == "--socket") {
        socketPath = argv[index + 1];
        index += 2;
    }
    if (index >= argc) {
        std::fprintf(stderr, "usage: boardsim-ctl [--socket SOCKET] COMMAND [ARGUMENT...]\n"
                             "SOCKET defaults to $BOARDSIM_SOCKET; 'boardsim-ctl help' lists the "
                             "commands.\n");
        return 2;
    }
    // The words are joined with single blanks, so a quoted argument keeps its own blanks.
    std::string line = argv[index];
    for (++index; index < argc; ++index)
        line += std::string(" ") + argv[index];

    std::string answer;
    std::string error;
    if (!boardsim::ControlClient(socketPath).request(line, answer, error)) {
        std::fprintf(stderr, "boardsim-ctl: cannot reach the board: %s\n", error.c_str());
        return 2;
    }
    if (answer.compare(0, 7, "error: ") == 0) {
        std::fputs(answer.c_str(), stderr);
        return 1;
    }
    std::fwrite(answer.data(), 1, answer.size(), stdout);
    return 0;
}
