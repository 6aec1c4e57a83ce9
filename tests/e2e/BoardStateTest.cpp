// The simulated board's own semantics, where the end-to-end tests do not reach them: the
// kernel's errors, edges and polarity of the GPIO files, the clock-driven controls, the LED's
// names, the trace's quoting and the control's refusals.

#include "boardsim/BoardState.h"
#include "boardsim/ControlInterpreter.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <poll.h>

namespace {

using boardsim::BoardState;

const std::int64_t START = 1700000000123456; // microseconds since the epoch
const std::string GAUGE = "/power_supply/bq27425-0/";

class BoardStateTest : public ::testing::Test {
protected:
    BoardStateTest()
        : board("/sys/class", [this] { return now; })
        , control(board) {}

    // Whole content of a file, or "<errno N>" when it cannot be opened or read.
    std::string readFile(const std::string& path) {
        const std::int64_t handle = board.open(path, true, false);
        std::string content;
        const int result = handle < 0 ? static_cast<int>(handle) : board.read(handle, content);
        board.close(handle);
        return result < 0 ? "<errno " + std::to_string(-result) + ">" : content;
    }

    // 0 or the positive errno of the open or of the write.
    int writeFile(const std::string& path, const std::string& bytes) {
        const std::int64_t handle = board.open(path, false, true);
        const int result = handle < 0 ? static_cast<int>(handle) : board.write(handle, bytes);
        board.close(handle);
        return -result;
    }

