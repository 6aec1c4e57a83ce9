#include "records/BatteryStatusRecord.h"

#include "RecordBytes.h"

#include <QMetaType>
#include <QVariant>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using quarn_system::BATTERY_STATUS;
using recordtest::hex;

QByteArray image(const BATTERY_STATUS& status) {
    return QByteArray(reinterpret_cast<const char*>(&status), sizeof status);
}

TEST(BatteryStatusRecord, DefaultImage) {
    const QByteArray bytes = image(quarn_system::DEFAULT_BATTERY_STATUS);
    ASSERT_EQ(bytes.size(), 88);
    EXPECT_TRUE(recordtest::allZero(bytes.left(36)));
    EXPECT_EQ(bytes.mid(36, 4), hex("64000000"));
    EXPECT_TRUE(recordtest::allZero(bytes.mid(40, 44)));
    EXPECT_EQ(bytes.mid(84, 4), hex("02000000"));
}

TEST(BatteryStatusRecord, FieldsLandAtTheirOffsets) {
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
    EXPECT_EQ(bytes.left(7), hex("0101"
                                 "46756c6c00"));
    EXPECT_EQ(bytes.mid(34, 6), hex("0000"
                                    "feffffff"));
    EXPECT_EQ(bytes.mid(40, 8), hex("4261747465727900"));
    EXPECT_EQ(bytes.mid(72, 16), hex("c0f2fcff"
                                     "a08f3e00"
                                     "fb000000"
                                     "04000000"));
}

TEST(BatteryStatusRecord, MetaTypeIsRegisteredByNameAndConstructsAllZero) {
    const int id = quarn_system::registerBatteryStatusMetaType();
    EXPECT_EQ(quarn_system::registerBatteryStatusMetaType(), id);
    const QMetaType type = QMetaType::fromName("quarn_system::BATTERY_STATUS");
    ASSERT_TRUE(type.isValid());
    EXPECT_EQ(type.id(), id);
    EXPECT_EQ(type.sizeOf(), 88);

    void* created = type.create();
    EXPECT_TRUE(recordtest::allZero(QByteArray(static_cast<const char*>(created), 88)));
    type.destroy(created);

    BATTERY_STATUS status = quarn_system::DEFAULT_BATTERY_STATUS;
    std::strcpy(status.status, "Charging");
    const QVariant carried = QVariant::fromValue(status);
    EXPECT_EQ(image(carried.value<BATTERY_STATUS>()), image(status));
}

} // namespace
