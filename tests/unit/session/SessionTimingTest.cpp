#include "SessionTestSupport.h"

#include "session/SessionTiming.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

using session::SessionTiming;
using sessiontest::ClockGuard;
using sessiontest::hex;
using sessiontest::StorageGuard;
using sessiontest::utc;

namespace {

QDateTime day(int hour, int minute, int second, int ms = 0) {
    return utc(2021, 3, 4, hour, minute, second, ms);
}

// "now" long after every scheduled start of these tests, so no grid point is "just ahead".
const QDateTime LATER = utc(2030, 1, 1, 0, 0, 0);

SessionTiming scheduled(const QDateTime& start, int mode, int custom = 0) {
    return SessionTiming(start, mode, 60, 300, custom);
}

} // namespace

TEST(SessionTiming, DurationModesAddCalendarDaysOrSeconds) {
    ClockGuard clock(LATER);
    const struct {
        int mode;
        int custom;
        QDateTime end;
    } cases[] = {
        {5, 0, utc(2021, 3, 5, 10, 0, 0)},
        {2, 0, day(10, 10, 0)},
        {4, 0, day(11, 0, 0)},
        {7, 0, utc(2021, 4, 1, 10, 0, 0)},
        {9, 0, utc(2021, 5, 27, 10, 0, 0)},
        {1, 90061, utc(2021, 3, 5, 11, 1, 1)},
        {10, 0, day(10, 0, 0)}, // no mode of its own: the end falls on the start
        {0, 0, day(10, 0, 0)},  // without a storage provider the partition holds nothing
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scheduled(day(10, 0, 0), c.mode, c.custom).plannedEndTime(), c.end) << c.mode;
    }
}

TEST(SessionTiming, AlignmentToTheIntervalGrid) {
    const struct {
        QDateTime now;
        QDateTime time;
        int step;
        QDateTime aligned;
    } cases[] = {
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
    for (const auto& c : cases) {
        clock.set(c.now);
        const QDateTime aligned = SessionTiming::alignToInterval(c.time, c.step);
        const std::string label = c.time.toString(Qt::ISODateWithMs).toStdString();
        EXPECT_EQ(aligned, c.aligned) << label;
        EXPECT_EQ(aligned.timeSpec(), Qt::UTC) << label;
    }
    EXPECT_FALSE(SessionTiming::alignToInterval(QDateTime(), 60).isValid());
}

TEST(SessionTiming, UnscheduledStartIsNowOnTheShorterIntervalGridAndStartInFuture) {
    ClockGuard clock(day(10, 0, 0, 200));
    const SessionTiming timing(2, 60, 300, 0);
    EXPECT_EQ(timing.startTime(), day(10, 1, 0));
    EXPECT_EQ(timing.plannedEndTime(), day(10, 11, 0));

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
}

TEST(SessionTiming, CustomDurationIsAtLeastOneHourUnlessTheEndIsFixed) {
    ClockGuard clock(day(8, 0, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 0).duration(), 3600);
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 5400).duration(), 5400);

    SessionTiming timing = scheduled(day(10, 0, 0), 2);
    timing.setScheduledPeriod(day(10, 0, 0), day(10, 30, 0));
    EXPECT_EQ(timing.duration(), 1800);

    // A fixed end with the start back to "now".
    timing.setFixedEnd(day(9, 30, 0));
    EXPECT_FALSE(timing.scheduledStart());
    EXPECT_EQ(timing.startTime(), day(8, 0, 0));
    EXPECT_EQ(timing.duration(), 5400);

    timing.setCustomDuration(1800);
    EXPECT_FALSE(timing.fixedEnd());
    EXPECT_EQ(timing.plannedEndTime(), day(8, 30, 0));
    EXPECT_EQ(timing.duration(), 3600);
}

TEST(SessionTiming, EqualityAndAssignmentIgnoreTheIntervals) {
    ClockGuard clock(LATER);
    SessionTiming target(day(10, 0, 0), 2, 60, 300, 0);
    const SessionTiming otherIntervals(day(10, 0, 0), 2, 900, 0, 0);
    EXPECT_TRUE(target == otherIntervals);
    target = otherIntervals;
    EXPECT_EQ(target.trendInterval(), 60);
    EXPECT_EQ(target.demandInterval(), 300);
    // The copy constructor, unlike the assignment, takes them.
    EXPECT_EQ(SessionTiming(otherIntervals).trendInterval(), 900);

    target = SessionTiming(day(11, 0, 0), 2, 900, 0, 0);
    EXPECT_EQ(target.startTime(), day(11, 0, 0));
    EXPECT_EQ(target.trendInterval(), 900);
    EXPECT_EQ(target.demandInterval(), 0);
}

