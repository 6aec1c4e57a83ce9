#include "quarn-bus/CommandLine.h"

#include "quarn-bus/ControlCommand.h"

#include "ipc/IpcEndpoints.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <set>

namespace quarn_bus {

namespace {

std::optional<int> parseNonNegative(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9') {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value > INT_MAX) {
        return std::nullopt;
    }
    return static_cast<int>(value);
}

const std::set<std::string>& optionsOf(CommandLine::Command command) {
    static const std::set<std::string> NONE;
    static const std::set<std::string> MONITOR = {"--server", "--events", "--count", "--timeout"};
    static const std::set<std::string> REQUEST = {"--server",    "--as",      "--requests",
                                                  "--responses", "--timeout", "--count",
                                                  "--no-read",   "--hold",    "--settle"};
    static const std::set<std::string> DSP_MANAGER = {
        "--requests", "--events", "--responses", "--session", "--power-button-flag", "--control"};
    static const std::set<std::string> FLOOD = {"--server", "--requests", "--count"};
    switch (command) {
    case CommandLine::Monitor:
        return MONITOR;
    case CommandLine::Request:
        return REQUEST;
    case CommandLine::DspManager:
        return DSP_MANAGER;
    case CommandLine::Flood:
        return FLOOD;
    case CommandLine::Help:
        break;
    }
    return NONE;
}

const char* commandName(CommandLine::Command command) {
    switch (command) {
    case CommandLine::Monitor:
        return "monitor";
    case CommandLine::Request:
        return "request";
    case CommandLine::DspManager:
        return "dsp-manager";
    case CommandLine::Flood:
        return "flood";
    case CommandLine::Help:
        break;
    }
    return "help";
}

ParseResult failure(const std::string& error) {
    ParseResult result;
    result.error = error;
    return result;
}

} // namespace

ParseResult parseCommandLine(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            ParseResult result;
            result.ok = true;
            return result;
        }
    }
    if (arguments.empty()) {
        return failure("no command given");
    }

    CommandLine line;
    const std::string& commandWord = arguments[0];
    if (commandWord == "help") {
        ParseResult result;
        result.ok = true;
        return result;
    } else if (commandWord == "monitor") {
        line.command = CommandLine::Monitor;
    } else if (commandWord == "request") {
        line.command = CommandLine::Request;
    } else if (commandWord == "dsp-manager") {
        line.command = CommandLine::DspManager;
    } else if (commandWord == "flood") {
        line.command = CommandLine::Flood;
    } else {
        return failure("unknown command: " + commandWord);
    }

    std::size_t next = 1;
    if (line.command == CommandLine::Request) {
        if (arguments.size() < 2 || arguments[1].rfind("--", 0) == 0) {
            return failure(
                "request needs a MESSAGE (a name such as GET_BATTERY_STATUS or a number)");
        }
        const auto message = parseMessage(arguments[1]);
        if (!message) {
            return failure("unknown message: " + arguments[1]);
        }
        line.message = *message;
        next = 2;
    }

    bool responsesGiven = false;
    bool timeoutGiven = false;
    bool holdGiven = false;
    const std::set<std::string>& allowed = optionsOf(line.command);
    for (std::size_t i = next; i < arguments.size(); ++i) {
        std::string option = arguments[i];
        std::optional<std::string> value;
        const std::size_t equals = option.find('=');
        if (option.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = option.substr(equals + 1);
            option.erase(equals);
        }
        if (option.rfind("--", 0) != 0) {
            return failure("unexpected argument: " + option);
        }
        if (allowed.count(option) == 0) {
            return failure("option " + option + " does not apply to " + commandName(line.command));
        }
        if (option == "--no-read") {
            if (value) {
                return failure("--no-read takes no value");
            }
            line.noRead = true;
            continue;
        }
        if (!value) {
            if (i + 1 >= arguments.size()) {
                return failure("option " + option + " needs a value");
            }
            value = arguments[++i];
        }
        const std::string& text = *value;
        if (option == "--server") {
            const auto server = parseServer(text);
            if (!server) {
                return failure("unknown server: " + text +
                               " (core-app, dsp-manager, pwr-manager, usb-manager, com-manager)");
            }
            line.server = *server;
        } else if (option == "--events") {
            line.eventsAddress = text;
        } else if (option == "--requests") {
            line.requestsAddress = text;
        } else if (option == "--responses") {
            line.responsesAddress = text;
            responsesGiven = true;
        } else if (option == "--control") {
            line.controlPath = text;
        } else if (option == "--as") {
            const auto origin = parseOrigin(text);
            if (!origin) {
                return failure("unknown origin: " + text);
            }
            line.origin = *origin;
        } else if (option == "--session") {
            const auto state = parseSessionState(text);
            if (!state) {
                return failure("--session must be idle, pending, active or done: " + text);
            }
            line.sessionState = *state;
        } else if (option == "--power-button-flag") {
            if (text != "0" && text != "1") {
                return failure("--power-button-flag must be 0 or 1: " + text);
            }
            line.powerButtonFlag = text == "1" ? 1 : 0;
        } else {
            const auto number = parseNonNegative(text);
            if (!number) {
                return failure(option + " needs a number: " + text);
            }
            if (option == "--count") {
                if (*number < 1) {
                    return failure("--count must be at least 1");
                }
                line.count = *number;
                line.countGiven = true;
            } else if (option == "--settle") {
                line.settleMs = *number;
            } else if (option == "--timeout") {
                line.timeoutMs = *number;
                timeoutGiven = true;
            } else {
                line.holdMs = *number;
                holdGiven = true;
            }
        }
    }

    switch (line.command) {
    case CommandLine::Monitor:
        if (line.eventsAddress.empty()) {
            line.eventsAddress = eventsAddress(line.server);
        }
        break;
    case CommandLine::Request:
        if (holdGiven && !line.noRead) {
            return failure("--hold only applies with --no-read");
        }
        if (line.requestsAddress.empty()) {
            line.requestsAddress = requestsAddress(line.server);
        }
        if (!responsesGiven) {
            const char* address = defaultResponsesAddress(line.origin, line.server);
            line.responsesAddress = address != nullptr ? address : "";
        }
        if (!line.countGiven) {
            line.count = 1;
        }
        if (!timeoutGiven) {
            line.timeoutMs = DEFAULT_REQUEST_TIMEOUT_MS;
        }
        break;
    case CommandLine::DspManager:
        if (line.requestsAddress.empty()) {
            line.requestsAddress = ipc::REQUESTS_DSP_MANAGER;
        }
        if (line.eventsAddress.empty()) {
            line.eventsAddress = ipc::EVENTS_DSP_MANAGER;
        }
        if (line.responsesAddress.empty()) {
            line.responsesAddress = ipc::RESPONSES_PWR_MANAGER_TO_DSP_MANAGER;
        }
        break;
    case CommandLine::Flood:
        if (line.requestsAddress.empty()) {
            line.requestsAddress = requestsAddress(line.server);
        }
        if (!line.countGiven) {
            line.count = DEFAULT_FLOOD_COUNT;
        }
        break;
    case CommandLine::Help:
        break;
    }

    ParseResult result;
    result.ok = true;
    result.commandLine = line;
    return result;
}

