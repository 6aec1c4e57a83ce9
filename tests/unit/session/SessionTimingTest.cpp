#include "SessionTestSupport.h"

#include "foundation/Qt48DataStream.h"
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

TEST(SessionTiming, DefaultStartsAtTheUnsetTimeAndRunsOneWeek) {
    const SessionTiming timing;
    EXPECT_EQ(timing.startTime(), utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(timing.plannedEndTime(), utc(2012, 1, 8, 0, 0, 0));
    EXPECT_FALSE(timing.scheduledStart());
    EXPECT_FALSE(timing.fixedEnd());
    EXPECT_EQ(timing.durationMode(), 6);
    EXPECT_EQ(timing.customDuration(), 0);
    EXPECT_EQ(timing.trendInterval(), 60);
    EXPECT_EQ(timing.demandInterval(), 300);
    EXPECT_EQ(timing.duration(), 604800);
}

TEST(SessionTiming, DurationModesAddCalendarDaysOrSeconds) {
    ClockGuard clock(LATER);
    EXPECT_EQ(scheduled(day(10, 0, 0), 5).plannedEndTime(), utc(2021, 3, 5, 10, 0, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 2).plannedEndTime(), day(10, 10, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 3).plannedEndTime(), day(10, 30, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 4).plannedEndTime(), day(11, 0, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 7).plannedEndTime(), utc(2021, 4, 1, 10, 0, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 8).plannedEndTime(), utc(2021, 4, 3, 10, 0, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 9).plannedEndTime(), utc(2021, 5, 27, 10, 0, 0));
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 90061).plannedEndTime(), utc(2021, 3, 5, 11, 1, 1));
    // No mode of its own: the end falls on the start.
    EXPECT_EQ(scheduled(day(10, 0, 0), 10).plannedEndTime(), day(10, 0, 0));
    // Without a storage provider the partition holds nothing.
    EXPECT_EQ(scheduled(day(10, 0, 0), 0).plannedEndTime(), day(10, 0, 0));
}

TEST(SessionTiming, AlignmentSkipsAGridPointLessThanASecondAhead) {
    ClockGuard clock(day(10, 0, 0, 200));
    EXPECT_EQ(SessionTiming::alignToInterval(day(10, 0, 0, 200), 60), day(10, 1, 0));

    clock.set(day(9, 59, 59, 500));
    EXPECT_EQ(SessionTiming::alignToInterval(day(9, 59, 59, 500), 60), day(10, 1, 0));
    clock.set(day(9, 59, 59, 1));
    EXPECT_EQ(SessionTiming::alignToInterval(day(9, 59, 59, 500), 60), day(10, 1, 0));
    clock.set(day(9, 59, 59, 0));
    EXPECT_EQ(SessionTiming::alignToInterval(day(9, 59, 59, 500), 60), day(10, 0, 0));
    clock.set(day(9, 59, 58, 0));
    EXPECT_EQ(SessionTiming::alignToInterval(day(9, 59, 59, 500), 60), day(10, 0, 0));

    // A point that is not ahead of now at all is kept.
    clock.set(day(10, 0, 0));
    EXPECT_EQ(SessionTiming::alignToInterval(day(10, 0, 0), 60), day(10, 0, 0));
}

TEST(SessionTiming, AlignmentFollowsTheStepGridInUtc) {
    ClockGuard clock(LATER);
    const QDateTime aligned = SessionTiming::alignToInterval(day(10, 2, 0), 300);
    EXPECT_EQ(aligned, day(10, 5, 0));
    EXPECT_EQ(aligned.timeSpec(), Qt::UTC);
    EXPECT_EQ(SessionTiming::alignToInterval(day(10, 2, 0), 900), day(10, 15, 0));
    EXPECT_EQ(SessionTiming::alignToInterval(day(10, 15, 0), 900), day(10, 15, 0));
    // Late in the day the single-precision quotient loses the last millisecond, so a time just
    // past a grid point lands on that point.
    EXPECT_EQ(SessionTiming::alignToInterval(day(23, 0, 0, 1), 60), day(23, 0, 0));
    // No grid without a positive step or a valid time.
    EXPECT_EQ(SessionTiming::alignToInterval(day(10, 2, 3), 0), day(10, 2, 3));
    EXPECT_FALSE(SessionTiming::alignToInterval(QDateTime(), 60).isValid());
}

