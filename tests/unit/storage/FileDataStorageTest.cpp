#include "StorageFixture.h"

#include "session/SessionTiming.h"
#include "storage/FileDataStorage.h"
#include "storage/FileStorageSpace.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

using storage::FileDataStorage;

namespace {

const char* const LOGGER = "file-data-storage_logger";
constexpr qint64 MIB = 1048576;
// The largest configuration file (1596 bytes) and the four metadata records (14704 bytes).
constexpr qint64 OVERHEAD = 1596 + 14704;

} // namespace

using FileDataStorageTest = storagetest::StorageFixture;

TEST_F(FileDataStorageTest, FreeSpaceLeavesRoomForTheLogFilesAndFailuresAreLogged) {
    const struct {
        fsblkcnt_t blocks, freeBlocks, available;
        qint64 logBytes; // in two files; -1: no log directory
        quint64 used, free;
        const char* error;
    } cases[] = {
        // 500000 blocks less the 7 MiB the logs may still take and the 2 MiB margin.
        {1000000, 600000, 500000, 3 * MIB, 1638400000u, 2048000000u - 9437184u, nullptr},
        // Without a log directory the whole 10 MiB allowance is kept; less than that is nothing.
        {1000, 1000, 10000, -1, 0, 40960000u - 12582912u, nullptr},
        {1000, 1000, 100, -1, 0, 0, nullptr},
        {1000000, 600000, 500000, 11 * MIB, 1638400000u, 0,
         "Log free size is negative value of -1048576. Please adjust maximum log files "
         "configuration."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logBytes);
        ASSERT_TRUE(QDir(logDir).removeRecursively());
        if (c.logBytes >= 0) {
            ASSERT_TRUE(QDir().mkpath(logDir));
            addLogFile("pwr-manager.log", c.logBytes / 2);
            addLogFile("pwr-manager.log.1", c.logBytes - c.logBytes / 2);
        }
        setPartition(c.blocks, c.freeBlocks, c.available);
        quint64 used = 0, free = 1;
        testsupport::LogCapture capture;
        ASSERT_TRUE(FileDataStorage::getStorageInfo(used, free));
        EXPECT_EQ(used, c.used);
        EXPECT_EQ(free, c.free);
        if (c.error == nullptr) {
            EXPECT_TRUE(capture.messages().empty());
        } else {
            ASSERT_EQ(capture.messages(LOGGER), std::vector<std::string>{c.error});
            EXPECT_EQ(capture.events()[0].level, log4cplus::ERROR_LOG_LEVEL);
        }
        EXPECT_TRUE(FileDataStorage::isAvailableSpaceFor(c.free));
        EXPECT_FALSE(FileDataStorage::isAvailableSpaceFor(c.free + 1));
    }
    // The remount commits what was written before the partition is measured.
    EXPECT_EQ(fake->mounts.front(), "ubi1:data " + baseDir.toStdString() + " ubifs 208020");
    EXPECT_EQ(fake->statPaths.front(), baseDir.toStdString());

    // Failures of the remount and of statvfs are logged, with logs well within their room.
    ASSERT_TRUE(QDir(logDir).removeRecursively() && QDir().mkpath(logDir));
    setPartition(1000, 1000, 10000);
    fake->mountFails = true;
    testsupport::LogCapture capture;
    EXPECT_FALSE(FileDataStorage::remountDataPartition());
    // A failed remount still leaves an answer.
    quint64 used = 0, free = 0;
    EXPECT_TRUE(FileDataStorage::getStorageInfo(used, free));

    fake->statFails = true;
    EXPECT_FALSE(FileDataStorage::getStorageInfo(used, free));
    EXPECT_FALSE(FileDataStorage::isAvailableSpaceFor(0));
    const std::string remount = "Failed to remount (synchronize) data dir.";
    const std::string statvfs = "Failed to retrieve disk fill status";
    ASSERT_EQ(capture.messages(LOGGER),
              (std::vector<std::string>{remount, remount, remount, statvfs, remount, statvfs,
                                        "Unable to obtain disk usage info."}));
    EXPECT_EQ(capture.events()[0].level, log4cplus::ERROR_LOG_LEVEL);
    EXPECT_EQ(capture.events()[3].level, log4cplus::WARN_LOG_LEVEL);
    EXPECT_EQ(capture.events()[6].level, log4cplus::ERROR_LOG_LEVEL);
}

