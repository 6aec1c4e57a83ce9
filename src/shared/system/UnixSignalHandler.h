#pragma once

#include <QMap>

namespace quarn_system {

// Turns termination signals into an orderly end of the Qt event loop with a chosen exit code.
//
// The handler itself only writes the signal number to a non-blocking self-pipe, which is all a
// signal handler may safely do. A QSocketNotifier on the application's thread reads the pipe and
// calls QCoreApplication::exit with the code mapped to the signal (1 for a signal without one).
//
// Hook-up: main installs the handlers first, before the QCoreApplication exists, so the notifier
// cannot be made then. installSignalHandlers (and every constructor) creates the pipe at once,
// and attaches the notifier at once too when an application already exists; otherwise the
// application wiring calls attachToEventLoop() once the QCoreApplication is constructed. A signal
// arriving in between waits in the pipe and ends the event loop as soon as exec() runs.
class UnixSignalHandler {
public:
    // Installs signalHandlerMethod for signalNumber (it stays installed after it ran) and maps
    // the signal to exitCode, replacing an earlier mapping of the same signal.
    UnixSignalHandler(int signalNumber, int exitCode);
    virtual ~UnixSignalHandler();

    // The installed handler: asks the event loop to end with the code mapped to signalNumber.
    static void signalHandlerMethod(int signalNumber);

    // SIGABRT, SIGINT and SIGTERM, each ending the event loop with 1.
    static void installSignalHandlers();

    // Creates the notifier that reads the pipe on the thread of the QCoreApplication, as a child
    // of it. Call on that thread once the application exists; calling again is harmless. A new
    // application needs a new call. Returns false when there is no application or the pipe
    // could not be made.
    static bool attachToEventLoop();

private:
    static QMap<int, int> s_exitCodes;
};

} // namespace quarn_system