TEST(SessionTiming, UnscheduledStartIsNowOnTheShorterIntervalGrid) {
    ClockGuard clock(day(10, 0, 0, 200));
    const SessionTiming timing(2, 60, 300, 0);
    EXPECT_FALSE(timing.scheduledStart());
    EXPECT_EQ(timing.startTime(), day(10, 1, 0));
    EXPECT_EQ(timing.plannedEndTime(), day(10, 11, 0));

    clock.set(day(10, 1, 0));
    EXPECT_EQ(SessionTiming(2, 900, 300, 0).startTime(), day(10, 5, 0));
    // A demand interval below 1 means no demand records: the trend interval sets the grid.
    EXPECT_EQ(SessionTiming(2, 900, 0, 0).startTime(), day(10, 15, 0));
}

TEST(SessionTiming, CustomDurationReportsAtLeastOneHourUnlessTheEndIsFixed) {
    ClockGuard clock(LATER);
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 0).duration(), 3600);
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 1800).duration(), 3600);
    EXPECT_EQ(scheduled(day(10, 0, 0), 1, 5400).duration(), 5400);

    SessionTiming period = scheduled(day(10, 0, 0), 2);
    period.setScheduledPeriod(day(10, 0, 0), day(10, 30, 0));
    EXPECT_TRUE(period.fixedEnd());
    EXPECT_EQ(period.durationMode(), 1);
    EXPECT_EQ(period.duration(), 1800);
    EXPECT_EQ(scheduled(day(10, 0, 0), 2).duration(), 600);
}

TEST(SessionTiming, EqualityAndAssignmentIgnoreTheIntervals) {
    ClockGuard clock(LATER);
    SessionTiming target(day(10, 0, 0), 2, 60, 300, 0);
    const SessionTiming otherIntervals(day(10, 0, 0), 2, 900, 0, 0);
    EXPECT_TRUE(target == otherIntervals);

    target = otherIntervals;
    EXPECT_EQ(target.trendInterval(), 60);
    EXPECT_EQ(target.demandInterval(), 300);

    const SessionTiming copy(otherIntervals);
    EXPECT_EQ(copy.trendInterval(), 900);
    EXPECT_EQ(copy.demandInterval(), 0);

    const SessionTiming different(day(11, 0, 0), 2, 900, 0, 0);
    EXPECT_TRUE(target != different);
    target = different;
    EXPECT_EQ(target.startTime(), day(11, 0, 0));
    EXPECT_EQ(target.trendInterval(), 900);
    EXPECT_EQ(target.demandInterval(), 0);
}

