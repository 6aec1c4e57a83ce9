#include "SessionTestSupport.h"

#include "foundation/Qt48DataStream.h"
#include "session/LoggingSession.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>

using session::LoggingSession;
using sessiontest::ClockGuard;
using sessiontest::hex;
using sessiontest::utc;

namespace {

const QDateTime NOW = utc(2020, 6, 15, 8, 0, 0);

QByteArray serialized(const LoggingSession& session) {
    QByteArray bytes;
    shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
    stream << session;
    return bytes;
}

void setState(LoggingSession& session, int state) {
    storage::META_SESSION_DATA meta = session.metaSessionData();
    meta.state = state;
    session.assign(session.name(), session.sessionConfig(), meta, session.dspConfig(),
                   session.probeConfig(), session.instrumentConfig(), session.metaTrendEnergy(),
                   session.metaDemandEnergy());
}

template <typename T> bool sameBytes(const T& left, const T& right) {
    return std::memcmp(&left, &right, sizeof(T)) == 0;
}

} // namespace

TEST(LoggingSession, DefaultIsAnIdleWeekLongSessionStartingNow) {
    ClockGuard clock(NOW);
    const LoggingSession session;
    EXPECT_EQ(session.state(), 0);
    EXPECT_FALSE(session.isActive());
    EXPECT_FALSE(session.isPending());
    EXPECT_FALSE(session.isStarted());
    EXPECT_EQ(LoggingSession::sessionStateName(session.state()), "SESSION_STATE_IDLE");
    EXPECT_TRUE(session.name().isNull());
    EXPECT_EQ(session.dspConfig().trendInterval, 60);
    EXPECT_EQ(session.dspConfig().demandInterval, 300);
    EXPECT_EQ(session.durationMode(), 6);
    EXPECT_EQ(session.duration(), 604800);
    EXPECT_EQ(session.startTime(), NOW);
    EXPECT_EQ(session.recordedStartTime(), utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(session.sessionConfig().energySetting, 0.1f);
    EXPECT_EQ(QString::fromLatin1(session.metaObject()->className()), "session::LoggingSession");
}

TEST(LoggingSession, DefaultSerialisesToTheQt48Layout) {
    ClockGuard clock(NOW);
    const QByteArray bytes = serialized(LoggingSession());

    const QByteArray prefix = hex("ffffffff"           // null name
                                  "3fb99999a0000000"   // 0.1f widened to a double
                                  "00"                 // not scheduled
                                  "0025858801b7740002" // 2020-06-15 08:00:00 UTC
                                  "0025858f01b7740002" // 2020-06-22 08:00:00 UTC
                                  "00000006"           // one week
                                  "00000000"           // no custom duration
                                  "00"                 // no fixed end
                                  "0000003c0000012c"   // 60 s and 300 s
                                  "ffffffffffffffff"); // null description and name
    ASSERT_EQ(prefix.size(), 56);
    ASSERT_EQ(bytes.size(), 56 + 280 + 136 + 176 + 916 + 2776 + 56);
    EXPECT_EQ(bytes.left(56).toHex(' '), prefix.toHex(' '));

    // META_SESSION_DATA: IDLE, both recorded times 2012-01-01 (378691200 s), no name.
    EXPECT_EQ(bytes.mid(56, 280),
              hex("00000000805e921600000000805e92160000000000000000") + QByteArray(256, '\0'));
    // ADCO_DSP_CONFIG: the default record with the session's 60 s and 300 s intervals.
    EXPECT_EQ(bytes.mid(336, 20), hex("0000000000000000010005003c0000002c010000"));
    EXPECT_EQ(bytes.mid(336 + 32, 4), hex("0000e642"));
    const QByteArray probe = QByteArray(36, '\0') + hex("feff") + QByteArray(6, '\0');
    EXPECT_EQ(bytes.mid(472, 176), probe + probe + probe + probe);
    EXPECT_EQ(bytes.mid(648, 8), hex("1f000000e1000000"));
    EXPECT_EQ(bytes.mid(1564, 8), hex("805e921600000000"));
    EXPECT_EQ(bytes.mid(1564 + 2772, 4), hex("00000000"));
    // META_DEMAND_ENERGY: two unset times first, no demand records last.
    EXPECT_EQ(bytes.mid(4340, 16), hex("805e921600000000805e921600000000"));
    EXPECT_EQ(bytes.mid(4340 + 52, 4), hex("00000000"));

    LoggingSession read(QStringLiteral("Other"), QStringLiteral("x"), 2, 0, DEFAULT_DSP_CONFIG,
                        DEFAULT_DSP_PROBE_CONFIG, quarn_system::DEFAULT_INSTRUMENT_CONFIG);
    shared::Qt48DataStream in(bytes);
    in >> read;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(serialized(read), bytes);
    EXPECT_TRUE(read.name().isNull());
}

TEST(LoggingSession, StreamRoundTripKeepsEveryPart) {
    ClockGuard clock(NOW);
    LoggingSession session;
    session.setName(QStringLiteral("Sommer-Messung"));
    session.setDescription(QStringLiteral("Trafo 2"));
    session.setEnergySetting(0.25f);
    session.start();
    setState(session, LoggingSession::SESSION_STATE_ACTIVE);

    LoggingSession read;
    shared::Qt48DataStream in(serialized(session));
    in >> read;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(read.name(), QStringLiteral("Sommer-Messung"));
    EXPECT_EQ(read.sessionConfig().name, QStringLiteral("Sommer-Messung"));
    EXPECT_EQ(read.sessionConfig().description, QStringLiteral("Trafo 2"));
    EXPECT_EQ(read.sessionConfig().energySetting, 0.25f);
    EXPECT_EQ(read.state(), LoggingSession::SESSION_STATE_ACTIVE);
    EXPECT_TRUE(read.isActive());
    EXPECT_EQ(serialized(read), serialized(session));
}

TEST(LoggingSession, StreamCutInsideTrendMetadataLeavesADefaultSession) {
    ClockGuard clock(NOW);
    LoggingSession sent;
    sent.setName(QStringLiteral("Alpha"));
    sent.start();
    const QByteArray bytes = serialized(sent);
    // Keep the first 1000 of the 2776 trend metadata bytes; the demand record is gone too.
    const QByteArray cut = bytes.left(bytes.size() - 56 - 1776);

    LoggingSession received;
    received.setName(QStringLiteral("Before"));
    received.start();
    testsupport::LogCapture capture;
    shared::Qt48DataStream in(cut);
    in >> received;

    const std::vector<testsupport::LogEvent> events = capture.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].logger, "serialization_logger");
    EXPECT_EQ(events[0].level, log4cplus::FATAL_LOG_LEVEL);
    EXPECT_EQ(testsupport::LogCapture::stripPrefix(events[0].message),
              "Could not load serialized structure \"META_TREND_ENERGY\", read bytes: 1000, "
              "expected bytes: 2776");
    EXPECT_EQ(events[1].logger, "logging_session_logger");
    EXPECT_EQ(events[1].level, log4cplus::FATAL_LOG_LEVEL);
    EXPECT_EQ(testsupport::LogCapture::stripPrefix(events[1].message),
              "Could not load serialized session \"Alpha\".");

    EXPECT_EQ(received.state(), LoggingSession::SESSION_STATE_IDLE);
    EXPECT_EQ(serialized(received), serialized(LoggingSession()));
}