TEST(FileDataStorage, BytesAndDurationsOfASession) {
    // 136 + 176 + 916 raw bytes; the session configuration: an 8-byte double, the 36-byte
    // timing, 127 and 31 UTF-16 units with their 4-byte lengths.
    EXPECT_EQ(FileDataStorage::getMaxConfigSize(), 1228 + 8 + 36 + 258 + 66);
    EXPECT_EQ(FileDataStorage::bytesNeeded(0, 60, 300), OVERHEAD);
    EXPECT_EQ(FileDataStorage::bytesNeeded(599, 60, 300), OVERHEAD + 104 + 9 * 680);
    EXPECT_EQ(FileDataStorage::bytesNeeded(600, 0, 300), OVERHEAD + 2 * 104);
    EXPECT_EQ(FileDataStorage::bytesNeeded(100, 0, 0), OVERHEAD);

    const std::tuple<qint64, int, int, int> cases[] = {
        // Intervals 60 s and 300 s: one 300 s period holds 5 trend and 1 demand record.
        {OVERHEAD + 10 * 3504, 60, 300, 3000},
        {OVERHEAD + 11 * 3504 - 1, 60, 300, 3000},
        {OVERHEAD - 1, 60, 300, 0},
        // Without demand records the period is the trend interval.
        {OVERHEAD + 5 * 680, 60, 0, 300},
        // 60 s and 90 s line up every 180 s: 3 trend and 2 demand records.
        {OVERHEAD + 2 * 2248, 60, 90, 360},
        // Demand shorter than trend: 300 s hold one trend and five demand records.
        {OVERHEAD + 3 * 1200, 300, 60, 900},
        {1000000, 0, 0, 0},
        // One byte short of 100000 periods, but as a float the quotient rounds up to it.
        {OVERHEAD + 350399999, 60, 300, 30000000},
        {qint64(1) << 50, 1800, 0, std::numeric_limits<int>::max()},
    };
    for (const auto& [free, trend, demand, seconds] : cases) {
        EXPECT_EQ(FileDataStorage::maxDurationForBytes(free, trend, demand), seconds)
            << free << " " << trend << " " << demand;
    }

    const storage::FileSystemCalls calls;
    EXPECT_EQ(calls.baseDir(), QStringLiteral("/var/lib/quarn/"));
    EXPECT_EQ(calls.logDir(), QStringLiteral("/var/lib/quarn/log/"));
}

TEST_F(FileDataStorageTest, SessionTimingAsksThePartition) {
    storage::FileStorageSpace::install();
    const std::shared_ptr<session::IStorageSpace> space = session::IStorageSpace::installed();
    // Byte-sized blocks; the empty log directory keeps its 12 MiB reserve.
    setPartition(1u << 30, 12582912 + 123456, 12582912 + 123456, 1);
    EXPECT_EQ(space->freeBytes(), 123456);

    // Room for 288 periods of 300 s: one day.
    setPartition(1u << 30, 12582912 + 16300 + 288 * 3504, 12582912 + 16300 + 288 * 3504, 1);
    const QDateTime start(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC);
    const session::SessionTiming longest(start, 0, 60, 300, 0);
    EXPECT_EQ(longest.plannedEndTime(), start.addSecs(86400));
    session::SessionTiming week(start, 6, 60, 300, 0);
    week.setIntervals(60, 300);
    EXPECT_EQ(week.durationMode(), 1);
    EXPECT_EQ(week.duration(), 86400);

    fake->statFails = true;
    EXPECT_EQ(space->freeBytes(), 0);
}
