// quarn-bus: a command-line client of the instrument's IPC bus. See usageText() for the
// commands; each role lives in its own class so the tests can drive it in-process.

#include "quarn-bus/CommandLine.h"
#include "quarn-bus/ControlInput.h"
#include "quarn-bus/EventMonitor.h"
#include "quarn-bus/FakeDspManager.h"
#include "quarn-bus/Flooder.h"
#include "quarn-bus/Requester.h"

#include "foundation/FileDescriptor.h"
#include "foundation/Log.h"
#include "system/UnixSignalHandler.h"

#include <QCoreApplication>

#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>

#include <zmq.hpp>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

using namespace quarn_bus;

namespace {

// Runs the logging set-up now rather than at the first log statement somewhere in the middle
// of a run: the set-up echoes its variables on standard output, which here carries the tool's
// results. Where no appender is wanted a null one is attached, so log4cplus does not complain
// about a logger without appenders.
void setUpQuietLogging() {
    std::fflush(stdout);
    const shared::FileDescriptor saved(::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0));
    const shared::FileDescriptor null = shared::FileDescriptor::open("/dev/null", O_WRONLY);
    const bool silenced =
        saved.isValid() && null.isValid() && ::dup2(null.get(), STDOUT_FILENO) >= 0;
    shared::logSeconds();
    std::fflush(stdout);
    if (silenced) {
        ::dup2(saved.get(), STDOUT_FILENO);
    }
    log4cplus::Logger root = log4cplus::Logger::getRoot();
    if (root.getAllAppenders().empty()) {
        root.addAppender(log4cplus::SharedAppenderPtr(new log4cplus::NullAppender()));
    }
}

// SIGINT and SIGTERM end the event loop with EXIT_OK, so a long-running role ends through its
// normal exit path (sockets closed, named pipe removed).
void endLoopOnSignals() {
    quarn_system::UnixSignalHandler(SIGINT, EXIT_OK);
    quarn_system::UnixSignalHandler(SIGTERM, EXIT_OK);
}

std::string addressesOf(const CommandLine& line) {
    std::string text;
    const auto add = [&text](const char* name, const std::string& address) {
        if (!address.empty()) {
            text += std::string(text.empty() ? "" : " ") + name + "=" + address;
        }
    };
    add("requests", line.requestsAddress);
    add("responses", line.responsesAddress);
    add("events", line.eventsAddress);
    return text;
}

int runMonitor(const CommandLine& line) {
    EventMonitor monitor(std::cout, line.count, line.timeoutMs);
    QObject::connect(&monitor, &EventMonitor::finished,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
    endLoopOnSignals();
    monitor.start(line.eventsAddress);
    std::cerr << "quarn-bus: monitoring " << line.eventsAddress << std::endl;
    const std::string note = unboundAddressNote(line.eventsAddress);
    if (!note.empty()) {
        std::cerr << "quarn-bus: " << note << " (yet)" << std::endl;
    }
    return QCoreApplication::exec();
}

int runRequest(const CommandLine& line) {
    Requester::Settings settings;
    settings.message = line.message;
    settings.origin = line.origin;
    settings.requestsAddress = line.requestsAddress;
    settings.responsesAddress = line.responsesAddress;
    settings.timeoutMs = line.timeoutMs;
    settings.count = line.count;
    settings.reportRoundTrips = line.countGiven;
    settings.noRead = line.noRead;
    settings.holdMs = line.holdMs;
    settings.settleMs = line.settleMs;
    Requester requester(std::cout, std::cerr, settings);
    QObject::connect(&requester, &Requester::finished,
                     [](int exitCode) { QCoreApplication::exit(exitCode); });
    requester.start();
    return QCoreApplication::exec();
}

int runDspManager(const CommandLine& line) {
    FakeDspManager manager(std::cout, line.sessionState, line.powerButtonFlag);
    QObject::connect(&manager, &FakeDspManager::quitRequested,
                     []() { QCoreApplication::exit(EXIT_OK); });
    endLoopOnSignals();

    const auto applyLine = [&manager](const std::string& text) {
        std::string error;
        if (!manager.applyControlLine(text, error)) {
            std::cerr << "quarn-bus: " << error << std::endl;
        }
    };
    std::vector<std::unique_ptr<ControlInput>> inputs;
    // A copy of standard input, so that closing it leaves the process's own one alone.
    inputs.push_back(std::make_unique<ControlInput>(
        shared::FileDescriptor(::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 0))));

    if (!line.controlPath.empty()) {
        std::string error;
        auto pipe = ControlInput::fromNamedPipe(line.controlPath, error);
        if (!pipe) {
            std::cerr << "quarn-bus: " << error << std::endl;
            return EXIT_BUS_FAILURE;
        }
        inputs.push_back(std::move(pipe));
    }
    for (const auto& input : inputs) {
        QObject::connect(input.get(), &ControlInput::lineReceived, applyLine);
    }

    manager.start(line.requestsAddress, line.eventsAddress, line.responsesAddress);
    return QCoreApplication::exec();
}

int runFlood(const CommandLine& line) {
    const Flooder::Result result = Flooder::flood(line.requestsAddress, line.count);
    std::cout << "sent " << result.sent << " of " << line.count << " frames to "
              << line.requestsAddress << ", " << result.wouldBlock << " would block" << std::endl;
    return EXIT_OK;
}

} // namespace

int main(int argc, char** argv) {
    // A bus tool must not write log files into the instrument's log directory; the user may
    // still ask for an appender explicitly (CONSOLE, for instance).
    setenv("LOG4CPLUS_APPENDER", "NONE", 0);
    setUpQuietLogging();
    QCoreApplication application(argc, argv);

    std::vector<std::string> arguments(argv + 1, argv + argc);
    const ParseResult parsed = parseCommandLine(arguments);
    if (!parsed.ok) {
        std::cerr << "quarn-bus: " << parsed.error << "\nTry 'quarn-bus --help'." << std::endl;
        return EXIT_USAGE;
    }
    const CommandLine& line = parsed.commandLine;
    try {
        switch (line.command) {
        case CommandLine::Help:
            std::cout << parsed.helpText << std::flush;
            return EXIT_OK;
        case CommandLine::Monitor:
            return runMonitor(line);
        case CommandLine::Request:
            return runRequest(line);
        case CommandLine::DspManager:
            return runDspManager(line);
        case CommandLine::Flood:
            return runFlood(line);
        }
    } catch (const zmq::error_t& error) {
        std::cerr << "quarn-bus: ZeroMQ refused " << addressesOf(line) << ": " << error.what()
                  << std::endl;
        return EXIT_BUS_FAILURE;
    }
    return EXIT_OK;
}