std::string usageText() {
    return R"(Usage: quarn-bus COMMAND [OPTIONS]
A client of the instrument's IPC bus. Addresses default to the product's ipc:///tmp/quarn.*
endpoints; every one can be given instead (options take "--opt VALUE" or "--opt=VALUE").

Commands:
  monitor [--server NAME] [--events ADDR] [--count N] [--timeout MS]
      Subscribe to every event of the server (default pwr-manager) and print each frame,
      one line each. Stops after N frames or MS milliseconds (exit 3 when N frames were
      asked for and fewer came), otherwise runs until interrupted.

  request MESSAGE [--server NAME] [--as ORIGIN] [--requests ADDR] [--responses ADDR]
                  [--timeout MS] [--count K] [--no-read [--hold MS]] [--settle MS]
      Send MESSAGE (a name such as GET_BATTERY_STATUS or IPC_MSG_GET_BATTERY_STATUS, or a
      number) without payload as ORIGIN (default core-app; also com-manager-remote, cal-app,
      pwr-manager, ..., IPC_ORIGIN_... or a number) and print the response. The response
      channel defaults to the one ORIGIN has towards the server. Waits MS ms (default 3000)
      for each response; exit 3 after "no response within MS ms". --count K sends K requests
      one after the other and prints each round trip. --no-read sends and never reads the
      responses, then holds the connection for --hold MS ms (default 0). The first request
      leaves --settle MS ms (default 200) after connecting, so that the server has attached
      the response channel by the time it answers.

  dsp-manager [--requests ADDR] [--events ADDR] [--responses ADDR]
              [--session idle|pending|active|done] [--power-button-flag 0|1] [--control FIFO]
      Play the dsp-manager for the power manager: answer GET_INSTRUMENT_CONFIG and
      GET_LOGGING_SESSION_STATUS, take SET_INSTRUMENT_CONFIG, print every request. Reads
      commands line by line from standard input and from the named pipe FIFO (created if
      missing):  session idle|pending|active|done,  power-button-flag 0|1,  quit.
      End of standard input does not stop it; quit, SIGINT or SIGTERM do.

  flood [--server NAME] [--requests ADDR] [--count N]
      Send N (default 1000) short, unknown or wrongly addressed request frames as fast as
      possible without ever blocking, then print how many went out.

Servers: core-app, dsp-manager, pwr-manager, usb-manager, com-manager.
Exit status: 0 success, 1 bus failure, 2 usage error, 3 no response or too few events.
)";
}

} // namespace quarn_bus
