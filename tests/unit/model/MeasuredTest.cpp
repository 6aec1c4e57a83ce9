// The look-ups of the measurement description, checked against facts worked out by hand from
// the reading identifiers and wiring codes rather than against the tables themselves.

#include "model/Measured.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using model::Measured;
constexpr int X = Measured::NO_CHANNEL;

TEST(MeasuredTest, ReadingsNameTheirQuantityChannelAndPhases) {
    struct Row {
        int reading;
        bool plainVoltage;
        int type, channel;
        int phases[3]; // power and energy (from reading 21), current (from 6), voltage (from 0)
        const char* name;
    };
    const Row rows[] = {
        {-1, false, 27, X, {4, 3, 3}, "unknown"},
        {0, false, 1, 4, {4, 3, 0}, "READING_V_AN"},
        {0, true, 0, 4, {4, 3, 0}, "READING_V_AN"},
        {5, true, 0, 9, {4, 3, 1}, "READING_V_CA"},
        {6, false, 3, 0, {4, 0, 2}, "READING_I_A"},
        {9, true, 3, 3, {4, 3, 1}, "READING_I_N"}, // plain voltage leaves other quantities alone
        {10, false, 4, 13, {4, 0, 2}, "READING_FREQ"},
        {12, false, 5, 15, {4, 2, 0}, "READING_UNBALANCE_I"},
        {20, false, 26, 12, {4, 2, 0}, "READING_AUX_2"},
        {21, false, 6, 0, {0, 3, 1}, "READING_kW_A"},
        {24, false, 6, 10, {3, 2, 0}, "READING_kW_Total"},
        {61, false, 17, 0, {0, 3, 1}, "READING_DPF_IC_F0_A"},
        {65, false, 16, 0, {0, 3, 1}, "READING_DPF_CMB_F0_A"},
        {68, false, 16, 10, {3, 2, 0}, "READING_DPF_CMB_F0_Total"},
        {72, false, 18, 10, {3, 2, 0}, "READING_ACTIVE_ENERGY_TOTAL"},
        {79, false, 22, 2, {2, 1, 3}, "READING_NON_ACTIVE_ENERGY_C"},
        {80, false, 22, 10, {3, 3, 3}, "READING_NON_ACTIVE_ENERGY_TOTAL"},
        {81, false, 19, 10, {3, 3, 3}, "READING_CONSUMED_ACTIVE_ENERGY"},
        {82, false, 20, 10, {3, 3, 3}, "READING_SUPPLIED_ACTIVE_ENERGY"},
        {83, false, 27, X, {4, 3, 3}, "READING_GUARD"},
        {200, false, 27, X, {4, 3, 3}, "unknown"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reading);
        EXPECT_EQ(row.type, Measured::typeIndexForReading(row.reading, row.plainVoltage));
        EXPECT_EQ(row.channel, Measured::channelIndexForReading(row.reading));
        EXPECT_EQ(row.phases[0], Measured::phaseForReading(row.reading));
        EXPECT_EQ(row.phases[1], Measured::phaseForCurrentReading(row.reading));
        EXPECT_EQ(row.phases[2], Measured::phaseForVoltageReading(row.reading));
        EXPECT_STREQ(row.name, Measured::readingName(row.reading));
    }
    EXPECT_EQ(&Measured::FUNDAMENTAL_POWER_FACTOR_COMBINED, Measured::typeForReading(65));
    EXPECT_EQ(&Measured::VOLTAGE, Measured::typeForReading(200));
    EXPECT_EQ(&Measured::CHANNEL_A, Measured::channelForReading(200));

    // The index look-ups find the member with that id.
    for (int index = 0; index < Measured::TYPE_COUNT; ++index) {
        EXPECT_EQ(index, Measured::typeByIndex(index)->id);
    }
    for (int index = 0; index < Measured::CHANNEL_COUNT; ++index) {
        EXPECT_EQ(index, Measured::channelByIndex(index)->id);
    }
    // Nominal levels of the default DSP set-up.
    EXPECT_EQ(115.0f, Measured::VOLTAGE_P_P.referenceValue);
    EXPECT_EQ(60.0f, Measured::FREQUENCY.referenceValue);
    EXPECT_TRUE(std::isnan(Measured::CURRENT.referenceValue));
}

TEST(MeasuredTest, ChannelsUnderEveryWiringCode) {
    struct Row {
        int wiringCode;
        // Phase-to-phase voltage (the channel count follows it), THD of the current, energy.
        int voltage[3], current[3], energy[3];
        int count;
    };
    const Row rows[] = {
        {0, {4, X, X}, {0, X, X}, {0, X, X}, 1},  {1, {4, 5, 6}, {0, 1, 2}, {0, 1, 2}, 3},
        {2, {7, 8, 9}, {0, 1, 2}, {X, X, X}, 3},  {3, {4, 5, X}, {0, 1, X}, {0, 1, X}, 2},
        {4, {4, X, X}, {0, X, X}, {0, X, X}, 1},  {5, {4, 5, 6}, {0, 1, 2}, {0, 1, 2}, 3},
        {6, {7, 8, 9}, {0, 1, 2}, {X, X, X}, 3},  {7, {7, 8, 9}, {0, 1, 2}, {X, X, X}, 3},
        {8, {X, X, X}, {X, X, X}, {X, X, X}, 0},  {9, {7, 8, 9}, {0, 1, 2}, {X, X, X}, 3},
        {10, {X, X, X}, {X, X, X}, {X, X, X}, 0}, {11, {4, X, X}, {0, X, X}, {0, X, X}, 1},
        {12, {7, X, X}, {0, X, X}, {X, X, X}, 1}, {13, {X, X, X}, {X, X, X}, {X, X, X}, 0},
        {-1, {X, X, X}, {X, X, X}, {X, X, X}, 0},
    };
    int a, b, c;
    const auto channels = [&](int wiringCode, int type) {
        Measured::channelsFor(wiringCode, type, a, b, c);
        return std::vector<int>{a, b, c};
    };
    using V = std::vector<int>;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.wiringCode);
        EXPECT_EQ(V(row.voltage, row.voltage + 3), channels(row.wiringCode, 2));
        EXPECT_EQ(V(row.current, row.current + 3), channels(row.wiringCode, 24));
        EXPECT_EQ(V(row.energy, row.energy + 3), channels(row.wiringCode, 18));
        EXPECT_EQ(row.count, Measured::channelCount(row.wiringCode));
    }
    // Frequency, unbalance and the auxiliary inputs show whatever the wiring.
    EXPECT_EQ(V({13, X, X}), channels(99, 4));
    EXPECT_EQ(V({14, 15, X}), channels(-1, 5));
    EXPECT_EQ(V({11, 12, X}), channels(8, 26));
    EXPECT_EQ(V({X, X, X}), channels(1, Measured::NO_TYPE));
}

} // namespace
