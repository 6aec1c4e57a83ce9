// Displayed readings: rounding, prefix and decimals, the range hold and its timer, refused
// ranges, random values against the display rules, and setValue without allocation. Then the
// look-ups of the measurement description, checked against facts worked out by hand from the
// reading identifiers and wiring codes rather than against the tables themselves.

#include "model/MeasurementReading.h"
#include "model/Measured.h"
#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include <QElapsedTimer>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <string>
#include <tuple>
#include <vector>

// Every allocation of this test executable is counted. Each form the sanitizers also provide is
// replaced, so that what one form allocates another never frees.
namespace {
std::atomic<long> g_allocations{0};
void* counted(std::size_t size) {
    ++g_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
} // namespace
// GCC 12 building for armhf inlines these deletes into their callers and then takes the free()
// of memory that operator new returned for a mismatch; here both sides are malloc and free.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
// clang-format off
void* operator new(std::size_t size) { if (void* p = counted(size)) return p; throw std::bad_alloc(); }
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return counted(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }
// clang-format on
#pragma GCC diagnostic pop

namespace {

using model::Measured;
using model::MeasurementReading;
constexpr float NaN = std::numeric_limits<float>::quiet_NaN();
constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float MAX = std::numeric_limits<float>::max();
constexpr int X = Measured::NO_CHANNEL;

TEST(MeasurementReadingTest, RoundsToTheDigitsAndScalesToThePrefix) {
    // Type, range (0: none set), value; exponent, shown value, decimals, range decimals with and
    // without the prefix.
    const std::tuple<int, float, float, int, float, int, int, int> rows[] = {
        {0, 0.0f, 230.04f, 0, 230.0f, 1, 1, 1},   // four digits, tenths at most
        {3, 0.0f, 0.0123f, -3, 12.3f, 2, 1, 3},   // 12.30 mA
        {3, 0.0f, -0.0123f, -3, -12.3f, 2, 1, 3}, //
        {3, 0.0f, 0.99994f, -3, 999.9f, 1, 1, 3}, // just under the ampere
        {3, 0.0f, 0.99996f, 0, 1.0f, 3, 3, 3},    // rounds up across it
        {0, 0.0f, 999.96f, 3, 1.0f, 3, 3, 1},     // and into kilo
        {3, 0.0f, 0.0004f, -3, 0.4f, 3, 1, 3},    // never below the quantity's milli
        {9, 0.0f, 0.987f, 0, 0.99f, 2, 2, 2},     // three digits, hundredths
        {0, 10000.0f, 5.0f, 3, 0.005f, 3, 3, 0},  // a kilo range shows a small value in kilo
        {3, 0.5f, NaN, -3, NaN, 3, 1, 3},         // NaN keeps the range's exponent
        {0, 0.0f, NaN, 0, NaN, 3, 1, 1},          //
    };
    for (const auto& [type, range, value, exponent, shown, decimals, rangeDecimals, bare] : rows) {
        SCOPED_TRACE(testing::Message() << "type " << type << " value " << value);
        MeasurementReading reading(Measured::typeByIndex(type), &Measured::CHANNEL_A, 0.0f);
        if (range != 0.0f) {
            reading.setRange(range);
        }
        reading.setValue(value, false);
        EXPECT_THAT(reading.displayValue(), testing::NanSensitiveFloatEq(shown));
        EXPECT_EQ(std::make_tuple(reading.exponent(), reading.decimals(), reading.rangeDecimals(),
                                  reading.rangeDecimalsWithoutPrefix()),
                  std::tie(exponent, decimals, rangeDecimals, bare));
    }
}

// A current that fell from 1.5 A to 12 mA keeps the ampere scale for a while.
TEST(MeasurementReadingTest, HoldEndsAPeriodAfterTheLastFallOrWithANewRange) {
    constexpr int HOLD_MS = 300;
    MeasurementReading reading(&Measured::CURRENT, &Measured::CHANNEL_A, 1.5f);
    reading.setHoldPeriod(HOLD_MS);
    reading.setValue(0.012f, true);
    EXPECT_TRUE(reading.isRangeOverridden());
    EXPECT_EQ(0, reading.exponent());
    EXPECT_EQ(0.0f, reading.realRange());
    testsupport::pumpFor(HOLD_MS / 2);
    reading.setValue(1.5f, true);
    QElapsedTimer sinceLastFall;
    sinceLastFall.start();
    reading.setValue(0.011f, true); // falls from the held scale again: re-armed
    EXPECT_EQ(0, reading.exponent());
    ASSERT_TRUE(testsupport::pumpUntil([&] { return reading.exponent() == -3; }));
    // A coarse timer may fire up to 5 % early; a hold that was not re-armed ends half a period
    // after the last fall.
    EXPECT_GE(sinceLastFall.elapsed(), HOLD_MS * 95 / 100);
    EXPECT_FLOAT_EQ(11.0f, reading.displayValue());

    reading.setValue(1.5f, true);
    reading.setValue(0.012f, true);
    ASSERT_TRUE(reading.isRangeOverridden());
    reading.setRange(0.02f);
    // Adjusting to 12 mA from the real range would have started a new hold.
    EXPECT_FALSE(reading.isRangeOverridden());
    EXPECT_FLOAT_EQ(0.02f, reading.range());
    EXPECT_EQ(-3, reading.exponent());
}

TEST(MeasurementReadingTest, RefusesZeroOrNegativeRangesWithOneErrorUntilAGoodRangeComes) {
    testsupport::LogCapture log;
    MeasurementReading reading(6, 0.5f); // READING_I_A
    reading.setRange(2.0f);
    for (const float refused : {0.0f, -1.0f, NaN, INF, -INF}) {
        reading.setRange(refused);
    }
    EXPECT_FLOAT_EQ(2.0f, reading.realRange());
    reading.setRange(3.0f);
    reading.setRange(-2.0f);
    EXPECT_EQ((std::vector<std::string>{"Attemt to set zero or negative reading range (0.000000) "
                                        "to reading of type Current and channel L1",
                                        "Attemt to set zero or negative reading range (-2.000000) "
                                        "to reading of type Current and channel L1"}),
              log.messages("reading_container_logger"));
    EXPECT_EQ(log4cplus::ERROR_LOG_LEVEL, log.events().at(0).level);
}

TEST(MeasurementReadingTest, RandomValuesAndRangesKeepTheDisplayRules) {
    std::mt19937 random(1307);
    std::uniform_real_distribution<float> decade(-16.0f, 12.0f);
    std::uniform_int_distribution<int> percent(0, 99);
    const float specials[] = {
        0.0f, NaN, INF, -INF, MAX, -MAX, std::numeric_limits<float>::denorm_min()};
    const auto randomValue = [&] {
        const int pick = percent(random);
        return pick < 7 ? specials[pick]
                        : (pick % 2 == 0 ? 1.0f : -1.0f) * std::pow(10.0f, decade(random));
    };
    for (int round = 0; round < 3000; ++round) {
        const model::MeasurementType* type = Measured::typeByIndex(round % Measured::TYPE_COUNT);
        MeasurementReading reading(type, &Measured::CHANNEL_A, randomValue());
        reading.setRange(percent(random) < 50 ? std::fabs(randomValue()) : INF); // INF: none
        for (int step = 0; step < 10; ++step) {
            const float value = randomValue();
            reading.setValue(value, percent(random) < 70);
            SCOPED_TRACE(testing::Message() << "type " << type->id << " value " << value
                                            << " range " << reading.range());
            const int exponent = reading.exponent(), decimals = reading.decimals();
            ASSERT_TRUE(exponent % 3 == 0 && exponent >= std::max(type->minExponent, -12) &&
                        exponent <= 9)
                << exponent;
            ASSERT_TRUE(decimals >= 0 && decimals < type->digits) << decimals;
            const float shown = reading.displayValue();
            if (std::isfinite(shown) && shown != 0.0f) {
                // Shifted so that `digits` significant digits are left of the point.
                const double shifted =
                    shown *
                    std::pow(10.0, type->digits - 1 - std::floor(std::log10(std::fabs(shown))));
                ASSERT_NEAR(std::round(shifted), shifted, 1e-2);
            }
        }
    }
}

TEST(MeasurementReadingTest, HoldsThreeSecondsAndReArmsWithoutAllocating) {
    MeasurementReading reading(6, 1.5f);
    reading.setValue(0.012f, true); // the first hold starts the timer
    const QTimer* timer = reading.findChild<QTimer*>();
    ASSERT_TRUE(timer != nullptr && timer->isActive());
    EXPECT_EQ(3000, timer->interval());
    const long before = g_allocations;
    for (int i = 0; i < 1000000; ++i) {
        reading.setValue(i % 2 == 0 ? 1.5f : 0.012f, true); // every fall re-arms the hold
    }
    EXPECT_EQ(before, g_allocations);
}

TEST(MeasuredTest, ReadingsNameTheirQuantityChannelAndPhases) {
    // Reading, plain voltage; type, channel, the phase for power and energy (from reading 21),
    // current (from 6) and voltage (from 0), the name.
    const std::tuple<int, bool, int, int, int, int, int, std::string> rows[] = {
        {-1, false, 27, X, 4, 3, 3, "unknown"},
        {0, false, 1, 4, 4, 3, 0, "READING_V_AN"},
        {0, true, 0, 4, 4, 3, 0, "READING_V_AN"},
        {5, true, 0, 9, 4, 3, 1, "READING_V_CA"},
        {6, false, 3, 0, 4, 0, 2, "READING_I_A"},
        {9, true, 3, 3, 4, 3, 1, "READING_I_N"}, // plain voltage leaves other quantities alone
        {10, false, 4, 13, 4, 0, 2, "READING_FREQ"},
        {12, false, 5, 15, 4, 2, 0, "READING_UNBALANCE_I"},
        {20, false, 26, 12, 4, 2, 0, "READING_AUX_2"},
        {21, false, 6, 0, 0, 3, 1, "READING_kW_A"},
        {24, false, 6, 10, 3, 2, 0, "READING_kW_Total"},
        {61, false, 17, 0, 0, 3, 1, "READING_DPF_IC_F0_A"},
        {65, false, 16, 0, 0, 3, 1, "READING_DPF_CMB_F0_A"},
        {68, false, 16, 10, 3, 2, 0, "READING_DPF_CMB_F0_Total"},
        {72, false, 18, 10, 3, 2, 0, "READING_ACTIVE_ENERGY_TOTAL"},
        {79, false, 22, 2, 2, 1, 3, "READING_NON_ACTIVE_ENERGY_C"},
        {80, false, 22, 10, 3, 3, 3, "READING_NON_ACTIVE_ENERGY_TOTAL"},
        {81, false, 19, 10, 3, 3, 3, "READING_CONSUMED_ACTIVE_ENERGY"},
        {82, false, 20, 10, 3, 3, 3, "READING_SUPPLIED_ACTIVE_ENERGY"},
        {83, false, 27, X, 4, 3, 3, "READING_GUARD"},
        {200, false, 27, X, 4, 3, 3, "unknown"},
    };
    for (const auto& [reading, plainVoltage, type, channel, power, current, voltage, name] : rows) {
        EXPECT_EQ(std::make_tuple(Measured::typeIndexForReading(reading, plainVoltage),
                                  Measured::channelIndexForReading(reading),
                                  Measured::phaseForReading(reading),
                                  Measured::phaseForCurrentReading(reading),
                                  Measured::phaseForVoltageReading(reading),
                                  std::string(Measured::readingName(reading))),
                  std::tie(type, channel, power, current, voltage, name))
            << reading;
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
