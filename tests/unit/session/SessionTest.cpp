// The session area: its timing, its configuration and the logging session, each against byte
// images worked out by hand. A settable "now" serves every session calculation and a storage
// provider whose free space the test chooses stands in for the partition.

#include "session/IStorageSpace.h"
#include "session/LoggingSession.h"
#include "session/SessionConfig.h"
#include "session/SessionTiming.h"
#include "support/LogCapture.h"
#include "support/RecordBytes.h"

#include <QBuffer>

#include <gtest/gtest.h>
#include <log4cplus/loglevel.h>

#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using session::LoggingSession;
using session::SessionTiming;
using testsupport::hex;
using testsupport::image;
using testsupport::streamed;
using testsupport::utc;
using Lines = std::vector<std::string>;

namespace {

// Installs the fake clock at `now` for the lifetime of the object.
struct ClockGuard {
    explicit ClockGuard(const QDateTime& at) {
        set(at);
        SessionTiming::setClock([] { return now; });
    }
    ~ClockGuard() { SessionTiming::setClock(nullptr); }
    void set(const QDateTime& at) { now = at; }
    static inline QDateTime now;
};

// Installs itself as the storage for its lifetime: `free` bytes, where every trend interval
// costs 100 bytes, with no overhead and no demand records.
struct StorageGuard : session::IStorageSpace {
    explicit StorageGuard(qint64 free)
        : free(free) {
        install(std::shared_ptr<IStorageSpace>(this, [](IStorageSpace*) {}));
    }
    ~StorageGuard() override { install(nullptr); }
    qint64 freeBytes() override {
        ++freeQueries;
        return free;
    }
    qint64 bytesNeeded(int seconds, int trendInterval, int) override {
        return trendInterval > 0 ? qint64(seconds / trendInterval) * 100 : 0;
    }
    int maxDurationForBytes(qint64 bytes, int trendInterval, int) override {
        return int(bytes / 100) * trendInterval;
    }
    qint64 free;
    int freeQueries = 0;
};

// Reads `bytes` into `into`; true when the stream is still Ok.
template <typename T> bool read(const QByteArray& bytes, T& into) {
    shared::Qt48DataStream in(bytes);
    in >> into;
    return in.status() == QDataStream::Ok;
}

QDateTime day(int hour, int minute, int second, int ms = 0) {
    return utc(2021, 3, 4, hour, minute, second, ms);
}

// "now" long after every scheduled start of these tests, so no grid point is "just ahead".
const QDateTime LATER = utc(2030, 1, 1, 0, 0, 0);

SessionTiming scheduled(const QDateTime& start, int mode, int custom = 0) {
    return SessionTiming(start, mode, 60, 300, custom);
}

using Span = std::pair<QDateTime, QDateTime>;
Span span(const SessionTiming& timing) {
    return {timing.startTime(), timing.plannedEndTime()};
}
std::pair<int, int> intervals(const SessionTiming& timing) {
    return {timing.trendInterval(), timing.demandInterval()};
}

} // namespace

TEST(SessionTiming, DurationModesAddCalendarDaysOrSeconds) {
    ClockGuard clock(LATER);
    const std::pair<int, QDateTime> cases[] = {
        {5, utc(2021, 3, 5, 10, 0, 0)},
        {2, day(10, 10, 0)},
        {4, day(11, 0, 0)},
        {7, utc(2021, 4, 1, 10, 0, 0)},
        {9, utc(2021, 5, 27, 10, 0, 0)},
        {10, day(10, 0, 0)}, // no mode of its own: the end falls on the start
        {0, day(10, 0, 0)},  // without a storage provider the partition holds nothing
    };
    for (const auto& [mode, end] : cases) {
        EXPECT_EQ(scheduled(day(10, 0, 0), mode).plannedEndTime(), end) << mode;
    }
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 90061).plannedEndTime(), utc(2021, 3, 5, 11, 1, 1));
}