    std::int64_t now = START;
    BoardState board;
    boardsim::ControlInterpreter control;
};

TEST_F(BoardStateTest, GaugeValuesAreTextsAndAnAbsentGaugeStalesOpenFiles) {
    // Blanks and garbage arrive unchanged, an empty value reads "\n".
    control.execute("set status Charging ");
    control.execute("set capacity");
    EXPECT_EQ("Charging \n\n", readFile(GAUGE + "status") + readFile(GAUGE + "capacity"));
    control.execute("unset temp");
    EXPECT_EQ("<errno 2>", readFile(GAUGE + "temp"));
    EXPECT_EQ(EACCES, writeFile(GAUGE + "capacity", "5"));

    control.execute("set capacity 80");
    const std::int64_t open = board.open(GAUGE + "capacity", true, false);
    control.execute("gauge absent");
    EXPECT_TRUE(board.list("/power_supply").empty());
    EXPECT_EQ("<errno 2>", readFile(GAUGE + "present"));
    // The gauge comes back with its values, but a file opened before stays dead.
    control.execute("gauge present");
    EXPECT_EQ("80\n", readFile(GAUGE + "capacity"));
    std::string content;
    EXPECT_EQ(-ENODEV, board.read(open, content));
}

TEST_F(BoardStateTest, GpioFilesFollowTheKernelsErrorsAndPolarity) {
    // In order: (file under /gpio/, bytes written, errno or 0, the line's value read after it).
    const std::tuple<const char*, std::string, int, const char*> writes[] = {
        {"unexport", "2", EINVAL, ""},
        {"export", "2", 0, ""},
        {"export", "2\n", EBUSY, ""},
        {"export", "0x2", EBUSY, ""}, // kstrtol with base 0
        {"export", "", EINVAL, ""},
        {"export", "abc", EINVAL, ""},
        {"export", " 2", EINVAL, ""},
        {"export", "2 ", EINVAL, ""},
        {"export", "-1", EINVAL, ""},
        {"export", "2\n\n", EINVAL, ""},
        {"export", "256", EINVAL, ""},
        {"export", std::string("3\0", 2), EINVAL, ""},
        {"export", "49", 0, ""},
        {"gpio49/value", "garbage", EPERM, ""}, // an input, checked before the bytes
        {"gpio49/direction", "out", 0, ""},
        {"gpio49/value", "7", 0, "1\n"}, // any non-zero number sets the line
        {"gpio49/value", "on", EINVAL, ""},
        // active_low inverts what is read and what is written; the level on the wire stays.
        {"gpio49/active_low", "1", 0, "0\n"},
        {"gpio49/value", "1", 0, "1\n"},
        {"gpio49/active_low", "0", 0, "0\n"},
        // "high" drives high; an output raises no interrupts, an interrupt line stays in.
        {"gpio49/direction", "high", 0, "1\n"},
        {"gpio49/direction", "output", EINVAL, ""},
        {"gpio49/edge", "rising", EIO, ""},
        {"gpio49/direction", "in", 0, ""},
        {"gpio49/edge", "both", 0, ""},
        {"gpio49/direction", "out", EIO, ""},
    };
    for (const auto& [file, bytes, error, value] : writes) {
        EXPECT_EQ(error, writeFile(std::string("/gpio/") + file, bytes)) << file << " " << bytes;
        EXPECT_EQ(value, *value ? readFile("/gpio/gpio49/value") : "") << file << " " << bytes;
    }
    // Write-only files refuse readers even though the caller may be root; only the kernel's own
    // spelling of a line's directory exists.
    EXPECT_EQ("<errno 13>", readFile("/gpio/export"));
    EXPECT_EQ(BoardState::NodeKind::Missing, board.lookup("/gpio/gpio02").kind);
    EXPECT_EQ(BoardState::NodeKind::Missing, board.lookup("/gpio//gpio2").kind);
    // A handle from before an unexport stays dead after the export again.
    const std::int64_t value = board.open("/gpio/gpio2/value", true, false);
    EXPECT_EQ(0, writeFile("/gpio/unexport", "2"));
    EXPECT_EQ(0, writeFile("/gpio/export", "2"));
    std::string content;
    EXPECT_EQ(-ENODEV, board.read(value, content));
}

TEST_F(BoardStateTest, PressIsAFallingEdgeThatAReadConsumesAndClickAndDischargeFollowTheClock) {
    const auto exportButton = [this] {
        for (const auto& [file, bytes] : {std::pair{"export", "2"},
                                          {"gpio2/active_low", "1"},
                                          {"gpio2/direction", "in"},
                                          {"gpio2/edge", "falling"}})
            ASSERT_EQ(0, writeFile(std::string("/gpio/") + file, bytes));
    };
    exportButton();
    const std::int64_t waiter = board.open("/gpio/gpio2/value", true, false);
    std::string content;
    board.read(waiter, content);
    const unsigned idle = POLLIN | POLLRDNORM | POLLOUT | POLLWRNORM;
    EXPECT_EQ(idle, board.poll(waiter));
    control.execute("press");
    EXPECT_EQ(idle | POLLPRI | POLLERR, board.poll(waiter));
    const std::int64_t later = board.open("/gpio/gpio2/value", true, false);
    EXPECT_FALSE(board.edgePending(later)) << "a file opened after the edge has not missed it";
    board.read(waiter, content);
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
    writeFile("/gpio/gpio2/edge", "rising");
    board.read(waiter, content);
    control.execute("release");
    EXPECT_TRUE(board.edgePending(waiter));
    board.read(waiter, content);
    writeFile("/gpio/unexport", "2");
    EXPECT_TRUE(board.edgePending(waiter));

    const auto after = [this](std::int64_t micros, const std::string& file) {
        now += micros;
        board.advance();
        return file[0] == '/' ? readFile(file) : control.execute(file);
    };
    exportButton();
    EXPECT_EQ("", control.execute("click 120"));
    EXPECT_EQ("0\n", after(119999, "get gpio 2"));
    EXPECT_EQ("1\n", after(1, "get gpio 2"));
    // One percent per second, never below 0; external power charges at the same rate up to full.
    control.execute("external-power off");
    control.execute("set capacity 20");
    EXPECT_EQ("", control.execute("discharge 60"));
    EXPECT_EQ("20\n", after(500000, GAUGE + "capacity"));
    EXPECT_EQ("19\n", after(500000, GAUGE + "capacity"));
    EXPECT_EQ("0\n", after(30000000, GAUGE + "capacity"));
    control.execute("external-power on");
    EXPECT_EQ("30\n", after(30000000, GAUGE + "capacity"));
    EXPECT_EQ("Charging\n", readFile(GAUGE + "status"));
    EXPECT_EQ("100\n", after(90000000, GAUGE + "capacity"));
    EXPECT_EQ("Full\n", readFile(GAUGE + "status"));
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
        writeFile("/gpio/export", line);
        writeFile("/gpio/gpio" + line + "/direction", "out");
    }
    // Three ticks a second apart of LED 1 and LED 2, after a pause longer than the window.
    const std::pair<const char*, const char*> cases[] = {
        {"01 01 01", "led1=0 led2=1 (external power)\n"},
        {"11 11 11", "led1=1 led2=1 (on battery)\n"},
        {"10 10 10", "led1=1 led2=0 (battery low)\n"},
        {"01 00 01", "led1=0 led2=1 (external power, flashing)\n"},
        {"11 00 11", "led1=1 led2=1 (on battery, flashing)\n"},
        {"01 10 01", "led1=0 led2=1 (no pattern)\n"},
        {"00 00 00", "led1=0 led2=0 (off)\n"},
    };
    for (const auto& [ticks, reply] : cases) {
        now += BoardState::FLASH_WINDOW_MICROS;
        for (int tick = 0; tick < 9; tick += 3) {
            now += 1000000;
            writeFile("/gpio/gpio49/value", {ticks[tick]});
            writeFile("/gpio/gpio143/value", {ticks[tick + 1]});
        }
        EXPECT_EQ(reply, control.execute("get led"));
    }
}

