#include "FakeFileSystemCalls.h"

#include "storage/FileDataStorage.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <limits>

using storage::FileDataStorage;
using storagetest::StorageFixture;

namespace {

const char* const LOGGER = "file-data-storage_logger";
constexpr qint64 MIB = 1048576;
// The largest configuration file (1596 bytes) and the four metadata records (14704 bytes).
constexpr qint64 OVERHEAD = 1596 + 14704;

} // namespace

using FileDataStorageTest = StorageFixture;

TEST_F(FileDataStorageTest, RemountTargetsTheDataPartitionInPlace) {
    EXPECT_TRUE(FileDataStorage::remountDataPartition());
    ASSERT_EQ(fake->mounts.size(), 1u);
    EXPECT_EQ(fake->mounts[0].source, "ubi1:data");
    EXPECT_EQ(fake->mounts[0].target, baseDir.toStdString());
    EXPECT_EQ(fake->mounts[0].type, "ubifs");
    EXPECT_EQ(fake->mounts[0].flags, 0x208020ul);
    EXPECT_EQ(fake->mounts[0].data, nullptr);
}

TEST_F(FileDataStorageTest, RemountFailureIsAnError) {
    fake->mountFails = true;
    testsupport::LogCapture capture;
    EXPECT_FALSE(FileDataStorage::remountDataPartition());
    ASSERT_EQ(capture.events().size(), 1u);
    EXPECT_EQ(capture.events()[0].level, log4cplus::ERROR_LOG_LEVEL);
    EXPECT_EQ(capture.messages(LOGGER),
              std::vector<std::string>{"Failed to remount (synchronize) data dir."});
}

TEST_F(FileDataStorageTest, FreeSpaceLeavesRoomForTheLogFiles) {
    setPartition(1000000, 600000, 500000);
    addLogFile("pwr-manager.log", 1 * MIB);
    addLogFile("pwr-manager.log.1", 2 * MIB);
    quint64 used = 0;
    quint64 free = 0;
    testsupport::LogCapture capture;
    ASSERT_TRUE(FileDataStorage::getStorageInfo(used, free));
    EXPECT_EQ(used, 1638400000u);
    // 500000 blocks less the 7 MiB the logs may still take and the 2 MiB margin.
    EXPECT_EQ(free, 2048000000u - 9437184u);
    EXPECT_EQ(fake->mounts.size(), 1u);
    EXPECT_EQ(fake->statPaths, std::vector<std::string>{baseDir.toStdString()});
    EXPECT_TRUE(capture.messages().empty());
}

TEST_F(FileDataStorageTest, WithoutLogDirectoryTheWholeAllowanceIsKept) {
    setPartition(1000, 1000, 10000);
    fake->mountFails = true;
    ASSERT_TRUE(QDir(logDir).removeRecursively());
    quint64 used = 1;
    quint64 free = 0;
    // A failed remount still leaves an answer.
    ASSERT_TRUE(FileDataStorage::getStorageInfo(used, free));
    EXPECT_EQ(used, 0u);
    const quint64 expected = 40960000u - 12582912u;
    EXPECT_EQ(free, expected);
    EXPECT_TRUE(FileDataStorage::isAvailableSpaceFor(expected));
    EXPECT_FALSE(FileDataStorage::isAvailableSpaceFor(expected + 1));

    // Less than the reserve is nothing.
    setPartition(1000, 1000, 100);
    ASSERT_TRUE(FileDataStorage::getStorageInfo(used, free));
    EXPECT_EQ(free, 0u);
    EXPECT_TRUE(FileDataStorage::isAvailableSpaceFor(0));
}

TEST_F(FileDataStorageTest, OversizedLogDirectoryLeavesNoFreeSpace) {
    setPartition(1000000, 600000, 500000);
    addLogFile("pwr-manager.log", 11 * MIB);
    quint64 used = 0;
    quint64 free = 1;
    testsupport::LogCapture capture;
    ASSERT_TRUE(FileDataStorage::getStorageInfo(used, free));
    EXPECT_EQ(free, 0u);
    EXPECT_EQ(capture.messages(LOGGER),
              std::vector<std::string>{"Log free size is negative value of -1048576. Please "
                                       "adjust maximum log files configuration."});
    EXPECT_EQ(capture.events()[0].level, log4cplus::ERROR_LOG_LEVEL);

    EXPECT_TRUE(FileDataStorage::isAvailableSpaceFor(0));
    EXPECT_FALSE(FileDataStorage::isAvailableSpaceFor(1));
}

