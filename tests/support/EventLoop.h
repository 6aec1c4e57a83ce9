#pragma once

// Private ipc:// endpoints and ways to let the event loop run, for tests that talk over the bus.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <string>

namespace testsupport {

// ipc:// addresses inside a private temporary directory, removed with the object.
class TempEndpoints {
public:
    TempEndpoints()
        : dir_(QDir::tempPath() + "/quarn-test-XXXXXX") {}
    std::string operator()(const char* name) const { return "ipc://" + path(name); }
    std::string path(const char* name) const { return (dir_.path() + "/" + name).toStdString(); }

private:
    QTemporaryDir dir_;
};

// Runs the event loop until done() holds or timeoutMs have passed; false on time-out.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    // The tick makes the loop come back to the test at least every 5 ms.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (clock.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

inline void pumpFor(int milliseconds) {
    pumpUntil([] { return false; }, milliseconds);
}

} // namespace testsupport