TEST(SessionTiming, StreamFormIsTheEightFieldsInQt48Encoding) {
    ClockGuard clock(LATER);
    const SessionTiming timing(utc(2012, 1, 1, 0, 0, 0), 2, 60, 300, 0);
    QByteArray bytes;
    {
        shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
        stream << timing;
    }
    EXPECT_EQ(bytes.toHex(' '), hex("01"
                                    "002579780000000002"
                                    "00257978000927c002"
                                    "00000002"
                                    "00000000"
                                    "00"
                                    "0000003c"
                                    "0000012c")
                                    .toHex(' '));

    SessionTiming read(SessionTiming(3, 1, 1, 0));
    shared::Qt48DataStream in(bytes);
    in >> read;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_TRUE(read == timing);
    EXPECT_TRUE(read.scheduledStart());
    EXPECT_EQ(read.startTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(read.trendInterval(), 60);
    EXPECT_EQ(read.demandInterval(), 300);
}

TEST(SessionTiming, ReadingAnUnknownDurationModeFallsBackToOneWeek) {
    ClockGuard clock(LATER);
    QByteArray bytes;
    {
        shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
        stream << SessionTiming(utc(2012, 1, 1, 0, 0, 0), 2, 60, 300, 0);
    }
    const int modeOffset = 1 + 9 + 9;
    const auto readMode = [&](const char* modeBytes) {
        QByteArray patched = bytes;
        patched.replace(modeOffset, 4, hex(modeBytes));
        SessionTiming timing;
        shared::Qt48DataStream in(patched);
        in >> timing;
        return timing.durationMode();
    };
    EXPECT_EQ(readMode("0000000c"), 6);
    EXPECT_EQ(readMode("ffffffff"), 6);
    EXPECT_EQ(readMode("0000000a"), 6);
    EXPECT_EQ(readMode("00000009"), 9);
    EXPECT_EQ(readMode("00000000"), 0);
}

TEST(SessionTiming, ShortStreamIsReportedAndKeepsWhatWasRead) {
    ClockGuard clock(LATER);
    QByteArray bytes;
    {
        shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
        stream << SessionTiming(utc(2012, 1, 1, 0, 0, 0), 2, 60, 300, 0);
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

TEST(SessionTiming, EndAtOrBeforeTheStartIsPulledUpWithAWarning) {
    ClockGuard clock(LATER);
    SessionTiming timing = scheduled(day(10, 0, 0), 2);
    const QString oldEnd = timing.plannedEndTime().toString();
    testsupport::LogCapture capture;
    timing.setPlannedEndTime(day(10, 0, 0));
    EXPECT_EQ(timing.plannedEndTime(), day(10, 0, 0));
    const std::vector<std::string> warnings = capture.messages("session_logger");
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0],
              ("Session end time " + oldEnd + " was changed to " + day(10, 0, 0).toString() + ".")
                  .toStdString());
    EXPECT_EQ(capture.events()[0].level, log4cplus::WARN_LOG_LEVEL);

    capture.clear();
    timing.setPlannedEndTime(day(12, 0, 0));
    EXPECT_EQ(timing.plannedEndTime(), day(12, 0, 0));
    EXPECT_TRUE(capture.messages().empty());
}

TEST(SessionTiming, FixedEndAndCustomDurationOperations) {
    ClockGuard clock(day(8, 0, 0));
    SessionTiming timing = scheduled(day(10, 0, 0), 2);

    timing.setFixedEnd(day(9, 30, 0));
    EXPECT_FALSE(timing.scheduledStart());
    EXPECT_TRUE(timing.fixedEnd());
    EXPECT_EQ(timing.durationMode(), 1);
    EXPECT_EQ(timing.startTime(), day(8, 0, 0));
    EXPECT_EQ(timing.plannedEndTime(), day(9, 30, 0));
    EXPECT_EQ(timing.duration(), 5400);

    timing.setCustomDuration(1800);
    EXPECT_FALSE(timing.fixedEnd());
    EXPECT_EQ(timing.customDuration(), 1800);
    EXPECT_EQ(timing.plannedEndTime(), day(8, 30, 0));
    EXPECT_EQ(timing.duration(), 3600);
}

TEST(SessionTiming, ChangeDurationRecalculatesOnlyWhenItMatters) {
    ClockGuard clock(LATER);
    SessionTiming timing = scheduled(day(10, 0, 0), 2);

    timing.changeDuration(5, 77);
    EXPECT_EQ(timing.durationMode(), 5);
    EXPECT_EQ(timing.customDuration(), 77);
    EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 5, 10, 0, 0));

    timing.changeDuration(5, 99);
    EXPECT_EQ(timing.customDuration(), 99);
    EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 5, 10, 0, 0));

    timing.changeDuration(1, 5400);
    EXPECT_EQ(timing.durationMode(), 1);
    EXPECT_EQ(timing.plannedEndTime(), day(11, 30, 0));

    // A fixed end stays where the user put it.
    timing.setScheduledPeriod(day(10, 0, 0), day(12, 0, 0));
    timing.changeDuration(1, 600);
    EXPECT_EQ(timing.customDuration(), 600);
    EXPECT_TRUE(timing.fixedEnd());
    EXPECT_EQ(timing.plannedEndTime(), day(12, 0, 0));

    // Back to a mode of its own releases the fixed end.
    timing.changeDuration(4, 0);
    EXPECT_FALSE(timing.fixedEnd());
    EXPECT_EQ(timing.plannedEndTime(), day(11, 0, 0));
}

TEST(SessionTiming, UpdateAppliesTheStartAndEndChoices) {
    ClockGuard clock(day(10, 0, 0));
    SessionTiming timing(2, 60, 300, 0);
    ASSERT_EQ(timing.startTime(), day(10, 0, 0));

    timing.update({true, day(12, 0, 30)}, {false, QDateTime()});
    EXPECT_TRUE(timing.scheduledStart());
    EXPECT_EQ(timing.startTime(), day(12, 1, 0));
    EXPECT_EQ(timing.plannedEndTime(), day(12, 11, 0));

    timing.update({true, day(13, 0, 0)}, {true, day(15, 0, 0)});
    EXPECT_EQ(timing.startTime(), day(13, 0, 0));
    EXPECT_TRUE(timing.fixedEnd());
    EXPECT_EQ(timing.durationMode(), 1);
    EXPECT_EQ(timing.plannedEndTime(), day(15, 0, 0));
    EXPECT_EQ(timing.duration(), 7200);

    {
        testsupport::LogCapture capture;
        timing.update({true, day(13, 0, 0)}, {true, day(12, 0, 0)});
        EXPECT_EQ(timing.plannedEndTime(), day(13, 0, 0));
        EXPECT_EQ(capture.messages("session_logger").size(), 1u);
    }

    timing.update({true, day(13, 0, 0)}, {false, QDateTime()});
    EXPECT_FALSE(timing.fixedEnd());

    // Back to "now": the start follows the clock.
    timing.update({false, QDateTime()}, {false, QDateTime()});
    EXPECT_FALSE(timing.scheduledStart());
    EXPECT_EQ(timing.startTime(), day(10, 0, 0));
}

