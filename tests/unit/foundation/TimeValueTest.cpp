#include "foundation/TimeValue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

namespace {

using thread::TimeValue;

constexpr int MONOTONIC = TimeValue::CLOCK_MONOTONIC_ID;
constexpr int REALTIME = TimeValue::CLOCK_REALTIME_ID;

TEST(TimeValueTest, DeadlineReportsRemainingMicrosecondsThenZeroOncePassed) {
    TimeValue deadline(MONOTONIC);
    deadline.setNowPlus(0.08);
    const int64_t remaining = deadline.microsecondsRemaining();
    // Truncation to whole microseconds can only shorten the figure; a slow machine shortens it
    // more, hence the wide lower bound.
    EXPECT_LE(remaining, 80000);
    EXPECT_GT(remaining, 40000);

    std::this_thread::sleep_for(std::chrono::microseconds(remaining + 5000));
    EXPECT_EQ(deadline.microsecondsRemaining(), 0);
}

TEST(TimeValueTest, PastAndPresentTimesHaveNoTimeRemaining) {
    EXPECT_EQ(TimeValue(MONOTONIC, 0, 0).microsecondsRemaining(), 0);
    EXPECT_EQ(TimeValue(MONOTONIC, true).microsecondsRemaining(), 0);
    TimeValue justPast(MONOTONIC, true);
    justPast.add(-0.000001);
    EXPECT_EQ(justPast.microsecondsRemaining(), 0);
}

TEST(TimeValueTest, RemainingTimeBorrowsWhenDeadlineMicrosecondsAreSmaller) {
    // A deadline whose sub-second part is below the current one needs the borrow of a second.
    timespec current{};
    clock_gettime(CLOCK_MONOTONIC, &current);
    const TimeValue deadline(MONOTONIC, static_cast<int32_t>(current.tv_sec + 2), 0);
    const int64_t expected = 2000000 - current.tv_nsec / 1000;
    const int64_t remaining = deadline.microsecondsRemaining();
    EXPECT_LE(remaining, expected);
    EXPECT_GT(remaining, expected - 100000);
}

TEST(TimeValueTest, AddCarriesNanosecondsIntoSeconds) {
    TimeValue value(MONOTONIC, 10, 900000000);
    value.add(0.2);
    EXPECT_EQ(value.seconds(), 11);
    EXPECT_EQ(value.nanoseconds(), 100000000);

    TimeValue whole(MONOTONIC, 10, 600000000);
    whole.add(1.5);
    EXPECT_EQ(whole.seconds(), 12);
    EXPECT_EQ(whole.nanoseconds(), 100000000);

    TimeValue exact(MONOTONIC, 3, 500000000);
    exact.add(0.5);
    EXPECT_EQ(exact.seconds(), 4);
    EXPECT_EQ(exact.nanoseconds(), 0);
}

TEST(TimeValueTest, AddOfNegativeSecondsBorrowsFromSeconds) {
    TimeValue value(MONOTONIC, 10, 0);
    value.add(-0.25);
    EXPECT_EQ(value.seconds(), 9);
    EXPECT_EQ(value.nanoseconds(), 750000000);
}

TEST(TimeValueTest, CompareOrdersBySecondsThenNanoseconds) {
    const TimeValue early(MONOTONIC, 5, 999999999);
    const TimeValue late(MONOTONIC, 6, 0);
    const TimeValue lateToo(MONOTONIC, 6, 0);
    const TimeValue later(MONOTONIC, 6, 1);

    EXPECT_EQ(early.compare(late), 1);
    EXPECT_EQ(late.compare(early), -1);
    EXPECT_EQ(late.compare(lateToo), 0);
    EXPECT_EQ(late.compare(later), 1);
    EXPECT_EQ(later.compare(late), -1);

    EXPECT_TRUE(early.isEarlierThan(late));
    EXPECT_FALSE(late.isEarlierThan(early));
    EXPECT_TRUE(later.isLaterThan(late));
    EXPECT_FALSE(late.isLaterThan(lateToo));
    EXPECT_TRUE(late == lateToo);
    EXPECT_FALSE(late == later);
    EXPECT_EQ(late.compare(late), 0);
}

TEST(TimeValueTest, ConstructorsSetFieldsAndClock) {
    const TimeValue zero(REALTIME);
    EXPECT_FALSE(zero.isSet());
    EXPECT_EQ(zero.clock(), REALTIME);

    const timeval given{7, 250};
    const TimeValue fromTimeval(REALTIME, given);
    EXPECT_EQ(fromTimeval.seconds(), 7);
    EXPECT_EQ(fromTimeval.nanoseconds(), 250000);

    const TimeValue onlySeconds(MONOTONIC, 9);
    EXPECT_EQ(onlySeconds.seconds(), 9);
    EXPECT_EQ(onlySeconds.nanoseconds(), 0);
    EXPECT_TRUE(onlySeconds.isSet());

    TimeValue onlyNanoseconds(MONOTONIC, 0, 1);
    EXPECT_TRUE(onlyNanoseconds.isSet());
    onlyNanoseconds.clear();
    EXPECT_FALSE(onlyNanoseconds.isSet());
}

TEST(TimeValueTest, InvalidClockFallsBackToMonotonic) {
    const TimeValue strange(7, true);
    EXPECT_EQ(strange.clock(), MONOTONIC);
    EXPECT_EQ(TimeValue(-1, 3, 0).clock(), MONOTONIC);
    EXPECT_EQ(TimeValue(2, timeval{1, 0}).clock(), MONOTONIC);

    // "Now" on the fallback clock is the monotonic reading, far from the wall clock's.
    timespec monotonic{};
    clock_gettime(CLOCK_MONOTONIC, &monotonic);
    EXPECT_NEAR(strange.seconds(), monotonic.tv_sec, 2);
    EXPECT_NEAR(TimeValue::now(42), TimeValue::now(MONOTONIC), 1.0);
}

TEST(TimeValueTest, CopyAndAssignmentTakeTimeAndClock) {
    const TimeValue source(REALTIME, 12, 345);
    const TimeValue copy(source);
    EXPECT_EQ(copy.clock(), REALTIME);
    EXPECT_TRUE(copy == source);

    TimeValue assigned(MONOTONIC, 1, 1);
    assigned = source;
    EXPECT_EQ(assigned.clock(), REALTIME);
    EXPECT_EQ(assigned.seconds(), 12);
    EXPECT_EQ(assigned.nanoseconds(), 345);
}

} // namespace
