#include "records/MetaRecords.h"

#include "RecordBytes.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

using recordtest::hex;

// DEFAULT_QUARN_DATE_TIME (378691200 = 0x16925E80, 0 µs) and the quiet NaN, little-endian.
const char* const UNSET_TIME = "805e921600000000";
const char* const NAN_BYTES = "0000c07f";

QByteArray repeat(const char* hexDigits, int times) {
    return hex(hexDigits).repeated(times);
}

QByteArray unsetTime() {
    return hex(UNSET_TIME);
}

QByteArray nan() {
    return hex(NAN_BYTES);
}

// Four zero counts, then a NaN running average.
QByteArray defaultAccumulator() {
    return QByteArray(16, '\0') + nan();
}

QByteArray defaultSample() {
    return nan() + unsetTime();
}

QByteArray defaultMinMaxAvg() {
    return unsetTime() + nan() + unsetTime() + nan() + nan() + defaultAccumulator();
}

QByteArray defaultMinMaxAvgPf() {
    return unsetTime() + nan() + hex("01000000") + unsetTime() + nan() + hex("01000000") + nan() +
           defaultAccumulator();
}

TEST(MetaRecords, SmallDefaultBlocks) {
    const QByteArray minMaxAvg = hex("805e921600000000"
                                     "0000c07f"
                                     "805e921600000000"
                                     "0000c07f"
                                     "0000c07f"
                                     "00000000000000000000000000000000"
                                     "0000c07f");
    ASSERT_EQ(minMaxAvg.size(), 48);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&storage::DEFAULT_META_MIN_MAX_AVG), 48),
              minMaxAvg);
    EXPECT_EQ(defaultMinMaxAvg(), minMaxAvg);

    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&storage::DEFAULT_META_MIN_MAX_AVG_PF), 56),
              defaultMinMaxAvgPf());
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&storage::DEFAULT_SAMPLE), 12),
              defaultSample());

    const QByteArray top(reinterpret_cast<const char*>(&storage::DEFAULT_META_TOP_MIN_MAX_AVG),
                         168);
    EXPECT_EQ(top,
              defaultSample().repeated(6) + nan().repeated(4) + defaultAccumulator().repeated(4));
}

TEST(MetaRecords, DemandEnergyDefault) {
    const QByteArray bytes = recordtest::streamed(storage::DEFAULT_META_DEMAND_ENERGY);
    ASSERT_EQ(bytes.size(), 56);
    EXPECT_EQ(bytes, unsetTime() + unsetTime() + hex("00000000") + defaultAccumulator() +
                         defaultSample() + hex("00000000"));
}

TEST(MetaRecords, SessionDataDefaultAndName) {
    QByteArray bytes = recordtest::streamed(storage::DEFAULT_META_SESSION_DATA);
    ASSERT_EQ(bytes.size(), 280);
    EXPECT_EQ(bytes.left(24), hex("00000000"
                                  "805e921600000000"
                                  "805e921600000000"
                                  "00000000"));
    EXPECT_TRUE(recordtest::allZero(bytes.mid(24)));

    storage::META_SESSION_DATA data = storage::DEFAULT_META_SESSION_DATA;
    data.state = 2;
    data.counter = 7;
    data.name[0] = u'S';
    data.name[1] = u'\u00e9';
    bytes = recordtest::streamed(data);
    EXPECT_EQ(bytes.left(4), hex("02000000"));
    EXPECT_EQ(bytes.mid(20, 10), hex("07000000"
                                     "5300"
                                     "e900"
                                     "0000"));
}

