#include "hal/HwAbstractionLayerQuarn.h"

#include "FakeDevices.h"
#include "GpioTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

using hal::HwAbstractionLayerQuarn;
using halTest::GpioTree;

namespace {

halTest::Journal devices;

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
        GpioTree tree;
        const std::string line = "gpio" + c.number + "/";
        tree.writeFile(line + "value", "0\n");
        HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(devices));
        EXPECT_EQ("", tree.readFile("export")) << "construction writes nothing";
        c.access(layer);
        EXPECT_EQ(c.number, tree.readFile("unexport"));
        EXPECT_EQ(c.number, tree.readFile("export"));
        EXPECT_EQ(c.activeLow, tree.readFile(line + "active_low")) << c.number;
        EXPECT_EQ(c.direction, tree.readFile(line + "direction")) << c.number;
        const std::string other = c.number == "49" ? "gpio2/" : "gpio49/";
        EXPECT_EQ("", tree.readFile(other + "direction")) << c.number;

        const std::string configuration[] = {"export", "unexport", line + "active_low",
                                             line + "direction"};
        for (const std::string& file : configuration) {
            tree.writeFile(file, "x");
        }
        c.access(layer);
        for (const std::string& file : configuration) {
            EXPECT_EQ("x", tree.readFile(file)) << file;
        }
    }
}

TEST(HwAbstractionLayerQuarn, ToggleWritesTheOtherLevelAndTheNextReadSeesIt) {
    GpioTree tree;
    tree.writeFile("gpio143/value", "1\n");
    HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(devices));
    layer.toggleLed2();
    EXPECT_EQ("0\n", tree.readFile("gpio143/value"));
    EXPECT_EQ(0, layer.getLed2());
    layer.toggleLed2();
    EXPECT_EQ("1\n", tree.readFile("gpio143/value"));
    EXPECT_EQ(1, layer.getLed2());

    // The LED pattern that copies LED 1 to LED 2 right after toggling LED 1.
    tree.writeFile("gpio49/value", "0\n");
    layer.toggleLed1();
    layer.setLed2(layer.getLed1());
    EXPECT_EQ("1\n", tree.readFile("gpio49/value"));
    EXPECT_EQ(1, layer.getLed2());
}

TEST(HwAbstractionLayerQuarn, FailedWaitsAndAMissingTreeGiveFalseAtOnce) {
    GpioTree tree;
    ASSERT_TRUE(QFile::remove(tree.path("gpio2/value")));
    HwAbstractionLayerQuarn layer(tree.root(), halTest::recordingDevices(devices));
    HwAbstractionLayerQuarn absent(tree.root() + "/absent", halTest::recordingDevices(devices));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(layer.waitForPowerButton(10000));
    EXPECT_EQ("", tree.readFile("gpio2/edge")) << "a line without its value file is not open";

    EXPECT_FALSE(absent.waitForPowerButton(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(hal::SysfsGpio::NO_VALUE, absent.getLed1());
    absent.setLed1(1);
    absent.toggleLed2();
    EXPECT_EQ(hal::SysfsGpio::NO_VALUE, absent.getLed2());
    EXPECT_FALSE(QFile::exists(tree.path("absent")));
}

} // namespace
