#include "hal/SysfsGpio.h"

#include "GpioTree.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>

using hal::SysfsGpio;
using halTest::GpioTree;

namespace {

TEST(SysfsGpio, ValueThatIsNoIntegerReadsAsNoValue) {
    GpioTree tree;
    SysfsGpio line(49, true, false, tree.root());
    tree.writeFile("gpio49/value", "high\n");
    EXPECT_EQ(SysfsGpio::NO_VALUE, line.getValue());
    tree.writeFile("gpio49/value", "");
    EXPECT_EQ(SysfsGpio::NO_VALUE, line.getValue());
    // A failed read does not stick to the stream.
    tree.writeFile("gpio49/value", "1\n");
    EXPECT_EQ(1, line.getValue());

    tree.remove("gpio143/value");
    SysfsGpio missing(143, true, false, tree.root());
    EXPECT_EQ(SysfsGpio::NO_VALUE, missing.getValue());
    missing.toggleValue();
    EXPECT_FALSE(tree.exists("gpio143/value"));
}

TEST(SysfsGpio, DestructionUnexportsTheLine) {
    GpioTree tree;
    {
        SysfsGpio line(49, true, false, tree.root());
        line.setValue(1);
    }
    // One write at the first access, one at destruction, through the same stream.
    EXPECT_EQ("4949", tree.readFile("unexport"));
    EXPECT_EQ("49", tree.readFile("export"));

    tree.writeFile("unexport", "");
    { SysfsGpio unused(51, true, false, tree.root()); }
    EXPECT_EQ("51", tree.readFile("unexport"));
}

TEST(SysfsGpio, CloseUnexportsAndTheNextAccessExportsAgain) {
    GpioTree tree;
    SysfsGpio line(143, true, false, tree.root());
    line.setValue(1);
    line.close();
    EXPECT_EQ("143143", tree.readFile("unexport"));
    line.setValue(0);
    EXPECT_EQ("143143", tree.readFile("export"));
    EXPECT_EQ("0", tree.readFile("gpio143/value"));
}

TEST(SysfsGpio, WaitForEdgeRefusesOutputLinesAndEdgeNone) {
    GpioTree tree;
    tree.writeFile("gpio49/edge", "untouched");
    tree.writeFile("gpio2/edge", "untouched");
    SysfsGpio output(49, true, false, tree.root());
    SysfsGpio input(2, false, true, tree.root());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, output.waitForEdge(SysfsGpio::Falling, 10000));
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, output.waitForEdge(SysfsGpio::Both, 10000));
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, input.waitForEdge(SysfsGpio::None, 10000));
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED,
              input.waitForEdge(static_cast<SysfsGpio::GpioEdge>(7), 10000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ("untouched", tree.readFile("gpio49/edge"));
    EXPECT_EQ("untouched", tree.readFile("gpio2/edge"));
}

TEST(SysfsGpio, WaitForEdgeWritesTheEdgeWordEvenWhenTheValueCannotBeOpened) {
    GpioTree tree;
    tree.remove("gpio2/value");
    SysfsGpio input(2, false, true, tree.root());
    const struct {
        SysfsGpio::GpioEdge edge;
        const char* word;
    } cases[] = {
        {SysfsGpio::Rising, "rising"}, {SysfsGpio::Falling, "falling"}, {SysfsGpio::Both, "both"}};
    for (const auto& c : cases) {
        EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, input.waitForEdge(c.edge, 10000));
        EXPECT_EQ(c.word, tree.readFile("gpio2/edge"));
    }
}

// A regular file never reports POLLPRI, so the wait runs into its time-out.
TEST(SysfsGpio, WaitForEdgeOnAPlainFileTimesOut) {
    GpioTree tree;
    tree.writeFile("gpio2/value", "1\n");
    SysfsGpio input(2, false, true, tree.root());
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SysfsGpio::EDGE_TIMED_OUT, input.waitForEdge(SysfsGpio::Falling, 1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(950));
    EXPECT_EQ("falling", tree.readFile("gpio2/edge"));
    EXPECT_EQ("1\n", tree.readFile("gpio2/value"));
}

} // namespace
