#include "quarn-bus/CommandLine.h"

#include "quarn-bus/ControlCommand.h"

#include <QCommandLineParser>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>

namespace quarn_bus {

namespace {

struct CommandEntry {
    CommandLine::Command command;
    const char* name;
    const char* synopsis;
    const char* description;
    QList<QCommandLineOption> options;
};

QCommandLineOption option(const char* name, const char* description, const char* valueName = "") {
    return QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(description),
                              QString::fromLatin1(valueName));
}

const char* const SERVER_TEXT =
    "The server: core-app, dsp-manager, pwr-manager (default), usb-manager, com-manager.";

const std::vector<CommandEntry>& commands() {
    static const std::vector<CommandEntry> table = {
        {CommandLine::Monitor,
         "monitor",
         "[options]",
         "Subscribe to every event of the server and print each frame, one line each.\n"
         "Stops after N frames or MS milliseconds (exit 3 when N frames were asked for and\n"
         "fewer came), otherwise runs until interrupted.",
         {option("server", SERVER_TEXT, "NAME"),
          option("events", "Events address (default: the server's).", "ADDR"),
          option("count", "Stop after N frames.", "N"),
          option("timeout", "Stop after MS milliseconds.", "MS")}},
        {CommandLine::Request,
         "request",
         "MESSAGE [options]",
         "Send MESSAGE (a name such as GET_BATTERY_STATUS or IPC_MSG_GET_BATTERY_STATUS, or\n"
         "a number) without payload and print the response; exit 3 after \"no response within\n"
         "MS ms\". The first request leaves --settle MS after connecting, so that the server\n"
         "has attached the response channel by the time it answers.",
         {option("server", SERVER_TEXT, "NAME"),
          option("as",
                 "Origin to send as: core-app (default), com-manager-remote, cal-app, "
                 "pwr-manager, ..., IPC_ORIGIN_... or a number.",
                 "ORIGIN"),
          option("requests", "Requests address (default: the server's).", "ADDR"),
          option("responses", "Response channel (default: the one ORIGIN has to the server).",
                 "ADDR"),
          option("timeout", "Wait for each response (default 3000).", "MS"),
          option("count", "Send K requests one after the other and print each round trip.", "K"),
          option("no-read", "Send and never read the responses."),
          option("hold", "With --no-read: keep the connection MS ms (default 0).", "MS"),
          option("settle", "Pause before the first request (default 200).", "MS")}},
        {CommandLine::DspManager,
         "dsp-manager",
         "[options]",
         "Play the dsp-manager for the power manager: answer GET_INSTRUMENT_CONFIG and\n"
         "GET_LOGGING_SESSION_STATUS, take SET_INSTRUMENT_CONFIG, print every request. Reads\n"
         "commands line by line from standard input and from the named pipe FIFO (created if\n"
         "missing): session idle|pending|active|done, power-button-flag 0|1, quit. End of\n"
         "standard input does not stop it; quit, SIGINT or SIGTERM do.",
         {option("requests", "Requests address to bind.", "ADDR"),
          option("events", "Events address to bind.", "ADDR"),
          option("responses", "Response channel to the power manager.", "ADDR"),
          option("session", "Initial session state: idle, pending, active or done.", "STATE"),
          option("power-button-flag", "Initial powerButtonShutdown byte: 0 or 1.", "0|1"),
          option("control", "Named pipe read like standard input.", "FIFO")}},
        {CommandLine::Flood,
         "flood",
         "[options]",
         "Send N short, unknown or wrongly addressed request frames as fast as possible\n"
         "without ever blocking, then print how many went out.",
         {option("server", SERVER_TEXT, "NAME"),
          option("requests", "Requests address (default: the server's).", "ADDR"),
          option("count", "Frames to send (default 1000).", "N")}},
    };
    return table;
}

const CommandEntry* findCommand(const std::string& name) {
    for (const CommandEntry& entry : commands()) {
        if (name == entry.name) {
            return &entry;
        }
    }
    return nullptr;
}

std::string commandHelp(const CommandEntry& entry) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(entry.description));
    parser.addOptions(entry.options);
    // Not addHelpOption(), which would list Qt's own options as well.
    parser.addOption(QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")},
                                        QStringLiteral("Show this text.")));
    // Qt's first line names the executable by its path; the command belongs there instead.
    const QString text = parser.helpText();
    return "Usage: quarn-bus " + std::string(entry.name) + " " + entry.synopsis +
           text.mid(text.indexOf(QLatin1Char('\n'))).toStdString();
}

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

