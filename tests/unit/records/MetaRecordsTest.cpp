#include "records/MetaRecords.h"
#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"

#include "support/RecordBytes.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

// DEFAULT_QUARN_DATE_TIME (378691200 = 0x16925E80, 0 µs) and the quiet NaN, little-endian.
const QByteArray UNSET_TIME = hex("805e921600000000");
const QByteArray NAN_BYTES = hex("0000c07f");
// Four zero counts, then a NaN running average.
const QByteArray ACCUMULATOR = QByteArray(16, '\0') + NAN_BYTES;
const QByteArray SAMPLE = NAN_BYTES + UNSET_TIME;
const QByteArray MIN_MAX_AVG =
    UNSET_TIME + NAN_BYTES + UNSET_TIME + NAN_BYTES.repeated(2) + ACCUMULATOR;
const QByteArray MIN_MAX_AVG_PF = UNSET_TIME + NAN_BYTES + hex("01000000") + UNSET_TIME +
                                  NAN_BYTES + hex("01000000") + NAN_BYTES + ACCUMULATOR;
const QByteArray TOP = SAMPLE.repeated(6) + NAN_BYTES.repeated(4) + ACCUMULATOR.repeated(4);

TEST(MetaRecords, DefaultImages) {
    EXPECT_EQ(image(storage::DEFAULT_META_MIN_MAX_AVG), MIN_MAX_AVG);
    EXPECT_EQ(image(storage::DEFAULT_META_MIN_MAX_AVG_PF), MIN_MAX_AVG_PF);
    EXPECT_EQ(image(storage::DEFAULT_SAMPLE), SAMPLE);
    EXPECT_EQ(image(storage::DEFAULT_META_TOP_MIN_MAX_AVG), TOP);

    EXPECT_EQ(streamed(storage::DEFAULT_META_DEMAND_ENERGY),
              UNSET_TIME + UNSET_TIME + hex("00000000") + ACCUMULATOR + SAMPLE + hex("00000000"));

    const QByteArray trend = streamed(storage::DEFAULT_META_TREND_ENERGY);
    EXPECT_EQ(trend, UNSET_TIME.repeated(2) + hex("00000000") + MIN_MAX_AVG.repeated(48) +
                         MIN_MAX_AVG_PF.repeated(5) + TOP + hex("00000000"));

    const QByteArray entry = UNSET_TIME + NAN_BYTES.repeated(6) + hex("00000000");
    EXPECT_EQ(streamed(storage::DEFAULT_META_TREND_OVERVIEW),
              entry.repeated(320) + UNSET_TIME.repeated(2) + QByteArray(56, '\0'));
}

TEST(MetaRecords, SessionDataAndTrendCountLayout) {
    storage::META_SESSION_DATA data = storage::DEFAULT_META_SESSION_DATA;
    EXPECT_EQ(streamed(data), hex("00000000") + UNSET_TIME.repeated(2) + QByteArray(260, '\0'));
    data.state = 2;
    data.counter = 7;
    data.name[0] = u'S';
    data.name[1] = u'\u00e9';
    const QByteArray bytes = streamed(data);
    EXPECT_EQ(bytes.left(4), hex("02000000"));
    EXPECT_EQ(bytes.mid(20, 10), hex("070000005300e9000000"));

    storage::META_TREND_ENERGY record = storage::DEFAULT_META_TREND_ENERGY;
    record.trendRecordCount = 0x01020304;
    EXPECT_EQ(streamed(record).right(4), hex("04030201"));
}

// Every raw record reader of the area, with the name its log line gives the record.
TEST(RawRecords, ReadersTakeTheRawImageAndReportShortReads) {
    expectRawReads(DEFAULT_DSP_CONFIG, "ADCO_DSP_CONFIG");
    expectRawReads(DEFAULT_DSP_PROBE_CONFIG, "ADCO_DSP_PROBE_CONFIG");
    expectRawReads(quarn_system::DEFAULT_INSTRUMENT_CONFIG, "buffer");
    expectRawReads(storage::DEFAULT_META_TREND_ENERGY, "META_TREND_ENERGY");
    expectRawReads(storage::DEFAULT_META_DEMAND_ENERGY, "META_DEMAND_ENERGY");
    expectRawReads(storage::DEFAULT_META_SESSION_DATA, "META_SESSION_DATA");
    expectRawReads(storage::DEFAULT_META_TREND_OVERVIEW, "META_TREND_OVERVIEW");
}

} // namespace