TEST(SessionTiming, AlignmentToTheIntervalGrid) {
    // Now, the time, the step and the aligned time.
    const std::tuple<QDateTime, QDateTime, int, QDateTime> cases[] = {
        // The boundary 10:00:00 is behind now.
        {day(10, 0, 0, 200), day(10, 0, 0, 200), 60, day(10, 1, 0)},
        // A boundary less than a second ahead of now is skipped, one a second ahead is kept.
        {day(9, 59, 59, 500), day(9, 59, 59, 500), 60, day(10, 1, 0)},
        {day(9, 59, 59, 1), day(9, 59, 59, 500), 60, day(10, 1, 0)},
        {day(9, 59, 59, 0), day(9, 59, 59, 500), 60, day(10, 0, 0)},
        // A point that is not ahead of now at all is kept.
        {day(10, 0, 0), day(10, 0, 0), 60, day(10, 0, 0)},
        {LATER, day(10, 2, 0), 300, day(10, 5, 0)},
        // Late in the day the single-precision quotient loses the last millisecond, so a time
        // just past a grid point lands on that point.
        {LATER, day(23, 0, 0, 1), 60, day(23, 0, 0)},
        // No grid without a positive step.
        {LATER, day(10, 2, 3), 0, day(10, 2, 3)},
    };
    ClockGuard clock(LATER);
    for (const auto& [now, time, step, aligned] : cases) {
        clock.set(now);
        const QDateTime result = SessionTiming::alignToInterval(time, step);
        EXPECT_TRUE(result == aligned && result.timeSpec() == Qt::UTC)
            << time.toString(Qt::ISODateWithMs).toStdString() << " "
            << result.toString().toStdString();
    }
    EXPECT_FALSE(SessionTiming::alignToInterval(QDateTime(), 60).isValid());
}

TEST(SessionTiming, UnscheduledStartCustomAndFixedEndAndAssignment) {
    ClockGuard clock(day(10, 0, 0, 200));
    EXPECT_EQ(span(SessionTiming(2, 60, 300, 0)), Span(day(10, 1, 0), day(10, 11, 0)));
    clock.set(day(10, 1, 0));
    EXPECT_EQ(SessionTiming(2, 900, 300, 0).startTime(), day(10, 5, 0));
    // A demand interval below 1 means no demand records: the trend interval sets the grid.
    EXPECT_EQ(SessionTiming(2, 900, 0, 0).startTime(), day(10, 15, 0));

    // A start counts as in the future while a whole second is left.
    clock.set(day(9, 59, 58, 900));
    const SessionTiming ahead = scheduled(day(10, 0, 0), 2);
    EXPECT_TRUE(ahead.isStartInFuture());
    clock.set(day(9, 59, 59, 500));
    EXPECT_FALSE(ahead.isStartInFuture());

    // A custom duration is at least an hour unless the end is fixed.
    clock.set(day(8, 0, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 0).duration(), 3600);
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 5400).duration(), 5400);
    SessionTiming target = scheduled(day(10, 0, 0), 2);
    target.setScheduledPeriod(day(10, 0, 0), day(10, 30, 0));
    EXPECT_EQ(target.duration(), 1800);
    // A fixed end with the start back to "now".
    target.setFixedEnd(day(9, 30, 0));
    EXPECT_TRUE(!target.scheduledStart() && target.fixedEnd());
    EXPECT_EQ(std::make_tuple(target.startTime(), target.duration()),
              std::make_tuple(day(8, 0, 0), 5400));
    target.setCustomDuration(1800);
    EXPECT_FALSE(target.fixedEnd());
    EXPECT_EQ(std::make_tuple(target.plannedEndTime(), target.duration()),
              std::make_tuple(day(8, 30, 0), 3600));

    // Equality and assignment ignore the intervals; the copy constructor takes them.
    clock.set(LATER);
    target = SessionTiming(day(10, 0, 0), 2, 60, 300, 0);
    const SessionTiming otherIntervals(day(10, 0, 0), 2, 900, 0, 0);
    EXPECT_TRUE(target == otherIntervals);
    target = otherIntervals;
    EXPECT_EQ(intervals(target), std::pair(60, 300));
    EXPECT_EQ(intervals(SessionTiming(otherIntervals)), std::pair(900, 0));
    target = SessionTiming(day(11, 0, 0), 2, 900, 0, 0);
    EXPECT_EQ(target.startTime(), day(11, 0, 0));
    EXPECT_EQ(intervals(target), std::pair(900, 0));
}

