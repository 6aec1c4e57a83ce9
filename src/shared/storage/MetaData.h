#pragma once

#include "records/MetaRecords.h"
#include "session/SessionConfig.h"

#include <QString>

namespace storage {

// The update rules of the running summaries a recording keeps (min, max and average of each
// quantity, with the counts of samples that were not numbers or infinite).
class MetaData {
public:
    // Below this share of invalid samples the running average is published.
    static constexpr float VALID_AVERAGE_LIMIT = 0.05f;

    // Power-factor codes: the quadrant of the power flow, from the signs of the active power
    // (the power factor's sign) and the reactive power (the companion value). Quadrant 1,
    // importing inductive, is the default.
    enum PowerFactorCode {
        QUADRANT_IMPORT_INDUCTIVE = 1,
        QUADRANT_EXPORT_INDUCTIVE = 2,
        QUADRANT_EXPORT_CAPACITIVE = 3,
        QUADRANT_IMPORT_CAPACITIVE = 4
    };

    // Takes `value`, the `sampleCount`-th sample (counting it), into the accumulator.
    static void accumulate(AVG_ACCUMULATOR& accumulator, float value, qint64 sampleCount);
    // The average to publish after `sampleCount` samples: the running average while fewer than
    // 5 % of the samples were invalid, otherwise +infinity, -infinity or NaN, in that order of
    // precedence, after the kind of invalid samples seen.
    static float publishedAverage(const AVG_ACCUMULATOR& accumulator, qint64 sampleCount);

    // A NaN extreme is replaced by a finite candidate, or by the infinity that belongs to it
    // (-infinity for the minimum, +infinity for the maximum); otherwise only a lower minimum or
    // a higher maximum is taken.
    static void updateMinMax(META_MIN_MAX_AVG& block, float minimum, float maximum,
                             const QUARN_DATE_TIME& time);
    // The candidate is the power factor's magnitude with the sign of the companion value,
    // stored with the quadrant code of the two; the average is kept of the candidates.
    static void updateMinMax(META_MIN_MAX_AVG_PF& block, float powerFactor, float companion,
                             const QUARN_DATE_TIME& time);
    static float powerFactorCandidate(float powerFactor, float companion);
    static qint32 powerFactorCode(float powerFactor, float companion);

    // One sample into a block: accumulated, published and checked against the extremes.
    static void add(META_MIN_MAX_AVG& block, float value, qint64 sampleCount,
                    const QUARN_DATE_TIME& time);
    static void add(META_MIN_MAX_AVG_PF& block, float powerFactor, float companion,
                    qint64 sampleCount, const QUARN_DATE_TIME& time);

    // The session record of a new session: its planned start and end, PENDING when the start
    // was set (IDLE while it is the unset default), the name cut to 126 UTF-16 units.
    static META_SESSION_DATA initialSessionData(const SESSION_CONFIG& config, const QString& name);
};

} // namespace storage