TEST(LoggingSession, EmptyOrGarbageBodiesLeaveAnIdleSession) {
    ClockGuard clock(NOW);
    for (const QByteArray& body :
         {QByteArray(), hex("0000"), hex("7fffffff0041"), hex("7ffffffe0041")}) {
        LoggingSession session;
        session.start();
        testsupport::LogCapture capture;
        shared::Qt48DataStream in(body);
        in >> session;
        EXPECT_EQ(session.state(), LoggingSession::SESSION_STATE_IDLE);
        EXPECT_EQ(capture.messages("logging_session_logger").size(), 1u);
    }
}

TEST(LoggingSession, StatesAndTheirNames) {
    ClockGuard clock(NOW);
    LoggingSession session;
    session.start();
    EXPECT_TRUE(session.isPending());
    EXPECT_TRUE(session.isActive());
    EXPECT_TRUE(session.isStarted());

    setState(session, LoggingSession::SESSION_STATE_ACTIVE);
    EXPECT_FALSE(session.isPending());
    EXPECT_TRUE(session.isActive());

    session.stop();
    EXPECT_EQ(session.state(), 3);
    EXPECT_FALSE(session.isActive());
    EXPECT_TRUE(session.isStarted());

    setState(session, 7);
    EXPECT_FALSE(session.isStarted());

    EXPECT_EQ(LoggingSession::sessionStateName(1), "SESSION_STATE_PENDING");
    EXPECT_EQ(LoggingSession::sessionStateName(2), "SESSION_STATE_ACTIVE");
    EXPECT_EQ(LoggingSession::sessionStateName(3), "SESSION_STATE_DONE");
    EXPECT_EQ(LoggingSession::sessionStateName(7), "Uknown session state");
    EXPECT_EQ(LoggingSession::sessionStateName(-1), "Uknown session state");
}

