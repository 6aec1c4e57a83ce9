// What a record buffer holds before any message: the record's default, as a byte image.

#include "model/ModelBuffer.h"
#include "records/BatteryStatusRecord.h"
#include "records/InstrumentConfig.h"

#include <QByteArray>

#include <gtest/gtest.h>

namespace {

template <class T> QByteArray imageOf(const T& record) {
    return QByteArray(reinterpret_cast<const char*>(&record), sizeof(T));
}

TEST(ModelBufferTest, StartsAsTheRecordsDefault) {
    model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG> config;
    // The records' own tests pin the default images; here the bytes that tell which one it is.
    EXPECT_EQ(imageOf(quarn_system::DEFAULT_INSTRUMENT_CONFIG), imageOf(config.getData()));
    EXPECT_EQ(QByteArray::fromHex("1f000000 e1000000"), imageOf(config.getData()).left(8));
    EXPECT_FALSE(config.isInitialized());

    model::ModelBuffer<quarn_system::BATTERY_STATUS> battery;
    QByteArray expected(88, '\0');
    expected.replace(36, 4, QByteArray::fromHex("64000000")); // capacity 100
    expected.replace(84, 4, QByteArray::fromHex("02000000")); // CHARGE_STATE_FULL
    EXPECT_EQ(expected, imageOf(battery.getData()));
}

} // namespace
