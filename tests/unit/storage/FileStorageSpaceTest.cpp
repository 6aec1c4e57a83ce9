#include "FakeFileSystemCalls.h"

#include "session/SessionTiming.h"
#include "storage/FileStorageSpace.h"

#include <gtest/gtest.h>

using FileStorageSpaceTest = storagetest::StorageFixture;

TEST_F(FileStorageSpaceTest, SessionTimingAsksThePartition) {
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