TEST(SessionTiming, ReadingFallsBackToOneWeekAndReportsAShortStream) {
    ClockGuard clock(LATER);
    const QByteArray bytes = streamed(scheduled(utc(2012, 1, 1, 0, 0, 0), 2));
    // The mode follows the flag and the two 9-byte date-times.
    const std::pair<const char*, int> modes[] = {
        {"0000000c", 6}, {"ffffffff", 6}, {"0000000a", 6}, {"00000009", 9}, {"00000000", 0}};
    for (const auto& [modeBytes, mode] : modes) {
        SessionTiming timing;
        EXPECT_TRUE(read(QByteArray(bytes).replace(19, 4, hex(modeBytes)), timing));
        EXPECT_EQ(timing.durationMode(), mode) << modeBytes;
    }
    testsupport::LogCapture capture;
    SessionTiming timing;
    EXPECT_FALSE(read(bytes.left(20), timing));
    EXPECT_TRUE(timing.scheduledStart());
    EXPECT_EQ(timing.startTime(), utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(capture.withLevels("logging_session_logger"),
              Lines{"FATAL Could not load serialized SessionTiming."});
}

TEST(SessionTiming, ChangeDurationAndUpdateKeepAFixedEnd) {
    ClockGuard clock(day(10, 0, 0));
    SessionTiming timing(2, 60, 300, 0);
    timing.changeDuration(5, 77);
    EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 5, 10, 0, 0));
    timing.changeDuration(1, 5400);
    EXPECT_EQ(timing.plannedEndTime(), day(11, 30, 0));
    timing.update({true, day(12, 0, 30)}, {false, QDateTime()});
    EXPECT_TRUE(timing.scheduledStart());
    EXPECT_EQ(span(timing), Span(day(12, 1, 0), day(13, 31, 0)));

    // A fixed end stays where the user put it; one at or before the start is pulled up to it
    // with a warning.
    testsupport::LogCapture capture;
    timing.update({true, day(13, 0, 0)}, {true, day(15, 0, 0)});
    timing.changeDuration(1, 600);
    EXPECT_EQ(std::make_tuple(timing.customDuration(), timing.plannedEndTime()),
              std::make_tuple(600, day(15, 0, 0)));
    timing.setPlannedEndTime(day(13, 0, 0));
    timing.update({true, day(13, 0, 0)}, {true, day(12, 0, 0)});
    EXPECT_EQ(timing.plannedEndTime(), day(13, 0, 0));
    EXPECT_EQ(capture.withLevels("session_logger"),
              (Lines{"WARN Session end time Thu Mar 4 15:00:00 2021 GMT was changed to Thu Mar 4 "
                     "13:00:00 2021 GMT.",
                     "WARN Session end time Thu Mar 4 12:00:00 2021 GMT was changed to Thu Mar 4 "
                     "13:00:00 2021 GMT."}));

    // Back to a mode of its own releases the fixed end; back to "now" follows the clock.
    timing.changeDuration(4, 0);
    EXPECT_FALSE(timing.fixedEnd());
    EXPECT_EQ(timing.plannedEndTime(), day(14, 0, 0));
    timing.update({false, QDateTime()}, {false, QDateTime()});
    EXPECT_EQ(timing.startTime(), day(10, 0, 0));
}

