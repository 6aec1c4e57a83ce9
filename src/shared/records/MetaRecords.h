#pragma once

// Running summaries a recording keeps beside its trend and demand records, stored raw in the
// session's metadata files and carried inside the logging session. Missing values are the quiet
// NaN (bits 0x7FC00000), missing times DEFAULT_QUARN_DATE_TIME, counts 0.

#include "records/QuarnDateTime.h"

#include <QDataStream>

#include <cstddef>
#include <cstdint>
#include <limits>

namespace storage {

constexpr float META_MISSING_VALUE = std::numeric_limits<float>::quiet_NaN();

// A value with the time it occurred.
struct SAMPLE {
    float value;
    QUARN_DATE_TIME time;
};

static_assert(sizeof(SAMPLE) == 12, "SAMPLE layout");
static_assert(offsetof(SAMPLE, value) == 0, "SAMPLE layout");
static_assert(offsetof(SAMPLE, time) == 4, "SAMPLE layout");

// Running average with the counts of samples that could not take part in it.
struct AVG_ACCUMULATOR {
    int32_t nanCount;
    int32_t positiveInfinityCount;
    int32_t negativeInfinityCount;
    // Samples the recorder could not take at all (e.g. while the DSP restarted); they count
    // against the validity of the average like the non-finite ones.
    int32_t missedCount;
    float average;
};

static_assert(sizeof(AVG_ACCUMULATOR) == 20, "AVG_ACCUMULATOR layout");
static_assert(offsetof(AVG_ACCUMULATOR, nanCount) == 0, "AVG_ACCUMULATOR layout");
static_assert(offsetof(AVG_ACCUMULATOR, positiveInfinityCount) == 4, "AVG_ACCUMULATOR layout");
static_assert(offsetof(AVG_ACCUMULATOR, negativeInfinityCount) == 8, "AVG_ACCUMULATOR layout");
static_assert(offsetof(AVG_ACCUMULATOR, missedCount) == 12, "AVG_ACCUMULATOR layout");
static_assert(offsetof(AVG_ACCUMULATOR, average) == 16, "AVG_ACCUMULATOR layout");

struct META_MIN_MAX_AVG {
    QUARN_DATE_TIME minimumTime;
    float minimum;
    QUARN_DATE_TIME maximumTime;
    float maximum;
    float average; // as published from the accumulator
    AVG_ACCUMULATOR accumulator;
};

static_assert(sizeof(META_MIN_MAX_AVG) == 48, "META_MIN_MAX_AVG layout");
static_assert(offsetof(META_MIN_MAX_AVG, minimumTime) == 0, "META_MIN_MAX_AVG layout");
static_assert(offsetof(META_MIN_MAX_AVG, minimum) == 8, "META_MIN_MAX_AVG layout");
static_assert(offsetof(META_MIN_MAX_AVG, maximumTime) == 12, "META_MIN_MAX_AVG layout");
static_assert(offsetof(META_MIN_MAX_AVG, maximum) == 20, "META_MIN_MAX_AVG layout");
static_assert(offsetof(META_MIN_MAX_AVG, average) == 24, "META_MIN_MAX_AVG layout");
static_assert(offsetof(META_MIN_MAX_AVG, accumulator) == 28, "META_MIN_MAX_AVG layout");

// Power-factor variant: each extreme keeps a code derived from the sign of its companion value.
struct META_MIN_MAX_AVG_PF {
    QUARN_DATE_TIME minimumTime;
    float minimum;
    int32_t minimumCode;
    QUARN_DATE_TIME maximumTime;
    float maximum;
    int32_t maximumCode;
    float average;
    AVG_ACCUMULATOR accumulator;
};

static_assert(sizeof(META_MIN_MAX_AVG_PF) == 56, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, minimumTime) == 0, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, minimum) == 8, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, minimumCode) == 12, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, maximumTime) == 16, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, maximum) == 24, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, maximumCode) == 28, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, average) == 32, "META_MIN_MAX_AVG_PF layout");
static_assert(offsetof(META_MIN_MAX_AVG_PF, accumulator) == 36, "META_MIN_MAX_AVG_PF layout");

