#include "system/UnixSignalHandler.h"

#include "foundation/Log.h"

#include <QCoreApplication>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace quarn_system {

QMap<int, int> UnixSignalHandler::s_exitCodes;

namespace {

const char* const LOGGER = "quarn_system_logger";

// The self-pipe's descriptors. They live as long as the process: a handler may run at any moment
// up to its very end, so they are never closed. Atomic because the handler reads them.
std::atomic<int> g_readEnd{-1};
std::atomic<int> g_writeEnd{-1};

QPointer<QSocketNotifier>& notifier() {
    static QPointer<QSocketNotifier> instance;
    return instance;
}

// Called on the main thread only, before any handler that could need the pipe is installed.
bool ensurePipe() {
    if (g_writeEnd.load() >= 0) {
        return true;
    }
    int ends[2];
    if (::pipe2(ends, O_NONBLOCK | O_CLOEXEC) != 0) {
        // Taken before the log statement, whose first use sets logging up and may change it.
        const int error = errno;
        LOG_ERROR(LOGGER, "Signal pipe cannot be created -> ERRNO : " << error);
        return false;
    }
    g_readEnd.store(ends[0]);
    g_writeEnd.store(ends[1]);
    return true;
}

// Reads every signal number queued in the pipe and asks the event loop to end for each.
void drainPipe(QMap<int, int>& exitCodes) {
    int numbers[16];
    for (;;) {
        const ssize_t count = ::read(g_readEnd.load(), numbers, sizeof numbers);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        // Each write of one int is atomic on a pipe, so reads only ever see whole numbers.
        for (ssize_t index = 0; index < count / static_cast<ssize_t>(sizeof(int)); ++index) {
            QCoreApplication::exit(exitCodes.value(numbers[index], 1));
        }
    }
}

} // namespace

UnixSignalHandler::UnixSignalHandler(int signalNumber, int exitCode) {
    // The pipe must exist before the handler can run.
    ensurePipe();
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = &UnixSignalHandler::signalHandlerMethod;
    sigemptyset(&action.sa_mask);
    // SA_RESTART keeps interrupted reads and writes of other code going; the handler stays
    // installed after it ran, so a second signal asks again.
    action.sa_flags = SA_RESTART;
    if (::sigaction(signalNumber, &action, nullptr) != 0) {
        const int error = errno;
        LOG_ERROR(LOGGER, "Signal handler for signal "
                              << signalNumber << " cannot be installed -> ERRNO : " << error);
    }
    s_exitCodes[signalNumber] = exitCode;
    if (QCoreApplication::instance() != nullptr &&
        QThread::currentThread() == QCoreApplication::instance()->thread()) {
        attachToEventLoop();
    }
}

UnixSignalHandler::~UnixSignalHandler() = default;

void UnixSignalHandler::signalHandlerMethod(int signalNumber) {
    const int savedErrno = errno;
    const int writeEnd = g_writeEnd.load();
    if (writeEnd >= 0) {
        // A full pipe (EAGAIN) already holds a request to end the loop; nothing is lost.
        ssize_t written;
        do {
            written = ::write(writeEnd, &signalNumber, sizeof signalNumber);
        } while (written < 0 && errno == EINTR);
    }
    errno = savedErrno;
}

void UnixSignalHandler::installSignalHandlers() {
    UnixSignalHandler(SIGABRT, 1);
    UnixSignalHandler(SIGINT, 1);
    UnixSignalHandler(SIGTERM, 1);
}

bool UnixSignalHandler::attachToEventLoop() {
    QCoreApplication* application = QCoreApplication::instance();
    if (application == nullptr || QThread::currentThread() != application->thread() ||
        !ensurePipe()) {
        return false;
    }
    if (!notifier().isNull()) {
        return true;
    }
    QSocketNotifier* created =
        new QSocketNotifier(g_readEnd.load(), QSocketNotifier::Read, application);
    QObject::connect(created, &QSocketNotifier::activated, created, [] {
        try {
            drainPipe(s_exitCodes);
        }
        CATCH_ALL_AND_ABORT
    });
    notifier() = created;
    return true;
}

} // namespace quarn_system
