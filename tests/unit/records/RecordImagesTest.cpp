// The byte images of the records the processes share, worked out by hand from their layouts,
// and the date-time conversion they carry.

#include "records/AdcoRecords.h"
#include "records/BatteryStatusRecord.h"
#include "records/InstrumentConfig.h"
#include "records/MetaRecords.h"
#include "records/QuarnDateTime.h"

#include "support/RecordBytes.h"

#include <QTimeZone>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace testsupport;
using quarn_system::BATTERY_STATUS;

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

TEST(AdcoRecords, DefaultImages) {
    // The default DSP set-up is the session's hand-worked one without its date-time and its
    // trend and demand intervals.
    QByteArray expected = DSP_IMAGE;
    expected.replace(0, 8, QByteArray(8, '\0')).replace(12, 8, QByteArray(8, '\0'));
    EXPECT_EQ(streamed(DEFAULT_DSP_CONFIG), expected);
    EXPECT_EQ(streamed(DEFAULT_DSP_PROBE_CONFIG), PROBE_IMAGE.repeated(4));

    // The fields the session model names sit at their offsets.
    ADCO_DSP_CONFIG config = DEFAULT_DSP_CONFIG;
    config.dateTime = {0x01020304u, 0x05060708u};
    config.measurementType = 12;
    config.trendInterval = 60;
    config.demandInterval = 300;
    config.nominalVoltage = 230.0f;
    config.word98 = 0xABCD;
    const QByteArray bytes = streamed(config);
    EXPECT_EQ(bytes.left(20), hex("04030201080706050c0005003c0000002c010000"));
    EXPECT_EQ(bytes.mid(32, 4), hex("00006643"));
    EXPECT_EQ(bytes.mid(96, 4), hex("0000cdab"));
}

TEST(BatteryStatusRecord, DefaultAndFieldOffsets) {
    EXPECT_EQ(image(quarn_system::DEFAULT_BATTERY_STATUS),
              QByteArray(36, '\0') + hex("64000000") + QByteArray(44, '\0') + hex("02000000"));

    BATTERY_STATUS status = quarn_system::DEFAULT_BATTERY_STATUS;
    status.present = true;
    status.externalPower = true;
    std::strcpy(status.status, "Full");
    status.capacity = -2;
    std::strcpy(status.type, "Battery");
    status.current_now = -200000;
    status.voltage = 4100000;
    status.temperature = 251;
    status.chargeState = quarn_system::CHARGE_STATE_UNKNOWN;
    const QByteArray bytes = image(status);
    ASSERT_EQ(bytes.size(), 88);
    EXPECT_EQ(bytes.left(7), hex("010146756c6c00"));
    EXPECT_EQ(bytes.mid(34, 6), hex("0000feffffff"));
    EXPECT_EQ(bytes.mid(40, 8), hex("4261747465727900"));
    EXPECT_EQ(bytes.mid(72, 16), hex("c0f2fcffa08f3e00fb00000004000000"));
}

// Queued signals between the daemon's threads find the record by this name.
TEST(QuarnDateTime, ConvertsBothWays) {
    const QDateTime converted = quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME);
    EXPECT_EQ(converted, utc(2012, 1, 1, 0, 0, 0));
    EXPECT_EQ(converted.timeSpec(), Qt::UTC);
    // Microseconds are cut to whole milliseconds.
    EXPECT_EQ(quarnDateTimeToQDateTime({0u, 123999u}), utc(2000, 1, 1, 0, 0, 0, 123));

    const struct {
        QDateTime time;
        uint32_t seconds;
        uint32_t microseconds;
    } cases[] = {{converted, 378691200u, 0u},
                 {utc(2012, 1, 1, 0, 0, 1, 789), 378691201u, 789000u},
                 // A local time converts through UTC.
                 {QDateTime(QDate(2012, 1, 1), QTime(1, 0, 0), QTimeZone(3600)), 378691200u, 0u},
                 // Times before 2000 wrap around in the unsigned field.
                 {utc(1999, 12, 31, 23, 59, 59), 0xFFFFFFFFu, 0u}};
    for (const auto& c : cases) {
        const QUARN_DATE_TIME back = quarnDateTimeFromQDateTime(c.time);
        EXPECT_EQ(back.seconds, c.seconds) << c.time.toString(Qt::ISODate).toStdString();
        EXPECT_EQ(back.microseconds, c.microseconds) << c.time.toString(Qt::ISODate).toStdString();
    }
}

} // namespace
