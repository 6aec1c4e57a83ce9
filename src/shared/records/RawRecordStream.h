#pragma once

// The single place where plain records are moved through a QDataStream. Records cross process
// boundaries as their raw little-endian image, never field by field, so both directions are one
// block copy; a reader that gets fewer bytes than the record holds reports it at FATAL, keeps the
// bytes that did arrive and leaves the stream in a non-Ok status for the enclosing reader to see.

#include "foundation/Log.h"

#include <QDataStream>

#include <type_traits>

template <typename T> void writeRawRecord(QDataStream& stream, const T& record) {
    static_assert(std::is_trivially_copyable<T>::value, "only plain records are written raw");
    stream.writeRawData(reinterpret_cast<const char*>(&record), static_cast<int>(sizeof(T)));
}

// Returns true when the whole record was read. `name` is the record name the FATAL line carries.
template <typename T> bool readRawRecord(QDataStream& stream, T& record, const char* name) {
    static_assert(std::is_trivially_copyable<T>::value, "only plain records are read raw");
    const int expected = static_cast<int>(sizeof(T));
    const auto read = stream.readRawData(reinterpret_cast<char*>(&record), expected);
    if (read == expected) {
        return true;
    }
    LOG_FATAL("serialization_logger", "Could not load serialized structure \""
                                          << name << "\", read bytes: " << read
                                          << ", expected bytes: " << expected);
    // Qt sets this itself on a short read from a device; a stream without one would stay Ok.
    if (stream.status() == QDataStream::Ok) {
        stream.setStatus(QDataStream::ReadPastEnd);
    }
    return false;
}
