#pragma once

#include <QDateTime>

#include <cstddef>
#include <cstdint>

// The date-time record the DSP and every process exchange: seconds since 2000-01-01 00:00:00 UTC
// and the microseconds within that second. Two 32-bit words rather than one 64-bit value, so the
// record needs only 4-byte alignment and embeds in the other records without padding on either
// the 32-bit instrument or a 64-bit host.
struct QUARN_DATE_TIME {
    uint32_t seconds;
    uint32_t microseconds;
};

static_assert(sizeof(QUARN_DATE_TIME) == 8, "QUARN_DATE_TIME is exchanged as 8 bytes");
static_assert(alignof(QUARN_DATE_TIME) == 4, "QUARN_DATE_TIME must not force 8-byte alignment");
static_assert(offsetof(QUARN_DATE_TIME, seconds) == 0, "QUARN_DATE_TIME layout");
static_assert(offsetof(QUARN_DATE_TIME, microseconds) == 4, "QUARN_DATE_TIME layout");

// Seconds between the Unix epoch and the record's own epoch, 2000-01-01 00:00:00 UTC.
constexpr int64_t QUARN_EPOCH_UNIX_SECONDS = 946684800;

// 2012-01-01 00:00:00 UTC: stands for "no time set" in every default record.
inline constexpr QUARN_DATE_TIME DEFAULT_QUARN_DATE_TIME = {378691200u, 0u};

constexpr bool operator==(const QUARN_DATE_TIME& left, const QUARN_DATE_TIME& right) {
    return left.seconds == right.seconds && left.microseconds == right.microseconds;
}
constexpr bool operator!=(const QUARN_DATE_TIME& left, const QUARN_DATE_TIME& right) {
    return !(left == right);
}

// A UTC QDateTime; the microseconds are cut down to whole milliseconds.
QDateTime quarnDateTimeToQDateTime(const QUARN_DATE_TIME& dateTime);

// Converts through UTC; sub-millisecond precision is not kept (microseconds = milliseconds × 1000).
QUARN_DATE_TIME quarnDateTimeFromQDateTime(const QDateTime& dateTime);
