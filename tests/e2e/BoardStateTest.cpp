#include "boardsim/BoardState.h"
#include "boardsim/ControlInterpreter.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <poll.h>

namespace {

using boardsim::BoardState;
using Kind = boardsim::BoardState::NodeKind;

const std::int64_t START = 1700000000123456; // microseconds since the epoch
const std::string GAUGE = "/power_supply/bq27425-0/";

std::string failed(int error) {
    return "<errno " + std::to_string(error) + ">";
}

class BoardStateTest : public ::testing::Test {
protected:
    BoardStateTest()
        : board("/sys/class", [this] { return now; })
        , control(board) {}

    // Whole content of a file, or failed(errno) when it cannot be opened or read.
    std::string readFile(const std::string& path) {
        const std::int64_t handle = board.open(path, true, false);
        if (handle < 0)
            return failed(static_cast<int>(-handle));
        std::string content;
        const int result = board.read(handle, content);
        board.close(handle);
        return result < 0 ? failed(-result) : content;
    }

    // 0 or the positive errno of the open or of the write.
    int writeFile(const std::string& path, const std::string& bytes) {
        const std::int64_t handle = board.open(path, false, true);
        if (handle < 0)
            return static_cast<int>(-handle);
        const int result = board.write(handle, bytes);
        board.close(handle);
        return -result;
    }

    // The button line the way the daemon configures it: 0 when every write is taken.
    int exportButton() {
        return writeFile("/gpio/export", "2") + writeFile("/gpio/gpio2/active_low", "1") +
               writeFile("/gpio/gpio2/direction", "in") + writeFile("/gpio/gpio2/edge", "falling");
    }

    void advanceBy(std::int64_t micros) {
        now += micros;
        board.advance();
    }