constexpr int TOP_SAMPLE_COUNT = 6;
constexpr int TOP_VALUE_COUNT = 4;

// The highest samples of one quantity and four summarised values with their accumulators.
struct META_TOP_MIN_MAX_AVG {
    SAMPLE top[TOP_SAMPLE_COUNT];
    float values[TOP_VALUE_COUNT];
    AVG_ACCUMULATOR accumulators[TOP_VALUE_COUNT];
};

static_assert(sizeof(META_TOP_MIN_MAX_AVG) == 168, "META_TOP_MIN_MAX_AVG layout");
static_assert(offsetof(META_TOP_MIN_MAX_AVG, top) == 0, "META_TOP_MIN_MAX_AVG layout");
static_assert(offsetof(META_TOP_MIN_MAX_AVG, values) == 72, "META_TOP_MIN_MAX_AVG layout");
static_assert(offsetof(META_TOP_MIN_MAX_AVG, accumulators) == 88, "META_TOP_MIN_MAX_AVG layout");

struct META_DEMAND_ENERGY {
    QUARN_DATE_TIME firstTime;
    QUARN_DATE_TIME secondTime;
    int32_t word16;
    AVG_ACCUMULATOR accumulator;
    SAMPLE peak;
    int32_t demandRecordCount;
};

static_assert(sizeof(META_DEMAND_ENERGY) == 56, "META_DEMAND_ENERGY layout");
static_assert(offsetof(META_DEMAND_ENERGY, firstTime) == 0, "META_DEMAND_ENERGY layout");
static_assert(offsetof(META_DEMAND_ENERGY, secondTime) == 8, "META_DEMAND_ENERGY layout");
static_assert(offsetof(META_DEMAND_ENERGY, word16) == 16, "META_DEMAND_ENERGY layout");
static_assert(offsetof(META_DEMAND_ENERGY, accumulator) == 20, "META_DEMAND_ENERGY layout");
static_assert(offsetof(META_DEMAND_ENERGY, peak) == 40, "META_DEMAND_ENERGY layout");
static_assert(offsetof(META_DEMAND_ENERGY, demandRecordCount) == 52, "META_DEMAND_ENERGY layout");

constexpr int TREND_QUANTITY_COUNT = 48;
constexpr int TREND_POWER_FACTOR_COUNT = 5;

// Summary of the trend records. trendRecordCount stays the record's last word: that is where the
// logging session and the host export look for the number of trend records written.
struct META_TREND_ENERGY {
    QUARN_DATE_TIME firstTime;
    QUARN_DATE_TIME secondTime;
    int32_t word16;
    META_MIN_MAX_AVG quantities[TREND_QUANTITY_COUNT];
    META_MIN_MAX_AVG_PF powerFactors[TREND_POWER_FACTOR_COUNT];
    META_TOP_MIN_MAX_AVG top;
    int32_t trendRecordCount;
};

static_assert(sizeof(META_TREND_ENERGY) == 2776, "META_TREND_ENERGY layout");
static_assert(offsetof(META_TREND_ENERGY, firstTime) == 0, "META_TREND_ENERGY layout");
static_assert(offsetof(META_TREND_ENERGY, secondTime) == 8, "META_TREND_ENERGY layout");
static_assert(offsetof(META_TREND_ENERGY, word16) == 16, "META_TREND_ENERGY layout");
static_assert(offsetof(META_TREND_ENERGY, quantities) == 20, "META_TREND_ENERGY layout");
static_assert(offsetof(META_TREND_ENERGY, powerFactors) == 2324, "META_TREND_ENERGY layout");
static_assert(offsetof(META_TREND_ENERGY, top) == 2604, "META_TREND_ENERGY layout");
static_assert(offsetof(META_TREND_ENERGY, trendRecordCount) == 2772, "META_TREND_ENERGY layout");

