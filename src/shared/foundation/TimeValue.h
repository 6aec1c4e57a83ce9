#pragma once

#include "foundation/Mutex.h"

#include <sys/time.h>

#include <cstdint>

namespace thread {

// A point in time on CLOCK_REALTIME (0) or CLOCK_MONOTONIC (1). Every operation is atomic with
// respect to the same object.
class TimeValue {
public:
    explicit TimeValue(int clock = CLOCK_MONOTONIC_ID, bool setToNow = false);
    TimeValue(int clock, int32_t seconds, int32_t nanoseconds = 0);
    TimeValue(int clock, const timeval& value);
    TimeValue(const TimeValue& other);
    TimeValue& operator=(const TimeValue& other);

    static constexpr int CLOCK_REALTIME_ID = 0;
    static constexpr int CLOCK_MONOTONIC_ID = 1;

    // Current time of the clock in seconds.
    static double now(int clock);

    void setNow();
    void setNowPlus(double seconds);
    void add(double seconds);
    void clear();
    bool isSet() const;

    // 1 when this is earlier than other, -1 when later, 0 when equal.
    int compare(const TimeValue& other) const;
    bool isEarlierThan(const TimeValue& other) const { return compare(other) > 0; }
    bool isLaterThan(const TimeValue& other) const { return compare(other) < 0; }
    bool operator==(const TimeValue& other) const { return compare(other) == 0; }

    // Microseconds until this time on its clock, 0 when it has passed.
    int64_t microsecondsRemaining() const;

    int32_t seconds() const;
    int32_t nanoseconds() const;
    int clock() const { return clock_; }

private:
    void addLocked(double seconds);

    int32_t seconds_ = 0;
    int32_t nanoseconds_ = 0;
    int clock_ = CLOCK_MONOTONIC_ID;
    mutable Mutex mutex_;
};

} // namespace thread
