#include "records/MetaRecords.h"

#include "records/RawRecordStream.h"

namespace storage {

QDataStream& operator<<(QDataStream& stream, const META_TREND_ENERGY& record) {
    writeRawRecord(stream, record);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, META_TREND_ENERGY& record) {
    readRawRecord(stream, record, "META_TREND_ENERGY");
    return stream;
}

QDataStream& operator<<(QDataStream& stream, const META_DEMAND_ENERGY& record) {
    writeRawRecord(stream, record);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, META_DEMAND_ENERGY& record) {
    readRawRecord(stream, record, "META_DEMAND_ENERGY");
    return stream;
}

QDataStream& operator<<(QDataStream& stream, const META_SESSION_DATA& record) {
    writeRawRecord(stream, record);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, META_SESSION_DATA& record) {
    readRawRecord(stream, record, "META_SESSION_DATA");
    return stream;
}

QDataStream& operator<<(QDataStream& stream, const META_TREND_OVERVIEW& record) {
    writeRawRecord(stream, record);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, META_TREND_OVERVIEW& record) {
    readRawRecord(stream, record, "META_TREND_OVERVIEW");
    return stream;
}

} // namespace storage
