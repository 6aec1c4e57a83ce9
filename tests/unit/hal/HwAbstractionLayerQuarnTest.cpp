#include "hal/HwAbstractionLayerQuarn.h"

#include "FakeDevices.h"
#include "hal/DeviceFile.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <functional>
#include <thread>

using hal::HwAbstractionLayerQuarn;
using hal::SysfsGpio;
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

// A value that is no integer reads as no value, without sticking.
TEST(HwAbstractionLayerQuarn, ValueThatIsNoIntegerIsNoValueAndToggleWritesTheOtherLevel) {
    GpioTree tree;
    HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(devices));
    for (const char* content : {"high\n", "", "1\n"}) {
        tree.write("gpio49/value", content);
        EXPECT_EQ(*content == '1' ? 1 : SysfsGpio::NO_VALUE, layer.getLed1()) << content;
    }
    tree.write("gpio143/value", "1\n");
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
    EXPECT_EQ(SysfsGpio::NO_VALUE, absent.getLed1());
    absent.setLed1(1);
    absent.toggleLed2();
    EXPECT_EQ(SysfsGpio::NO_VALUE, absent.getLed2());
    EXPECT_FALSE(QFile::exists(tree.filePath("absent")));
}

TEST(Melody, MissingDeviceGivesThreeErrorsAndStillTakesItsTime) {
    if (*QUARN_TESTS_EMULATOR) {
        GTEST_SKIP() << "qemu-user answers an ioctl request it does not know with ENOSYS before it "
                        "looks at the descriptor, where the kernel gives EBADF";
    }
    QTemporaryDir dir;
    testsupport::LogCapture log;
    Journal pauses;
    melody::Melody buzzer(
        std::make_unique<hal::DeviceFile>(), dir.filePath("mldalm").toStdString(),
        [&](std::chrono::microseconds pause) { pauses.push_back(std::to_string(pause.count())); });
    buzzer.melodyPlay(2000, 30);
    // Every request fails on the descriptor that could not be opened (EBADF).
    const std::string failed = " cannot be sent -> ERRNO : 9";
    EXPECT_EQ((Journal{"Melody type" + failed, "Melody START" + failed, "Melody STOP" + failed,
                       "Melody type" + failed, "Melody START" + failed, "Melody STOP" + failed}),
              log.messages("spi_logger"));
    EXPECT_EQ(log4cplus::ERROR_LOG_LEVEL, log.events().at(5).level);
    EXPECT_EQ(Journal{"30000"}, pauses);
}

TEST(SysfsGpio, DestructionAndCloseUnexportAndTheNextAccessExportsAgain) {
    GpioTree tree;
    {
        SysfsGpio line(49, true, false, tree.root());
        line.setValue(1);
    }
    // One write at the first access, one at destruction, through the same stream.
    EXPECT_EQ("4949", tree.read("unexport"));

    GpioTree other;
    SysfsGpio line(143, true, false, other.root());
    line.setValue(1);
    line.close();
    EXPECT_EQ("143143", other.read("unexport"));
    line.setValue(0);
    EXPECT_EQ("143143", other.read("export"));
    EXPECT_EQ("0", other.read("gpio143/value"));
}

// Waits that cannot work fail at once and leave the edge alone; a regular file never reports
// POLLPRI, so a wait on it runs into its time-out after setting the edge.
TEST(SysfsGpio, WaitForEdgeFailsAtOnceWhenNoWaitIsPossibleAndOtherwiseTimesOut) {
    GpioTree tree;
    tree.write("gpio49/edge", "untouched");
    tree.write("gpio2/edge", "untouched");
    tree.write("gpio2/value", "1\n");
    SysfsGpio output(49, true, false, tree.root());
    SysfsGpio input(2, false, true, tree.root());
    // A wait with a one-second time-out on a plain file would time out rather than fail.
    for (SysfsGpio::GpioEdge edge : {SysfsGpio::Falling, SysfsGpio::Both}) {
        EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, output.waitForEdge(edge, 1));
    }
    for (int edge : {int{SysfsGpio::None}, 7}) {
        EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED,
                  input.waitForEdge(static_cast<SysfsGpio::GpioEdge>(edge), 1));
    }
    EXPECT_EQ("untouched", tree.read("gpio49/edge"));
    EXPECT_EQ("untouched", tree.read("gpio2/edge"));

    // A signal handled during the wait does not end it: ppoll fails with EINTR whatever
    // SA_RESTART says, and an edge in the time left must still be seen.
    struct sigaction handled {};
    struct sigaction before {};
    handled.sa_handler = [](int) {};
    ASSERT_EQ(0, ::sigaction(SIGUSR1, &handled, &before));
    std::thread signaller([waiter = ::pthread_self()] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ::pthread_kill(waiter, SIGUSR1);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SysfsGpio::EDGE_TIMED_OUT, input.waitForEdge(SysfsGpio::Falling, 1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(950));
    signaller.join();
    ::sigaction(SIGUSR1, &before, nullptr);
    EXPECT_EQ("falling", tree.read("gpio2/edge"));
    EXPECT_EQ("1\n", tree.read("gpio2/value"));
}

// A line whose files do not appear after the export is never marked open: each access exports
// again, also through an export file that was missing at first.
TEST(SysfsGpio, LineThatWasNotExportedIsExportedAgainAtTheNextAccess) {
    GpioTree tree;
    ASSERT_TRUE(QFile::remove(tree.filePath("export")));
    ASSERT_TRUE(QFile::remove(tree.filePath("gpio2/value")));
    SysfsGpio input(2, false, true, tree.root());
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, input.waitForEdge(SysfsGpio::Falling, 10000));
    tree.write("export", "");
    EXPECT_EQ(SysfsGpio::NO_VALUE, input.getValue());
    EXPECT_EQ("", tree.read("gpio2/edge"));
    tree.write("gpio2/value", "0\n");
    EXPECT_EQ(0, input.getValue());
    EXPECT_EQ(0, input.getValue());
    EXPECT_EQ("22", tree.read("export"));
    EXPECT_EQ("in", tree.read("gpio2/direction"));
}

} // namespace
