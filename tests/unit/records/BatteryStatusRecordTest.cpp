#include "records/BatteryStatusRecord.h"

#include "support/RecordBytes.h"

#include <QMetaType>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using quarn_system::BATTERY_STATUS;
using testsupport::hex;
using testsupport::image;

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
TEST(BatteryStatusRecord, MetaTypeIsRegisteredByName) {
    const int id = quarn_system::registerBatteryStatusMetaType();
    const QMetaType type = QMetaType::fromName("quarn_system::BATTERY_STATUS");
    EXPECT_TRUE(type.isValid() && type.id() == id);
}

} // namespace
