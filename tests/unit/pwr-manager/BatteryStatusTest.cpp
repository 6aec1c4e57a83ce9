#include "BatteryStatus.h"
#include "DaemonHarness.h"

#include <gtest/gtest.h>

#include <cstring>

using quarn_system::BATTERY_STATUS;

namespace {

// One monitor over a temporary directory through charge states, the reading of an attribute's
// first line, a missing battery and, at last, a gauge that is not there at all.
TEST(BatteryStatus, ChargeStatesFirstLinesNoBatteryAndAnAbsentGaugeLoggedOncePerFile) {
    QTemporaryDir dir;
    const QString directory = dir.path() + "/";
    testsupport::LogCapture log;
    power_manager::BatteryStatus monitor;
    monitor.setPowerSupplyDirectory(directory);
    const struct {
        const char* status;
        int capacity;
        int current;
        int chargeState;
        bool externalPower;
    } charges[] = {
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
    for (const auto& c : charges) {
        SCOPED_TRACE(testing::Message() << c.status << " " << c.capacity << " " << c.current);
        testsupport::writeGauge(directory, {c.capacity, c.status, c.current});
        const BATTERY_STATUS status = monitor.readBatteryStatus();
        EXPECT_EQ(c.chargeState, status.chargeState);
        EXPECT_EQ(c.externalPower, status.externalPower);
        EXPECT_EQ(std::string(c.status).substr(0, 31),
                  std::string(status.status, strnlen(status.status, sizeof status.status)));
    }

    // Only the first line counts; numbers may have blanks and a sign. Text that is no number
    // reads as 0 and is logged once while it lasts; an empty first line keeps the default.
    const struct {
        QByteArray capacity;
        int expected;
    } firstLines[] = {
        {"42\r\n", 42},  {" 42 \nsecond line\n", 42},
        {"+42", 42},     {"\t-7\t\n", -7},
        {"\n42\n", 100}, {"2147483648\n", 0},
        {"4 2\n", 0},    {"0x2A\n", 0},
        {"abc\n", 0},    {"", 100},
    };
    testsupport::writeFile(directory + "status", "Full\r\nCharging\n");
    for (const auto& c : firstLines) {
        testsupport::writeFile(directory + "capacity", c.capacity);
        const BATTERY_STATUS status = monitor.readBatteryStatus();
        EXPECT_EQ(c.expected, status.capacity) << c.capacity.toHex().constData();
        EXPECT_STREQ("Full", status.status);
    }
    EXPECT_EQ(std::vector<std::string>{"Value \"capacity\" from file \"capacity\" is not a "
                                       "number: \"2147483648\""},
              log.messages("power_manager_logger"));

    for (const char* present : {"0\n", "-1\n"}) {
        testsupport::writeGauge(directory);
        testsupport::writeFile(directory + "present", present);
        const BATTERY_STATUS status = monitor.readBatteryStatus();
        EXPECT_FALSE(status.present) << present;
        EXPECT_TRUE(status.externalPower) << present;
    }

    // 27 failed opens a reading, every 2 s: each file's failure is logged once.
    log.clear();
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

} // namespace
