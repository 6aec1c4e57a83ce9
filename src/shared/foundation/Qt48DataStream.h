#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

namespace shared {

// Every QDataStream the system reads or writes is made here. The instrument's other processes
// are Qt 4.8 programs, so the stream speaks Qt 4.8's defaults: big-endian, floats as 8-byte
// doubles, and the Qt 4 form of QDate and QDateTime. Nothing else is changed.
class Qt48DataStream : public QDataStream {
public:
    explicit Qt48DataStream(QIODevice* device)
        : QDataStream(device) {
        setVersion(Qt_4_8);
    }
    Qt48DataStream(QByteArray* bytes, QIODevice::OpenMode mode)
        : QDataStream(bytes, mode) {
        setVersion(Qt_4_8);
    }
    explicit Qt48DataStream(const QByteArray& bytes)
        : QDataStream(bytes) {
        setVersion(Qt_4_8);
    }
};

} // namespace shared
