// Any bytes as a recorded data file copied table by table: the copy must never read past the
// data, never hand on a table that is not whole, and account for exactly what it handed on.

#include "FuzzLogging.h"

#include "storage/FileDataStorage.h"

#include <QBuffer>
#include <QByteArray>
#include <QtEndian>

#include <cstdint>
#include <cstdlib>

namespace {

struct CheckingSink : storage::IDataSink {
    bool write(const char* table, quint16 size) override {
        if (size < storage::FileDataStorage::MIN_TABLE_SIZE ||
            qFromLittleEndian<quint16>(table + 2) != size) {
            std::abort();
        }
        bytes += size;
        ++tables;
        // The first input byte decides after how many tables the sink refuses.
        return tables != refuseAt;
    }
    qint64 bytes = 0;
    qint64 tables = 0;
    qint64 refuseAt = 0;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size));
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    CheckingSink sink;
    sink.refuseAt = size > 0 ? data[0] % 8 : 0;
    storage::COPY_INFO info;
    const bool copied = storage::FileDataStorage::transferContent("fuzz", device, sink, info);
    const qint64 accepted = sink.bytes;
    if (accepted > static_cast<qint64>(size) ||
        (copied && (info.byteCount != accepted || info.tableCount != sink.tables))) {
        std::abort();
    }
    return 0;
}
