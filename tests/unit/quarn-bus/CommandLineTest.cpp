#include "quarn-bus/CommandLine.h"
#include "quarn-bus/BusNames.h"
#include "quarn-bus/ControlCommand.h"

#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using namespace quarn_bus;

namespace {

// A parsed command line in one line: "message as origin | requests | responses | events |
// count timeout", then the request and dsp-manager extras; the product's address prefix is
// left out. Or the first line of the help given, or the refusal.
std::string resolved(const std::vector<std::string>& arguments) {
    const ParseResult result = parseCommandLine(arguments);
    const CommandLine& line = result.commandLine;
    if (!result.ok)
        return "error: " + result.error;
    if (line.command == CommandLine::Help)
        return "help: " + result.helpText.substr(0, result.helpText.find('\n'));
    std::ostringstream out;
    out << line.message << " as " << line.origin << " | " << line.requestsAddress << " | "
        << line.responsesAddress << " | " << line.eventsAddress << " | " << line.count << " "
        << line.timeoutMs;
    if (line.noRead)
        out << " no-read " << line.holdMs;
    if (line.command == CommandLine::DspManager) {
        out << " session " << line.sessionState << " flag " << line.powerButtonFlag << " "
            << line.controlPath;
    }
    return std::regex_replace(out.str(), std::regex("ipc:///tmp/quarn\\."), "");
}

} // namespace

TEST(CommandLine, DefaultsFollowTheCommandServerAndOriginHelpWinsAndMistakesAreRefused) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"request", "GET_BATTERY_STATUS"},
         "20 as 6 | requests.pwr-manager | responses.core-app-to-pwr-manager |  | 1 3000"},
        {{"request", "20", "--as", "com-manager-remote"},
         "20 as 10 | requests.pwr-manager | responses.com-manager-remote-to-pwr-manager |  | 1 "
         "3000"},
        // No channel back from the power manager to cal-app: nothing to listen to.
        {{"request", "20", "--as=IPC_ORIGIN_CLIENT_CAL_APP"},
         "20 as 13 | requests.pwr-manager |  |  | 1 3000"},
        {{"request", "21", "--server", "dsp-manager", "--as", "pwr-manager"},
         "21 as 12 | requests.dsp-manager | responses.pwr-manger-to-dsp-manager |  | 1 3000"},
        {{"request", "DO_POWER_DOWN", "--as", "13", "--requests", "ipc:///x/req",
          "--responses=ipc:///x/resp", "--timeout", "250", "--count", "5", "--no-read",
          "--hold=1500"},
         "43 as 13 | ipc:///x/req | ipc:///x/resp |  | 5 250 no-read 1500"},
        {{"monitor"}, "0 as 6 |  |  | events.pwr-manager | 0 -1"},
        {{"monitor", "--server", "dsp-manager", "--count", "3", "--timeout", "0"},
         "0 as 6 |  |  | events.dsp-manager | 3 0"},
        {{"dsp-manager", "--session", "active", "--power-button-flag", "1", "--control", "/x/c"},
         "0 as 6 | requests.dsp-manager | responses.pwr-manger-to-dsp-manager | "
         "events.dsp-manager | 0 -1 session 2 flag 1 /x/c"},
        {{"flood"}, "0 as 6 | requests.pwr-manager |  |  | 1000 -1"},
        // The tool's help, or the command's with its own options, wins anywhere.
        {{"help"}, "help: Usage: quarn-bus COMMAND [OPTIONS]"},
        {{"help", "flood"}, "help: Usage: quarn-bus flood [options]"},
        {{"request", "NOPE", "--help"}, "help: Usage: quarn-bus request MESSAGE [options]"},
        {{"monitor", "-h", "--as"}, "help: Usage: quarn-bus monitor [options]"},
        // Mistakes are refused with a reason, of which the start is pinned.
        {{}, "error: no command given"},
        {{"request", "--as", "core-app"}, "error: request needs a MESSAGE"},
        {{"request", "GET_NOTHING"}, "error: unknown message: GET_NOTHING"},
        {{"request", "20", "--as", "cal_app"}, "error: unknown origin: cal_app"},
        {{"request", "20", "21"}, "error: unexpected argument: 21"},
        {{"request", "20", "--timeout", "-5"}, "error: --timeout needs a number: -5"},
        {{"request", "20", "--count", "99999999999"}, "error: --count needs a number"},
        {{"request", "20", "--hold", "10"}, "error: --hold only applies with --no-read"},
        {{"monitor", "--as", "core-app"}, "error: Unknown option 'as'."},
        {{"monitr"}, "error: unknown command: monitr"},
        {{"monitor", "--server", "pwr-manger"}, "error: unknown server: pwr-manger"},
        {{"dsp-manager", "--session", "running"}, "error: --session must be idle"},
        {{"dsp-manager", "--power-button-flag", "2"}, "error: --power-button-flag must be 0 or 1"},
    };
    // Qt warns about any option a command does not define, so none may be asked about.
    static std::vector<std::string> warnings;
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
            warnings.push_back(text.toStdString());
        });
    for (const auto& [arguments, expected] : cases) {
        const std::string got = resolved(arguments);
        EXPECT_EQ(expected.rfind("error: ", 0) ? got : got.substr(0, expected.size()), expected);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(warnings, std::vector<std::string>());
    EXPECT_NE(parseCommandLine({"request", "-h"}).helpText.find("  --no-read "), std::string::npos);
}