TEST_F(BoardStateTest, TraceRecordsEveryWriteAndRequestAndTheControlRefusesMistakes) {
    // The paths and bytes of the trace are read end to end; here its times, errors and quoting.
    now += 250;
    writeFile("/pwm/tmpa9xx-pwm:1/duty_ns", "6400");
    writeFile("/gpio/export", "143");
    EXPECT_EQ(EBUSY, writeFile("/gpio/export", "143"));
    EXPECT_EQ(0, writeFile("/pwm/tmpa9xx-pwm:1/run", std::string("0\0", 2)));
    EXPECT_EQ(EACCES, writeFile(GAUGE + "status", "x")); // refused at open: never a write
    EXPECT_EQ("0\n", readFile("/pwm/tmpa9xx-pwm:1/run")) << "read back without the NUL";
    // The buzzer's requests: set type 2000, then one its driver does not know.
    EXPECT_EQ("type=none running=0\n", control.execute("get buzzer"));
    const std::int64_t buzzer = board.open(BoardState::BUZZER_NODE, true, true);
    EXPECT_EQ(0, board.ioctl(buzzer, 0x40086D00, std::string("\x01\0\0\0\xd0\x07\0\0", 8)));
    EXPECT_EQ(-ENOTTY, board.ioctl(buzzer, 0x40016D02, "\x01"));
    EXPECT_EQ("type=2000 running=0\n", control.execute("get buzzer"));
    EXPECT_EQ("1700000000.123706 /sys/class/pwm/tmpa9xx-pwm:1/duty_ns \"6400\" ok\n"
              "1700000000.123706 /sys/class/gpio/export \"143\" ok\n"
              "1700000000.123706 /sys/class/gpio/export \"143\" EBUSY\n"
              "1700000000.123706 /sys/class/pwm/tmpa9xx-pwm:1/run \"0\\x00\" ok\n"
              "1700000000.123706 /dev/mldalm ioctl 0x40086d00 "
              "\"\\x01\\x00\\x00\\x00\\xd0\\x07\\x00\\x00\" ok\n"
              "1700000000.123706 /dev/mldalm ioctl 0x40016d02 \"\\x01\" ENOTTY\n",
              control.execute("trace"));
    EXPECT_EQ("", control.execute("trace-clear"));
    EXPECT_EQ("", control.execute("trace"));
    EXPECT_EQ("export=none polarity=none period_ns=none duty_ns=\"6400\" run=\"0\\x00\"\n",
              control.execute("get backlight"));
    EXPECT_EQ("\"a\\\"b\\\\c\\n\\t\\x7f\\xff\"", BoardState::quote("a\"b\\c\n\t\x7f\xff"));

    const std::pair<const char*, const char*> cases[] = {
        {"ping\n", "pong\n"},
        {"bogus 1", "error: unknown command 'bogus 1' (try help)\n"},
        {"press now", "error: unknown command 'press now' (try help)\n"},
        {"set charge 5", "error: unknown attribute 'charge'\n"},
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
