#include "SessionTestSupport.h"

#include "session/LoggingSession.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <cstring>

using session::LoggingSession;
using sessiontest::ClockGuard;
using sessiontest::hex;
using sessiontest::streamed;
using sessiontest::utc;

namespace {

const QDateTime NOW = utc(2020, 6, 15, 8, 0, 0);

// Sets the state as the recording process does: inside the whole record.
void assignState(LoggingSession& session, int state) {
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

TEST(LoggingSession, DefaultSerialisesToTheQt48Layout) {
    ClockGuard clock(NOW);
    const LoggingSession session;
    EXPECT_EQ(session.state(), 0);
    EXPECT_TRUE(session.name().isNull());

    const QByteArray bytes = streamed(session);
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
    ASSERT_EQ(bytes.size(), 56 + 280 + 136 + 176 + 916 + 2776 + 56);
    EXPECT_EQ(bytes.left(56).toHex(' '), prefix.toHex(' '));
    // Then the raw records in order, each recognised by its first bytes: META_SESSION_DATA
    // (IDLE, recorded start 2012-01-01 = 378691200 s), ADCO_DSP_CONFIG with the session's
    // intervals, a probe entry, INSTRUMENT_CONFIG (English, United States), META_TREND_ENERGY
    // and META_DEMAND_ENERGY (unset times).
    EXPECT_EQ(bytes.mid(56, 12), hex("00000000805e921600000000"));
    EXPECT_EQ(bytes.mid(336, 20), hex("0000000000000000010005003c0000002c010000"));
    EXPECT_EQ(bytes.mid(472 + 36, 4), hex("feff0000"));
    EXPECT_EQ(bytes.mid(648, 8), hex("1f000000e1000000"));
    EXPECT_EQ(bytes.mid(1564, 8), hex("805e921600000000"));
    EXPECT_EQ(bytes.mid(4340, 8), hex("805e921600000000"));
    EXPECT_EQ(bytes.right(4), hex("00000000"));

    // Read into a session that differs in name, timing and DSP intervals.
    LoggingSession read(QStringLiteral("Other"), QStringLiteral("x"), 2, 0, DEFAULT_DSP_CONFIG,
                        DEFAULT_DSP_PROBE_CONFIG, quarn_system::DEFAULT_INSTRUMENT_CONFIG);
    shared::Qt48DataStream in(bytes);
    in >> read;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(streamed(read), bytes);
    EXPECT_TRUE(read.name().isNull());
}

TEST(LoggingSession, StreamCutInsideTrendMetadataLeavesADefaultSession) {
    ClockGuard clock(NOW);
    LoggingSession sent;
    sent.setName(QStringLiteral("Alpha"));
    const QByteArray bytes = streamed(sent);

    LoggingSession received;
    received.setName(QStringLiteral("Before"));
    received.start();

    // Keep the first 1000 of the 2776 trend metadata bytes; the demand record is gone too.
    testsupport::LogCapture capture;
    shared::Qt48DataStream in(bytes.left(bytes.size() - 56 - 1776));
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
    EXPECT_EQ(streamed(received), streamed(LoggingSession()));

    // Nothing at all, or a name whose length runs past the end.
    for (const QByteArray& body : {QByteArray(), hex("0000"), hex("7fffffff0041")}) {
        LoggingSession session;
        session.start();
        testsupport::LogCapture bodyCapture;
        shared::Qt48DataStream bodyIn(body);
        bodyIn >> session;
        EXPECT_EQ(session.state(), LoggingSession::SESSION_STATE_IDLE) << body.toHex().data();
        EXPECT_EQ(bodyCapture.messages("logging_session_logger").size(), 1u);
    }
}

// The probe and instrument set-ups are taken in every state, with a warning once started.
TEST(LoggingSession, StatesPredicatesNamesAndSetterWarnings) {
    const std::string active = "was set when it was active.";
    const std::string started = "was set when it was started already.";
    const struct {
        int state;
        bool pending, active, started;
        const char* name;
        std::string warning;
    } cases[] = {
        {0, false, false, false, "SESSION_STATE_IDLE", ""},
        {1, true, true, true, "SESSION_STATE_PENDING", active},
        {2, false, true, true, "SESSION_STATE_ACTIVE", active},
        {3, false, false, true, "SESSION_STATE_DONE", started},
        {7, false, false, false, "Uknown session state", ""},
        {-1, false, false, false, "Uknown session state", ""},
    };
    ClockGuard clock(NOW);
    ADCO_DSP_PROBE_CONFIG probe = DEFAULT_DSP_PROBE_CONFIG;
    probe.probes[2].probeType = 4;
    quarn_system::INSTRUMENT_CONFIG instrument = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
    instrument.language = 42;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.state);
        LoggingSession session;
        assignState(session, c.state);
        EXPECT_EQ(session.isPending(), c.pending);
        EXPECT_EQ(session.isActive(), c.active);
        EXPECT_EQ(session.isStarted(), c.started);
        EXPECT_EQ(LoggingSession::sessionStateName(c.state), c.name);

        testsupport::LogCapture capture;
        session.setProbeConfig(probe);
        session.setInstrumentConfig(instrument);
        EXPECT_TRUE(sameBytes(session.probeConfig(), probe));
        EXPECT_TRUE(sameBytes(session.instrumentConfig(), instrument));
        std::vector<std::string> expected;
        if (!c.warning.empty()) {
            expected = {"DSP Probe configuration " + c.warning,
                        "Instrument configuration " + c.warning};
        }
        EXPECT_EQ(capture.messages("logging_session_logger"), expected);
        for (const testsupport::LogEvent& event : capture.events()) {
            EXPECT_EQ(event.level, log4cplus::WARN_LOG_LEVEL);
        }
    }
}