TEST(SessionTiming, ReadingFallsBackToOneWeekAndReportsAShortStream) {
    ClockGuard clock(LATER);
    const QByteArray bytes = sessiontest::streamed(scheduled(utc(2012, 1, 1, 0, 0, 0), 2));
    // The mode follows the flag and the two 9-byte date-times.
    const std::pair<const char*, int> modes[] = {
        {"0000000c", 6}, {"ffffffff", 6}, {"0000000a", 6}, {"00000009", 9}, {"00000000", 0}};
    for (const auto& [modeBytes, mode] : modes) {
        QByteArray patched = bytes;
        patched.replace(19, 4, hex(modeBytes));
        SessionTiming timing;
        shared::Qt48DataStream in(patched);
        in >> timing;
        EXPECT_EQ(timing.durationMode(), mode) << modeBytes;
    }

    testsupport::LogCapture capture;
    SessionTiming timing;
    shared::Qt48DataStream in(bytes.left(20));
    in >> timing;
    EXPECT_NE(in.status(), QDataStream::Ok);
    EXPECT_TRUE(timing.scheduledStart());
    EXPECT_EQ(timing.startTime(), utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(capture.messages("logging_session_logger"),
              std::vector<std::string>{"Could not load serialized SessionTiming."});
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
    EXPECT_EQ(timing.startTime(), day(12, 1, 0));
    EXPECT_EQ(timing.plannedEndTime(), day(13, 31, 0));

    // A fixed end stays where the user put it; one at or before the start is pulled up to it
    // with a warning.
    testsupport::LogCapture capture;
    timing.update({true, day(13, 0, 0)}, {true, day(15, 0, 0)});
    timing.changeDuration(1, 600);
    EXPECT_EQ(timing.customDuration(), 600);
    EXPECT_EQ(timing.plannedEndTime(), day(15, 0, 0));
    timing.setPlannedEndTime(day(13, 0, 0));
    timing.update({true, day(13, 0, 0)}, {true, day(12, 0, 0)});
    EXPECT_EQ(timing.plannedEndTime(), day(13, 0, 0));
    EXPECT_EQ(capture.messages("session_logger"),
              (std::vector<std::string>{"Session end time Thu Mar 4 15:00:00 2021 GMT was "
                                        "changed to Thu Mar 4 13:00:00 2021 GMT.",
                                        "Session end time Thu Mar 4 12:00:00 2021 GMT was "
                                        "changed to Thu Mar 4 13:00:00 2021 GMT."}));
    EXPECT_EQ(capture.events()[0].level, log4cplus::WARN_LOG_LEVEL);

    // Back to a mode of its own releases the fixed end; back to "now" follows the clock.
    timing.changeDuration(4, 0);
    EXPECT_FALSE(timing.fixedEnd());
    EXPECT_EQ(timing.plannedEndTime(), day(14, 0, 0));
    timing.update({false, QDateTime()}, {false, QDateTime()});
    EXPECT_EQ(timing.startTime(), day(10, 0, 0));
}

TEST(SessionTiming, DurationsAreLimitedByTheFreeStorage) {
    ClockGuard clock(LATER);
    // 600000 bytes at 100 bytes per 60 s trend record hold 360000 s.
    StorageGuard storage(600000);
    SessionTiming timing = scheduled(day(10, 0, 0), 6);
    timing.setIntervals(60, 300);
    EXPECT_EQ(timing.durationMode(), 1);
    EXPECT_EQ(timing.customDuration(), 360000);
    EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 8, 14, 0, 0));
    EXPECT_EQ(storage.freeQueries, 1);

    storage.free = 1000000000;
    SessionTiming roomy = scheduled(day(10, 0, 0), 6);
    roomy.setIntervals(60, 300);
    EXPECT_EQ(roomy.durationMode(), 6);

    // Mode 0 runs as long as the storage allows.
    storage.free = 144000;
    EXPECT_EQ(scheduled(day(10, 0, 0), 0).plannedEndTime(), utc(2021, 3, 5, 10, 0, 0));
    EXPECT_EQ(timing.maxAllowedDuration(60, 300), 86400);

    // Nothing fits, and a custom duration of 0 leaves the end where it was.
    storage.free = 0;
    roomy.limitDurationToStorage();
    EXPECT_EQ(roomy.durationMode(), 1);
    EXPECT_EQ(roomy.customDuration(), 0);
    EXPECT_EQ(roomy.plannedEndTime(), utc(2021, 3, 11, 10, 0, 0));
}

TEST(SessionTiming, RecommendedStepGrowsUntilTheDurationFits) {
    // Each rung ends just below its bound: 4 hours, 1, 2, 6, 12, 60, 120 and 180 days; past
    // that the longest step stays.
    const int bounds[] = {14400, 86400, 172800, 518400, 1036800, 5184000, 10368000, 15552000};
    const int steps[] = {1, 5, 10, 30, 60, 300, 600, 900, 1800};
    for (int rung = 0; rung < 8; ++rung) {
        EXPECT_EQ(SessionTiming::recommendedStep(bounds[rung] - 1), steps[rung]) << rung;
        EXPECT_EQ(SessionTiming::recommendedStep(bounds[rung]), steps[rung + 1]) << rung;
    }
    StorageGuard storage(1000000000);
    EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 10);
    // 4000 records: 40000 s at 10 s steps is too short, 120000 s at 30 s is enough.
    storage.free = 400000;
    storage.freeQueries = 0;
    EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 30);
    EXPECT_EQ(storage.freeQueries, 1);
    storage.free = 0;
    EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 1800);
}