    std::int64_t now = START;
    BoardState board;
    boardsim::ControlInterpreter control;
};

TEST_F(BoardStateTest, BatteryAttributesFollowTheControlsAndAnAbsentGaugeStalesOpenFiles) {
    // The charging and discharging readings are pinned byte for byte end to end.
    // Values are texts: blanks and garbage arrive unchanged, an empty value reads "\n".
    for (const char* value : {"Charging ", "abc", ""}) {
        control.execute(std::string("set capacity ") + value);
        EXPECT_EQ(std::string(value) + "\n", readFile(GAUGE + "capacity")) << value;
    }
    EXPECT_EQ("", control.execute("unset temp"));
    EXPECT_EQ(failed(ENOENT), readFile(GAUGE + "temp"));
    EXPECT_EQ(EACCES, writeFile(GAUGE + "capacity", "5"));
    EXPECT_EQ("error: unknown attribute 'charge'\n", control.execute("set charge 5"));

    // An absent gauge removes the directory and stales the files open on it.
    control.execute("set capacity 80");
    const std::int64_t open = board.open(GAUGE + "capacity", true, false);
    ASSERT_GT(open, 0);
    EXPECT_EQ("", control.execute("gauge absent"));
    EXPECT_TRUE(board.list("/power_supply").empty());
    EXPECT_EQ(failed(ENOENT), readFile(GAUGE + "present"));
    std::string content;
    EXPECT_EQ(-ENODEV, board.read(open, content));

    // The gauge comes back with its values, but a file opened before stays dead.
    EXPECT_EQ("", control.execute("gauge present"));
    EXPECT_EQ("80\n", readFile(GAUGE + "capacity"));
    EXPECT_EQ(-ENODEV, board.read(open, content));
    board.close(open);
}

TEST_F(BoardStateTest, ExportAndLineAttributesFollowTheKernelsErrors) {
    EXPECT_EQ(EINVAL, writeFile("/gpio/unexport", "2"));
    EXPECT_EQ(0, writeFile("/gpio/export", "2"));
    EXPECT_EQ((std::vector<std::string>{"active_low", "direction", "edge", "value"}),
              board.list("/gpio/gpio2"));
    // Without the gpio directory nothing of it can be found; back, the lines are as they were.
    EXPECT_EQ("", control.execute("gpio absent"));
    EXPECT_EQ((std::vector<std::string>{"power_supply", "pwm"}), board.list("/"));
    EXPECT_EQ(failed(ENOENT), readFile("/gpio/gpio2/value"));
    EXPECT_EQ("", control.execute("gpio present"));
    EXPECT_EQ(EBUSY, writeFile("/gpio/export", "2\n"));
    EXPECT_EQ(EBUSY, writeFile("/gpio/export", "0x2")); // kstrtol with base 0
    for (const std::string& bad : std::vector<std::string>{"", "abc", " 2", "2 ", "2\n\n", "-1",
                                                           "256", std::string("3\0", 2)})
        EXPECT_EQ(EINVAL, writeFile("/gpio/export", bad)) << BoardState::quote(bad);
    // Write-only files refuse readers even though the caller may be root.
    EXPECT_EQ(failed(EACCES), readFile("/gpio/export"));
    // Only the kernel's own spelling of the directory exists.
    EXPECT_EQ(Kind::Missing, board.lookup("/gpio/gpio02").kind);
    EXPECT_EQ(Kind::Missing, board.lookup("/gpio//gpio2").kind);

    const std::int64_t value = board.open("/gpio/gpio2/value", true, false);
    EXPECT_EQ(0, writeFile("/gpio/unexport", "2"));
    EXPECT_EQ(Kind::Missing, board.lookup("/gpio/gpio2/value").kind);
    EXPECT_EQ(0, writeFile("/gpio/export", "2"));
    std::string content;
    EXPECT_EQ(-ENODEV, board.read(value, content)) << "a handle from before the unexport";
    board.close(value);

    // Direction and active_low, on an LED line.
    ASSERT_EQ(0, writeFile("/gpio/export", "49"));
    EXPECT_EQ("in\n", readFile("/gpio/gpio49/direction"));
    EXPECT_EQ(EPERM, writeFile("/gpio/gpio49/value", "garbage")) << "input is checked first";
    EXPECT_EQ(0, writeFile("/gpio/gpio49/direction", "out"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/value", "7")) << "any non-zero number sets the line";
    EXPECT_EQ("1\n", readFile("/gpio/gpio49/value"));
    EXPECT_EQ(EINVAL, writeFile("/gpio/gpio49/value", "on"));

    // active_low inverts what is read and what is written; the level on the wire stays.
    EXPECT_EQ(0, writeFile("/gpio/gpio49/active_low", "1"));
    EXPECT_EQ("0\n", readFile("/gpio/gpio49/value"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/value", "1"));
    EXPECT_EQ("exported=1 direction=out active_low=1 edge=none level=0 value=1 events=0\n",
              control.execute("info gpio 49"));

    // "high" drives high, "out" low; an output raises no interrupts, an interrupt line stays in.
    EXPECT_EQ(0, writeFile("/gpio/gpio49/active_low", "0"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/direction", "high"));
    EXPECT_EQ("1\n", control.execute("get gpio 49"));
    EXPECT_EQ(EINVAL, writeFile("/gpio/gpio49/direction", "output"));
    EXPECT_EQ(EIO, writeFile("/gpio/gpio49/edge", "rising"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/direction", "in"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/edge", "both"));
    EXPECT_EQ(EIO, writeFile("/gpio/gpio49/direction", "out"));
}

TEST_F(BoardStateTest, PressIsAFallingEdgeThatAReadConsumesAndClickAndDischargeFollowTheClock) {
    ASSERT_EQ(0, exportButton());
    const std::int64_t waiter = board.open("/gpio/gpio2/value", true, false);
    std::string content;
    ASSERT_EQ(0, board.read(waiter, content));
    EXPECT_EQ("1\n", content) << "released, read with active_low 1";
    const unsigned idle = POLLIN | POLLRDNORM | POLLOUT | POLLWRNORM;
    EXPECT_EQ(idle, board.poll(waiter));

    EXPECT_EQ("", control.execute("press"));
    EXPECT_EQ(idle | POLLPRI | POLLERR, board.poll(waiter));
    const std::int64_t later = board.open("/gpio/gpio2/value", true, false);
    EXPECT_FALSE(board.edgePending(later)) << "a file opened after the edge has not missed it";
    ASSERT_EQ(0, board.read(waiter, content));
    EXPECT_EQ("0\n", content);
    EXPECT_FALSE(board.edgePending(waiter));

    // Release is a rising edge: no wake-up for "falling"; pressing twice is one edge.
    control.execute("release");
    EXPECT_FALSE(board.edgePending(waiter));
    control.execute("press");
    control.execute("press");
    EXPECT_TRUE(board.edgePending(waiter));
    EXPECT_EQ("exported=1 direction=in active_low=1 edge=falling level=1 value=0 events=2\n",
              control.execute("info gpio 2"));

    // "rising" wakes on the release; an unexport wakes its pollers for good.
    ASSERT_EQ(0, writeFile("/gpio/gpio2/edge", "rising"));
    ASSERT_EQ(0, board.read(waiter, content));
    control.execute("release");
    EXPECT_TRUE(board.edgePending(waiter));
    ASSERT_EQ(0, board.read(waiter, content));
    ASSERT_EQ(0, writeFile("/gpio/unexport", "2"));
    EXPECT_TRUE(board.edgePending(waiter));
    board.close(waiter);
    board.close(later);

    ASSERT_EQ(0, exportButton());
    EXPECT_EQ("", control.execute("click 120"));
    advanceBy(119999);
    EXPECT_EQ("0\n", control.execute("get gpio 2"));
    advanceBy(1);
    EXPECT_EQ("1\n", control.execute("get gpio 2"));

    control.execute("external-power off");
    control.execute("set capacity 20");
    EXPECT_EQ("", control.execute("discharge 60")); // one percent per second
    advanceBy(500000);
    EXPECT_EQ("20\n", readFile(GAUGE + "capacity"));
    advanceBy(500000);
    EXPECT_EQ("19\n", readFile(GAUGE + "capacity"));
    advanceBy(30000000);
    EXPECT_EQ("0\n", readFile(GAUGE + "capacity")) << "never below 0";

    // External power charges at the same rate, up to a full battery.
    control.execute("external-power on");
    advanceBy(30000000);
    EXPECT_EQ("30\nCharging\n", readFile(GAUGE + "capacity") + readFile(GAUGE + "status"));
    advanceBy(90000000);
    EXPECT_EQ("100\nFull\n", readFile(GAUGE + "capacity") + readFile(GAUGE + "status"));
    // Full also when the power or the level comes last.
    control.execute("external-power off");
    control.execute("external-power on");
    EXPECT_EQ("Full\n", readFile(GAUGE + "status"));
    control.execute("set capacity 50");
    control.execute("set status Charging");
    control.execute("set capacity 100");
    EXPECT_EQ("Full\n", readFile(GAUGE + "status"));
}

TEST_F(BoardStateTest, LedPatternIsNamedAndFlashingIsTwoChangesWithinTheWindow) {
    for (const std::string line : {"49", "143"}) {
        ASSERT_EQ(0, writeFile("/gpio/export", line));
        ASSERT_EQ(0, writeFile("/gpio/gpio" + line + "/direction", "out"));
    }
    // Three ticks a second apart of (LED 1, LED 2), after a pause longer than the window; the
    // steady patterns and the low battery's flashing are named end to end (led_test.py).
    const std::pair<std::vector<std::pair<const char*, const char*>>, const char*> cases[] = {
        {{{"0", "1"}, {"0", "0"}, {"0", "1"}}, "led1=0 led2=1 (external power, flashing)\n"},
        {{{"1", "1"}, {"0", "0"}, {"1", "1"}}, "led1=1 led2=1 (on battery, flashing)\n"},
        {{{"0", "1"}, {"1", "0"}, {"0", "1"}}, "led1=0 led2=1 (no pattern)\n"},
        {{{"0", "0"}, {"0", "0"}, {"0", "0"}}, "led1=0 led2=0 (off)\n"},
    };
    for (const auto& [ticks, reply] : cases) {
        now += BoardState::FLASH_WINDOW_MICROS;
        for (const auto& [led1, led2] : ticks) {
            now += 1000000;
            ASSERT_EQ(0, writeFile("/gpio/gpio49/value", led1) +
                             writeFile("/gpio/gpio143/value", led2));
        }
        EXPECT_EQ(reply, control.execute("get led"));
    }
}

TEST_F(BoardStateTest, PwmFilesKeepTheExactBytesAndTheTraceRecordsEveryWrite) {
    EXPECT_EQ(0, writeFile("/gpio/export", "143"));
    now += 250;
    EXPECT_EQ(0, writeFile("/pwm/tmpa9xx-pwm:1/duty_ns", "6400"));
    now = START + 1000000;
    EXPECT_EQ(EBUSY, writeFile("/gpio/export", "143"));
    EXPECT_EQ(0, writeFile("/pwm/tmpa9xx-pwm:1/run", std::string("0\0", 2)));
    EXPECT_EQ(EACCES, writeFile(GAUGE + "status", "x")); // refused at open: never a write
    EXPECT_EQ("0\n", readFile("/pwm/tmpa9xx-pwm:1/run")) << "read back without the NUL";
    EXPECT_EQ("export=none polarity=none period_ns=none duty_ns=\"6400\" run=\"0\\x00\"\n",
              control.execute("get backlight"));
    // The buzzer's requests: set type 2000, then one its driver does not know.
    const std::int64_t buzzer = board.open(BoardState::BUZZER_NODE, true, true);
    EXPECT_EQ(0, board.ioctl(buzzer, 0x40086D00, std::string("\x01\0\0\0\xd0\x07\0\0", 8)));
    EXPECT_EQ(-ENOTTY, board.ioctl(buzzer, 0x40016D02, "\x01"));
    EXPECT_EQ("type=2000 running=0\n", control.execute("get buzzer"));

    EXPECT_EQ("1700000000.123456 /sys/class/gpio/export \"143\" ok\n"
              "1700000000.123706 /sys/class/pwm/tmpa9xx-pwm:1/duty_ns \"6400\" ok\n"
              "1700000001.123456 /sys/class/gpio/export \"143\" EBUSY\n"
              "1700000001.123456 /sys/class/pwm/tmpa9xx-pwm:1/run \"0\\x00\" ok\n"
              "1700000001.123456 /dev/mldalm ioctl 0x40086d00 "
              "\"\\x01\\x00\\x00\\x00\\xd0\\x07\\x00\\x00\" ok\n"
              "1700000001.123456 /dev/mldalm ioctl 0x40016d02 \"\\x01\" ENOTTY\n",
              control.execute("trace"));
    EXPECT_EQ("", control.execute("trace-clear"));
    EXPECT_EQ("", control.execute("trace"));
    EXPECT_EQ("\"a\\\"b\\\\c\\n\\t\\x7f\\xff\"", BoardState::quote("a\"b\\c\n\t\x7f\xff"));
}

TEST_F(BoardStateTest, ControlRepliesAndRefusals) {
    const std::pair<const char*, const char*> cases[] = {
        {"ping\n", "pong\n"},
        {"get buzzer", "type=none running=0\n"},
        {"bogus 1", "error: unknown command 'bogus 1' (try help)\n"},
        {"press now", "error: unknown command 'press now' (try help)\n"},
        {"gauge gone", "error: gauge absent|present\n"},
        {"gpio gone", "error: gpio absent|present\n"},
        {"external-power", "error: external-power on|off\n"},
        {"get gpio 256", "error: get gpio <0..255>\n"},
        {"get led 1", "error: get led takes no argument\n"},
        {"click 0", "error: click [1..60000 ms]\n"},
        {"discharge -1", "error: discharge <percent per minute, 0 stops>\n"},
        {"drive 51 2", "error: drive <gpio 0..255> 0|1\n"},
    };
    for (const auto& [command, reply] : cases)
        EXPECT_EQ(reply, control.execute(command)) << command;
}

} // namespace
