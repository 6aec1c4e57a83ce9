#include "storage/MetaData.h"
#include "storage/MetaTrendOverview.h"

#include "session/SessionTiming.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using storage::MetaData;

const float NaN = NAN;
const float INF = INFINITY;

bool same(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

TEST(MetaData, AccumulatingAndPublishingTheAverage) {
    const std::vector<float> twentyTwos(20, 2.0f);
    const struct {
        std::vector<float> values;
        int missed;
        float average, published;
        int nans, positives, negatives;
    } cases[] = {
        {{1, NaN, 3}, 0, 2, NaN, 1, 0, 0},
        {{1, 2, 6}, 0, 3, 3, 0, 0, 0},
        {[&] {
             auto v = twentyTwos;
             v.push_back(NaN);
             return v;
         }(),
         0, 2, 2, 1, 0, 0},
        // 1 of 20 is exactly 5 %: not below the limit.
        {std::vector<float>(19, 2.0f), 1, 2, NaN, 0, 0, 0},
        {{1, INF, -INF, 5}, 0, 3, INF, 0, 1, 1},
        {{-INF, 4}, 0, 4, -INF, 0, 0, 1},
        {{NaN}, 0, NaN, NaN, 1, 0, 0},
        {{}, 0, NaN, NaN, 0, 0, 0},
    };
    for (const auto& c : cases) {
        storage::AVG_ACCUMULATOR accumulator = storage::DEFAULT_AVG_ACCUMULATOR;
        accumulator.missedCount = c.missed;
        qint64 n = 0;
        for (const float value : c.values) {
            MetaData::accumulate(accumulator, value, ++n);
        }
        SCOPED_TRACE(c.values.size());
        EXPECT_TRUE(same(accumulator.average, c.average)) << accumulator.average;
        EXPECT_TRUE(same(MetaData::publishedAverage(accumulator, n), c.published));
        EXPECT_EQ(accumulator.nanCount, c.nans);
        EXPECT_EQ(accumulator.positiveInfinityCount, c.positives);
        EXPECT_EQ(accumulator.negativeInfinityCount, c.negatives);
    }
}

TEST(MetaData, MinimumAndMaximumReplacement) {
    const QUARN_DATE_TIME t0 = DEFAULT_QUARN_DATE_TIME;
    const QUARN_DATE_TIME t1 = {1, 0};
    const struct {
        float minimum, maximum, candidate;
        float newMinimum, newMaximum;
    } cases[] = {
        {NaN, NaN, -INF, -INF, NaN},
        {NaN, NaN, INF, NaN, INF},
        {NaN, NaN, 5, 5, 5},
        {NaN, NaN, NaN, NaN, NaN},
        {1, 3, 2, 1, 3},
        {1, 3, 0, 0, 3},
        {1, 3, 4, 1, 4},
        {1, 3, NaN, 1, 3},
        {1, 3, -INF, -INF, 3},
    };
    for (const auto& c : cases) {
        storage::META_MIN_MAX_AVG block = storage::DEFAULT_META_MIN_MAX_AVG;
        block.minimum = c.minimum;
        block.maximum = c.maximum;
        MetaData::updateMinMax(block, c.candidate, c.candidate, t1);
        SCOPED_TRACE(c.candidate);
        EXPECT_TRUE(same(block.minimum, c.newMinimum)) << block.minimum;
        EXPECT_TRUE(same(block.maximum, c.newMaximum)) << block.maximum;
        EXPECT_EQ(block.minimumTime, same(c.minimum, c.newMinimum) ? t0 : t1);
        EXPECT_EQ(block.maximumTime, same(c.maximum, c.newMaximum) ? t0 : t1);
    }

    // Power factor 0.9 in the four quadrants: the sign follows the companion.
    storage::META_MIN_MAX_AVG_PF pf = storage::DEFAULT_META_MIN_MAX_AVG_PF;
    const struct {
        float powerFactor, companion, candidate;
        int code;
    } quadrants[] = {
        {0.9f, 10, 0.9f, 1}, {-0.9f, 10, 0.9f, 2}, {-0.9f, -10, -0.9f, 3}, {0.9f, -10, -0.9f, 4}};
    qint64 n = 0;
    for (const auto& q : quadrants) {
        EXPECT_EQ(MetaData::powerFactorCandidate(q.powerFactor, q.companion), q.candidate);
        EXPECT_EQ(MetaData::powerFactorCode(q.powerFactor, q.companion), q.code);
        ++n;
        MetaData::add(pf, q.powerFactor, q.companion, n, QUARN_DATE_TIME{uint32_t(n), 0});
    }
    EXPECT_EQ(pf.minimum, -0.9f);
    EXPECT_EQ(pf.minimumCode, 3);
    EXPECT_EQ(pf.minimumTime.seconds, 3u);
    EXPECT_EQ(pf.maximum, 0.9f);
    EXPECT_EQ(pf.maximumCode, 1);
    EXPECT_NEAR(pf.average, 0.0f, 1e-6f);
}

TEST(MetaData, SessionRecordOfANewSession) {
    SESSION_CONFIG config = defaultSessionConfig();
    storage::META_SESSION_DATA data = MetaData::initialSessionData(config, QString(130, 'n'));
    EXPECT_EQ(data.state, 0);
    EXPECT_EQ(data.name[125], u'n');
    EXPECT_EQ(data.name[126], 0);
    config.timing =
        session::SessionTiming(QDateTime(QDate(2020, 2, 1), QTime(10, 0), Qt::UTC), 2, 60, 300, 0);
    data = MetaData::initialSessionData(config, "x");
    EXPECT_EQ(data.state, 1);
    EXPECT_EQ(data.recordedStart.seconds, 633866400u);
    EXPECT_EQ(data.recordedEnd.seconds, 633867000u);
}

TEST(MetaTrendOverview, DecimatesIntoAtMost320Entries) {
    storage::MetaTrendOverview overview;
    const auto addRecords = [&overview](int from, int to) {
        for (int i = from; i < to; ++i) {
            const float values[6] = {float(i), i % 2 ? NaN : float(-i), NaN, 0, 0, 0};
            overview.add(QUARN_DATE_TIME{uint32_t(1000 + i), 0}, values);
        }
    };
    addRecords(0, 320);
    const storage::META_TREND_OVERVIEW& r = overview.record();
    EXPECT_EQ(r.entryCount, 320);
    EXPECT_EQ(r.recordsPerEntry, 1);
    addRecords(320, 321);
    // Pairs merged: each entry keeps the first time and the largest values of two records.
    EXPECT_EQ(r.entryCount, 161);
    EXPECT_EQ(r.recordsPerEntry, 2);
    EXPECT_EQ(r.pendingCount, 1);
    EXPECT_EQ(r.entries[1].time.seconds, 1002u);
    EXPECT_EQ(r.entries[1].values[0], 3.0f);
    EXPECT_EQ(r.entries[1].values[1], -2.0f);
    EXPECT_TRUE(std::isnan(r.entries[1].values[2]));
    EXPECT_EQ(r.entries[1].sampleCount, 2);
    EXPECT_EQ(r.entries[160].sampleCount, 1);
    addRecords(321, 1000);
    EXPECT_EQ(r.recordCount, 1000);
    EXPECT_EQ(r.recordsPerEntry, 4);
    EXPECT_EQ(r.entryCount, 250);
    EXPECT_EQ(r.startTime.seconds, 1000u);
    EXPECT_EQ(r.lastTime.seconds, 1999u);
    EXPECT_TRUE(storage::MetaTrendOverview::isConsistent(r));

    // A record whose counters disagree is not taken.
    storage::META_TREND_OVERVIEW broken = r;
    for (int32_t* field : {&broken.entryCount, &broken.recordsPerEntry, &broken.recordCount,
                           &broken.pendingCount, &broken.entries[7].sampleCount}) {
        const int32_t kept = *field;
        for (const int32_t bad : {-1, 0, 321, kept + 1}) {
            if (bad == kept) {
                continue;
            }
            *field = bad;
            const storage::MetaTrendOverview taken(broken);
            EXPECT_EQ(
                std::memcmp(&taken.record(), &storage::DEFAULT_META_TREND_OVERVIEW, sizeof broken),
                0)
                << bad;
        }
        *field = kept;
    }
}

} // namespace
