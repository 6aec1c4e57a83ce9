#pragma once

#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"
#include "records/MetaRecords.h"
#include "session/SessionConfig.h"

#include <QSharedData>
#include <QString>

namespace session {

// The shared record behind LoggingSession. Its default constructor builds the defaults of a
// fresh session.
class LoggingSessionData : public QSharedData {
public:
    LoggingSessionData();
    LoggingSessionData(const LoggingSessionData& other) = default;

    QString name;
    SESSION_CONFIG sessionConfig;
    storage::META_SESSION_DATA metaSessionData;
    ADCO_DSP_CONFIG dspConfig;
    ADCO_DSP_PROBE_CONFIG probeConfig;
    quarn_system::INSTRUMENT_CONFIG instrumentConfig;
    storage::META_TREND_ENERGY metaTrendEnergy;
    storage::META_DEMAND_ENERGY metaDemandEnergy;
};

} // namespace session
