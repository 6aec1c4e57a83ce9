#include "storage/MetaData.h"

#include "session/LoggingSession.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace storage {

namespace {

// Counts come from files other processes write; they stop at the largest value instead of
// wrapping.
void countOne(int32_t& count) {
    if (count < std::numeric_limits<int32_t>::max()) {
        ++count;
    }
}

qint64 invalidCount(const AVG_ACCUMULATOR& accumulator) {
    return qint64(accumulator.nanCount) + accumulator.positiveInfinityCount +
           accumulator.negativeInfinityCount;
}

template <typename Block> bool takesMinimum(const Block& block, float candidate) {
    return candidate < block.minimum ||
           (std::isnan(block.minimum) && !std::isnan(candidate) && candidate != INFINITY);
}

template <typename Block> bool takesMaximum(const Block& block, float candidate) {
    return candidate > block.maximum ||
           (std::isnan(block.maximum) && !std::isnan(candidate) && candidate != -INFINITY);
}

} // namespace

void MetaData::accumulate(AVG_ACCUMULATOR& accumulator, float value, qint64 sampleCount) {
    if (std::isnan(value)) {
        countOne(accumulator.nanCount);
    } else if (value == INFINITY) {
        countOne(accumulator.positiveInfinityCount);
    } else if (value == -INFINITY) {
        countOne(accumulator.negativeInfinityCount);
    } else if (std::isnan(accumulator.average)) {
        accumulator.average = value;
    } else {
        // The finite samples so far; none (or a count that contradicts the invalid ones) leaves
        // the average as it is.
        const qint64 finite = sampleCount - invalidCount(accumulator);
        if (finite > 0) {
            accumulator.average += (value - accumulator.average) / static_cast<float>(finite);
        }
    }
}

float MetaData::publishedAverage(const AVG_ACCUMULATOR& accumulator, qint64 sampleCount) {
    const qint64 samples = qint64(accumulator.missedCount) + sampleCount;
    if (samples > 0) {
        const float invalidShare =
            static_cast<float>(invalidCount(accumulator) + accumulator.missedCount) /
            static_cast<float>(samples);
        if (invalidShare < VALID_AVERAGE_LIMIT) {
            return accumulator.average;
        }
    }
    if (accumulator.positiveInfinityCount > 0) {
        return INFINITY;
    }
    if (accumulator.negativeInfinityCount > 0) {
        return -INFINITY;
    }
    return META_MISSING_VALUE;
}

void MetaData::updateMinMax(META_MIN_MAX_AVG& block, float minimum, float maximum,
                            const QUARN_DATE_TIME& time) {
    if (takesMinimum(block, minimum)) {
        block.minimum = minimum;
        block.minimumTime = time;
    }
    if (takesMaximum(block, maximum)) {
        block.maximum = maximum;
        block.maximumTime = time;
    }
}

void MetaData::updateMinMax(META_MIN_MAX_AVG_PF& block, float powerFactor, float companion,
                            const QUARN_DATE_TIME& time) {
    const float candidate = powerFactorCandidate(powerFactor, companion);
    const qint32 code = powerFactorCode(powerFactor, companion);
    if (takesMinimum(block, candidate)) {
        block.minimum = candidate;
        block.minimumTime = time;
        block.minimumCode = code;
    }
    if (takesMaximum(block, candidate)) {
        block.maximum = candidate;
        block.maximumTime = time;
        block.maximumCode = code;
    }
}

float MetaData::powerFactorCandidate(float powerFactor, float companion) {
    const float magnitude = std::fabs(powerFactor);
    return companion < 0.0f ? -magnitude : magnitude;
}

qint32 MetaData::powerFactorCode(float powerFactor, float companion) {
    const bool exporting = powerFactor < 0.0f;
    if (companion < 0.0f) {
        return exporting ? QUADRANT_EXPORT_CAPACITIVE : QUADRANT_IMPORT_CAPACITIVE;
    }
    return exporting ? QUADRANT_EXPORT_INDUCTIVE : QUADRANT_IMPORT_INDUCTIVE;
}

void MetaData::add(META_MIN_MAX_AVG& block, float value, qint64 sampleCount,
                   const QUARN_DATE_TIME& time) {
    accumulate(block.accumulator, value, sampleCount);
    block.average = publishedAverage(block.accumulator, sampleCount);
    updateMinMax(block, value, value, time);
}

void MetaData::add(META_MIN_MAX_AVG_PF& block, float powerFactor, float companion,
                   qint64 sampleCount, const QUARN_DATE_TIME& time) {
    accumulate(block.accumulator, powerFactorCandidate(powerFactor, companion), sampleCount);
    block.average = publishedAverage(block.accumulator, sampleCount);
    updateMinMax(block, powerFactor, companion, time);
}

META_SESSION_DATA MetaData::initialSessionData(const SESSION_CONFIG& config, const QString& name) {
    META_SESSION_DATA data = DEFAULT_META_SESSION_DATA;
    data.recordedStart = quarnDateTimeFromQDateTime(config.timing.startTime());
    data.recordedEnd = quarnDateTimeFromQDateTime(config.timing.plannedEndTime());
    data.counter = 0;
    data.state = data.recordedStart != DEFAULT_QUARN_DATE_TIME
                     ? session::LoggingSession::SESSION_STATE_PENDING
                     : session::LoggingSession::SESSION_STATE_IDLE;
    // The last unit stays 0: at most 126 units of name and a terminating 0.
    const int units = std::min<int>(name.size(), SESSION_NAME_UNITS - 2);
    std::copy_n(reinterpret_cast<const char16_t*>(name.utf16()), units, data.name);
    return data;
}

} // namespace storage
