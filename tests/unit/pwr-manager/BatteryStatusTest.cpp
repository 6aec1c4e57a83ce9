#include "BatteryStatus.h"
#include "DaemonHarness.h"
#include "support/LogCapture.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>

using power_manager::BatteryStatus;
using quarn_system::BATTERY_STATUS;

namespace {

class BatteryStatusTest : public ::testing::Test {
protected:
    void SetUp() override { monitor.setPowerSupplyDirectory(dir.path() + "/"); }

    void write(const char* name, const QByteArray& content) {
        testsupport::writeFile(dir.filePath(name), content);
    }

    void writeGauge(const char* status, int capacity, int current) {
        testsupport::writeGauge(dir.path() + "/", {capacity, status, current});
    }

    QTemporaryDir dir;
    testsupport::LogCapture log;
    BatteryStatus monitor;
};

struct ChargeCase {
    const char* status;
    int capacity;
    int current;
    int chargeState;
    bool externalPower;
};

TEST_F(BatteryStatusTest, ChargeStatesFollowStatusTextCapacityAndTheIdleBand) {
    const ChargeCase cases[] = {
        {"Charging", 80, 20000, quarn_system::CHARGE_STATE_CHARGING, true},
        {"Charging", 80, 5000, quarn_system::CHARGE_STATE_IDLE, true},
        {"Charging", 80, -200000, quarn_system::CHARGE_STATE_CHARGING, false},
        {"Discharging", 80, -200000, quarn_system::CHARGE_STATE_DISCHARGING, false},
        {"Discharging", 80, -50000, quarn_system::CHARGE_STATE_IDLE, false},
        {"Full", 100, -200000, quarn_system::CHARGE_STATE_FULL, false},
        {"Full", 100, 20000, quarn_system::CHARGE_STATE_FULL, true},
        // Full means 100 % exactly.
        {"Full", 99, -200000, quarn_system::CHARGE_STATE_DISCHARGING, false},
        {"Full", 98, 0, quarn_system::CHARGE_STATE_IDLE, true},
        {"Full", 98, -200000, quarn_system::CHARGE_STATE_DISCHARGING, false},
        {"Full", 98, 20000, quarn_system::CHARGE_STATE_CHARGING, true},
        // The band's ends are idle; one step outside is not.
        {"Discharging", 80, -100000, quarn_system::CHARGE_STATE_IDLE, false},
        {"Discharging", 80, -100001, quarn_system::CHARGE_STATE_DISCHARGING, false},
        {"Charging", 80, 10000, quarn_system::CHARGE_STATE_IDLE, true},
        {"Charging", 80, 10001, quarn_system::CHARGE_STATE_CHARGING, true},
        {"Not charging", 80, -200000, quarn_system::CHARGE_STATE_UNKNOWN, false},
        {"Unknown", 80, 0, quarn_system::CHARGE_STATE_UNKNOWN, true},
        {"charging", 80, 20000, quarn_system::CHARGE_STATE_UNKNOWN, true},
        {"Charging ", 80, 20000, quarn_system::CHARGE_STATE_UNKNOWN, true},
        // A long text is cut to 31 characters and its terminating zero.
        {"0123456789012345678901234567890123456789", 80, -200000,
         quarn_system::CHARGE_STATE_UNKNOWN, false},
    };
    for (const ChargeCase& c : cases) {
        writeGauge(c.status, c.capacity, c.current);
        const BATTERY_STATUS status = monitor.readBatteryStatus();
        EXPECT_EQ(c.chargeState, status.chargeState) << c.status << " " << c.current;
        EXPECT_EQ(c.externalPower, status.externalPower) << c.status << " " << c.current;
        EXPECT_EQ(std::string(c.status).substr(0, 31),
                  std::string(status.status, strnlen(status.status, sizeof status.status)));
    }
}

// 27 failed opens a reading, every 2 s: each file's failure is logged once.
TEST_F(BatteryStatusTest, NoBatteryReadsAsExternalPowerAndAnAbsentGaugeIsLoggedOncePerFile) {
    for (const char* present : {"0\n", "-1\n"}) {
        writeGauge("Discharging", 57, -300000);
        write("present", present);
        const BATTERY_STATUS status = monitor.readBatteryStatus();
        EXPECT_FALSE(status.present) << present;
        EXPECT_TRUE(status.externalPower) << present;
    }
    monitor.setPowerSupplyDirectory(dir.filePath("missing") + "/");
    const BATTERY_STATUS status = monitor.readBatteryStatus();
    monitor.readBatteryStatus();
    const auto events = log.events();
    ASSERT_EQ(7u, events.size());
    for (const auto& event : events) {
        EXPECT_EQ(log4cplus::WARN_LOG_LEVEL, event.level);
    }
    EXPECT_EQ("Could not read value \"voltage\" from file \"voltage_now\"",
              testsupport::LogCapture::stripPrefix(events[5].message));
    EXPECT_FALSE(status.present);
    EXPECT_TRUE(status.externalPower);
    EXPECT_EQ(100, status.capacity);
    EXPECT_EQ(quarn_system::CHARGE_STATE_UNKNOWN, status.chargeState);
}

// Text that is no number reads as 0 and is logged once while it lasts; an empty first line
// keeps the default.
TEST_F(BatteryStatusTest, OnlyTheFirstLineCountsAndNumbersMayHaveBlanksAndASign) {
    const struct {
        QByteArray capacity;
        int expected;
    } cases[] = {
        {"42\r\n", 42},  {" 42 \nsecond line\n", 42},
        {"+42", 42},     {"\t-7\t\n", -7},
        {"\n42\n", 100}, {"2147483648\n", 0},
        {"4 2\n", 0},    {"0x2A\n", 0},
        {"abc\n", 0},    {"", 100},
    };
    writeGauge("Full", 100, 0);
    write("status", "Full\r\nCharging\n");
    for (const auto& c : cases) {
        write("capacity", c.capacity);
        const BATTERY_STATUS status = monitor.readBatteryStatus();
        EXPECT_EQ(c.expected, status.capacity) << c.capacity.toHex().constData();
        EXPECT_STREQ("Full", status.status);
    }
    EXPECT_EQ(std::vector<std::string>{"Value \"capacity\" from file \"capacity\" is not a "
                                       "number: \"2147483648\""},
              log.messages("power_manager_logger"));
}

} // namespace
