#include "quarn-bus/CommandLine.h"
#include "quarn-bus/ControlCommand.h"

#include <gtest/gtest.h>

using namespace quarn_bus;

namespace {

ParseResult parse(std::vector<std::string> arguments) {
    return parseCommandLine(arguments);
}

} // namespace

TEST(CommandLine, RequestDefaultsFollowTheOrigin) {
    ParseResult result = parse({"request", "GET_BATTERY_STATUS"});
    ASSERT_TRUE(result.ok) << result.error;
    const CommandLine& line = result.commandLine;
    EXPECT_EQ(line.command, CommandLine::Request);
    EXPECT_EQ(line.message, ipc::IPC_MSG_GET_BATTERY_STATUS);
    EXPECT_EQ(line.origin, ipc::IPC_ORIGIN_CLIENT_CORE_APP);
    EXPECT_EQ(line.requestsAddress, "ipc:///tmp/quarn.requests.pwr-manager");
    EXPECT_EQ(line.responsesAddress, "ipc:///tmp/quarn.responses.core-app-to-pwr-manager");
    EXPECT_EQ(line.timeoutMs, 3000);
    EXPECT_EQ(line.count, 1);
    EXPECT_FALSE(line.countGiven);
    EXPECT_FALSE(line.noRead);

    result = parse({"request", "20", "--as", "com-manager-remote"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.commandLine.responsesAddress,
              "ipc:///tmp/quarn.responses.com-manager-remote-to-pwr-manager");

    // No channel back from the power manager to cal-app: nothing to listen to.
    result = parse({"request", "GET_BATTERY_STATUS", "--as=IPC_ORIGIN_CLIENT_CAL_APP"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.commandLine.origin, ipc::IPC_ORIGIN_CLIENT_CAL_APP);
    EXPECT_EQ(result.commandLine.responsesAddress, "");

    result = parse(
        {"request", "GET_INSTRUMENT_CONFIG", "--server", "dsp-manager", "--as", "pwr-manager"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.commandLine.requestsAddress, "ipc:///tmp/quarn.requests.dsp-manager");
    EXPECT_EQ(result.commandLine.responsesAddress,
              "ipc:///tmp/quarn.responses.pwr-manger-to-dsp-manager");
}

TEST(CommandLine, RequestOptionsOverrideEveryDefault) {
    const ParseResult result = parse({"request", "DO_POWER_DOWN", "--as", "13", "--requests",
                                      "ipc:///x/req", "--responses=ipc:///x/resp", "--timeout",
                                      "250", "--count", "5", "--no-read", "--hold=1500"});
    ASSERT_TRUE(result.ok) << result.error;
    const CommandLine& line = result.commandLine;
    EXPECT_EQ(line.message, ipc::IPC_MSG_DO_POWER_DOWN);
    EXPECT_EQ(line.origin, ipc::IPC_ORIGIN_CLIENT_CAL_APP);
    EXPECT_EQ(line.requestsAddress, "ipc:///x/req");
    EXPECT_EQ(line.responsesAddress, "ipc:///x/resp");
    EXPECT_EQ(line.timeoutMs, 250);
    EXPECT_EQ(line.count, 5);
    EXPECT_TRUE(line.countGiven);
    EXPECT_TRUE(line.noRead);
    EXPECT_EQ(line.holdMs, 1500);
}

TEST(CommandLine, MonitorDspManagerAndFloodDefaults) {
    ParseResult result = parse({"monitor"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.commandLine.eventsAddress, "ipc:///tmp/quarn.events.pwr-manager");
    EXPECT_EQ(result.commandLine.count, 0);
    EXPECT_EQ(result.commandLine.timeoutMs, -1);

    result = parse({"monitor", "--server", "dsp-manager", "--count", "3", "--timeout", "0"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.commandLine.eventsAddress, "ipc:///tmp/quarn.events.dsp-manager");
    EXPECT_EQ(result.commandLine.count, 3);
    EXPECT_EQ(result.commandLine.timeoutMs, 0);

    result = parse(
        {"dsp-manager", "--session", "active", "--power-button-flag", "1", "--control", "/x/ctl"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.commandLine.requestsAddress, "ipc:///tmp/quarn.requests.dsp-manager");
    EXPECT_EQ(result.commandLine.eventsAddress, "ipc:///tmp/quarn.events.dsp-manager");
    EXPECT_EQ(result.commandLine.responsesAddress,
              "ipc:///tmp/quarn.responses.pwr-manger-to-dsp-manager");
    EXPECT_EQ(result.commandLine.sessionState, 2);
    EXPECT_EQ(result.commandLine.powerButtonFlag, 1);
    EXPECT_EQ(result.commandLine.controlPath, "/x/ctl");

    result = parse({"flood"});
    ASSERT_TRUE(result.ok) << result.error;
    EXPECT_EQ(result.commandLine.requestsAddress, "ipc:///tmp/quarn.requests.pwr-manager");
    EXPECT_EQ(result.commandLine.count, 1000);
}

TEST(CommandLine, HelpWinsAnywhere) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{
             {"--help"}, {"-h"}, {"help"}, {"request", "NOPE", "--help"}}) {
        const ParseResult result = parse(arguments);
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(result.commandLine.command, CommandLine::Help);
    }
    const std::string usage = usageText();
    for (const char* command : {"monitor", "request MESSAGE", "dsp-manager", "flood"}) {
        EXPECT_NE(usage.find(command), std::string::npos) << command;
    }
}

TEST(CommandLine, MistakesAreRefusedWithAReason) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command given"},
        {{"listen"}, "unknown command: listen"},
        {{"request"}, "request needs a MESSAGE"},
        {{"request", "--as", "core-app"}, "request needs a MESSAGE"},
        {{"request", "GET_NOTHING"}, "unknown message: GET_NOTHING"},
        {{"request", "20", "--as", "cal_app"}, "unknown origin: cal_app"},
        {{"request", "20", "--timeout"}, "option --timeout needs a value"},
        {{"request", "20", "--timeout", "-5"}, "--timeout needs a number: -5"},
        {{"request", "20", "--count", "0"}, "--count must be at least 1"},
        {{"request", "20", "--count", "99999999999"}, "--count needs a number"},
        {{"request", "20", "--hold", "10"}, "--hold only applies with --no-read"},
        {{"request", "20", "--no-read=1"}, "--no-read takes no value"},
        {{"request", "20", "extra"}, "unexpected argument: extra"},
        {{"monitor", "--as", "core-app"}, "option --as does not apply to monitor"},
        {{"monitor", "--server", "pwr-manger"}, "unknown server: pwr-manger"},
        {{"flood", "--events", "ipc:///x"}, "option --events does not apply to flood"},
        {{"dsp-manager", "--session", "running"}, "--session must be idle"},
        {{"dsp-manager", "--power-button-flag", "2"}, "--power-button-flag must be 0 or 1"},
    };
    for (const auto& [arguments, reason] : cases) {
        const ParseResult result = parse(arguments);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error.rfind(reason, 0), 0u) << result.error << " / " << reason;
    }
}

TEST(ControlCommand, LinesOfTheDspManagerRole) {
    ControlCommand command = parseControlCommand("session active");
    EXPECT_EQ(command.kind, ControlCommand::Session);
    EXPECT_EQ(command.value, 2);
    command = parseControlCommand("  session   done \r");
    EXPECT_EQ(command.kind, ControlCommand::Session);
    EXPECT_EQ(command.value, 3);
    command = parseControlCommand("session 1");
    EXPECT_EQ(command.kind, ControlCommand::Session);
    EXPECT_EQ(command.value, 1);
    command = parseControlCommand("power-button-flag 1");
    EXPECT_EQ(command.kind, ControlCommand::PowerButtonFlag);
    EXPECT_EQ(command.value, 1);
    EXPECT_EQ(parseControlCommand("quit").kind, ControlCommand::Quit);
    EXPECT_EQ(parseControlCommand("").kind, ControlCommand::Nothing);
    EXPECT_EQ(parseControlCommand("   ").kind, ControlCommand::Nothing);
    EXPECT_EQ(parseControlCommand("# session active").kind, ControlCommand::Nothing);

    for (const char* bad :
         {"session", "session running", "session 4", "session active now", "power-button-flag",
          "power-button-flag 2", "quit now", "reboot", "SESSION active"}) {
        command = parseControlCommand(bad);
        EXPECT_EQ(command.kind, ControlCommand::Invalid) << bad;
        EXPECT_FALSE(command.error.empty()) << bad;
    }
}
