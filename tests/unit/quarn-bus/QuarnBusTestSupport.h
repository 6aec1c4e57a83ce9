#pragma once

// Hex literals and the tool's printed lines, for the bus tool's tests.

#include "support/EventLoop.h"

#include <QByteArray>

#include <sstream>
#include <string>
#include <vector>

namespace bustest {

// Bytes from a string of hex pairs; blanks are ignored.
inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

// The lines of a captured output, each without its leading "HH:MM:SS.mmm " time.
inline std::vector<std::string> untimedLines(const std::string& output) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 13 && line[2] == ':' && line[5] == ':' && line[8] == '.' &&
            line[12] == ' ') {
            line.erase(0, 13);
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace bustest
