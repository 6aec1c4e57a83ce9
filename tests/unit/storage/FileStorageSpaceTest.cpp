#include "FakeFileSystemCalls.h"

#include "session/SessionTiming.h"
#include "storage/FileStorageSpace.h"

#include <gtest/gtest.h>

using storagetest::StorageFixture;

namespace {

class FileStorageSpaceTest : public StorageFixture {
protected:
    void TearDown() override {
        session::IStorageSpace::install(nullptr);
        StorageFixture::TearDown();
    }

    // Byte-sized blocks so the free space can be any number: `free` left for session data once
    // the empty log directory's 12 MiB reserve is set aside.
    void setFree(fsblkcnt_t free) {
        fake->status.f_bsize = 1;
        fake->status.f_frsize = 1;
        fake->status.f_blocks = 1u << 30;
        fake->status.f_bfree = free + 12582912;
        fake->status.f_bavail = free + 12582912;
    }
};

} // namespace

TEST_F(FileStorageSpaceTest, FreeBytesAreThoseOfTheStorageQuery) {
    storage::FileStorageSpace space;
    setFree(123456);
    EXPECT_EQ(space.freeBytes(), 123456);
    fake->statFails = true;
    EXPECT_EQ(space.freeBytes(), 0);
    EXPECT_EQ(space.bytesNeeded(300, 60, 300), 16300 + 3504);
    EXPECT_EQ(space.maxDurationForBytes(16300 + 3504, 60, 300), 300);
}

TEST_F(FileStorageSpaceTest, SessionTimingAsksThePartition) {
    storage::FileStorageSpace::install();
    // Room for 288 periods of 300 s: one day.
    setFree(16300 + 288 * 3504);
    const QDateTime start(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC);

    const session::SessionTiming longest(start, 0, 60, 300, 0);
    EXPECT_EQ(longest.plannedEndTime(), start.addSecs(86400));
    EXPECT_EQ(fake->mounts.size(), 1u);

    session::SessionTiming week(start, 6, 60, 300, 0);
    week.setIntervals(60, 300);
    EXPECT_EQ(week.durationMode(), 1);
    EXPECT_EQ(week.customDuration(), 86400);
    EXPECT_EQ(week.duration(), 86400);
}