constexpr int SESSION_NAME_UNITS = 128;

struct META_SESSION_DATA {
    int32_t state; // session::LoggingSession state value
    QUARN_DATE_TIME recordedStart;
    QUARN_DATE_TIME recordedEnd;
    int32_t counter;
    // UTF-16, at most 126 units followed by a 0 unit, the rest 0.
    char16_t name[SESSION_NAME_UNITS];
};

static_assert(sizeof(META_SESSION_DATA) == 280, "META_SESSION_DATA layout");
static_assert(offsetof(META_SESSION_DATA, state) == 0, "META_SESSION_DATA layout");
static_assert(offsetof(META_SESSION_DATA, recordedStart) == 4, "META_SESSION_DATA layout");
static_assert(offsetof(META_SESSION_DATA, recordedEnd) == 12, "META_SESSION_DATA layout");
static_assert(offsetof(META_SESSION_DATA, counter) == 20, "META_SESSION_DATA layout");
static_assert(offsetof(META_SESSION_DATA, name) == 24, "META_SESSION_DATA layout");

constexpr int OVERVIEW_VALUE_COUNT = 6;

// One decimated point of the session overview.
struct META_TREND_OVERVIEW_ENTRY {
    QUARN_DATE_TIME time;
    float values[OVERVIEW_VALUE_COUNT];
    int32_t sampleCount; // trend records merged into this entry
};

static_assert(sizeof(META_TREND_OVERVIEW_ENTRY) == 36, "META_TREND_OVERVIEW_ENTRY layout");
static_assert(offsetof(META_TREND_OVERVIEW_ENTRY, time) == 0, "META_TREND_OVERVIEW_ENTRY layout");
static_assert(offsetof(META_TREND_OVERVIEW_ENTRY, values) == 8, "META_TREND_OVERVIEW_ENTRY layout");
static_assert(offsetof(META_TREND_OVERVIEW_ENTRY, sampleCount) == 32,
              "META_TREND_OVERVIEW_ENTRY layout");

constexpr int OVERVIEW_ENTRY_COUNT = 320;
constexpr int OVERVIEW_RESERVED_WORDS = 10;

struct META_TREND_OVERVIEW {
    META_TREND_OVERVIEW_ENTRY entries[OVERVIEW_ENTRY_COUNT];
    QUARN_DATE_TIME startTime;
    QUARN_DATE_TIME lastTime;
    int32_t entryCount;      // entries in use
    int32_t recordsPerEntry; // decimation factor
    int32_t recordCount;     // trend records seen
    int32_t pendingCount;    // trend records merged into the entry being built
    int32_t reserved[OVERVIEW_RESERVED_WORDS];
};

static_assert(sizeof(META_TREND_OVERVIEW) == 11592, "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, entries) == 0, "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, startTime) == 11520, "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, lastTime) == 11528, "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, entryCount) == 11536, "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, recordsPerEntry) == 11540,
              "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, recordCount) == 11544, "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, pendingCount) == 11548, "META_TREND_OVERVIEW layout");
static_assert(offsetof(META_TREND_OVERVIEW, reserved) == 11552, "META_TREND_OVERVIEW layout");

// Defaults, constant-initialised so other records' defaults may copy them at any time.
inline constexpr SAMPLE DEFAULT_SAMPLE = {META_MISSING_VALUE, DEFAULT_QUARN_DATE_TIME};

inline constexpr AVG_ACCUMULATOR DEFAULT_AVG_ACCUMULATOR = {0, 0, 0, 0, META_MISSING_VALUE};

inline constexpr META_MIN_MAX_AVG DEFAULT_META_MIN_MAX_AVG = {
    DEFAULT_QUARN_DATE_TIME, META_MISSING_VALUE, DEFAULT_QUARN_DATE_TIME,
    META_MISSING_VALUE,      META_MISSING_VALUE, DEFAULT_AVG_ACCUMULATOR,
};

