#pragma once

// The command line of quarn-bus, parsed into one plain structure with every default filled in,
// so the roles never see an unresolved option.

#include "quarn-bus/BusNames.h"

#include "ipc/IpcMessageIds.h"

#include <string>
#include <vector>

namespace quarn_bus {

// Exit status of the tool.
constexpr int EXIT_OK = 0;
constexpr int EXIT_BUS_FAILURE = 1; // an address refused, a request that would block
constexpr int EXIT_USAGE = 2;
constexpr int EXIT_TIMEOUT = 3; // no response, or fewer events than asked for

constexpr int DEFAULT_REQUEST_TIMEOUT_MS = 3000;
constexpr int DEFAULT_FLOOD_COUNT = 1000;
constexpr int DEFAULT_SETTLE_MS = 200;

struct CommandLine {
    enum Command { Help, Monitor, Request, DspManager, Flood };
    Command command = Help;

    BusServer server = BusServer::PwrManager;
    std::string requestsAddress;
    // Empty for a request: the origin has no response channel towards the server, so nothing
    // is listened to and the request can only time out.
    std::string responsesAddress;
    std::string eventsAddress;

    // monitor: frames to wait for, 0 = no limit; request: requests to send; flood: frames.
    int count = 0;
    bool countGiven = false;
    // monitor: -1 = no limit; request: the wait for each response.
    int timeoutMs = -1;

    ipc::IPC_MSG message = ipc::IPC_MSG_NONE;
    ipc::IPC_ORIGIN origin = ipc::IPC_ORIGIN_CLIENT_CORE_APP;
    bool noRead = false;
    int holdMs = 0;
    // Pause between connecting the response channel and the first request.
    int settleMs = DEFAULT_SETTLE_MS;

    int sessionState = 0;
    int powerButtonFlag = 0;
    // A named pipe read like standard input; empty for none.
    std::string controlPath;
};

struct ParseResult {
    bool ok = false;
    std::string error;
    CommandLine commandLine;
    // For Help: the whole tool's usage, or one command's with its options.
    std::string helpText;
};

// arguments: the words after the program name.
ParseResult parseCommandLine(const std::vector<std::string>& arguments);

std::string usageText();

} // namespace quarn_bus