ParseResult failure(const std::string& error) {
    ParseResult result;
    result.error = error;
    return result;
}

ParseResult help(const std::string& text) {
    ParseResult result;
    result.ok = true;
    result.helpText = text;
    return result;
}

// Whether the option was given; the parser is asked only about the command's own options, as
// Qt warns about any other name.
bool given(const QCommandLineParser& parser, const CommandEntry& entry, const char* name) {
    const QString key = QString::fromLatin1(name);
    return std::any_of(
               entry.options.begin(), entry.options.end(),
               [&key](const QCommandLineOption& known) { return known.names().contains(key); }) &&
           parser.isSet(key);
}

// Reads the options of one command into line; an empty text when every value is good.
std::string readOptions(const QCommandLineParser& parser, const CommandEntry& entry,
                        CommandLine& line) {
    const auto isSet = [&parser, &entry](const char* name) { return given(parser, entry, name); };
    const auto value = [&parser, &isSet](const char* name) {
        return isSet(name) ? parser.value(QString::fromLatin1(name)) : QString();
    };
    if (isSet("server")) {
        const auto server = parseServer(value("server").toStdString());
        if (!server) {
            return "unknown server: " + value("server").toStdString() +
                   " (core-app, dsp-manager, pwr-manager, usb-manager, com-manager)";
        }
        line.server = *server;
    }
    line.eventsAddress = value("events").toStdString();
    line.requestsAddress = value("requests").toStdString();
    line.responsesAddress = value("responses").toStdString();
    line.controlPath = value("control").toStdString();
    line.noRead = isSet("no-read");
    if (isSet("as")) {
        const auto origin = parseOrigin(value("as").toStdString());
        if (!origin) {
            return "unknown origin: " + value("as").toStdString();
        }
        line.origin = *origin;
    }
    if (isSet("session")) {
        const auto state = parseSessionState(value("session").toStdString());
        if (!state) {
            return "--session must be idle, pending, active or done: " +
                   value("session").toStdString();
        }
        line.sessionState = *state;
    }
    if (isSet("power-button-flag")) {
        const QString flag = value("power-button-flag");
        if (flag != QLatin1String("0") && flag != QLatin1String("1")) {
            return "--power-button-flag must be 0 or 1: " + flag.toStdString();
        }
        line.powerButtonFlag = flag == QLatin1String("1") ? 1 : 0;
    }
    for (const auto& [name, target] :
         {std::pair{"count", &line.count}, std::pair{"timeout", &line.timeoutMs},
          std::pair{"hold", &line.holdMs}, std::pair{"settle", &line.settleMs}}) {
        if (!isSet(name)) {
            continue;
        }
        const auto number = parseNonNegative(value(name).toStdString());
        if (!number) {
            return std::string("--") + name + " needs a number: " + value(name).toStdString();
        }
        *target = *number;
    }
    line.countGiven = isSet("count");
    if (line.countGiven && line.count < 1) {
        return "--count must be at least 1";
    }
    if (isSet("hold") && !line.noRead) {
        return "--hold only applies with --no-read";
    }
    return std::string();
}