TEST(SessionTiming, DurationsAndStepsAreLimitedByTheFreeStorage) {
    ClockGuard clock(LATER);
    // 600000 bytes at 100 bytes per 60 s trend record hold 360000 s.
    StorageGuard storage(600000);
    SessionTiming timing = scheduled(day(10, 0, 0), 6);
    timing.setIntervals(60, 300);
    EXPECT_EQ(std::make_tuple(timing.durationMode(), timing.customDuration(),
                              timing.plannedEndTime(), storage.freeQueries),
              std::make_tuple(1, 360000, utc(2021, 3, 8, 14, 0, 0), 1));
    storage.free = 1000000000;
    SessionTiming roomy = scheduled(day(10, 0, 0), 6);
    roomy.setIntervals(60, 300);
    EXPECT_EQ(roomy.durationMode(), 6);
    EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 10);

    // Mode 0 runs as long as the storage allows.
    storage.free = 144000;
    EXPECT_EQ(scheduled(day(10, 0, 0), 0).plannedEndTime(), utc(2021, 3, 5, 10, 0, 0));
    EXPECT_EQ(timing.maxAllowedDuration(60, 300), 86400);
    // 4000 records: 40000 s at 10 s steps is too short, 120000 s at 30 s is enough.
    storage.free = 400000;
    storage.freeQueries = 0;
    EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 30);
    EXPECT_EQ(storage.freeQueries, 1);

    // Nothing fits, and a custom duration of 0 leaves the end where it was.
    storage.free = 0;
    roomy.limitDurationToStorage();
    EXPECT_EQ(std::make_tuple(roomy.durationMode(), roomy.customDuration(), roomy.plannedEndTime()),
              std::make_tuple(1, 0, utc(2021, 3, 11, 10, 0, 0)));
    EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 1800);

    // Each rung ends just below its bound: 4 hours, 1, 2, 6, 12, 60, 120 and 180 days; past
    // that the longest step stays.
    const int bounds[] = {14400, 86400, 172800, 518400, 1036800, 5184000, 10368000, 15552000};
    const int steps[] = {1, 5, 10, 30, 60, 300, 600, 900, 1800};
    for (int rung = 0; rung < 8; ++rung) {
        EXPECT_EQ(SessionTiming::recommendedStep(bounds[rung] - 1), steps[rung]) << rung;
        EXPECT_EQ(SessionTiming::recommendedStep(bounds[rung]), steps[rung + 1]) << rung;
    }
}

// The float goes out as a big-endian double; the timing as flag, two date-times (Julian day,
// milliseconds, spec 2 = UTC), mode, custom duration, flag and the two intervals; a null
// string as ffffffff, an empty one as a zero length.
TEST(SessionConfig, StreamFormInQt48EncodingAndBrokenStreams) {
    ClockGuard clock(LATER);
    const SESSION_CONFIG written{0.5f, SessionTiming(utc(2012, 1, 1, 0, 0, 0), 2, 60, 300, 0),
                                 QString(""), QStringLiteral("Ab")};
    const std::pair<const SESSION_CONFIG&, const char*> cases[] = {
        // Default: 0.1f, start 2012-01-01 and one week later, mode 6, null texts.
        {DEFAULT_SESSION_CONFIG, "3fb99999a0000000 00002579780000000002 0025797f0000000002"
                                 "000000060000000000 0000003c0000012c ffffffffffffffff"},
        // Scheduled at 2012-01-01 for 10 minutes, an empty description and the name "Ab".
        {written, "3fe0000000000000 01002579780000000002 00257978000927c002 000000020000000000"
                  "0000003c0000012c 00000000 0000000400410062"},
    };
    for (const auto& [config, image] : cases) {
        const QByteArray bytes = streamed(config);
        EXPECT_EQ(bytes.toHex(' '), hex(image).toHex(' '));
        // Read into a value that differs in every field, intervals included.
        SESSION_CONFIG back{0.3f, SessionTiming(utc(2020, 1, 1, 0, 0, 0), 4, 1, 1, 0),
                            QStringLiteral("old"), QString()};
        EXPECT_TRUE(read(bytes, back));
        EXPECT_EQ(streamed(back), bytes);
        EXPECT_EQ(back.description.isNull(), config.description.isNull());
    }

    // A cut stream and a device that refuses the bytes are logged.
    testsupport::LogCapture capture;
    SESSION_CONFIG back = DEFAULT_SESSION_CONFIG;
    EXPECT_FALSE(read(streamed(DEFAULT_SESSION_CONFIG).chopped(2), back));
    QByteArray target;
    QBuffer readOnly(&target);
    readOnly.open(QIODevice::ReadOnly);
    shared::Qt48DataStream out(&readOnly);
    out << DEFAULT_SESSION_CONFIG;
    EXPECT_EQ(capture.withLevels("session_storage_data_logger"),
              (Lines{"ERROR Invalid extraction from stream was detected!",
                     "ERROR Unable to insert session configuration to stream."}));
}

