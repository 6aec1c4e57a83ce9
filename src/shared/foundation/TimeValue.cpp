#include "foundation/TimeValue.h"

#include <cmath>
#include <ctime>

namespace thread {

namespace {

constexpr int32_t NANOSECONDS_PER_SECOND = 1000000000;

clockid_t posixClock(int clock) {
    return clock == TimeValue::CLOCK_REALTIME_ID ? CLOCK_REALTIME : CLOCK_MONOTONIC;
}

int validClock(int clock) {
    return (clock == TimeValue::CLOCK_REALTIME_ID || clock == TimeValue::CLOCK_MONOTONIC_ID)
               ? clock
               : TimeValue::CLOCK_MONOTONIC_ID;
}

} // namespace

TimeValue::TimeValue(int clock, bool setToNow)
    : clock_(validClock(clock)) {
    if (setToNow) {
        setNow();
    }
}

TimeValue::TimeValue(int clock, int32_t seconds, int32_t nanoseconds)
    : seconds_(seconds)
    , nanoseconds_(nanoseconds)
    , clock_(validClock(clock)) {}

TimeValue::TimeValue(int clock, const timeval& value)
    : seconds_(static_cast<int32_t>(value.tv_sec))
    , nanoseconds_(static_cast<int32_t>(value.tv_usec * 1000))
    , clock_(validClock(clock)) {}

TimeValue::TimeValue(const TimeValue& other)
    : clock_(other.clock_) {
    ScopedLock guard(other.mutex_);
    seconds_ = other.seconds_;
    nanoseconds_ = other.nanoseconds_;
}

TimeValue& TimeValue::operator=(const TimeValue& other) {
    if (this != &other) {
        int32_t seconds;
        int32_t nanoseconds;
        {
            ScopedLock otherGuard(other.mutex_);
            seconds = other.seconds_;
            nanoseconds = other.nanoseconds_;
        }
        ScopedLock guard(mutex_);
        seconds_ = seconds;
        nanoseconds_ = nanoseconds;
        clock_ = other.clock_;
    }
    return *this;
}

double TimeValue::now(int clock) {
    timespec current{};
    clock_gettime(posixClock(validClock(clock)), &current);
    return static_cast<double>(current.tv_sec) + current.tv_nsec / 1000.0 / 1000.0 / 1000.0;
}

void TimeValue::setNow() {
    ScopedLock guard(mutex_);
    timespec current{};
    clock_gettime(posixClock(clock_), &current);
    seconds_ = static_cast<int32_t>(current.tv_sec);
    nanoseconds_ = static_cast<int32_t>(current.tv_nsec);
}

void TimeValue::setNowPlus(double seconds) {
    ScopedLock guard(mutex_);
    setNow();
    addLocked(seconds);
}

void TimeValue::add(double seconds) {
    ScopedLock guard(mutex_);
    addLocked(seconds);
}

void TimeValue::addLocked(double seconds) {
    const double whole = std::floor(seconds);
    seconds_ += static_cast<int32_t>(whole);
    nanoseconds_ += static_cast<int32_t>((seconds - whole) * 1e9);
    if (nanoseconds_ >= NANOSECONDS_PER_SECOND) {
        nanoseconds_ -= NANOSECONDS_PER_SECOND;
        seconds_ += 1;
    }
}

void TimeValue::clear() {
    ScopedLock guard(mutex_);
    seconds_ = 0;
    nanoseconds_ = 0;
}

bool TimeValue::isSet() const {
    ScopedLock guard(mutex_);
    return seconds_ != 0 || nanoseconds_ != 0;
}

int TimeValue::compare(const TimeValue& other) const {
    int32_t otherSeconds;
    int32_t otherNanoseconds;
    {
        ScopedLock otherGuard(other.mutex_);
        otherSeconds = other.seconds_;
        otherNanoseconds = other.nanoseconds_;
    }
    ScopedLock guard(mutex_);
    if (seconds_ != otherSeconds) {
        return seconds_ < otherSeconds ? 1 : -1;
    }
    if (nanoseconds_ != otherNanoseconds) {
        return nanoseconds_ < otherNanoseconds ? 1 : -1;
    }
    return 0;
}

int64_t TimeValue::microsecondsRemaining() const {
    ScopedLock guard(mutex_);
    timespec current{};
    clock_gettime(posixClock(clock_), &current);
    int64_t seconds = static_cast<int64_t>(seconds_) - current.tv_sec;
    int64_t microseconds = nanoseconds_ / 1000 - current.tv_nsec / 1000;
    if (microseconds < 0) {
        microseconds += 1000000;
        seconds -= 1;
    }
    if (seconds < 0 || (seconds == 0 && microseconds <= 0)) {
        return 0;
    }
    return seconds * 1000000 + microseconds;
}

int32_t TimeValue::seconds() const {
    ScopedLock guard(mutex_);
    return seconds_;
}

int32_t TimeValue::nanoseconds() const {
    ScopedLock guard(mutex_);
    return nanoseconds_;
}

} // namespace thread
