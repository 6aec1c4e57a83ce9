#include "model/ModelBuffer.h"
#include "records/BatteryStatusRecord.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// Before any message a buffer holds its record's default, whose image the records' tests pin.
TEST(ModelBufferTest, StartsUninitialisedAsTheRecordsDefault) {
    model::ModelBuffer<quarn_system::BATTERY_STATUS> battery;
    EXPECT_EQ(0, std::memcmp(&quarn_system::DEFAULT_BATTERY_STATUS, &battery.getData(),
                             sizeof(quarn_system::BATTERY_STATUS)));
    EXPECT_FALSE(battery.isInitialized());
}

} // namespace