TEST(LoggingSession, ConstructionInitCopyAndSetters) {
    ClockGuard clock(NOW);
    ADCO_DSP_CONFIG dsp = DEFAULT_DSP_CONFIG;
    dsp.trendInterval = 10;
    dsp.demandInterval = 0;
    // The name goes to the session only, not into its configuration.
    const LoggingSession built(QStringLiteral("N"), QStringLiteral("D"), 1, 7200, dsp,
                               DEFAULT_DSP_PROBE_CONFIG, quarn_system::DEFAULT_INSTRUMENT_CONFIG);
    EXPECT_TRUE(built.sessionConfig().name.isNull());
    EXPECT_EQ(built.duration(), 7200);

    LoggingSession initialised;
    initialised.start();
    initialised.init(QStringLiteral("I"), QStringLiteral("Desc"), 4, dsp,
                     quarn_system::DEFAULT_INSTRUMENT_CONFIG);
    EXPECT_EQ(initialised.state(), LoggingSession::SESSION_STATE_IDLE);
    EXPECT_EQ(initialised.sessionConfig().name, QStringLiteral("I"));
    EXPECT_EQ(initialised.duration(), 3600);

    LoggingSession target;
    target.copyFrom(initialised);
    target.copyFrom(target);
    EXPECT_EQ(streamed(target), streamed(initialised));

    LoggingSession session;
    session.setConfigName(QStringLiteral("cfg"));
    EXPECT_TRUE(session.name().isNull());
    EXPECT_EQ(session.sessionConfig().name, QStringLiteral("cfg"));
    session.setName(QStringLiteral("Größe"));
    EXPECT_EQ(session.sessionConfig().name, QStringLiteral("Größe"));
    EXPECT_EQ(session.nameUtf8(), QByteArray("Gr\xc3\xb6\xc3\x9f"
                                             "e"));

    // New intervals re-align the start on the shorter one.
    dsp.trendInterval = 900;
    dsp.demandInterval = 300;
    clock.set(utc(2020, 6, 15, 8, 1, 0));
    session.setDspConfig(dsp);
    EXPECT_EQ(session.timing().trendInterval(), 900);
    EXPECT_EQ(session.startTime(), utc(2020, 6, 15, 8, 5, 0));
}

