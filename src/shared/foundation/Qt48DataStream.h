#pragma once

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>
#include <QtEndian>

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

// Reads a QString as QDataStream's operator>> does, except that a length beyond the bytes the
// device still holds is refused before anything is allocated for it (the text cleared, the
// status ReadPastEnd, the device at its end). operator>> first allocates up to 2 MiB for a
// garbled length and only then finds the bytes missing.
inline QDataStream& readString(QDataStream& stream, QString& text) {
    QIODevice* device = stream.device();
    char prefix[4];
    if (stream.status() == QDataStream::Ok && device != nullptr && !device->isSequential() &&
        device->peek(prefix, sizeof prefix) == sizeof prefix) {
        const quint32 bytes = stream.byteOrder() == QDataStream::BigEndian
                                  ? qFromBigEndian<quint32>(prefix)
                                  : qFromLittleEndian<quint32>(prefix);
        if (bytes != 0xFFFFFFFFu && bytes > device->bytesAvailable() - qint64(sizeof prefix)) {
            device->seek(device->size());
            text.clear();
            stream.setStatus(QDataStream::ReadPastEnd);
            return stream;
        }
    }
    return stream >> text;
}

} // namespace shared
