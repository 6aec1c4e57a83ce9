#include "boardsim/BoardState.h"
#include "boardsim/ControlInterpreter.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <poll.h>

namespace {

using boardsim::BoardState;
using boardsim::ControlInterpreter;

const std::int64_t START = 1700000000123456; // microseconds since the epoch

class BoardStateTest : public ::testing::Test {
protected:
    BoardStateTest()
        : board("/sys/class", [this] { return now; })
        , control(board) {}

    // Whole content of a file, or "<errno N>" when it cannot be opened or read.
    std::string readFile(const std::string& path) {
        const std::int64_t handle = board.open(path, true, false);
        if (handle < 0)
            return "<errno " + std::to_string(-handle) + ">";
        std::string content;
        const int result = board.read(handle, content);
        board.close(handle);
        return result < 0 ? "<errno " + std::to_string(-result) + ">" : content;
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

    // Exports the button line the way the daemon configures it.
    void exportButton(const std::string& edge = "falling") {
        ASSERT_EQ(0, writeFile("/gpio/export", "2"));
        ASSERT_EQ(0, writeFile("/gpio/gpio2/active_low", "1"));
        ASSERT_EQ(0, writeFile("/gpio/gpio2/direction", "in"));
        ASSERT_EQ(0, writeFile("/gpio/gpio2/edge", edge));
    }

    std::int64_t now = START;
    BoardState board;
    ControlInterpreter control;
};

TEST_F(BoardStateTest, BatteryAttributesReadAsSysfsTextsAndFollowTheControls) {
    EXPECT_EQ("1\n", readFile("/power_supply/bq27425-0/present"));
    EXPECT_EQ("Charging\n", readFile("/power_supply/bq27425-0/status"));
    EXPECT_EQ("500000\n", readFile("/power_supply/bq27425-0/current_now"));
    EXPECT_EQ((std::vector<std::string>{"present", "status", "capacity", "type", "current_now",
                                        "voltage_now", "temp"}),
              board.list("/power_supply/bq27425-0"));

    EXPECT_EQ("", control.execute("external-power off"));
    EXPECT_EQ("Discharging\n", readFile("/power_supply/bq27425-0/status"));
    EXPECT_EQ("-300000\n", readFile("/power_supply/bq27425-0/current_now"));

    // Values are texts: blanks and garbage arrive unchanged, an empty value reads "\n".
    EXPECT_EQ("", control.execute("set status Charging "));
    EXPECT_EQ("Charging \n", readFile("/power_supply/bq27425-0/status"));
    EXPECT_EQ("", control.execute("set capacity abc"));
    EXPECT_EQ("abc\n", readFile("/power_supply/bq27425-0/capacity"));
    EXPECT_EQ("", control.execute("set capacity"));
    EXPECT_EQ("\n", readFile("/power_supply/bq27425-0/capacity"));

    EXPECT_EQ("", control.execute("unset temp"));
    EXPECT_EQ("<errno " + std::to_string(ENOENT) + ">", readFile("/power_supply/bq27425-0/temp"));
    EXPECT_EQ(6u, board.list("/power_supply/bq27425-0").size());
    EXPECT_EQ("", control.execute("set temp -15"));
    EXPECT_EQ("-15\n", readFile("/power_supply/bq27425-0/temp"));

    EXPECT_EQ(EACCES, writeFile("/power_supply/bq27425-0/capacity", "5"));
    EXPECT_EQ(-EACCES, board.truncate("/power_supply/bq27425-0/capacity"));
    EXPECT_EQ("error: unknown attribute 'charge'\n", control.execute("set charge 5"));
}

TEST_F(BoardStateTest, AbsentGaugeRemovesTheDirectoryAndStalesOpenFiles) {
    const std::int64_t open = board.open("/power_supply/bq27425-0/capacity", true, false);
    ASSERT_GT(open, 0);
    EXPECT_EQ("", control.execute("gauge absent"));
    EXPECT_EQ(BoardState::NodeKind::Missing, board.lookup("/power_supply/bq27425-0").kind);
    EXPECT_TRUE(board.list("/power_supply").empty());
    EXPECT_EQ("<errno " + std::to_string(ENOENT) + ">",
              readFile("/power_supply/bq27425-0/present"));
    std::string content;
    EXPECT_EQ(-ENODEV, board.read(open, content));
    EXPECT_EQ("gauge absent\n", control.execute("get battery"));

    // The gauge comes back with its values, but a file opened before stays dead.
    EXPECT_EQ("", control.execute("gauge present"));
    EXPECT_EQ("80\n", readFile("/power_supply/bq27425-0/capacity"));
    EXPECT_EQ(-ENODEV, board.read(open, content));
    board.close(open);
}

TEST_F(BoardStateTest, ExportAndUnexportFollowTheKernelsErrors) {
    EXPECT_EQ(BoardState::NodeKind::Missing, board.lookup("/gpio/gpio2").kind);
    EXPECT_EQ(EINVAL, writeFile("/gpio/unexport", "2"));
    EXPECT_EQ(0, writeFile("/gpio/export", "2"));
    EXPECT_EQ(BoardState::NodeKind::Directory, board.lookup("/gpio/gpio2").kind);
    EXPECT_EQ((std::vector<std::string>{"active_low", "direction", "edge", "value"}),
              board.list("/gpio/gpio2"));
    EXPECT_EQ((std::vector<std::string>{"export", "unexport", "gpio2"}), board.list("/gpio"));
    EXPECT_EQ(EBUSY, writeFile("/gpio/export", "2\n"));
    EXPECT_EQ(EBUSY, writeFile("/gpio/export", "0x2")); // kstrtol with base 0

    for (const char* bad : {"", "abc", " 2", "2 ", "2\n\n", "-1", "256"})
        EXPECT_EQ(EINVAL, writeFile("/gpio/export", bad)) << BoardState::quote(bad);
    EXPECT_EQ(EINVAL, writeFile("/gpio/export", std::string("3\0", 2)));

    // Write-only files refuse readers even though the caller may be root.
    EXPECT_EQ("<errno " + std::to_string(EACCES) + ">", readFile("/gpio/export"));
    EXPECT_EQ(0, board.truncate("/gpio/export"));

    // Only the kernel's own spelling of the directory exists.
    EXPECT_EQ(BoardState::NodeKind::Missing, board.lookup("/gpio/gpio02").kind);
    EXPECT_EQ(BoardState::NodeKind::Missing, board.lookup("/gpio//gpio2").kind);

    const std::int64_t value = board.open("/gpio/gpio2/value", true, false);
    EXPECT_EQ(0, writeFile("/gpio/unexport", "2"));
    EXPECT_EQ(BoardState::NodeKind::Missing, board.lookup("/gpio/gpio2/value").kind);
    EXPECT_EQ(0, writeFile("/gpio/export", "2"));
    std::string content;
    EXPECT_EQ(-ENODEV, board.read(value, content)) << "a handle from before the unexport";
    board.close(value);
}

TEST_F(BoardStateTest, LineAttributesApplyDirectionAndActiveLow) {
    ASSERT_EQ(0, writeFile("/gpio/export", "49"));
    EXPECT_EQ("in\n", readFile("/gpio/gpio49/direction"));
    EXPECT_EQ("0\n", readFile("/gpio/gpio49/active_low"));
    EXPECT_EQ("none\n", readFile("/gpio/gpio49/edge"));
    EXPECT_EQ(EPERM, writeFile("/gpio/gpio49/value", "1"));
    EXPECT_EQ(EPERM, writeFile("/gpio/gpio49/value", "garbage")) << "input is checked first";

    EXPECT_EQ(0, writeFile("/gpio/gpio49/direction", "out"));
    EXPECT_EQ("out\n", readFile("/gpio/gpio49/direction"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/value", "1"));
    EXPECT_EQ("1\n", readFile("/gpio/gpio49/value"));
    EXPECT_EQ(EINVAL, writeFile("/gpio/gpio49/value", "on"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/value", "7")) << "any non-zero number sets the line";

    // active_low inverts what is read and what is written; the level on the wire stays.
    EXPECT_EQ(0, writeFile("/gpio/gpio49/active_low", "1"));
    EXPECT_EQ("0\n", readFile("/gpio/gpio49/value"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/value", "1"));
    EXPECT_EQ("exported=1 direction=out active_low=1 edge=none level=0 value=1 events=0\n",
              control.execute("info gpio 49"));

    // "out" drives low, "high" drives high; other words are refused.
    EXPECT_EQ(0, writeFile("/gpio/gpio49/active_low", "0"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/direction", "high"));
    EXPECT_EQ("1\n", control.execute("get gpio 49"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/direction", "out\n"));
    EXPECT_EQ("0\n", control.execute("get gpio 49"));
    EXPECT_EQ(EINVAL, writeFile("/gpio/gpio49/direction", "output"));

    // An output cannot raise interrupts, and an interrupt line cannot become an output.
    EXPECT_EQ(EIO, writeFile("/gpio/gpio49/edge", "rising"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/edge", "none"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/direction", "in"));
    EXPECT_EQ(0, writeFile("/gpio/gpio49/edge", "both"));
    EXPECT_EQ(EIO, writeFile("/gpio/gpio49/direction", "out"));
    EXPECT_EQ(EINVAL, writeFile("/gpio/gpio49/edge", "Falling"));

    // Unexport drops polarity and edge but keeps the hardware direction.
    EXPECT_EQ(0, writeFile("/gpio/gpio49/active_low", "1"));
    EXPECT_EQ(0, writeFile("/gpio/unexport", "49"));
    EXPECT_EQ(0, writeFile("/gpio/export", "49"));
    EXPECT_EQ("0\n", readFile("/gpio/gpio49/active_low"));
    EXPECT_EQ("none\n", readFile("/gpio/gpio49/edge"));
    EXPECT_EQ("in\n", readFile("/gpio/gpio49/direction"));
}

TEST_F(BoardStateTest, ButtonPressIsAFallingEdgeOfTheActiveLowValueAndAReadConsumesIt) {
    exportButton();
    const std::int64_t waiter = board.open("/gpio/gpio2/value", true, false);
    std::string content;
    ASSERT_EQ(0, board.read(waiter, content));
    EXPECT_EQ("1\n", content) << "released, read with active_low 1";
    const unsigned idle = POLLIN | POLLRDNORM | POLLOUT | POLLWRNORM;
    EXPECT_EQ(idle, board.poll(waiter));

    EXPECT_EQ("", control.execute("press"));
    EXPECT_EQ(idle | POLLPRI | POLLERR, board.poll(waiter));
    EXPECT_TRUE(board.edgePending(waiter)) << "still pending until read";
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

    // An unexport wakes its pollers for good.
    ASSERT_EQ(0, board.read(waiter, content));
    ASSERT_EQ(0, writeFile("/gpio/unexport", "2"));
    EXPECT_TRUE(board.edgePending(waiter));
    board.close(waiter);
    board.close(later);
}

TEST_F(BoardStateTest, EdgeSettingSelectsWhichChangesWake) {
    exportButton("none");
    const std::int64_t waiter = board.open("/gpio/gpio2/value", true, false);
    control.execute("press");
    control.execute("release");
    EXPECT_FALSE(board.edgePending(waiter)) << "edge none";

    ASSERT_EQ(0, writeFile("/gpio/gpio2/edge", "rising"));
    control.execute("press");
    EXPECT_FALSE(board.edgePending(waiter));
    control.execute("release");
    EXPECT_TRUE(board.edgePending(waiter));

    std::string content;
    ASSERT_EQ(0, writeFile("/gpio/gpio2/edge", "both"));
    ASSERT_EQ(0, board.read(waiter, content));
    control.execute("press");
    EXPECT_TRUE(board.edgePending(waiter));
    ASSERT_EQ(0, board.read(waiter, content));
    control.execute("release");
    EXPECT_TRUE(board.edgePending(waiter));

    // Flipping active_low changes what is read but is no edge; without it a press reads 1.
    ASSERT_EQ(0, board.read(waiter, content));
    ASSERT_EQ(0, writeFile("/gpio/gpio2/active_low", "0"));
    EXPECT_FALSE(board.edgePending(waiter));
    control.execute("press");
    EXPECT_EQ("1\n", readFile("/gpio/gpio2/value"));

    // Other input lines follow "drive".
    ASSERT_EQ(0, writeFile("/gpio/export", "51"));
    ASSERT_EQ(0, writeFile("/gpio/gpio51/edge", "rising"));
    const std::int64_t spare = board.open("/gpio/gpio51/value", true, false);
    EXPECT_EQ("", control.execute("drive 51 1"));
    EXPECT_TRUE(board.edgePending(spare));
    EXPECT_EQ("error: drive <gpio 0..255> 0|1\n", control.execute("drive 51 2"));
    board.close(spare);
    board.close(waiter);
}

TEST_F(BoardStateTest, ClickReleasesWhenTheClockReachesTheHoldTime) {
    exportButton();
    EXPECT_EQ("", control.execute("click 120"));
    EXPECT_EQ("0\n", control.execute("get gpio 2"));
    now += 119999;
    board.advance();
    EXPECT_EQ("0\n", control.execute("get gpio 2"));
    now += 1;
    board.advance();
    EXPECT_EQ("1\n", control.execute("get gpio 2"));

    // A release before the hold time cancels the pending one; the next press holds.
    control.execute("click");
    control.execute("release");
    control.execute("press");
    now += 500000;
    board.advance();
    EXPECT_EQ("0\n", control.execute("get gpio 2"));
    EXPECT_EQ("error: click [1..60000 ms]\n", control.execute("click 0"));
}

TEST_F(BoardStateTest, DischargeLowersCapacityByTheClock) {
    control.execute("set capacity 20");
    EXPECT_EQ("", control.execute("discharge 60")); // one percent per second
    now += 500000;
    board.advance();
    EXPECT_EQ("20\n", readFile("/power_supply/bq27425-0/capacity"));
    now += 500000;
    board.advance();
    EXPECT_EQ("19\n", readFile("/power_supply/bq27425-0/capacity"));
    now += 30000000;
    board.advance();
    EXPECT_EQ("0\n", readFile("/power_supply/bq27425-0/capacity")) << "never below 0";

    // A new value restarts the model from there; discharge 0 stops it.
    control.execute("set capacity 50");
    now += 2000000;
    EXPECT_NE(std::string::npos, control.execute("get battery").find("capacity=\"48\"\n"));
    control.execute("discharge 0");
    now += 60000000;
    board.advance();
    EXPECT_EQ("48\n", readFile("/power_supply/bq27425-0/capacity"));
    EXPECT_EQ("error: discharge <percent per minute, 0 stops>\n", control.execute("discharge -1"));
}

TEST_F(BoardStateTest, PwmFilesKeepTheExactBytesWritten) {
    const std::string run = "/pwm/tmpa9xx-pwm:1/run";
    EXPECT_EQ("export=none polarity=none period_ns=none duty_ns=none run=none\n",
              control.execute("get backlight"));
    EXPECT_EQ(0, writeFile("/pwm/tmpa9xx-pwm:1/export", std::string("1\0", 2)));
    EXPECT_EQ(0, writeFile("/pwm/tmpa9xx-pwm:1/duty_ns", "6400"));
    EXPECT_EQ(0, writeFile(run, std::string("0\0", 2)));
    EXPECT_EQ("0\n", readFile(run)) << "read back without the NUL";
    EXPECT_EQ("6400\n", readFile("/pwm/tmpa9xx-pwm:1/duty_ns"));
    EXPECT_EQ("<errno " + std::to_string(EACCES) + ">", readFile("/pwm/tmpa9xx-pwm:1/export"));
    EXPECT_EQ("export=\"1\\x00\" polarity=none period_ns=none duty_ns=\"6400\" run=\"0\\x00\"\n",
              control.execute("get backlight"));
}

TEST_F(BoardStateTest, TraceRecordsEveryWriteInOrderWithItsResult) {
    writeFile("/gpio/export", "143");
    now += 250;
    writeFile("/gpio/gpio143/direction", "out");
    now = START + 1000000;
    writeFile("/gpio/export", "143");
    writeFile("/pwm/tmpa9xx-pwm:1/run", std::string("1\0", 2));
    writeFile("/power_supply/bq27425-0/status", "x"); // refused at open: never a write

    EXPECT_EQ("1700000000.123456 /sys/class/gpio/export \"143\" ok\n"
              "1700000000.123706 /sys/class/gpio/gpio143/direction \"out\" ok\n"
              "1700000001.123456 /sys/class/gpio/export \"143\" EBUSY\n"
              "1700000001.123456 /sys/class/pwm/tmpa9xx-pwm:1/run \"1\\x00\" ok\n",
              control.execute("trace"));
    EXPECT_EQ("", control.execute("trace-clear"));
    EXPECT_EQ("", control.execute("trace"));
    EXPECT_EQ("\"a\\\"b\\\\c\\n\\t\\x7f\\xff\"", BoardState::quote("a\"b\\c\n\t\x7f\xff"));
}

TEST_F(BoardStateTest, ControlRepliesAndRefusals) {
    EXPECT_EQ("pong\n", control.execute("ping\n"));
    EXPECT_EQ("led1=0 led2=0\n", control.execute("get led"));
    EXPECT_EQ("error: unknown command 'bogus 1' (try help)\n", control.execute("bogus 1"));
    EXPECT_EQ("error: gauge absent|present\n", control.execute("gauge gone"));
    EXPECT_EQ("error: external-power on|off\n", control.execute("external-power"));
    EXPECT_EQ("error: get gpio <0..255>\n", control.execute("get gpio 256"));
    EXPECT_EQ("error: get gpio <0..255>\n", control.execute("get gpio x"));
    EXPECT_EQ("error: info gpio <n>\n", control.execute("info gpio"));
    EXPECT_EQ("error: get led takes no argument\n", control.execute("get led 1"));
    EXPECT_EQ("error: unknown command 'press now' (try help)\n", control.execute("press now"));
    EXPECT_NE(std::string::npos, control.execute("help").find("external-power on|off"));
    EXPECT_EQ("present=\"1\"\nstatus=\"Charging\"\ncapacity=\"80\"\ntype=\"Battery\"\n"
              "current_now=\"500000\"\nvoltage_now=\"4000000\"\ntemp=\"250\"\n",
              control.execute("get battery"));
    control.execute("unset type");
    EXPECT_NE(std::string::npos, control.execute("get battery").find("type absent\n"));
}

} // namespace