namespace {

const QDateTime NOW = utc(2020, 6, 15, 8, 0, 0);

// Replaces the records as the recording process does: inside the whole record.
void assign(LoggingSession& session, const storage::META_SESSION_DATA& meta,
            const ADCO_DSP_CONFIG& dsp, const storage::META_TREND_ENERGY& trend,
            const storage::META_DEMAND_ENERGY& demand) {
    session.assign(session.name(), session.sessionConfig(), meta, dsp, session.probeConfig(),
                   session.instrumentConfig(), trend, demand);
}

} // namespace

TEST(LoggingSession, DefaultSerialisesToTheQt48Layout) {
    ClockGuard clock(NOW);
    const LoggingSession session;
    EXPECT_TRUE(session.state() == 0 && session.name().isNull());
    const QByteArray bytes = streamed(session);
    ASSERT_EQ(bytes.size(), 56 + 280 + 136 + 176 + 916 + 2776 + 56);
    // Null name; 0.1f widened to a double; not scheduled; 2020-06-15 08:00:00 UTC and a week
    // later; one week (6), no custom duration, no fixed end; 60 s and 300 s; null description
    // and name.
    EXPECT_EQ(bytes.left(56).toHex(' '),
              hex("ffffffff 3fb99999a0000000 00 0025858801b7740002 0025858f01b7740002 00000006"
                  "00000000 00 0000003c0000012c ffffffffffffffff")
                  .toHex(' '));
    // Then the raw records in order, each recognised by its first bytes: META_SESSION_DATA
    // (IDLE, recorded start 2012-01-01 = 378691200 s), ADCO_DSP_CONFIG with the session's
    // intervals, a probe entry (0xFFFE at byte 36), INSTRUMENT_CONFIG (English, United States),
    // META_TREND_ENERGY and META_DEMAND_ENERGY (unset times, the last four bytes zero).
    EXPECT_EQ(bytes.mid(56, 12) + bytes.mid(336, 20) + bytes.mid(508, 4) + bytes.mid(648, 8) +
                  bytes.mid(1564, 8) + bytes.mid(4340, 8) + bytes.right(4),
              hex("00000000805e921600000000 0000000000000000010005003c0000002c010000 feff0000"
                  "1f000000e1000000 805e921600000000 805e921600000000 00000000"));

    // Read into a session that differs in name, timing and DSP intervals.
    LoggingSession back(QStringLiteral("Other"), QStringLiteral("x"), 2, 0, DEFAULT_DSP_CONFIG,
                        DEFAULT_DSP_PROBE_CONFIG, quarn_system::DEFAULT_INSTRUMENT_CONFIG);
    EXPECT_TRUE(read(bytes, back));
    EXPECT_TRUE(streamed(back) == bytes && back.name().isNull());

    // Cut inside the trend metadata (the first 1000 of its 2776 bytes, the demand record gone
    // too), nothing at all, or a name whose length runs past the end: a default session.
    LoggingSession alpha;
    alpha.setName(QStringLiteral("Alpha"));
    const QByteArray cut = streamed(alpha).chopped(56 + 1776);
    for (const QByteArray& body : {cut, QByteArray(), hex("0000"), hex("7fffffff0041")}) {
        SCOPED_TRACE(body.left(8).toHex().toStdString());
        back.setName(QStringLiteral("Before"));
        back.start();
        testsupport::LogCapture capture;
        EXPECT_FALSE(read(body, back));
        EXPECT_EQ(streamed(back), streamed(LoggingSession()));
        EXPECT_EQ(capture.withLevels("logging_session_logger").size(), 1u);
        if (body == cut) {
            EXPECT_EQ(capture.withLevels("serialization_logger"),
                      Lines{"FATAL Could not load serialized structure \"META_TREND_ENERGY\", read "
                            "bytes: 1000, expected bytes: 2776"});
            EXPECT_EQ(capture.withLevels("logging_session_logger"),
                      Lines{"FATAL Could not load serialized session \"Alpha\"."});
        }
    }
}

