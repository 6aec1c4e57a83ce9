#pragma once

// Helpers for the record tests: byte images, hex literals for expected bytes and the check of a
// raw record reader.

#include "foundation/Qt48DataStream.h"
#include "support/LogCapture.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace recordtest {

template <typename T> QByteArray streamed(const T& record) {
    QByteArray bytes;
    shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
    stream << record;
    return bytes;
}

template <typename T> QByteArray image(const T& record) {
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof record);
}

inline QByteArray hex(const char* digits) {
    return QByteArray::fromHex(QByteArray(digits));
}

// ASCII text as UTF-32 little-endian code points, without a terminator.
inline QByteArray utf32le(const QByteArray& ascii) {
    QByteArray bytes;
    for (const char c : ascii) {
        bytes.append(c).append(3, '\0');
    }
    return bytes;
}

// A reader given the whole record takes it as it is and logs nothing. Given fewer bytes (100,
// or all but one for a smaller record, or none) it logs one FATAL line with the counts, keeps
// what it read over the record's earlier content and leaves the stream not Ok.
template <typename T> void expectRawReads(const T& initial, const char* name) {
    SCOPED_TRACE(name);
    const int size = sizeof(T);
    const QByteArray full(size, '\x5a');
    for (const int count : {size, std::min(100, size - 1), 0}) {
        T record = initial;
        testsupport::LogCapture capture;
        shared::Qt48DataStream stream(full.left(count));
        stream >> record;
        const std::vector<testsupport::LogEvent> events = capture.events();
        EXPECT_EQ(image(record), full.left(count) + image(initial).mid(count)) << count;
        EXPECT_EQ(stream.status() == QDataStream::Ok, count == size) << count;
        if (count == size) {
            EXPECT_TRUE(events.empty());
            continue;
        }
        ASSERT_EQ(events.size(), 1u) << count;
        EXPECT_EQ(events[0].logger, "serialization_logger");
        EXPECT_EQ(events[0].level, log4cplus::FATAL_LOG_LEVEL);
        EXPECT_EQ(testsupport::LogCapture::stripPrefix(events[0].message),
                  "Could not load serialized structure \"" + std::string(name) +
                      "\", read bytes: " + std::to_string(count) +
                      ", expected bytes: " + std::to_string(size));
    }
}

} // namespace recordtest
