#pragma once

// Private ipc:// endpoints and a way to let the event loop run, for the bus tool's tests.

#include "support/EventLoop.h"
#include <QByteArray>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <string>

namespace bustest {

using testsupport::pumpFor;
using testsupport::pumpUntil;
using testsupport::TempEndpoints;

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