inline constexpr META_MIN_MAX_AVG_PF DEFAULT_META_MIN_MAX_AVG_PF = {
    DEFAULT_QUARN_DATE_TIME, META_MISSING_VALUE,      1,
    DEFAULT_QUARN_DATE_TIME, META_MISSING_VALUE,      1,
    META_MISSING_VALUE,      DEFAULT_AVG_ACCUMULATOR,
};

inline constexpr META_TOP_MIN_MAX_AVG DEFAULT_META_TOP_MIN_MAX_AVG = {
    {DEFAULT_SAMPLE, DEFAULT_SAMPLE, DEFAULT_SAMPLE, DEFAULT_SAMPLE, DEFAULT_SAMPLE,
     DEFAULT_SAMPLE},
    {META_MISSING_VALUE, META_MISSING_VALUE, META_MISSING_VALUE, META_MISSING_VALUE},
    {DEFAULT_AVG_ACCUMULATOR, DEFAULT_AVG_ACCUMULATOR, DEFAULT_AVG_ACCUMULATOR,
     DEFAULT_AVG_ACCUMULATOR},
};

inline constexpr META_DEMAND_ENERGY DEFAULT_META_DEMAND_ENERGY = {
    DEFAULT_QUARN_DATE_TIME, DEFAULT_QUARN_DATE_TIME, 0, DEFAULT_AVG_ACCUMULATOR, DEFAULT_SAMPLE, 0,
};

inline constexpr META_SESSION_DATA DEFAULT_META_SESSION_DATA = {
    0, DEFAULT_QUARN_DATE_TIME, DEFAULT_QUARN_DATE_TIME, 0, {},
};

namespace detail {

constexpr META_TREND_ENERGY makeDefaultMetaTrendEnergy() {
    META_TREND_ENERGY record{};
    record.firstTime = DEFAULT_QUARN_DATE_TIME;
    record.secondTime = DEFAULT_QUARN_DATE_TIME;
    for (META_MIN_MAX_AVG& block : record.quantities) {
        block = DEFAULT_META_MIN_MAX_AVG;
    }
    for (META_MIN_MAX_AVG_PF& block : record.powerFactors) {
        block = DEFAULT_META_MIN_MAX_AVG_PF;
    }
    record.top = DEFAULT_META_TOP_MIN_MAX_AVG;
    return record;
}

constexpr META_TREND_OVERVIEW makeDefaultMetaTrendOverview() {
    META_TREND_OVERVIEW record{};
    for (META_TREND_OVERVIEW_ENTRY& entry : record.entries) {
        entry.time = DEFAULT_QUARN_DATE_TIME;
        for (float& value : entry.values) {
            value = META_MISSING_VALUE;
        }
    }
    record.startTime = DEFAULT_QUARN_DATE_TIME;
    record.lastTime = DEFAULT_QUARN_DATE_TIME;
    return record;
}

} // namespace detail

inline constexpr META_TREND_ENERGY DEFAULT_META_TREND_ENERGY = detail::makeDefaultMetaTrendEnergy();
inline constexpr META_TREND_OVERVIEW DEFAULT_META_TREND_OVERVIEW =
    detail::makeDefaultMetaTrendOverview();

// Raw images; a short read logs the FATAL structure line with the record's name and leaves the
// stream not Ok.
QDataStream& operator<<(QDataStream& stream, const META_TREND_ENERGY& record);
QDataStream& operator>>(QDataStream& stream, META_TREND_ENERGY& record);
QDataStream& operator<<(QDataStream& stream, const META_DEMAND_ENERGY& record);
QDataStream& operator>>(QDataStream& stream, META_DEMAND_ENERGY& record);
QDataStream& operator<<(QDataStream& stream, const META_SESSION_DATA& record);
QDataStream& operator>>(QDataStream& stream, META_SESSION_DATA& record);
QDataStream& operator<<(QDataStream& stream, const META_TREND_OVERVIEW& record);
QDataStream& operator>>(QDataStream& stream, META_TREND_OVERVIEW& record);

} // namespace storage
