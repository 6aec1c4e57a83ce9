#pragma once

#include "records/MetaRecords.h"

namespace storage {

// The overview of a whole session in at most 320 points, whatever its length: every trend
// record is merged into the entry being built, and an entry is complete once it holds
// `recordsPerEntry` records. When all 320 entries are complete and another record comes,
// neighbouring entries are merged pairwise (160 remain) and each entry takes twice as many
// records from then on. So every complete entry covers the same number of records and only the
// last one may be partial.
//
// An entry keeps the time of its first record and, for each of its six values, the largest
// value of the records it covers (NaN only when every one was NaN), so a short peak stays
// visible however far the overview is decimated.
class MetaTrendOverview {
public:
    MetaTrendOverview();
    // A record read from a file is taken as it is when its counters agree with each other and
    // with its entries; otherwise the overview starts empty.
    explicit MetaTrendOverview(const META_TREND_OVERVIEW& record);

    void add(const QUARN_DATE_TIME& time, const float (&values)[OVERVIEW_VALUE_COUNT]);
    void reset();

    const META_TREND_OVERVIEW& record() const { return m_record; }
    static bool isConsistent(const META_TREND_OVERVIEW& record);

private:
    void halve();

    META_TREND_OVERVIEW m_record;
};

} // namespace storage