// The probe and instrument set-ups are taken in every state, with a warning once started.
TEST(LoggingSession, StatesPredicatesNamesAndSetterWarnings) {
    const std::string active = "was set when it was active.";
    const std::string started = "was set when it was started already.";
    // State, pending, active, started, name, warning.
    const std::tuple<int, bool, bool, bool, std::string, std::string> cases[] = {
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
    for (const auto& [state, pending, active, started, name, warning] : cases) {
        LoggingSession session;
        storage::META_SESSION_DATA meta = session.metaSessionData();
        meta.state = state;
        assign(session, meta, session.dspConfig(), session.metaTrendEnergy(),
               session.metaDemandEnergy());
        EXPECT_EQ(std::make_tuple(session.isPending(), session.isActive(), session.isStarted(),
                                  LoggingSession::sessionStateName(state).toStdString()),
                  std::tie(pending, active, started, name));
        testsupport::LogCapture capture;
        session.setProbeConfig(probe);
        session.setInstrumentConfig(instrument);
        EXPECT_EQ(image(session.probeConfig()), image(probe));
        EXPECT_EQ(image(session.instrumentConfig()), image(instrument));
        const Lines warnings{"WARN DSP Probe configuration " + warning,
                             "WARN Instrument configuration " + warning};
        EXPECT_EQ(capture.withLevels("logging_session_logger"),
                  warning.empty() ? Lines{} : warnings)
            << state;
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
    EXPECT_EQ(std::make_tuple(initialised.state(), initialised.sessionConfig().name,
                              initialised.duration()),
              std::make_tuple(LoggingSession::SESSION_STATE_IDLE, QString("I"), 3600));
    LoggingSession target;
    target.copyFrom(initialised);
    target.copyFrom(target);
    EXPECT_EQ(streamed(target), streamed(initialised));

    LoggingSession session;
    session.setConfigName(QStringLiteral("cfg"));
    EXPECT_TRUE(session.name().isNull() && session.sessionConfig().name == "cfg");
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
    EXPECT_EQ(std::make_tuple(session.elapsedSeconds(), session.secondsToNextInterval()),
              std::make_tuple(0, 59));
    const QDateTime start = session.startTime(), end = session.plannedEndTime();
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
    assign(session, meta, session.dspConfig(), trend, demand);
    EXPECT_EQ(session.demandRecordCount(), 3);
    const LoggingSession copy(session);
    session.start();
    EXPECT_EQ(session.state(), LoggingSession::SESSION_STATE_PENDING);
    EXPECT_FALSE(session.hasData());
    EXPECT_EQ(std::make_tuple(copy.state(), copy.trendRecordCount()),
              std::make_tuple(LoggingSession::SESSION_STATE_DONE, 12));

    clock.set(NOW.addSecs(-5));
    EXPECT_EQ(std::make_tuple(session.elapsedSeconds(), session.msecsToStart(),
                              session.msecsToPlannedEnd()),
              std::make_tuple(0, 5000, 604805000));
    clock.set(NOW.addSecs(130));
    EXPECT_EQ(std::make_tuple(session.msecsToStart(), session.elapsedSeconds(),
                              session.secondsToNextInterval()),
              std::make_tuple(0, 130, 49));
    session.stop();
    EXPECT_EQ(session.state(), LoggingSession::SESSION_STATE_DONE);

    // A finished session reports its recorded span whatever the time.
    meta = session.metaSessionData();
    meta.recordedStart = {1000, 0};
    meta.recordedEnd = {4600, 999999};
    ADCO_DSP_CONFIG dsp = session.dspConfig();
    dsp.demandInterval = 0;
    dsp.trendInterval = 7;
    assign(session, meta, dsp, session.metaTrendEnergy(), session.metaDemandEnergy());
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
    EXPECT_TRUE(read(bytes, data));
    EXPECT_TRUE(data.name == "S1" && data.overview.entryCount == 3);

    testsupport::LogCapture capture;
    EXPECT_FALSE(read(bytes.left(100), data));
    EXPECT_EQ(capture.withLevels("logging_session_logger"),
              Lines{"FATAL Could not load session overview for session \"S1\"."});
    EXPECT_EQ(capture.withLevels("serialization_logger").size(), 1u);
    EXPECT_EQ(image(data.overview), image(storage::DEFAULT_META_TREND_OVERVIEW));

    // A name longer than the bytes left reads as Qt's reader fails it, without the allocation.
    shared::Qt48DataStream garbled(hex("7ffffffe00530031"));
    garbled >> data;
    EXPECT_EQ(garbled.status(), QDataStream::ReadPastEnd);
    EXPECT_TRUE(data.name.isEmpty() && garbled.atEnd());
}