TEST(LoggingSession, StartStopAndTimesRelativeToNow) {
    ClockGuard clock(NOW);
    LoggingSession session;
    EXPECT_EQ(session.elapsedSeconds(), 0);
    EXPECT_EQ(session.secondsToNextInterval(), 59);
    const QDateTime start = session.startTime();
    const QDateTime end = session.plannedEndTime();
    EXPECT_TRUE(session.containsPeriod(start, end));
    EXPECT_FALSE(session.containsPeriod(start.addMSecs(-1), end));
    EXPECT_FALSE(session.containsPeriod(start, end.addMSecs(1)));

    // Start clears the running metadata of a finished session; a copy shares the record until
    // one side changes.
    storage::META_TREND_ENERGY trend = storage::DEFAULT_META_TREND_ENERGY;
    trend.trendRecordCount = 12;
    storage::META_DEMAND_ENERGY demand = storage::DEFAULT_META_DEMAND_ENERGY;
    demand.demandRecordCount = 3;
    storage::META_SESSION_DATA meta = storage::DEFAULT_META_SESSION_DATA;
    meta.state = LoggingSession::SESSION_STATE_DONE;
    session.assign(QStringLiteral("A"), session.sessionConfig(), meta, session.dspConfig(),
                   session.probeConfig(), session.instrumentConfig(), trend, demand);
    EXPECT_EQ(session.demandRecordCount(), 3);
    const LoggingSession copy(session);
    session.start();
    EXPECT_EQ(session.state(), LoggingSession::SESSION_STATE_PENDING);
    EXPECT_FALSE(session.hasData());
    EXPECT_EQ(copy.state(), LoggingSession::SESSION_STATE_DONE);
    EXPECT_EQ(copy.trendRecordCount(), 12);

    clock.set(NOW.addSecs(-5));
    EXPECT_EQ(session.elapsedSeconds(), 0);
    EXPECT_EQ(session.msecsToStart(), 5000);
    EXPECT_EQ(session.msecsToPlannedEnd(), 604805000);
    clock.set(NOW.addSecs(130));
    EXPECT_EQ(session.msecsToStart(), 0);
    EXPECT_EQ(session.elapsedSeconds(), 130);
    EXPECT_EQ(session.secondsToNextInterval(), 49);

    session.stop();
    EXPECT_EQ(session.state(), LoggingSession::SESSION_STATE_DONE);

    // A finished session reports its recorded span whatever the time.
    meta = session.metaSessionData();
    meta.recordedStart = {1000, 0};
    meta.recordedEnd = {4600, 999999};
    ADCO_DSP_CONFIG dsp = session.dspConfig();
    dsp.demandInterval = 0;
    dsp.trendInterval = 7;
    session.assign(session.name(), session.sessionConfig(), meta, dsp, session.probeConfig(),
                   session.instrumentConfig(), session.metaTrendEnergy(),
                   session.metaDemandEnergy());
    clock.set(NOW.addDays(100));
    EXPECT_EQ(session.elapsedSeconds(), 3600);
    EXPECT_EQ(session.recordedEndTime(), utc(2000, 1, 1, 1, 16, 40, 999));
    // The trend interval alone when there is no demand interval: 7 - (3600 mod 7) - 1.
    EXPECT_EQ(session.secondsToNextInterval(), 4);

    dsp.trendInterval = 0;
    session.setDspConfig(dsp);
    EXPECT_EQ(session.secondsToNextInterval(), 0);
}

TEST(SessionOverviewModificationData, RoundTripAndBrokenOverview) {
    session::SESSION_OVERVIEW_MODIFICATION_DATA data{QStringLiteral("S1"),
                                                     storage::DEFAULT_META_TREND_OVERVIEW};
    data.overview.entryCount = 3;
    const QByteArray bytes = streamed(data);
    ASSERT_EQ(bytes.size(), 4 + 4 + 11592);
    EXPECT_EQ(bytes.left(8), hex("0000000400530031"));

    data = {QString(), storage::DEFAULT_META_TREND_OVERVIEW};
    shared::Qt48DataStream in(bytes);
    in >> data;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(data.name, QStringLiteral("S1"));
    EXPECT_EQ(data.overview.entryCount, 3);

    testsupport::LogCapture capture;
    shared::Qt48DataStream cut(bytes.left(100));
    cut >> data;
    EXPECT_EQ(capture.messages("logging_session_logger"),
              std::vector<std::string>{"Could not load session overview for session \"S1\"."});
    EXPECT_EQ(capture.messages("serialization_logger").size(), 1u);
    EXPECT_TRUE(sameBytes(data.overview, storage::DEFAULT_META_TREND_OVERVIEW));

    // A name longer than the bytes left reads as Qt's reader fails it, without the allocation.
    shared::Qt48DataStream garbled(hex("7ffffffe00530031"));
    garbled >> data;
    EXPECT_EQ(garbled.status(), QDataStream::ReadPastEnd);
    EXPECT_TRUE(data.name.isEmpty());
    EXPECT_TRUE(garbled.atEnd());
}
