#pragma once

// Small helpers for the record tests: byte images through the system's stream maker and hex
// literals for expected bytes.

#include "foundation/Qt48DataStream.h"

#include <QByteArray>

#include <cstring>
#include <string>

namespace recordtest {

template <typename T> QByteArray streamed(const T& record) {
    QByteArray bytes;
    shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
    stream << record;
    return bytes;
}

inline QByteArray hex(const char* digits) {
    return QByteArray::fromHex(QByteArray(digits));
}

// ASCII text as UTF-32 little-endian code points, without a terminator.
inline QByteArray utf32le(const char* ascii) {
    QByteArray bytes;
    for (const char* c = ascii; *c != 0; ++c) {
        bytes.append(*c);
        bytes.append(3, '\0');
    }
    return bytes;
}

inline bool allZero(const QByteArray& bytes) {
    return bytes.count('\0') == bytes.size();
}

inline std::string structureMessage(const char* name, int read, int expected) {
    return "Could not load serialized structure \"" + std::string(name) +
           "\", read bytes: " + std::to_string(read) +
           ", expected bytes: " + std::to_string(expected);
}

} // namespace recordtest
