#include "system/UnixSignalHandler.h"

#include <QCoreApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <signal.h>

#include <functional>
#include <thread>

using quarn_system::UnixSignalHandler;

namespace {

// Exit code of the guard that ends a loop no signal ended.
constexpr int NOT_ENDED_BY_SIGNAL = 99;

// Runs the application's event loop, calling trigger from inside it, until something ends it.
int runEventLoop(const std::function<void()>& trigger) {
    QTimer guard;
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(NOT_ENDED_BY_SIGNAL); });
    guard.start(5000);
    QTimer::singleShot(0, trigger);
    return QCoreApplication::exec();
}

TEST(UnixSignalHandler, TerminationSignalsEndTheEventLoopWithOne) {
    UnixSignalHandler::installSignalHandlers();
    EXPECT_TRUE(UnixSignalHandler::attachToEventLoop());
    // Twice over: the handler stays installed after it ran.
    for (int round = 0; round < 2; ++round) {
        for (int signalNumber : {SIGTERM, SIGINT, SIGABRT}) {
            EXPECT_EQ(1, runEventLoop([signalNumber] { raise(signalNumber); }))
                << "signal " << signalNumber << " round " << round;
        }
    }
    // Taken by another thread, the signal still ends the main loop.
    EXPECT_EQ(1, runEventLoop([] { std::thread([] { raise(SIGTERM); }).join(); }));
}

// The last handler for a signal chooses the code and an unmapped one gives 1. Signals before the
// loop runs are not lost, and a flood leaves nothing behind.
TEST(UnixSignalHandler, LastHandlerChoosesTheCodeAndEarlySignalsAreKeptButNotPiledUp) {
    UnixSignalHandler first(SIGUSR1, 3);
    UnixSignalHandler second(SIGUSR1, 7);
    EXPECT_EQ(7, runEventLoop([] { raise(SIGUSR1); }));
    EXPECT_EQ(1, runEventLoop([] { UnixSignalHandler::signalHandlerMethod(SIGRTMIN + 3); }));
    UnixSignalHandler handler(SIGUSR2, 5);
    // More signals than the pipe holds: the handler must never block on the full pipe.
    for (int count = 0; count < 20000; ++count) {
        raise(SIGUSR2);
    }
    EXPECT_EQ(5, runEventLoop([] {}));
    EXPECT_EQ(NOT_ENDED_BY_SIGNAL, runEventLoop([] {
                  QTimer::singleShot(100, [] { QCoreApplication::exit(NOT_ENDED_BY_SIGNAL); });
              }));
}

} // namespace
