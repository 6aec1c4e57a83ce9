// Any bytes as the stream form of a record or of the session model, as a peer or a session file
// hands it over: the first byte picks the reader, the next eight the free space of the data
// partition, the rest is the stream. What was read then goes through the timing and storage
// calculations and is written back out; none of it may read past the data, overflow or divide
// by zero.

#include "FuzzLogging.h"

#include "foundation/Qt48DataStream.h"
#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"
#include "records/MetaRecords.h"
#include "session/LoggingSession.h"
#include "session/SessionConfig.h"
#include "session/SessionTiming.h"
#include "storage/FileStorageSpace.h"
#include "storage/HostConfigTables.h"

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <cstring>
#include <memory>

namespace {

// The partition's real formulas, with the free space the input gives.
struct FuzzedSpace : storage::FileStorageSpace {
    qint64 freeBytes() override { return free; }
    qint64 free = 0;
};

std::shared_ptr<FuzzedSpace>& space() {
    static std::shared_ptr<FuzzedSpace> installed = std::make_shared<FuzzedSpace>();
    return installed;
}

QDateTime fixedNow() {
    return QDateTime::fromMSecsSinceEpoch(1767225600123LL, Qt::UTC); // 2026-01-01 00:00:00.123
}

void exercise(session::SessionTiming timing, std::uint8_t choice) {
    timing.duration();
    timing.isStartInFuture();
    timing.maxAllowedDuration(timing.trendInterval(), timing.demandInterval());
    session::SessionTiming::recommendedStep(timing.duration(), timing.demandInterval());
    timing.limitDurationToStorage();
    timing.recalculateStart(choice & 1);
    timing.changeDuration(choice % 11, static_cast<int>(timing.duration()));
    timing.setIntervals(timing.demandInterval(), timing.trendInterval());
}

void exercise(const session::LoggingSession& received, std::uint8_t choice) {
    session::LoggingSession copy(received);
    copy.isActive();
    copy.elapsedSeconds();
    copy.secondsToNextInterval();
    copy.msecsToStart();
    copy.msecsToPlannedEnd();
    copy.hasData();
    copy.containsPeriod(copy.recordedStartTime(), copy.recordedEndTime());
    copy.timeZone();
    copy.aux1InputName();
    copy.aux2InputName();
    session::LoggingSession::sessionStateName(copy.state());
    storage::HostConfigTables::energySettings(copy.sessionConfig(), copy.dspConfig(),
                                              copy.probeConfig(), copy.instrumentConfig());
    copy.limitDurationToStorage();
    copy.recalculateStartTime();
    if (choice & 2) {
        copy.start();
        copy.stop();
    }
    exercise(copy.timing(), choice);
}

void exercise(const quarn_system::INSTRUMENT_CONFIG& config) {
    namespace labels = quarn_system::InstrumentConfig;
    labels::currencySymbol(config);
    labels::languageNativeName(config.language);
    labels::auxInputTypeText(config.aux1InputType);
    labels::auxInputDefinition(config, config.aux2InputType);
    quarn_system::wideText(config.timeZone);
}

template <class Record> void readAndWriteBack(QDataStream& in, Record& record) {
    in >> record;
    QByteArray out;
    shared::Qt48DataStream writer(&out, QIODevice::WriteOnly);
    writer << record;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceLogging();
    fixTimeZone();
    session::SessionTiming::setClock(fixedNow);
    session::IStorageSpace::install(space());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 9) {
        return 0;
    }
    const std::uint8_t choice = data[0];
    std::memcpy(&space()->free, data + 1, sizeof(qint64));
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data + 9),
                                                     static_cast<int>(size - 9));
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    shared::Qt48DataStream in(&device);

    switch (choice % 11) {
    case 0: {
        session::LoggingSession session;
        readAndWriteBack(in, session);
        exercise(session, choice >> 4);
        break;
    }
    case 1: {
        SESSION_CONFIG config = defaultSessionConfig();
        readAndWriteBack(in, config);
        storage::HostConfigTables::downloadInfo(config);
        exercise(config.timing, choice >> 4);
        break;
    }
    case 2: {
        session::SessionTiming timing;
        readAndWriteBack(in, timing);
        exercise(timing, choice >> 4);
        break;
    }
    case 3: {
        quarn_system::INSTRUMENT_CONFIG config = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
        readAndWriteBack(in, config);
        exercise(config);
        break;
    }
    case 4: {
        ADCO_DSP_CONFIG config = DEFAULT_DSP_CONFIG;
        readAndWriteBack(in, config);
        session::LoggingSession session;
        session.setDspConfig(config);
        exercise(session, choice >> 4);
        break;
    }
    case 5: {
        ADCO_DSP_PROBE_CONFIG config = DEFAULT_DSP_PROBE_CONFIG;
        readAndWriteBack(in, config);
        break;
    }
    case 6: {
        storage::META_TREND_ENERGY record = storage::DEFAULT_META_TREND_ENERGY;
        readAndWriteBack(in, record);
        break;
    }
    case 7: {
        storage::META_DEMAND_ENERGY record = storage::DEFAULT_META_DEMAND_ENERGY;
        readAndWriteBack(in, record);
        break;
    }
    case 8: {
        storage::META_SESSION_DATA record = storage::DEFAULT_META_SESSION_DATA;
        readAndWriteBack(in, record);
        break;
    }
    case 9: {
        auto record = std::make_unique<storage::META_TREND_OVERVIEW>();
        readAndWriteBack(in, *record);
        break;
    }
    default: {
        auto modification = std::make_unique<session::SESSION_OVERVIEW_MODIFICATION_DATA>();
        readAndWriteBack(in, *modification);
        break;
    }
    }
    return 0;
}
