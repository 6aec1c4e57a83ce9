#include "foundation/TimeValue.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <tuple>

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

    EXPECT_EQ(TimeValue(MONOTONIC, 0, 0).microsecondsRemaining(), 0);
    TimeValue justPast(MONOTONIC, true);
    justPast.add(-0.000001);
    EXPECT_EQ(justPast.microsecondsRemaining(), 0);

    // A deadline whose sub-second part is below the current one needs the borrow of a second.
    timespec current{};
    clock_gettime(CLOCK_MONOTONIC, &current);
    const int64_t expected = 2000000 - current.tv_nsec / 1000;
    const int64_t borrowed =
        TimeValue(MONOTONIC, static_cast<int32_t>(current.tv_sec + 2), 0).microsecondsRemaining();
    EXPECT_LE(borrowed, expected);
    EXPECT_GT(borrowed, expected - 100000);
}

TEST(TimeValueTest, AddCarriesAndBorrowsBetweenNanosecondsAndSeconds) {
    const struct {
        int32_t seconds, nanoseconds;
        double added;
        int32_t expectedSeconds, expectedNanoseconds;
    } cases[] = {{10, 900000000, 0.2, 11, 100000000},
                 {10, 600000000, 1.5, 12, 100000000},
                 {3, 500000000, 0.5, 4, 0},
                 {10, 0, -0.25, 9, 750000000}};
    for (const auto& c : cases) {
        TimeValue value(MONOTONIC, c.seconds, c.nanoseconds);
        value.add(c.added);
        EXPECT_EQ(std::make_pair(value.seconds(), value.nanoseconds()),
                  std::make_pair(c.expectedSeconds, c.expectedNanoseconds));
    }
}

TEST(TimeValueTest, CompareGivesOneWhenThisIsEarlierAndUnknownClocksAreMonotonic) {
    const TimeValue late(MONOTONIC, 6, 0);
    EXPECT_EQ(TimeValue(MONOTONIC, 5, 999999999).compare(late), 1);
    EXPECT_EQ(TimeValue(MONOTONIC, 6, 1).compare(late), -1);
    EXPECT_EQ(TimeValue(REALTIME, 6, 0).compare(late), 0);
    EXPECT_TRUE(TimeValue(MONOTONIC, 5, 0).isEarlierThan(late));
    EXPECT_TRUE(TimeValue(MONOTONIC, 6, 1).isLaterThan(late));
    EXPECT_FALSE(late.isLaterThan(late));

    const TimeValue fromTimeval(REALTIME, timeval{7, 250});
    EXPECT_EQ(
        std::make_tuple(fromTimeval.seconds(), fromTimeval.nanoseconds(), fromTimeval.clock()),
        std::make_tuple(7, 250000, REALTIME));

    // Any clock but the two known ones falls back to the monotonic clock, far from the wall
    // clock's reading.
    const TimeValue strange(7, true);
    EXPECT_EQ(strange.clock(), MONOTONIC);
    EXPECT_EQ(TimeValue(-1, 3, 0).clock(), MONOTONIC);
    EXPECT_EQ(TimeValue(2, timeval{1, 0}).clock(), MONOTONIC);
    EXPECT_NEAR(strange.seconds(), TimeValue::now(MONOTONIC), 2);
    EXPECT_NEAR(TimeValue::now(42), TimeValue::now(MONOTONIC), 1.0);
}

} // namespace