TEST(LoggingSession, StartClearsTheRunningMetadata) {
    ClockGuard clock(NOW);
    LoggingSession session;
    storage::META_TREND_ENERGY trend = storage::DEFAULT_META_TREND_ENERGY;
    trend.trendRecordCount = 12;
    storage::META_DEMAND_ENERGY demand = storage::DEFAULT_META_DEMAND_ENERGY;
    demand.demandRecordCount = 3;
    storage::META_SESSION_DATA meta = storage::DEFAULT_META_SESSION_DATA;
    meta.state = LoggingSession::SESSION_STATE_DONE;
    session.assign(QStringLiteral("A"), session.sessionConfig(), meta, session.dspConfig(),
                   session.probeConfig(), session.instrumentConfig(), trend, demand);
    EXPECT_EQ(session.trendRecordCount(), 12);
    EXPECT_EQ(session.demandRecordCount(), 3);
    EXPECT_TRUE(session.hasData());

    session.start();
    EXPECT_EQ(session.state(), LoggingSession::SESSION_STATE_PENDING);
    EXPECT_EQ(session.trendRecordCount(), 0);
    EXPECT_EQ(session.demandRecordCount(), 0);
    EXPECT_FALSE(session.hasData());
    EXPECT_EQ(session.name(), QStringLiteral("A"));
}

TEST(LoggingSession, CopiesShareUntilOneChanges) {
    ClockGuard clock(NOW);
    LoggingSession original;
    LoggingSession copy(original);
    copy.setName(QStringLiteral("Copy"));
    copy.start();
    EXPECT_TRUE(original.name().isNull());
    EXPECT_FALSE(original.isActive());

    original = copy;
    EXPECT_EQ(original.name(), QStringLiteral("Copy"));
    EXPECT_TRUE(original.isPending());
}

TEST(LoggingSession, ConstructionInitAndCopyFrom) {
    ClockGuard clock(NOW);
    ADCO_DSP_CONFIG dsp = DEFAULT_DSP_CONFIG;
    dsp.trendInterval = 10;
    dsp.demandInterval = 0;
    quarn_system::INSTRUMENT_CONFIG instrument = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
    instrument.currency = quarn_system::CURRENCY_POUND;

    const LoggingSession built(QStringLiteral("N"), QStringLiteral("D"), 1, 7200, dsp,
                               DEFAULT_DSP_PROBE_CONFIG, instrument);
    EXPECT_EQ(built.name(), QStringLiteral("N"));
    EXPECT_TRUE(built.sessionConfig().name.isNull());
    EXPECT_EQ(built.sessionConfig().description, QStringLiteral("D"));
    EXPECT_EQ(built.durationMode(), 1);
    EXPECT_EQ(built.duration(), 7200);
    EXPECT_EQ(built.timing().trendInterval(), 10);
    EXPECT_EQ(built.timing().demandInterval(), 0);
    EXPECT_EQ(built.instrumentConfig().currency, quarn_system::CURRENCY_POUND);

    LoggingSession initialised;
    initialised.start();
    initialised.init(QStringLiteral("I"), QStringLiteral("Desc"), 4, dsp, instrument);
    EXPECT_EQ(initialised.state(), LoggingSession::SESSION_STATE_IDLE);
    EXPECT_EQ(initialised.name(), QStringLiteral("I"));
    EXPECT_EQ(initialised.sessionConfig().name, QStringLiteral("I"));
    EXPECT_EQ(initialised.sessionConfig().description, QStringLiteral("Desc"));
    EXPECT_EQ(initialised.durationMode(), 4);
    EXPECT_EQ(initialised.duration(), 3600);
    EXPECT_EQ(initialised.dspConfig().trendInterval, 10);
    EXPECT_EQ(initialised.instrumentConfig().currency, quarn_system::CURRENCY_POUND);

    LoggingSession target;
    target.copyFrom(initialised);
    EXPECT_EQ(serialized(target), serialized(initialised));
    target.copyFrom(target);
    EXPECT_EQ(serialized(target), serialized(initialised));
}