TEST(ControlCommand, LinesOfTheDspManagerRole) {
    const std::pair<const char*, std::pair<int, int>> good[] = {
        {"session active", {ControlCommand::Session, 2}},
        {"  session   done \r", {ControlCommand::Session, 3}},
        {"power-button-flag 1", {ControlCommand::PowerButtonFlag, 1}},
        {"quit", {ControlCommand::Quit, 0}},
        {"# session active", {ControlCommand::Nothing, 0}},
    };
    for (const auto& [line, expected] : good) {
        const ControlCommand command = parseControlCommand(line);
        EXPECT_EQ(std::make_pair(int(command.kind), command.value), expected) << line;
    }
    for (const char* bad : {"session", "session 4", "session active now", "power-button-flag 2",
                            "quit now", "reboot", "SESSION active"}) {
        const ControlCommand command = parseControlCommand(bad);
        EXPECT_TRUE(command.kind == ControlCommand::Invalid && !command.error.empty()) << bad;
    }
}

// The response channels of each origin are pinned through the command line's defaults.
TEST(BusNames, MessagesAndOriginsByNameShortNameOrNumber) {
    const std::pair<const char*, int> messages[] = {
        {"IPC_MSG_GET_BATTERY_STATUS", 20},
        {"get_battery_status", 20},
        {"NONE", 0},
        // Log names 16 and 17 end in a colon; with or without it the user means that one.
        {"MODIFY_SESSION_FIELDS", 16},
        {"IPC_MSG_MODIFY_SESSION_OVERVIEW:", 17},
        // Numbers need no name: unknown identifiers are sent on purpose.
        {"-1", -1},
        {"2147483647", 2147483647},
    };
    for (const auto& [text, message] : messages)
        EXPECT_EQ(parseMessage(text), static_cast<ipc::IPC_MSG>(message)) << text;
    for (const char* bad : {"", "GET_BATTERY", "IPC_MSG_", "IPC_MSG_???", "20x", "0x14",
                            "2147483648", " 20", "GET_BATTERY_STATUS "})
        EXPECT_FALSE(parseMessage(bad).has_value()) << bad;
    const std::pair<const char*, int> origins[] = {
        {"core-app", 6},
        {"com-manager-remote", 10},
        {"IPC_ORIGIN_CLIENT_CAL_APP", 13},
        {"client_session_manager", 8},
        {"-5", -5},
    };
    for (const auto& [text, origin] : origins)
        EXPECT_EQ(parseOrigin(text), static_cast<ipc::IPC_ORIGIN>(origin)) << text;
    // The unnamed roles answer "IPC_ORIGIN_???"; that text must not pick one of them.
    for (const char* bad :
         {"", "IPC_ORIGIN_???", "IPC_ORIGIN_", "core_app", "Core-App", "dsp-manager", "6.0"})
        EXPECT_FALSE(parseOrigin(bad).has_value()) << bad;
}
