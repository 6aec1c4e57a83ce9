#include "storage/MetaData.h"
#include "session/SessionConfig.h"
#include "storage/MetaTrendOverview.h"
#include "support/RecordBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using storage::MetaData;
using testsupport::image;

const float NaN = NAN;
const float INF = INFINITY;

bool same(float a, float b) {
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

TEST(MetaData, AccumulatingAndPublishingTheAverage) {
    std::vector<float> twentyTwosAndNaN(20, 2.0f);
    twentyTwosAndNaN.push_back(NaN);
    // Values, missed samples -> running average, published average, NaN count. 1 missed of 20
    // is exactly 5 %: not below the limit.
    const struct {
        std::vector<float> values;
        int missed;
        float average, published;
        int nans;
    } cases[] = {{{1, NaN, 3}, 0, 2, NaN, 1},       {{1, 2, 6}, 0, 3, 3, 0},
                 {twentyTwosAndNaN, 0, 2, 2, 1},    {std::vector<float>(19, 2.0f), 1, 2, NaN, 0},
                 {{1, INF, -INF, 5}, 0, 3, INF, 0}, {{-INF, 4}, 0, 4, -INF, 0},
                 {{NaN}, 0, NaN, NaN, 1},           {{}, 0, NaN, NaN, 0}};
    for (const auto& c : cases) {
        storage::AVG_ACCUMULATOR accumulator = storage::DEFAULT_AVG_ACCUMULATOR;
        accumulator.missedCount = c.missed;
        qint64 n = 0;
        for (const float value : c.values) {
            MetaData::accumulate(accumulator, value, ++n);
        }
        EXPECT_TRUE(same(accumulator.average, c.average)) << c.values.size();
        EXPECT_TRUE(same(MetaData::publishedAverage(accumulator, n), c.published)) << n;
        EXPECT_EQ(accumulator.nanCount, c.nans);
    }
}

TEST(MetaData, MinimumAndMaximumReplacement) {
    const QUARN_DATE_TIME t0 = DEFAULT_QUARN_DATE_TIME, t1 = {1, 0};
    // Minimum, maximum, candidate -> new minimum, new maximum.
    // clang-format off
    const float cases[][5] = {{NaN, NaN, -INF, -INF, NaN}, {NaN, NaN, INF, NaN, INF},
                              {NaN, NaN, 5, 5, 5},          {NaN, NaN, NaN, NaN, NaN},
                              {1, 3, 2, 1, 3}, {1, 3, 0, 0, 3}, {1, 3, 4, 1, 4},
                              {1, 3, NaN, 1, 3}, {1, 3, -INF, -INF, 3}};
    // clang-format on
    for (const auto& c : cases) {
        storage::META_MIN_MAX_AVG block = storage::DEFAULT_META_MIN_MAX_AVG;
        block.minimum = c[0];
        block.maximum = c[1];
        MetaData::updateMinMax(block, c[2], c[2], t1);
        EXPECT_TRUE(same(block.minimum, c[3]) && same(block.maximum, c[4])) << c[2];
        EXPECT_EQ(block.minimumTime, same(c[0], c[3]) ? t0 : t1);
        EXPECT_EQ(block.maximumTime, same(c[1], c[4]) ? t0 : t1);
    }

    // Power factor 0.9 in the quadrants 1 to 4: the candidate's sign follows the companion.
    const float quadrants[][3] = {
        {0.9f, 10, 0.9f}, {-0.9f, 10, 0.9f}, {-0.9f, -10, -0.9f}, {0.9f, -10, -0.9f}};
    storage::META_MIN_MAX_AVG_PF pf = storage::DEFAULT_META_MIN_MAX_AVG_PF;
    for (uint32_t n = 1; n <= 4; ++n) {
        const float* q = quadrants[n - 1];
        EXPECT_EQ(MetaData::powerFactorCandidate(q[0], q[1]), q[2]);
        EXPECT_EQ(MetaData::powerFactorCode(q[0], q[1]), int(n));
        MetaData::add(pf, q[0], q[1], n, QUARN_DATE_TIME{n, 0});
    }
    EXPECT_EQ(std::make_tuple(pf.minimum, pf.minimumCode, pf.minimumTime.seconds, pf.maximumCode),
              std::make_tuple(-0.9f, 3, 3u, 1));
}

TEST(MetaData, SessionRecordOfANewSession) {
    SESSION_CONFIG config = defaultSessionConfig();
    config.timing =
        session::SessionTiming(QDateTime(QDate(2020, 2, 1), QTime(10, 0), Qt::UTC), 2, 60, 300, 0);
    const storage::META_SESSION_DATA data = MetaData::initialSessionData(config, QString(130, 'n'));
    // PENDING, as the start is set; 126 units of name and a 0.
    EXPECT_EQ(std::make_tuple(data.state, data.recordedStart.seconds, data.recordedEnd.seconds,
                              data.name[125], data.name[126]),
              std::make_tuple(1, 633866400u, 633867000u, u'n', u'\0'));
}

TEST(MetaTrendOverview, DecimatesIntoAtMost320Entries) {
    storage::MetaTrendOverview overview;
    const storage::META_TREND_OVERVIEW& r = overview.record();
    for (int i = 0; i < 1000; ++i) {
        const float values[6] = {float(i), i % 2 ? NaN : float(-i), NaN, 0, 0, 0};
        overview.add(QUARN_DATE_TIME{uint32_t(1000 + i), 0}, values);
        if (i == 319) {
            EXPECT_EQ(std::make_pair(r.entryCount, r.recordsPerEntry), std::make_pair(320, 1));
        } else if (i == 320) {
            // Pairs merged: each entry keeps the first time and the largest values of two
            // records; the new entry has one record so far.
            EXPECT_EQ(std::make_pair(r.entryCount, r.recordsPerEntry), std::make_pair(161, 2));
            const storage::META_TREND_OVERVIEW_ENTRY& e = r.entries[1];
            EXPECT_EQ(std::make_tuple(e.time.seconds, e.values[0], e.values[1], e.sampleCount,
                                      r.entries[160].sampleCount),
                      std::make_tuple(1002u, 3.0f, -2.0f, 2, 1));
            EXPECT_TRUE(std::isnan(e.values[2]));
        }
    }
    EXPECT_EQ(std::make_tuple(r.recordCount, r.entryCount, r.recordsPerEntry, r.startTime.seconds,
                              r.lastTime.seconds),
              std::make_tuple(1000, 250, 4, 1000u, 1999u));

    // A record whose counters disagree is not taken.
    storage::META_TREND_OVERVIEW broken = r;
    broken.entries[7].sampleCount = 5;
    EXPECT_EQ(image(storage::MetaTrendOverview(broken).record()),
              image(storage::DEFAULT_META_TREND_OVERVIEW));
}

} // namespace