TEST(LoggingSession, SettersDetachAndUpdateTheTiming) {
    ClockGuard clock(NOW);
    LoggingSession session;
    session.setConfigName(QStringLiteral("cfg"));
    EXPECT_TRUE(session.name().isNull());
    EXPECT_EQ(session.sessionConfig().name, QStringLiteral("cfg"));
    EXPECT_EQ(session.nameUtf8(), QByteArray());
    session.setName(QStringLiteral("Größe"));
    EXPECT_EQ(session.nameUtf8(), QByteArray("Gr\xc3\xb6\xc3\x9f"
                                             "e"));

    ADCO_DSP_CONFIG dsp = DEFAULT_DSP_CONFIG;
    dsp.trendInterval = 900;
    dsp.demandInterval = 300;
    clock.set(utc(2020, 6, 15, 8, 1, 0));
    session.setDspConfig(dsp);
    EXPECT_EQ(session.timing().trendInterval(), 900);
    EXPECT_EQ(session.timing().demandInterval(), 300);
    EXPECT_EQ(session.startTime(), utc(2020, 6, 15, 8, 5, 0));

    session.setDspConfigWord98(7);
    EXPECT_EQ(session.dspConfig().word98, 7);

    session::SessionTiming timing(utc(2020, 7, 1, 0, 0, 0), 2, 900, 300, 0);
    session.setTiming(timing);
    EXPECT_EQ(session.startTime(), utc(2020, 7, 1, 0, 0, 0));
    EXPECT_EQ(session.plannedEndTime(), utc(2020, 7, 1, 0, 10, 0));
}

