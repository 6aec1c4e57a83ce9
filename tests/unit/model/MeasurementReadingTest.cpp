// Displayed readings: rounding, prefix and decimals, the range hold and its timer, refused
// ranges, random values against the display rules, and setValue without allocation.

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

TEST(MeasurementReadingTest, RoundsToTheDigitsAndScalesToThePrefix) {
    struct Row {
        int type;
        float range, value; // range 0: none set
        int exponent;
        float shown;
        int decimals, rangeDecimals, withoutPrefix;
    };
    const Row rows[] = {
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
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "type " << row.type << " value " << row.value);
        MeasurementReading reading(Measured::typeByIndex(row.type), &Measured::CHANNEL_A, 0.0f);
        if (row.range != 0.0f) {
            reading.setRange(row.range);
        }
        reading.setValue(row.value, false);
        EXPECT_EQ(row.exponent, reading.exponent());
        EXPECT_THAT(reading.displayValue(), testing::NanSensitiveFloatEq(row.shown));
        EXPECT_EQ(row.decimals, reading.decimals());
        EXPECT_EQ(row.rangeDecimals, reading.rangeDecimals());
        EXPECT_EQ(row.withoutPrefix, reading.rangeDecimalsWithoutPrefix());
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
        if (pick < 7) {
            return specials[pick];
        }
        return (pick % 2 == 0 ? 1.0f : -1.0f) * std::pow(10.0f, decade(random));
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
            const int exponent = reading.exponent();
            const int decimals = reading.decimals();
            ASSERT_TRUE(exponent % 3 == 0 && exponent >= type->minExponent) << exponent;
            ASSERT_TRUE(exponent >= -12 && exponent <= 9) << exponent;
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

} // namespace
