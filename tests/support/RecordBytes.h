#pragma once

// Byte images of records, hex literals for expected bytes, UTC times and the check of a raw
// record reader: shared by the records, session and storage tests.

#include "foundation/Qt48DataStream.h"
#include "support/LogCapture.h"

#include <QByteArray>
#include <QDateTime>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace testsupport {

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

inline QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

// Default DSP set-up made 2012-01-01 00:00:00 UTC. Offsets: 0 date-time; 8, 10 words 1, 5; 12, 16
// the intervals 60 s and 300 s; 20 to 30 words 0, 1, 2, 0, 1, 2; 32 115.0; 36 60.0; 40 to 64
// seven times 1.0; 68 0; 72 1.0; 76 0; 80 to 88 all ones; 92 0; 96, 98 words 0, 1; 100, 104 0;
// 108 1.0; 112 all ones; 116 to 132 0.
inline const QByteArray DSP_IMAGE = hex("805e921600000000"
                                        "010005003c0000002c010000"
                                        "0000010002000000"
                                        "01000200"
                                        "0000e64200007042"
                                        "0000803f0000803f0000803f0000803f0000803f0000803f0000803f"
                                        "000000000000803f00000000"
                                        "ffffffffffffffffffffffff00000000"
                                        "00000100"
                                        "00000000000000000000803fffffffff"
                                        "0000000000000000000000000000000000000000");
// One probe entry without a probe: 0xFFFE at byte 36.
inline const QByteArray PROBE_IMAGE = QByteArray(36, '\0') + hex("feff0000") + QByteArray(4, '\0');

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
        LogCapture capture;
        shared::Qt48DataStream stream(full.left(count));
        stream >> record;
        EXPECT_EQ(image(record), full.left(count) + image(initial).mid(count)) << count;
        EXPECT_EQ(stream.status() == QDataStream::Ok, count == size) << count;
        const std::string line = "Could not load serialized structure \"" + std::string(name) +
                                 "\", read bytes: " + std::to_string(count) +
                                 ", expected bytes: " + std::to_string(size);
        EXPECT_EQ(capture.messages(), std::vector<std::string>(count == size ? 0 : 1, line));
        EXPECT_EQ(capture.messages("serialization_logger", log4cplus::FATAL_LOG_LEVEL),
                  capture.messages());
    }
}

} // namespace testsupport
