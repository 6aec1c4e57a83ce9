#pragma once

#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"
#include "records/MetaRecords.h"
#include "session/SessionConfig.h"
#include "storage/CopyInfo.h"
#include "storage/IDataSink.h"

#include <QString>
#include <QStringList>

namespace storage {

// Where the logging sessions of the instrument are kept. At most one session is open at a time;
// the record and metadata operations act on it. Every operation reports success by its result
// and explains a failure in the log.
class IDataStorage {
public:
    virtual ~IDataStorage() = default;

    virtual bool create(const QString& name, SESSION_CONFIG& sessionConfig,
                        ADCO_DSP_CONFIG& dspConfig, ADCO_DSP_PROBE_CONFIG& probeConfig,
                        quarn_system::INSTRUMENT_CONFIG& instrumentConfig) = 0;
    // Opens a stored session and fills the four records with the configuration it was made with.
    virtual bool reopen(const QString& name, SESSION_CONFIG& sessionConfig,
                        ADCO_DSP_CONFIG& dspConfig, ADCO_DSP_PROBE_CONFIG& probeConfig,
                        quarn_system::INSTRUMENT_CONFIG& instrumentConfig) = 0;
    virtual bool close() = 0;
    virtual bool isOpen() const = 0;
    virtual QString openedName() const = 0;
    virtual bool remove(const QStringList& names) = 0;

    // Metadata files of the open session, shared with the other processes.
    virtual bool write(const META_TREND_OVERVIEW& overview) = 0;
    virtual bool write(const META_SESSION_DATA& data) = 0;
    virtual bool write(const META_TREND_ENERGY& data) = 0;
    virtual bool write(const META_DEMAND_ENERGY& data) = 0;
    virtual bool read(META_TREND_OVERVIEW& overview) = 0;
    virtual bool read(META_SESSION_DATA& data) = 0;
    virtual bool read(META_TREND_ENERGY& data) = 0;
    virtual bool read(META_DEMAND_ENERGY& data) = 0;

    // One recorded table of the open session at its place in the data file (index × size).
    virtual bool writeTrendRecord(qint64 index, const char* record) = 0;
    virtual bool writeDemandRecord(qint64 index, const char* record) = 0;

    // The open session as protocol tables: its configuration, then its recorded data.
    virtual bool copy(IDataSink& sink, COPY_INFO& info) = 0;

    // Changes one member of the configuration stored with a session, leaving the rest as stored.
    virtual bool setOnDiskSessionConfigMember(const QString& name, float SESSION_CONFIG::*member,
                                              float value) = 0;
    virtual bool setOnDiskSessionConfigMember(const QString& name, QString SESSION_CONFIG::*member,
                                              const QString& value) = 0;
};

} // namespace storage
