#pragma once

// Private ipc:// endpoints and a way to let the event loop run, for the bus tool's tests.

#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <string>

namespace bustest {

// ipc:// addresses inside a private temporary directory, removed with the object.
class TempEndpoints {
public:
    TempEndpoints()
        : dir_(QDir::tempPath() + "/quarn-bus-test-XXXXXX") {}
    std::string operator()(const char* name) const {
        return ("ipc://" + dir_.path() + "/" + name).toStdString();
    }
    std::string path(const char* name) const { return (dir_.path() + "/" + name).toStdString(); }

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

// Bytes from a string of hex pairs; blanks are ignored.
inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The lines of a captured output, each without its leading "HH:MM:SS.mmm " time.
inline std::vector<std::string> untimedLines(const std::string& output) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos) {
            end = output.size();
        }
        std::string line = output.substr(start, end - start);
        if (line.size() > 13 && line[2] == ':' && line[5] == ':' && line[8] == '.' &&
            line[12] == ' ') {
            line.erase(0, 13);
        }
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

} // namespace bustest