TEST(SessionTiming, DurationsAreLimitedByTheFreeStorage) {
    ClockGuard clock(LATER);
    {
        // 600000 bytes at 100 bytes per 60 s trend record hold 360000 s.
        StorageGuard storage(600000);
        SessionTiming timing = scheduled(day(10, 0, 0), 6);
        timing.setIntervals(60, 300);
        EXPECT_EQ(timing.durationMode(), 1);
        EXPECT_EQ(timing.customDuration(), 360000);
        EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 8, 14, 0, 0));
        EXPECT_EQ(timing.duration(), 360000);
        EXPECT_EQ(storage.space->freeQueries, 1);
    }
    {
        StorageGuard storage(1000000000);
        SessionTiming timing = scheduled(day(10, 0, 0), 6);
        timing.setIntervals(60, 300);
        EXPECT_EQ(timing.durationMode(), 6);
        EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 11, 10, 0, 0));
    }
    {
        // Mode 0 runs as long as the storage allows.
        StorageGuard storage(144000);
        const SessionTiming timing = scheduled(day(10, 0, 0), 0);
        EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 5, 10, 0, 0));
        EXPECT_EQ(timing.maxAllowedDuration(60, 300), 86400);
    }
    // No provider: nothing fits, and a custom duration of 0 leaves the end where it was.
    SessionTiming timing = scheduled(day(10, 0, 0), 6);
    timing.limitDurationToStorage();
    EXPECT_EQ(timing.durationMode(), 1);
    EXPECT_EQ(timing.customDuration(), 0);
    EXPECT_EQ(timing.plannedEndTime(), utc(2021, 3, 11, 10, 0, 0));
}

TEST(SessionTiming, RecommendedStepGrowsWithTheDuration) {
    EXPECT_EQ(SessionTiming::recommendedStep(14399), 1);
    EXPECT_EQ(SessionTiming::recommendedStep(14400), 5);
    EXPECT_EQ(SessionTiming::recommendedStep(86400), 10);
    EXPECT_EQ(SessionTiming::recommendedStep(100000), 10);
    EXPECT_EQ(SessionTiming::recommendedStep(172800), 30);
    EXPECT_EQ(SessionTiming::recommendedStep(518400), 60);
    EXPECT_EQ(SessionTiming::recommendedStep(1036800), 300);
    EXPECT_EQ(SessionTiming::recommendedStep(5184000), 600);
    EXPECT_EQ(SessionTiming::recommendedStep(10368000), 900);
    EXPECT_EQ(SessionTiming::recommendedStep(15551999), 900);
    EXPECT_EQ(SessionTiming::recommendedStep(15552000), 1800);
}

TEST(SessionTiming, RecommendedStepMovesOnUntilTheDurationFits) {
    {
        StorageGuard storage(1000000000);
        EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 10);
    }
    {
        // 4000 records: 40000 s at 10 s steps is too short, 120000 s at 30 s is enough.
        StorageGuard storage(400000);
        EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 30);
        EXPECT_EQ(storage.space->freeQueries, 1);
    }
    EXPECT_EQ(SessionTiming::recommendedStep(100000, 300), 1800);
}

TEST(SessionTiming, StartInFutureCountsWholeSeconds) {
    ClockGuard clock(day(9, 59, 58, 900));
    const SessionTiming timing = scheduled(day(10, 0, 0), 2);
    EXPECT_TRUE(timing.isStartInFuture());
    clock.set(day(9, 59, 59, 500));
    EXPECT_FALSE(timing.isStartInFuture());
    clock.set(day(10, 0, 1));
    EXPECT_FALSE(timing.isStartInFuture());
}
