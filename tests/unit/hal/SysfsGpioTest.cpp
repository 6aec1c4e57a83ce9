#include "hal/SysfsGpio.h"

#include "FakeDevices.h"

#include <gtest/gtest.h>

#include <chrono>

using hal::SysfsGpio;
using halTest::GpioTree;

namespace {

TEST(SysfsGpio, ValueThatIsNoIntegerReadsAsNoValueWithoutSticking) {
    GpioTree tree;
    SysfsGpio line(49, true, false, tree.root());
    for (const char* content : {"high\n", "", "1\n"}) {
        tree.write("gpio49/value", content);
        EXPECT_EQ(*content == '1' ? 1 : SysfsGpio::NO_VALUE, line.getValue()) << content;
    }
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

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(SysfsGpio::EDGE_TIMED_OUT, input.waitForEdge(SysfsGpio::Falling, 1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(950));
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
