#include "records/InstrumentModel.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

TEST(InstrumentModel, IsOneKavroNabrixPerProcess) {
    const quarn_system::InstrumentModel* fromOtherThread = nullptr;
    std::thread other([&fromOtherThread] { fromOtherThread = &quarn_system::instrumentModel(); });
    const quarn_system::InstrumentModel& model = quarn_system::instrumentModel();
    other.join();
    EXPECT_EQ(&model, fromOtherThread);
    EXPECT_NE(dynamic_cast<const quarn_system::InstrumentModelKavroNabrix*>(&model), nullptr);
    EXPECT_STREQ(model.displayName, "KAVRO Nabrix");
    EXPECT_STREQ(model.modelNumber, "Nabrix");
    EXPECT_STREQ(model.modelIdentifier, "KavroNabrix");
    EXPECT_EQ(model.option1, 1);
    EXPECT_EQ(model.option2, 1);
    EXPECT_EQ(model.option3, 1);
}

} // namespace
