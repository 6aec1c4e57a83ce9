// What a record buffer holds before any message: the record's default, as a byte image.

#include "model/ModelBuffer.h"
#include "records/BatteryStatusRecord.h"
#include "records/InstrumentConfig.h"
#include "support/LogCapture.h"

#include <QByteArray>

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct PlainRecord {
    int32_t first;
    uint8_t flags[4];
    int32_t last;
};

struct RecordWithDefault {
    int32_t value;
    int32_t other;
};

} // namespace

// A record area of its own would put this beside its record.
template <> struct model::ModelDefault<RecordWithDefault> {
    static constexpr RecordWithDefault value() { return {-2, 7}; }
};

namespace {

template <class T> QByteArray imageOf(const T& record) {
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof(T));
}

QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

TEST(ModelBufferTest, InstrumentConfigStartsAsTheDefaultRecord) {
    testsupport::LogCapture capture;
    model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG> buffer;
    const QByteArray image = imageOf(buffer.getData());
    ASSERT_EQ(image.size(), 916);

    EXPECT_EQ(image.mid(0, 32), hex("1f 00 00 00  e1 00 00 00  00 00 00 00  00 00 00 00"
                                    "15 00 00 00  00 00 00 00  00 00 00 00  01 00 00 00"));
    EXPECT_EQ(image.mid(32, 16), QByteArray(16, '\0'));
    // "UTC" as 32-bit code points, then zeros to the end of the 64-character field.
    EXPECT_EQ(image.mid(48, 16), hex("55 00 00 00  54 00 00 00  43 00 00 00  00 00 00 00"));
    EXPECT_EQ(image.mid(64, 240), QByteArray(240, '\0'));
    EXPECT_EQ(image.mid(304, 8), hex("fd ff ff ff  fd ff ff ff"));
    // Custom1: "Custom1" / "Unit1", range 1, 50.0f, 0.0f, 10.0f.
    EXPECT_EQ(image.mid(312, 32), hex("43 00 00 00  75 00 00 00  73 00 00 00  74 00 00 00"
                                      "6f 00 00 00  6d 00 00 00  31 00 00 00  00 00 00 00"));
    EXPECT_EQ(image.mid(380, 24), hex("55 00 00 00  6e 00 00 00  69 00 00 00  74 00 00 00"
                                      "31 00 00 00  00 00 00 00"));
    EXPECT_EQ(image.mid(416, 16), hex("01 00 00 00  00 00 48 42  00 00 00 00  00 00 20 41"));
    // Custom5's name ends in the digit 5.
    EXPECT_EQ(image.mid(312 + 4 * 120 + 24, 4), hex("35 00 00 00"));
    EXPECT_EQ(image.mid(912, 4), hex("00 00 00 00"));

    EXPECT_FALSE(buffer.isInitialized());
    EXPECT_TRUE(capture.messages("model_buffer_logger").empty());
}

TEST(ModelBufferTest, BatteryStatusStartsAsTheDefaultRecord) {
    model::ModelBuffer<quarn_system::BATTERY_STATUS> buffer;
    QByteArray expected(88, '\0');
    expected.replace(36, 4, hex("64 00 00 00")); // capacity 100
    expected.replace(84, 4, hex("02 00 00 00")); // CHARGE_STATE_FULL
    EXPECT_EQ(imageOf(buffer.getData()), expected);
}

TEST(ModelBufferTest, RecordsWithoutDefaultStartZeroAndOthersUseTheirOwn) {
    model::ModelBuffer<PlainRecord> plain;
    EXPECT_EQ(imageOf(plain.getData()), QByteArray(12, '\0'));

    model::ModelBuffer<RecordWithDefault> specialised;
    EXPECT_EQ(imageOf(specialised.getData()), hex("fe ff ff ff  07 00 00 00"));
}

} // namespace
