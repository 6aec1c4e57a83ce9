#pragma once

#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"
#include "records/QuarnDateTime.h"
#include "session/SessionConfig.h"

#include <QByteArray>
#include <QString>

namespace storage {

// A session's configuration in the form the host reads it: three protocol tables (tag and size,
// 16 bits each, then the body; everything little-endian).
class HostConfigTables {
public:
    static constexpr quint16 DOWNLOAD_INFO_TAG = 47;
    static constexpr int DOWNLOAD_INFO_SIZE = 40;
    static constexpr quint16 UNIT_NAME_TAG = 16;
    static constexpr quint16 ENERGY_SETTINGS_TAG = 63;
    static constexpr int ENERGY_SETTINGS_SIZE = 740;

    // 100 ns units since 1601-01-01 00:00:00 UTC.
    static quint64 hostTimeStamp(const QUARN_DATE_TIME& time);

    // The planned duration of the session in seconds at offset 28, zeros elsewhere.
    static QByteArray downloadInfo(const SESSION_CONFIG& sessionConfig);
    // The name in UTF-16 with a terminating 0 unit.
    static QByteArray unitName(const QString& name);
    static QByteArray energySettings(const SESSION_CONFIG& sessionConfig,
                                     const ADCO_DSP_CONFIG& dspConfig,
                                     const ADCO_DSP_PROBE_CONFIG& probeConfig,
                                     const quarn_system::INSTRUMENT_CONFIG& instrumentConfig);
};

} // namespace storage
