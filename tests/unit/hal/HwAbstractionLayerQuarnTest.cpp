#include "hal/HwAbstractionLayerQuarn.h"

#include "GpioTree.h"

#include <gtest/gtest.h>

#include <chrono>

using hal::HwAbstractionLayerQuarn;
using halTest::GpioTree;

namespace {

const char* const LINE_FILES[] = {"direction", "active_low", "edge", "value"};

TEST(HwAbstractionLayerQuarn, ConstructionWritesNothingToTheGpioTree) {
    GpioTree tree;
    HwAbstractionLayerQuarn layer(tree.root());
    EXPECT_EQ("", tree.readFile("export"));
    EXPECT_EQ("", tree.readFile("unexport"));
    for (int number : {2, 48, 51, 49, 143}) {
        for (const char* file : LINE_FILES) {
            EXPECT_EQ("", tree.readFile("gpio" + std::to_string(number) + "/" + file))
                << number << " " << file;
        }
    }
}

TEST(HwAbstractionLayerQuarn, FirstAccessExportsAndConfiguresOnlyThatLine) {
    GpioTree tree;
    tree.writeFile("gpio49/value", "1\n");
    HwAbstractionLayerQuarn layer(tree.root());

    EXPECT_EQ(1, layer.getLed1());
    EXPECT_EQ("49", tree.readFile("unexport"));
    EXPECT_EQ("49", tree.readFile("export"));
    EXPECT_EQ("0", tree.readFile("gpio49/active_low"));
    EXPECT_EQ("out", tree.readFile("gpio49/direction"));
    EXPECT_EQ("1\n", tree.readFile("gpio49/value"));
    EXPECT_EQ("", tree.readFile("gpio143/direction"));
    EXPECT_EQ("", tree.readFile("gpio2/direction"));

    // A second access of any kind leaves the configuration files alone.
    for (const char* file : {"export", "unexport", "gpio49/active_low", "gpio49/direction"}) {
        tree.writeFile(file, "x");
    }
    EXPECT_EQ(1, layer.getLed1());
    layer.setLed1(0);
    layer.toggleLed1();
    for (const char* file : {"export", "unexport", "gpio49/active_low", "gpio49/direction"}) {
        EXPECT_EQ("x", tree.readFile(file)) << file;
    }
}

TEST(HwAbstractionLayerQuarn, PowerButtonIsAnActiveLowInput) {
    GpioTree tree;
    tree.writeFile("gpio2/value", "0\n");
    HwAbstractionLayerQuarn layer(tree.root());
    EXPECT_EQ(0, layer.getPowerButton());
    EXPECT_EQ("2", tree.readFile("unexport"));
    EXPECT_EQ("2", tree.readFile("export"));
    EXPECT_EQ("1", tree.readFile("gpio2/active_low"));
    EXPECT_EQ("in", tree.readFile("gpio2/direction"));
}

TEST(HwAbstractionLayerQuarn, OutputLinesUseTheirOwnNumbers) {
    GpioTree tree;
    HwAbstractionLayerQuarn layer(tree.root());
    layer.setDspRunLine(1);
    EXPECT_EQ("48", tree.readFile("export"));
    EXPECT_EQ("1", tree.readFile("gpio48/value"));
    EXPECT_EQ(1, layer.getDspRunLine());
    layer.setSpareLine(1);
    EXPECT_EQ("1", tree.readFile("gpio51/value"));
    EXPECT_EQ("out", tree.readFile("gpio51/direction"));
    layer.setLed2(1);
    EXPECT_EQ("1", tree.readFile("gpio143/value"));
    EXPECT_EQ("out", tree.readFile("gpio143/direction"));
}

TEST(HwAbstractionLayerQuarn, ToggleWritesTheOtherLevelAndTheNextReadSeesIt) {
    GpioTree tree;
    tree.writeFile("gpio143/value", "1\n");
    HwAbstractionLayerQuarn layer(tree.root());

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

TEST(HwAbstractionLayerQuarn, WaitForPowerButtonFailsAtOnceWithoutValueFile) {
    GpioTree tree;
    tree.remove("gpio2/value");
    HwAbstractionLayerQuarn layer(tree.root());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(layer.waitForPowerButton(10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ("falling", tree.readFile("gpio2/edge"));
}

TEST(HwAbstractionLayerQuarn, MissingGpioTreeGivesNoValueAndNoCrash) {
    GpioTree tree;
    HwAbstractionLayerQuarn layer(tree.root() + "/absent");
    EXPECT_EQ(hal::SysfsGpio::NO_VALUE, layer.getLed1());
    layer.setLed1(1);
    layer.toggleLed2();
    EXPECT_EQ(hal::SysfsGpio::NO_VALUE, layer.getLed2());
    EXPECT_FALSE(layer.waitForPowerButton(10000));
    EXPECT_FALSE(tree.exists("absent"));
}

} // namespace