TEST_F(FileDataStorageTest, StatvfsFailureIsReported) {
    fake->statFails = true;
    testsupport::LogCapture capture;
    quint64 used = 0;
    quint64 free = 0;
    EXPECT_FALSE(FileDataStorage::getStorageInfo(used, free));
    ASSERT_EQ(capture.events().size(), 1u);
    EXPECT_EQ(capture.events()[0].level, log4cplus::WARN_LOG_LEVEL);
    EXPECT_EQ(capture.messages(LOGGER),
              std::vector<std::string>{"Failed to retrieve disk fill status"});

    capture.clear();
    EXPECT_FALSE(FileDataStorage::isAvailableSpaceFor(0));
    EXPECT_EQ(capture.messages(LOGGER),
              (std::vector<std::string>{"Failed to retrieve disk fill status",
                                        "Unable to obtain disk usage info."}));
}

TEST(FileDataStorage, LargestConfigurationFile) {
    // 136 + 176 + 916 raw bytes; the session configuration: an 8-byte double, the 36-byte
    // timing, 127 and 31 UTF-16 units with their 4-byte lengths.
    EXPECT_EQ(FileDataStorage::getMaxConfigSize(), 1228 + 8 + 36 + 258 + 66);
}

TEST(FileDataStorage, BytesNeededCountsWholeRecords) {
    EXPECT_EQ(FileDataStorage::bytesNeeded(0, 60, 300), OVERHEAD);
    EXPECT_EQ(FileDataStorage::bytesNeeded(300, 60, 300), OVERHEAD + 104 + 5 * 680);
    EXPECT_EQ(FileDataStorage::bytesNeeded(599, 60, 300), OVERHEAD + 104 + 9 * 680);
    EXPECT_EQ(FileDataStorage::bytesNeeded(600, 60, 0), OVERHEAD + 10 * 680);
    EXPECT_EQ(FileDataStorage::bytesNeeded(600, 0, 300), OVERHEAD + 2 * 104);
    EXPECT_EQ(FileDataStorage::bytesNeeded(100, 0, 0), OVERHEAD);
}

TEST(FileDataStorage, MaxDurationFillsWholePeriods) {
    // Intervals 60 s and 300 s: one 300 s period holds 5 trend and 1 demand record, 3504 bytes.
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD + 10 * 3504, 60, 300), 3000);
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD + 11 * 3504 - 1, 60, 300), 3000);
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD + 11 * 3504, 60, 300), 3300);
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD - 1, 60, 300), 0);
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(0, 60, 300), 0);
    // Without demand records the period is the trend interval.
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD + 5 * 680, 60, 0), 300);
    // 60 s and 90 s line up every 180 s: 3 trend and 2 demand records.
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD + 2 * 2248, 60, 90), 360);
    // Demand shorter than trend: 300 s holds one trend and five demand records.
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD + 3 * 1200, 300, 60), 900);
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(1000000, 0, 0), 0);
}

TEST(FileDataStorage, MaxDurationDividesInSinglePrecision) {
    // 350399999 bytes are one short of 100000 periods, but as a float they round up to it.
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(OVERHEAD + 350399999, 60, 300), 30000000);
    EXPECT_EQ(FileDataStorage::maxDurationForBytes(qint64(1) << 50, 1800, 0),
              std::numeric_limits<int>::max());
}

TEST(FileSystemCalls, DefaultsAreTheInstrumentsDirectories) {
    const storage::FileSystemCalls calls;
    EXPECT_EQ(calls.baseDir(), QStringLiteral("/var/lib/quarn/"));
    EXPECT_EQ(calls.logDir(), QStringLiteral("/var/lib/quarn/log/"));
}