TEST(MetaRecords, TrendEnergyDefaultEndsWithTheRecordCount) {
    const QByteArray bytes = recordtest::streamed(storage::DEFAULT_META_TREND_ENERGY);
    ASSERT_EQ(bytes.size(), 2776);
    EXPECT_EQ(bytes.left(20), unsetTime() + unsetTime() + hex("00000000"));
    EXPECT_EQ(bytes.mid(20, 48 * 48), defaultMinMaxAvg().repeated(48));
    EXPECT_EQ(bytes.mid(2324, 5 * 56), defaultMinMaxAvgPf().repeated(5));
    EXPECT_EQ(bytes.mid(2604, 168),
              defaultSample().repeated(6) + nan().repeated(4) + defaultAccumulator().repeated(4));

    storage::META_TREND_ENERGY record = storage::DEFAULT_META_TREND_ENERGY;
    record.trendRecordCount = 0x01020304;
    EXPECT_EQ(recordtest::streamed(record).right(4), hex("04030201"));
}

TEST(MetaRecords, TrendOverviewDefault) {
    const QByteArray bytes = recordtest::streamed(storage::DEFAULT_META_TREND_OVERVIEW);
    ASSERT_EQ(bytes.size(), 11592);
    const QByteArray entry = unsetTime() + repeat(NAN_BYTES, 6) + hex("00000000");
    ASSERT_EQ(entry.size(), 36);
    EXPECT_EQ(bytes.left(11520), entry.repeated(320));
    EXPECT_EQ(bytes.mid(11520, 16), unsetTime() + unsetTime());
    EXPECT_TRUE(recordtest::allZero(bytes.mid(11536)));
}

struct ShortRead {
    const char* name;
    int size;
    QByteArray (*readFrom)(const QByteArray&, QDataStream::Status&);
};

template <typename T, const T& Default>
QByteArray readRecord(const QByteArray& bytes, QDataStream::Status& status) {
    T record = Default;
    shared::Qt48DataStream stream(bytes);
    stream >> record;
    status = stream.status();
    return recordtest::streamed(record);
}

class MetaRecordShortRead : public testing::TestWithParam<ShortRead> {};

TEST_P(MetaRecordShortRead, LogsTheRecordNameAndKeepsTheTail) {
    const ShortRead& param = GetParam();
    const QByteArray full(param.size, '\x5a');
    QDataStream::Status status = QDataStream::Ok;

    testsupport::LogCapture capture;
    const QByteArray whole = param.readFrom(full, status);
    EXPECT_EQ(status, QDataStream::Ok);
    EXPECT_EQ(whole, full);
    EXPECT_TRUE(capture.events().empty());

    const QByteArray defaultImage = param.readFrom(QByteArray(), status);
    capture.clear();
    const QByteArray partial = param.readFrom(full.left(10), status);
    EXPECT_NE(status, QDataStream::Ok);
    EXPECT_EQ(partial.left(10), full.left(10));
    EXPECT_EQ(partial.mid(10), defaultImage.mid(10));
    const std::vector<testsupport::LogEvent> events = capture.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].logger, "serialization_logger");
    EXPECT_EQ(events[0].level, log4cplus::FATAL_LOG_LEVEL);
    EXPECT_EQ(testsupport::LogCapture::stripPrefix(events[0].message),
              recordtest::structureMessage(param.name, 10, param.size));
}

INSTANTIATE_TEST_SUITE_P(
    Records, MetaRecordShortRead,
    testing::Values(
        ShortRead{"META_TREND_ENERGY", 2776,
                  readRecord<storage::META_TREND_ENERGY, storage::DEFAULT_META_TREND_ENERGY>},
        ShortRead{"META_DEMAND_ENERGY", 56,
                  readRecord<storage::META_DEMAND_ENERGY, storage::DEFAULT_META_DEMAND_ENERGY>},
        ShortRead{"META_SESSION_DATA", 280,
                  readRecord<storage::META_SESSION_DATA, storage::DEFAULT_META_SESSION_DATA>},
        ShortRead{"META_TREND_OVERVIEW", 11592,
                  readRecord<storage::META_TREND_OVERVIEW, storage::DEFAULT_META_TREND_OVERVIEW>}),
    [](const testing::TestParamInfo<ShortRead>& info) { return std::string(info.param.name); });

} // namespace