// The addresses and counts the command line left open.
void fillDefaults(CommandLine& line, bool timeoutGiven, bool responsesGiven) {
    const CommandLine::Command command = line.command;
    ipc::IPC_ORIGIN origin = line.origin;
    if (command == CommandLine::DspManager) {
        // It binds the dsp-manager's addresses and answers the power manager's client.
        line.server = BusServer::DspManager;
        origin = ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER;
    }
    if (command != CommandLine::Monitor && line.requestsAddress.empty()) {
        line.requestsAddress = requestsAddress(line.server);
    }
    const bool hasEvents = command == CommandLine::Monitor || command == CommandLine::DspManager;
    if (hasEvents && line.eventsAddress.empty()) {
        line.eventsAddress = eventsAddress(line.server);
    }
    const bool hasResponses = command == CommandLine::Request || command == CommandLine::DspManager;
    if (hasResponses && !responsesGiven) {
        const char* address = defaultResponsesAddress(origin, line.server);
        line.responsesAddress = address != nullptr ? address : "";
    }
    if (!line.countGiven) {
        line.count = command == CommandLine::Request ? 1
                     : command == CommandLine::Flood ? DEFAULT_FLOOD_COUNT
                                                     : 0;
    }
    if (command == CommandLine::Request && !timeoutGiven) {
        line.timeoutMs = DEFAULT_REQUEST_TIMEOUT_MS;
    }
}

} // namespace

ParseResult parseCommandLine(const std::vector<std::string>& arguments) {
    const CommandEntry* entry = arguments.empty() ? nullptr : findCommand(arguments[0]);
    // Help wins wherever it stands: the help of the command named, or of the whole tool.
    for (const std::string& argument : arguments) {
        if (argument == "--help" || argument == "-h") {
            return help(entry != nullptr ? commandHelp(*entry) : usageText());
        }
    }
    if (arguments.empty()) {
        return failure("no command given");
    }
    if (arguments[0] == "help") {
        const CommandEntry* topic = arguments.size() > 1 ? findCommand(arguments[1]) : nullptr;
        return help(topic != nullptr ? commandHelp(*topic) : usageText());
    }
    if (entry == nullptr) {
        return failure("unknown command: " + arguments[0]);
    }

    QCommandLineParser parser;
    parser.addOptions(entry->options);
    QStringList words{QStringLiteral("quarn-bus")};
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        words << QString::fromStdString(arguments[index]);
    }
    if (!parser.parse(words)) {
        return failure(parser.errorText().toStdString());
    }

    CommandLine line;
    line.command = entry->command;
    QStringList positional = parser.positionalArguments();
    if (line.command == CommandLine::Request) {
        if (positional.isEmpty()) {
            return failure(
                "request needs a MESSAGE (a name such as GET_BATTERY_STATUS or a number)");
        }
        const auto message = parseMessage(positional.takeFirst().toStdString());
        if (!message) {
            return failure("unknown message: " + parser.positionalArguments()[0].toStdString());
        }
        line.message = *message;
    }
    if (!positional.isEmpty()) {
        return failure("unexpected argument: " + positional[0].toStdString());
    }
    const std::string error = readOptions(parser, *entry, line);
    if (!error.empty()) {
        return failure(error);
    }
    fillDefaults(line, given(parser, *entry, "timeout"), given(parser, *entry, "responses"));

    ParseResult result;
    result.ok = true;
    result.commandLine = line;
    return result;
}

std::string usageText() {
    std::string text = "Usage: quarn-bus COMMAND [OPTIONS]\n"
                       "A client of the instrument's IPC bus. Addresses default to the product's "
                       "ipc:///tmp/quarn.*\nendpoints; every one can be given instead (options "
                       "take \"--opt VALUE\" or \"--opt=VALUE\").\n\nCommands:\n";
    for (const CommandEntry& entry : commands()) {
        text += "  " + std::string(entry.name) + " " + entry.synopsis + "\n";
    }
    return text + "\n'quarn-bus COMMAND --help' describes a command and its options.\n"
                  "Exit status: 0 success, 1 bus failure, 2 usage error, 3 no response or too "
                  "few events.\n";
}

} // namespace quarn_bus
