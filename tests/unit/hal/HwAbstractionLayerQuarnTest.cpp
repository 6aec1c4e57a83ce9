#include "hal/HwAbstractionLayerQuarn.h"

#include "FakeDevices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>

using hal::HwAbstractionLayerQuarn;
using halTest::GpioTree;
using halTest::Journal;

namespace {

Journal devices;

// The DSP flash's SPI bus is opened from SPI_BUS_DEVICE and set to mode 0, 8 bits per word and
// 10 MHz (80 96 98 00), each written and read back. Each sound of the buzzer opens it, sets type
// 2000 (record 01 00 00 00 D0 07 00 00), starts (1), pauses, stops (0) and closes; the start-up
// tone has no pause. Both devices are closed with the layer.
TEST(HwAbstractionLayerQuarn, DevicesAreSetUpAtConstructionAndEachSoundIsOneSequence) {
    GpioTree tree;
    Journal journal;
    setenv("SPI_BUS_DEVICE", "/dev/spidev1.1", 1);
    {
        HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(journal));
        layer.playClick();
        layer.playDoubleBeep();
        layer.playLongBeep();
    }
    unsetenv("SPI_BUS_DEVICE");
    EXPECT_EQ("/dev/spidev0.0", dsp_flash::DspFlash::spiBusDevicePath());
    Journal expected = {"open /dev/spidev1.1",    "ioctl 40016b01 00", "ioctl 80016b01 00",
                        "ioctl 40016b03 08",      "ioctl 80016b03 08", "ioctl 40046b04 80969800",
                        "ioctl 80046b04 80969800"};
    const auto sound = [&expected](const Journal& pause) {
        expected.insert(expected.end(), {"open /dev/mldalm", "ioctl 40086d00 01000000d0070000",
                                         "ioctl 40016d01 01"});
        expected.insert(expected.end(), pause.begin(), pause.end());
        expected.insert(expected.end(), {"ioctl 40016d01 00", "close"});
    };
    sound({}); // the start-up tone
    sound({"pause 30000"});
    sound({"pause 76000"});
    expected.push_back("pause 38000"); // between the two beeps of the double beep
    sound({"pause 76000"});
    sound({"pause 500000"});
    expected.insert(expected.end(), {"close", "close"});
    EXPECT_EQ(expected, journal);
}

TEST(HwAbstractionLayerQuarn, FirstAccessExportsAndConfiguresOnlyThatLineAndLaterOnesNothing) {
    const struct {
        std::function<void(HwAbstractionLayerQuarn&)> access;
        std::string number, direction, activeLow;
    } cases[] = {
        {[](HwAbstractionLayerQuarn& l) { EXPECT_EQ(0, l.getPowerButton()); }, "2", "in", "1"},
        {[](HwAbstractionLayerQuarn& l) { l.setDspRunLine(0); }, "48", "out", "0"},
        {[](HwAbstractionLayerQuarn& l) { l.setSpareLine(0); }, "51", "out", "0"},
        {[](HwAbstractionLayerQuarn& l) { EXPECT_EQ(0, l.getLed1()); }, "49", "out", "0"},
        {[](HwAbstractionLayerQuarn& l) { l.toggleLed2(); }, "143", "out", "0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        GpioTree tree;
        const std::string line = "gpio" + c.number + "/";
        tree.write(line + "value", "0\n");
        HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(devices));
        EXPECT_EQ("", tree.read("export")) << "construction writes nothing";
        c.access(layer);
        const std::string configuration[] = {"unexport", "export", line + "active_low",
                                             line + "direction"};
        const std::string expected[] = {c.number, c.number, c.activeLow, c.direction};
        for (int file = 0; file < 4; ++file) {
            EXPECT_EQ(expected[file], tree.read(configuration[file]));
            tree.write(configuration[file], "x");
        }
        EXPECT_EQ("", tree.read(c.number == "49" ? "gpio2/direction" : "gpio49/direction"));
        c.access(layer);
        for (const std::string& file : configuration) {
            EXPECT_EQ("x", tree.read(file)) << file;
        }
    }
}

TEST(HwAbstractionLayerQuarn, ToggleWritesTheOtherLevelAndTheNextReadSeesIt) {
    GpioTree tree;
    tree.write("gpio143/value", "1\n");
    HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(devices));
    for (const char* level : {"0\n", "1\n"}) {
        layer.toggleLed2();
        EXPECT_EQ(level, tree.read("gpio143/value"));
        EXPECT_EQ(level[0] - '0', layer.getLed2());
    }
    // The LED pattern that copies LED 1 to LED 2 right after toggling LED 1.
    tree.write("gpio49/value", "0\n");
    layer.toggleLed1();
    layer.setLed2(layer.getLed1());
    EXPECT_EQ("1\n", tree.read("gpio49/value"));
    EXPECT_EQ(1, layer.getLed2());
}

// Every access through a tree that is not there fails at once and creates nothing.
TEST(HwAbstractionLayerQuarn, AMissingTreeGivesFalseAndNoValueAtOnce) {
    GpioTree tree;
    HwAbstractionLayerQuarn absent(tree.root() + "/absent", halTest::recordingDevices(devices));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(absent.waitForPowerButton(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(hal::SysfsGpio::NO_VALUE, absent.getLed1());
    absent.setLed1(1);
    absent.toggleLed2();
    EXPECT_EQ(hal::SysfsGpio::NO_VALUE, absent.getLed2());
    EXPECT_FALSE(QFile::exists(tree.filePath("absent")));
}

} // namespace