TEST(LoggingSession, ProbeAndInstrumentSettersWarnOnStartedSessions) {
    ClockGuard clock(NOW);
    ADCO_DSP_PROBE_CONFIG probe = DEFAULT_DSP_PROBE_CONFIG;
    probe.probes[2].probeType = 4;
    quarn_system::INSTRUMENT_CONFIG instrument = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
    instrument.language = 42;

    const struct {
        int state;
        const char* probeWarning;
        const char* instrumentWarning;
    } cases[] = {
        {0, nullptr, nullptr},
        {1, "DSP Probe configuration was set when it was active.",
         "Instrument configuration was set when it was active."},
        {2, "DSP Probe configuration was set when it was active.",
         "Instrument configuration was set when it was active."},
        {3, "DSP Probe configuration was set when it was started already.",
         "Instrument configuration was set when it was started already."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        LoggingSession session;
        setState(session, c.state);
        testsupport::LogCapture capture;
        session.setProbeConfig(probe);
        session.setInstrumentConfig(instrument);
        EXPECT_TRUE(sameBytes(session.probeConfig(), probe));
        EXPECT_TRUE(sameBytes(session.instrumentConfig(), instrument));
        std::vector<std::string> expected;
        if (c.probeWarning != nullptr) {
            expected = {c.probeWarning, c.instrumentWarning};
        }
        EXPECT_EQ(capture.messages("logging_session_logger"), expected);
        for (const testsupport::LogEvent& event : capture.events()) {
            EXPECT_EQ(event.level, log4cplus::WARN_LOG_LEVEL);
        }
    }
}

TEST(LoggingSession, ElapsedTimeAndNextInterval) {
    ClockGuard clock(NOW);
    LoggingSession session;
    EXPECT_EQ(session.elapsedSeconds(), 0);
    EXPECT_EQ(session.secondsToNextInterval(), 59);

    session.start();
    clock.set(NOW.addSecs(130));
    EXPECT_EQ(session.elapsedSeconds(), 130);
    EXPECT_EQ(session.secondsToNextInterval(), 49);
    clock.set(NOW.addSecs(-30));
    EXPECT_EQ(session.elapsedSeconds(), 0);

    // A finished session reports its recorded span whatever the time.
    storage::META_SESSION_DATA meta = session.metaSessionData();
    meta.state = LoggingSession::SESSION_STATE_DONE;
    meta.recordedStart = {1000, 0};
    meta.recordedEnd = {4600, 999999};
    ADCO_DSP_CONFIG dsp = session.dspConfig();
    dsp.demandInterval = 0;
    dsp.trendInterval = 7;
    session.assign(session.name(), session.sessionConfig(), meta, dsp, session.probeConfig(),
                   session.instrumentConfig(), session.metaTrendEnergy(),
                   session.metaDemandEnergy());
    EXPECT_EQ(session.recordedDuration(), 3600);
    EXPECT_EQ(session.elapsedSeconds(), 3600);
    clock.set(NOW.addDays(100));
    EXPECT_EQ(session.elapsedSeconds(), 3600);
    EXPECT_EQ(session.recordedStartTime(), utc(2000, 1, 1, 0, 16, 40));
    EXPECT_EQ(session.recordedEndTime(), utc(2000, 1, 1, 1, 16, 40, 999));
    // The trend interval alone when there is no demand interval: 7 - (3600 mod 7) - 1.
    EXPECT_EQ(session.secondsToNextInterval(), 4);

    dsp.trendInterval = 0;
    session.setDspConfig(dsp);
    EXPECT_EQ(session.secondsToNextInterval(), 0);
}

TEST(LoggingSession, TimesFromNowAndContainedPeriods) {
    ClockGuard clock(NOW);
    const LoggingSession session;
    clock.set(NOW.addSecs(-5));
    EXPECT_EQ(session.msecsToStart(), 5000);
    EXPECT_EQ(session.msecsToPlannedEnd(), 604805000);
    clock.set(NOW.addSecs(5));
    EXPECT_EQ(session.msecsToStart(), 0);

    const QDateTime start = session.startTime();
    const QDateTime end = session.plannedEndTime();
    EXPECT_TRUE(session.containsPeriod(start, end));
    EXPECT_TRUE(session.containsPeriod(start.addSecs(60), end.addSecs(-60)));
    EXPECT_FALSE(session.containsPeriod(start.addMSecs(-1), end));
    EXPECT_FALSE(session.containsPeriod(start, end.addMSecs(1)));
}

TEST(LoggingSession, InstrumentAndDspDerivedGetters) {
    ClockGuard clock(NOW);
    LoggingSession session;
    EXPECT_EQ(session.timeZone(), QStringLiteral("UTC"));
    EXPECT_EQ(session.aux1InputName(), QString::fromUtf8("±10 V"));
    ADCO_DSP_CONFIG dsp = DEFAULT_DSP_CONFIG;
    QString accepted;
    for (uint16_t type = 0; type < 14; ++type) {
        dsp.measurementType = type;
        session.setDspConfig(dsp);
        accepted += session.isSupportedMeasurementType() ? QString::number(type) + " " : "";
    }
    EXPECT_EQ(accepted, "2 6 7 9 12 ");
}

TEST(SessionOverviewModificationData, RoundTripAndBrokenOverview) {
    session::SESSION_OVERVIEW_MODIFICATION_DATA sent{QStringLiteral("S1"),
                                                     storage::DEFAULT_META_TREND_OVERVIEW};
    sent.overview.entryCount = 3;
    QByteArray bytes;
    {
        shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
        stream << sent;
    }
    ASSERT_EQ(bytes.size(), 4 + 4 + 11592);
    EXPECT_EQ(bytes.left(8), hex("0000000400530031"));

    session::SESSION_OVERVIEW_MODIFICATION_DATA read{QString(),
                                                     storage::DEFAULT_META_TREND_OVERVIEW};
    {
        shared::Qt48DataStream in(bytes);
        in >> read;
        EXPECT_EQ(in.status(), QDataStream::Ok);
    }
    EXPECT_EQ(read.name, QStringLiteral("S1"));
    EXPECT_EQ(read.overview.entryCount, 3);

    testsupport::LogCapture capture;
    shared::Qt48DataStream in(bytes.left(100));
    in >> read;
    EXPECT_EQ(capture.messages("logging_session_logger"),
              std::vector<std::string>{"Could not load session overview for session \"S1\"."});
    EXPECT_EQ(capture.messages("serialization_logger").size(), 1u);
    EXPECT_TRUE(sameBytes(read.overview, storage::DEFAULT_META_TREND_OVERVIEW));
}
