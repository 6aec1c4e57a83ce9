#include "session/LoggingSession.h"

#include "foundation/Log.h"
#include "foundation/Qt48DataStream.h"
#include "records/QuarnDateTime.h"
#include "session/LoggingSessionData.h"

#include <algorithm>

namespace session {

namespace {

const char* const LOGGER = "logging_session_logger";

ADCO_DSP_CONFIG defaultSessionDspConfig() {
    ADCO_DSP_CONFIG config = DEFAULT_DSP_CONFIG;
    config.trendInterval = LoggingSession::DEFAULT_TREND_INTERVAL;
    config.demandInterval = LoggingSession::DEFAULT_DEMAND_INTERVAL;
    return config;
}

qint64 msecsFromNowTo(const QDateTime& time) {
    return std::max<qint64>(0, SessionTiming::currentDateTimeUtc().msecsTo(time));
}

} // namespace

LoggingSessionData::LoggingSessionData()
    : sessionConfig(defaultSessionConfig())
    , metaSessionData(storage::DEFAULT_META_SESSION_DATA)
    , dspConfig(defaultSessionDspConfig())
    , probeConfig(DEFAULT_DSP_PROBE_CONFIG)
    , instrumentConfig(quarn_system::DEFAULT_INSTRUMENT_CONFIG)
    , metaTrendEnergy(storage::DEFAULT_META_TREND_ENERGY)
    , metaDemandEnergy(storage::DEFAULT_META_DEMAND_ENERGY) {
    sessionConfig.timing.setIntervals(dspConfig.trendInterval, dspConfig.demandInterval);
    sessionConfig.timing.setDuration(SessionTiming::DURATION_1_WEEK, 0);
}

LoggingSession::LoggingSession(QObject* parent)
    : QObject(parent)
    , d(new LoggingSessionData()) {}

LoggingSession::LoggingSession(const QString& name, const QString& description, int durationMode,
                               int customDuration, const ADCO_DSP_CONFIG& dspConfig,
                               const ADCO_DSP_PROBE_CONFIG& probeConfig,
                               const quarn_system::INSTRUMENT_CONFIG& instrumentConfig,
                               QObject* parent)
    : QObject(parent)
    , d(new LoggingSessionData()) {
    d->name = name;
    d->sessionConfig = defaultSessionConfig();
    d->sessionConfig.description = description;
    d->dspConfig = dspConfig;
    d->probeConfig = probeConfig;
    d->instrumentConfig = instrumentConfig;
    d->sessionConfig.timing.setIntervals(dspConfig.trendInterval, dspConfig.demandInterval);
    d->sessionConfig.timing.setDuration(durationMode, customDuration);
}

LoggingSession::LoggingSession(const LoggingSession& other)
    : QObject(nullptr)
    , d(other.d) {}

LoggingSession& LoggingSession::operator=(const LoggingSession& other) {
    d = other.d;
    return *this;
}

LoggingSession::~LoggingSession() = default;

void LoggingSession::reset() {
    d = new LoggingSessionData();
}

void LoggingSession::init(const QString& name, const QString& description, int durationMode,
                          const ADCO_DSP_CONFIG& dspConfig,
                          const quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    reset();
    setName(name);
    setDescription(description);
    setDspConfig(dspConfig);
    setInstrumentConfig(instrumentConfig);
    d->sessionConfig.timing.setDuration(durationMode, 0);
}

void LoggingSession::assign(const QString& name, const SESSION_CONFIG& sessionConfig,
                            const storage::META_SESSION_DATA& metaSessionData,
                            const ADCO_DSP_CONFIG& dspConfig,
                            const ADCO_DSP_PROBE_CONFIG& probeConfig,
                            const quarn_system::INSTRUMENT_CONFIG& instrumentConfig,
                            const storage::META_TREND_ENERGY& metaTrendEnergy,
                            const storage::META_DEMAND_ENERGY& metaDemandEnergy) {
    LoggingSessionData& data = *d;
    data.name = name;
    data.sessionConfig = sessionConfig;
    data.metaSessionData = metaSessionData;
    data.dspConfig = dspConfig;
    data.probeConfig = probeConfig;
    data.instrumentConfig = instrumentConfig;
    data.metaTrendEnergy = metaTrendEnergy;
    data.metaDemandEnergy = metaDemandEnergy;
}

void LoggingSession::copyFrom(const LoggingSession& other) {
    // Holding the source record keeps it alive when `other` is this session.
    const QSharedDataPointer<LoggingSessionData> source = other.d;
    reset();
    assign(source->name, source->sessionConfig, source->metaSessionData, source->dspConfig,
           source->probeConfig, source->instrumentConfig, source->metaTrendEnergy,
           source->metaDemandEnergy);
}

void LoggingSession::start() {
    LoggingSessionData& data = *d;
    data.metaSessionData = storage::DEFAULT_META_SESSION_DATA;
    data.metaTrendEnergy = storage::DEFAULT_META_TREND_ENERGY;
    data.metaDemandEnergy = storage::DEFAULT_META_DEMAND_ENERGY;
    data.metaSessionData.state = SESSION_STATE_PENDING;
}

void LoggingSession::stop() {
    setState(SESSION_STATE_DONE);
}

void LoggingSession::setState(int state) {
    d->metaSessionData.state = state;
}

void LoggingSession::setName(const QString& name) {
    LoggingSessionData& data = *d;
    data.name = name;
    data.sessionConfig.name = name;
}

void LoggingSession::setConfigName(const QString& name) {
    d->sessionConfig.name = name;
}

void LoggingSession::setDescription(const QString& description) {
    d->sessionConfig.description = description;
}

void LoggingSession::setEnergySetting(float energySetting) {
    d->sessionConfig.energySetting = energySetting;
}

void LoggingSession::setTiming(const SessionTiming& timing) {
    d->sessionConfig.timing = timing;
}

void LoggingSession::setDspConfig(const ADCO_DSP_CONFIG& config) {
    LoggingSessionData& data = *d;
    data.dspConfig = config;
    data.sessionConfig.timing.setIntervals(config.trendInterval, config.demandInterval);
}

void LoggingSession::setProbeConfig(const ADCO_DSP_PROBE_CONFIG& config) {
    if (isActive()) {
        LOG_WARN(LOGGER, "DSP Probe configuration was set when it was active.");
    } else if (isStarted()) {
        LOG_WARN(LOGGER, "DSP Probe configuration was set when it was started already.");
    }
    d->probeConfig = config;
}

void LoggingSession::setInstrumentConfig(const quarn_system::INSTRUMENT_CONFIG& config) {
    if (isActive()) {
        LOG_WARN(LOGGER, "Instrument configuration was set when it was active.");
    } else if (isStarted()) {
        LOG_WARN(LOGGER, "Instrument configuration was set when it was started already.");
    }
    d->instrumentConfig = config;
}

void LoggingSession::setDspConfigWord98(quint16 value) {
    d->dspConfig.word98 = value;
}

void LoggingSession::limitDurationToStorage() {
    d->sessionConfig.timing.limitDurationToStorage();
}

void LoggingSession::recalculateStartTime() {
    d->sessionConfig.timing.recalculateStart(true);
}

QString LoggingSession::name() const {
    return d->name;
}

QByteArray LoggingSession::nameUtf8() const {
    return d->name.toUtf8();
}

const SESSION_CONFIG& LoggingSession::sessionConfig() const {
    return d->sessionConfig;
}

const SessionTiming& LoggingSession::timing() const {
    return d->sessionConfig.timing;
}

const storage::META_SESSION_DATA& LoggingSession::metaSessionData() const {
    return d->metaSessionData;
}

const ADCO_DSP_CONFIG& LoggingSession::dspConfig() const {
    return d->dspConfig;
}

const ADCO_DSP_PROBE_CONFIG& LoggingSession::probeConfig() const {
    return d->probeConfig;
}

const quarn_system::INSTRUMENT_CONFIG& LoggingSession::instrumentConfig() const {
    return d->instrumentConfig;
}

const storage::META_TREND_ENERGY& LoggingSession::metaTrendEnergy() const {
    return d->metaTrendEnergy;
}

const storage::META_DEMAND_ENERGY& LoggingSession::metaDemandEnergy() const {
    return d->metaDemandEnergy;
}

int LoggingSession::state() const {
    return d->metaSessionData.state;
}

int LoggingSession::durationMode() const {
    return timing().durationMode();
}

int LoggingSession::duration() const {
    return timing().duration();
}

QDateTime LoggingSession::startTime() const {
    return timing().startTime();
}

QDateTime LoggingSession::plannedEndTime() const {
    return timing().plannedEndTime();
}

qint64 LoggingSession::msecsToStart() const {
    return msecsFromNowTo(timing().startTime());
}

qint64 LoggingSession::msecsToPlannedEnd() const {
    return msecsFromNowTo(timing().plannedEndTime());
}

QDateTime LoggingSession::recordedStartTime() const {
    return quarnDateTimeToQDateTime(d->metaSessionData.recordedStart);
}

QDateTime LoggingSession::recordedEndTime() const {
    return quarnDateTimeToQDateTime(d->metaSessionData.recordedEnd);
}

qint64 LoggingSession::recordedDuration() const {
    return static_cast<qint64>(d->metaSessionData.recordedEnd.seconds) -
           static_cast<qint64>(d->metaSessionData.recordedStart.seconds);
}

qint64 LoggingSession::elapsedSeconds() const {
    switch (state()) {
    case SESSION_STATE_DONE:
        return recordedDuration();
    case SESSION_STATE_PENDING:
    case SESSION_STATE_ACTIVE:
        return std::max<qint64>(0,
                                timing().startTime().secsTo(SessionTiming::currentDateTimeUtc()));
    default:
        return 0;
    }
}

qint64 LoggingSession::secondsToNextInterval() const {
    const qint64 trend = d->dspConfig.trendInterval;
    const qint64 demand = d->dspConfig.demandInterval;
    const qint64 period = demand < 1 ? trend : std::min(trend, demand);
    if (period < 1) {
        return 0;
    }
    return period - (elapsedSeconds() % period) - 1;
}

int LoggingSession::trendRecordCount() const {
    return d->metaTrendEnergy.trendRecordCount;
}

int LoggingSession::demandRecordCount() const {
    return d->metaDemandEnergy.demandRecordCount;
}

bool LoggingSession::hasData() const {
    return static_cast<qint64>(trendRecordCount()) + demandRecordCount() != 0;
}

bool LoggingSession::containsPeriod(const QDateTime& from, const QDateTime& to) const {
    return !(from < timing().startTime()) && !(timing().plannedEndTime() < to);
}

bool LoggingSession::isPending() const {
    return state() == SESSION_STATE_PENDING;
}

bool LoggingSession::isActive() const {
    return state() == SESSION_STATE_PENDING || state() == SESSION_STATE_ACTIVE;
}

bool LoggingSession::isStarted() const {
    return state() == SESSION_STATE_PENDING || state() == SESSION_STATE_ACTIVE ||
           state() == SESSION_STATE_DONE;
}

QString LoggingSession::timeZone() const {
    return quarn_system::wideText(d->instrumentConfig.timeZone);
}

QString LoggingSession::aux1InputName() const {
    return quarn_system::wideText(quarn_system::InstrumentConfig::auxInputDefinition(
                                      d->instrumentConfig, d->instrumentConfig.aux1InputType)
                                      ->name);
}

QString LoggingSession::aux2InputName() const {
    return quarn_system::wideText(quarn_system::InstrumentConfig::auxInputDefinition(
                                      d->instrumentConfig, d->instrumentConfig.aux2InputType)
                                      ->name);
}

bool LoggingSession::isSupportedMeasurementType() const {
    switch (d->dspConfig.measurementType) {
    case 2:
    case 6:
    case 7:
    case 9:
    case 12:
        return true;
    default:
        return false;
    }
}

QString LoggingSession::sessionStateName(int state) {
    switch (state) {
    case SESSION_STATE_IDLE:
        return QStringLiteral("SESSION_STATE_IDLE");
    case SESSION_STATE_PENDING:
        return QStringLiteral("SESSION_STATE_PENDING");
    case SESSION_STATE_ACTIVE:
        return QStringLiteral("SESSION_STATE_ACTIVE");
    case SESSION_STATE_DONE:
        return QStringLiteral("SESSION_STATE_DONE");
    default:
        return QStringLiteral("Uknown session state");
    }
}

QDataStream& operator<<(QDataStream& stream, const LoggingSession& session) {
    const LoggingSessionData& data = *session.d;
    stream << data.name << data.sessionConfig << data.metaSessionData << data.dspConfig
           << data.probeConfig << data.instrumentConfig << data.metaTrendEnergy
           << data.metaDemandEnergy;
    return stream;
}

QDataStream& operator>>(QDataStream& stream, LoggingSession& session) {
    LoggingSessionData& data = *session.d;
    // Once the stream has failed the remaining parts are not read: they could only add a FATAL
    // line per record for bytes that are not there.
    const auto ok = [&stream]() { return stream.status() == QDataStream::Ok; };
    shared::readString(stream, data.name);
    if (ok()) {
        stream >> data.sessionConfig;
    }
    if (ok()) {
        stream >> data.metaSessionData;
    }
    if (ok()) {
        stream >> data.dspConfig;
    }
    if (ok()) {
        stream >> data.probeConfig;
    }
    if (ok()) {
        stream >> data.instrumentConfig;
    }
    if (ok()) {
        stream >> data.metaTrendEnergy;
    }
    if (ok()) {
        stream >> data.metaDemandEnergy;
    }
    if (!ok()) {
        LOG_FATAL(LOGGER, "Could not load serialized session \"" << data.name << "\".");
        session.reset();
    }
    return stream;
}

QDataStream& operator<<(QDataStream& stream, const SESSION_OVERVIEW_MODIFICATION_DATA& data) {
    stream << data.name << data.overview;
    return stream;
}

QDataStream& operator>>(QDataStream& stream, SESSION_OVERVIEW_MODIFICATION_DATA& data) {
    shared::readString(stream, data.name);
    if (stream.status() == QDataStream::Ok) {
        stream >> data.overview;
    }
    if (stream.status() != QDataStream::Ok) {
        LOG_FATAL(LOGGER, "Could not load session overview for session \"" << data.name << "\".");
        data.overview = storage::DEFAULT_META_TREND_OVERVIEW;
    }
    return stream;
}

} // namespace session
