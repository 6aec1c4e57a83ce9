#include "records/AdcoRecords.h"

#include "records/RawRecordStream.h"

QDataStream& operator<<(QDataStream& stream, const ADCO_DSP_CONFIG& config) {
    writeRawRecord(stream, config);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, ADCO_DSP_CONFIG& config) {
    readRawRecord(stream, config, "ADCO_DSP_CONFIG");
    return stream;
}

QDataStream& operator<<(QDataStream& stream, const ADCO_DSP_PROBE_CONFIG& config) {
    writeRawRecord(stream, config);
    return stream;
}

QDataStream& operator>>(QDataStream& stream, ADCO_DSP_PROBE_CONFIG& config) {
    readRawRecord(stream, config, "ADCO_DSP_PROBE_CONFIG");
    return stream;
}
