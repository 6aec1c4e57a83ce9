#include "storage/MetaTrendOverview.h"

#include <cmath>
#include <limits>

namespace storage {

namespace {

constexpr META_TREND_OVERVIEW_ENTRY EMPTY_ENTRY = {DEFAULT_QUARN_DATE_TIME,
                                                   {META_MISSING_VALUE, META_MISSING_VALUE,
                                                    META_MISSING_VALUE, META_MISSING_VALUE,
                                                    META_MISSING_VALUE, META_MISSING_VALUE},
                                                   0};

void merge(META_TREND_OVERVIEW_ENTRY& into, const float (&values)[OVERVIEW_VALUE_COUNT],
           int32_t sampleCount) {
    for (int i = 0; i < OVERVIEW_VALUE_COUNT; ++i) {
        // fmax takes the number when one side is NaN.
        into.values[i] = std::fmax(into.values[i], values[i]);
    }
    into.sampleCount += sampleCount;
}

} // namespace

MetaTrendOverview::MetaTrendOverview()
    : m_record(DEFAULT_META_TREND_OVERVIEW) {}

MetaTrendOverview::MetaTrendOverview(const META_TREND_OVERVIEW& record)
    : m_record(isConsistent(record) ? record : DEFAULT_META_TREND_OVERVIEW) {}

void MetaTrendOverview::reset() {
    m_record = DEFAULT_META_TREND_OVERVIEW;
}

bool MetaTrendOverview::isConsistent(const META_TREND_OVERVIEW& record) {
    if (record.entryCount == 0) {
        return record.recordCount == 0 && record.pendingCount == 0;
    }
    if (record.entryCount < 0 || record.entryCount > OVERVIEW_ENTRY_COUNT ||
        record.recordsPerEntry < 1 || record.pendingCount < 0 ||
        record.pendingCount >= record.recordsPerEntry) {
        return false;
    }
    const qint64 complete = record.pendingCount == 0 ? record.entryCount : record.entryCount - 1;
    for (int i = 0; i < record.entryCount; ++i) {
        const int32_t expected = i < complete ? record.recordsPerEntry : record.pendingCount;
        if (record.entries[i].sampleCount != expected) {
            return false;
        }
    }
    return qint64(record.recordCount) == complete * record.recordsPerEntry + record.pendingCount;
}

void MetaTrendOverview::add(const QUARN_DATE_TIME& time,
                            const float (&values)[OVERVIEW_VALUE_COUNT]) {
    META_TREND_OVERVIEW& r = m_record;
    if (r.entryCount == 0) {
        r.startTime = time;
        r.recordsPerEntry = 1;
    }
    if (r.pendingCount == 0) {
        if (r.entryCount == OVERVIEW_ENTRY_COUNT) {
            // A session longer than the counters can tell is not summarised further.
            if (r.recordsPerEntry >
                std::numeric_limits<int32_t>::max() / 2 / OVERVIEW_ENTRY_COUNT) {
                return;
            }
            halve();
        }
        META_TREND_OVERVIEW_ENTRY& entry = r.entries[r.entryCount++];
        entry = EMPTY_ENTRY;
        entry.time = time;
    }
    merge(r.entries[r.entryCount - 1], values, 1);
    r.pendingCount = (r.pendingCount + 1) % r.recordsPerEntry;
    ++r.recordCount;
    r.lastTime = time;
}

void MetaTrendOverview::halve() {
    META_TREND_OVERVIEW& r = m_record;
    const int kept = OVERVIEW_ENTRY_COUNT / 2;
    for (int i = 0; i < kept; ++i) {
        META_TREND_OVERVIEW_ENTRY entry = r.entries[2 * i];
        merge(entry, r.entries[2 * i + 1].values, r.entries[2 * i + 1].sampleCount);
        r.entries[i] = entry;
    }
    for (int i = kept; i < OVERVIEW_ENTRY_COUNT; ++i) {
        r.entries[i] = EMPTY_ENTRY;
    }
    r.entryCount = kept;
    r.recordsPerEntry *= 2;
}

} // namespace storage
