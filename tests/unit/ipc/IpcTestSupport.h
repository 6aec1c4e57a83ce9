#pragma once

// Helpers of the IPC tests: private endpoints and a way to let the event loop run.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <string>

namespace ipctest {

// ipc:// addresses inside a private temporary directory, removed with the object.
class TempEndpoints {
public:
    TempEndpoints()
        : dir_(QDir::tempPath() + "/ipc-test-XXXXXX") {}
    std::string operator()(const char* name) const {
        return ("ipc://" + dir_.path() + "/" + name).toStdString();
    }

private:
    QTemporaryDir dir_;
};

// Runs the event loop until done() holds or timeoutMs have passed; false on time-out.
inline bool pumpUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
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

// A small plain record with a recognisable byte image: 01 00 00 00 fe ff ff ff d4 c3 b2 a1.
struct Record {
    std::int32_t a;
    std::int32_t b;
    std::uint32_t c;
};
static_assert(sizeof(Record) == 12, "no padding");
constexpr Record SAMPLE_RECORD{1, -2, 0xA1B2C3D4u};

} // namespace ipctest
