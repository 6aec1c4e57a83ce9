#pragma once

#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"
#include "records/MetaRecords.h"
#include "session/SessionConfig.h"
#include "session/SessionTiming.h"

#include <QByteArray>
#include <QDataStream>
#include <QDateTime>
#include <QObject>
#include <QSharedDataPointer>
#include <QString>

namespace session {

class LoggingSessionData;

// One recording of the instrument: its name, configuration, lifecycle state and the running
// metadata its recorder keeps. Copies share one record until one of them changes (copy on
// write), so mirrors can hand sessions around cheaply. A copy shares the record but not the
// QObject parent.
class LoggingSession : public QObject {
    Q_OBJECT

public:
    enum SessionState {
        SESSION_STATE_IDLE = 0,
        SESSION_STATE_PENDING = 1,
        SESSION_STATE_ACTIVE = 2,
        SESSION_STATE_DONE = 3
    };

    static constexpr int DEFAULT_TREND_INTERVAL = 60;
    static constexpr int DEFAULT_DEMAND_INTERVAL = 300;

    explicit LoggingSession(QObject* parent = nullptr);
    LoggingSession(const QString& name, const QString& description, int durationMode,
                   int customDuration, const ADCO_DSP_CONFIG& dspConfig,
                   const ADCO_DSP_PROBE_CONFIG& probeConfig,
                   const quarn_system::INSTRUMENT_CONFIG& instrumentConfig,
                   QObject* parent = nullptr);
    LoggingSession(const LoggingSession& other);
    LoggingSession& operator=(const LoggingSession& other);
    ~LoggingSession() override;

    void reset();
    void init(const QString& name, const QString& description, int durationMode,
              const ADCO_DSP_CONFIG& dspConfig,
              const quarn_system::INSTRUMENT_CONFIG& instrumentConfig);
    void assign(const QString& name, const SESSION_CONFIG& sessionConfig,
                const storage::META_SESSION_DATA& metaSessionData, const ADCO_DSP_CONFIG& dspConfig,
                const ADCO_DSP_PROBE_CONFIG& probeConfig,
                const quarn_system::INSTRUMENT_CONFIG& instrumentConfig,
                const storage::META_TREND_ENERGY& metaTrendEnergy,
                const storage::META_DEMAND_ENERGY& metaDemandEnergy);
    // Defaults first, then every field of `other`; the timing follows its assignment rule.
    void copyFrom(const LoggingSession& other);
    void start();
    void stop();

    void setName(const QString& name);
    void setConfigName(const QString& name);
    void setDescription(const QString& description);
    void setEnergySetting(float energySetting);
    void setTiming(const SessionTiming& timing);
    void setDspConfig(const ADCO_DSP_CONFIG& config);
    void setProbeConfig(const ADCO_DSP_PROBE_CONFIG& config);
    void setInstrumentConfig(const quarn_system::INSTRUMENT_CONFIG& config);
    void setDspConfigWord98(quint16 value);
    void limitDurationToStorage();
    void recalculateStartTime();

    QString name() const;
    QByteArray nameUtf8() const;
    const SESSION_CONFIG& sessionConfig() const;
    const SessionTiming& timing() const;
    const storage::META_SESSION_DATA& metaSessionData() const;
    const ADCO_DSP_CONFIG& dspConfig() const;
    const ADCO_DSP_PROBE_CONFIG& probeConfig() const;
    const quarn_system::INSTRUMENT_CONFIG& instrumentConfig() const;
    const storage::META_TREND_ENERGY& metaTrendEnergy() const;
    const storage::META_DEMAND_ENERGY& metaDemandEnergy() const;
    int state() const;
    int durationMode() const;
    int duration() const;

    QDateTime startTime() const;
    QDateTime plannedEndTime() const;
    qint64 msecsToStart() const;
    qint64 msecsToPlannedEnd() const;
    QDateTime recordedStartTime() const;
    QDateTime recordedEndTime() const;
    qint64 recordedDuration() const;
    qint64 elapsedSeconds() const;
    // 0 when the DSP set-up holds no positive interval.
    qint64 secondsToNextInterval() const;
    int trendRecordCount() const;
    int demandRecordCount() const;
    bool hasData() const;
    bool containsPeriod(const QDateTime& from, const QDateTime& to) const;

    bool isPending() const;
    // PENDING counts as active: the recorder may begin at any moment.
    bool isActive() const;
    bool isStarted() const;

    // Texts of the instrument settings the session was made with.
    QString timeZone() const;
    QString aux1InputName() const;
    QString aux2InputName() const;
    // The DSP measurement type (the code at byte 8) is one of 2, 6, 7, 9 and 12.
    bool isSupportedMeasurementType() const;

    static QString sessionStateName(int state);

    friend QDataStream& operator<<(QDataStream& stream, const LoggingSession& session);
    friend QDataStream& operator>>(QDataStream& stream, LoggingSession& session);

private:
    void setState(int state);

    QSharedDataPointer<LoggingSessionData> d;
};

// On a broken stream the FATAL "Could not load serialized session ..." is logged and the
// session is reset, so a broken message never leaves a half-filled session behind.
QDataStream& operator<<(QDataStream& stream, const LoggingSession& session);
QDataStream& operator>>(QDataStream& stream, LoggingSession& session);

// The body that announces a changed session overview.
struct SESSION_OVERVIEW_MODIFICATION_DATA {
    QString name;
    storage::META_TREND_OVERVIEW overview;
};

QDataStream& operator<<(QDataStream& stream, const SESSION_OVERVIEW_MODIFICATION_DATA& data);
QDataStream& operator>>(QDataStream& stream, SESSION_OVERVIEW_MODIFICATION_DATA& data);

} // namespace session
