#include "hal/SysfsGpio.h"

#include "GpioTree.h"

#include <gtest/gtest.h>

#include <chrono>

using hal::SysfsGpio;
using halTest::GpioTree;

namespace {

TEST(SysfsGpio, ValueThatIsNoIntegerReadsAsNoValueWithoutSticking) {
    GpioTree tree;
    SysfsGpio line(49, true, false, tree.root());
    for (const char* content : {"high\n", ""}) {
        tree.writeFile("gpio49/value", content);
        EXPECT_EQ(SysfsGpio::NO_VALUE, line.getValue()) << content;
    }
    tree.writeFile("gpio49/value", "1\n");
    EXPECT_EQ(1, line.getValue());
}

TEST(SysfsGpio, DestructionAndCloseUnexportAndTheNextAccessExportsAgain) {
    GpioTree tree;
    {
        SysfsGpio line(49, true, false, tree.root());
        line.setValue(1);
    }
    // One write at the first access, one at destruction, through the same stream.
    EXPECT_EQ("4949", tree.readFile("unexport"));

    GpioTree other;
    SysfsGpio line(143, true, false, other.root());
    line.setValue(1);
    line.close();
    EXPECT_EQ("143143", other.readFile("unexport"));
    line.setValue(0);
    EXPECT_EQ("143143", other.readFile("export"));
    EXPECT_EQ("0", other.readFile("gpio143/value"));
}

TEST(SysfsGpio, WaitForEdgeFailsAtOnceWhenNoWaitIsPossible) {
    GpioTree tree;
    tree.writeFile("gpio49/edge", "untouched");
    tree.writeFile("gpio2/edge", "untouched");
    SysfsGpio output(49, true, false, tree.root());
    SysfsGpio input(2, false, true, tree.root());

    const auto start = std::chrono::steady_clock::now();
    for (SysfsGpio::GpioEdge edge : {SysfsGpio::Falling, SysfsGpio::Both}) {
        EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, output.waitForEdge(edge, 10000));
    }
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, input.waitForEdge(SysfsGpio::None, 10000));
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED,
              input.waitForEdge(static_cast<SysfsGpio::GpioEdge>(7), 10000));
    EXPECT_EQ("untouched", tree.readFile("gpio49/edge"));
    EXPECT_EQ("untouched", tree.readFile("gpio2/edge"));

    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

// A line whose files do not appear after the export is never marked open: each access exports
// again, also through an export file that was missing at first.
TEST(SysfsGpio, LineThatWasNotExportedIsExportedAgainAtTheNextAccess) {
    GpioTree tree;
    ASSERT_TRUE(QFile::remove(tree.path("export")));
    ASSERT_TRUE(QFile::remove(tree.path("gpio2/value")));
    SysfsGpio input(2, false, true, tree.root());
    EXPECT_EQ(SysfsGpio::EDGE_WAIT_FAILED, input.waitForEdge(SysfsGpio::Falling, 10000));
    tree.writeFile("export", "");
    EXPECT_EQ(SysfsGpio::NO_VALUE, input.getValue());
    EXPECT_EQ("", tree.readFile("gpio2/edge"));
    tree.writeFile("gpio2/value", "0\n");
    EXPECT_EQ(0, input.getValue());
    EXPECT_EQ(0, input.getValue());
    EXPECT_EQ("22", tree.readFile("export"));
    EXPECT_EQ("in", tree.readFile("gpio2/direction"));
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
