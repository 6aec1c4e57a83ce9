#pragma once

// Stands in for mount(2) and statvfs(3) with directories under a temporary directory, so no
// test reaches the real data partition.

#include "session/IStorageSpace.h"
#include "storage/FileDataStorage.h"
#include "storage/FileSystemCalls.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace storagetest {

class FakeFileSystemCalls : public storage::FileSystemCalls {
public:
    using storage::FileSystemCalls::FileSystemCalls;

    // Each call as "source target type flags", the flags in hex, " data" when data is given.
    int mount(const char* source, const char* target, const char* type, unsigned long flags,
              const void* data) override {
        mounts.push_back(std::string(source) + " " + target + " " + type + " " +
                         QString::number(flags, 16).toStdString() + (data ? " data" : ""));
        return mountFails ? -1 : 0;
    }

    int statvfs(const char* path, struct statvfs& info) override {
        statPaths.push_back(path);
        info = status;
        return statFails ? -1 : 0;
    }

    // Bytes the disk still takes, -1 for no limit. A write beyond it puts down what fits and
    // fails, as on a full disk.
    qint64 write(QFile& file, const char* data, qint64 size) override {
        const qint64 written = file.write(data, diskRoom < 0 ? size : std::min(size, diskRoom));
        diskRoom -= diskRoom < 0 ? 0 : written;
        return written == size || written > 0 ? written : -1;
    }

    qint64 diskRoom = -1;
    bool mountFails = false;
    bool statFails = false;
    struct statvfs status {};
    std::vector<std::string> mounts;
    std::vector<std::string> statPaths;
};

// Installs a fake with an empty log directory for the test; the product's own calls and no
// storage provider of the session timing afterwards.
class StorageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(logDir));
        storage::FileDataStorage::setFileSystemCalls(fake);
    }
    void TearDown() override {
        storage::FileDataStorage::setFileSystemCalls(nullptr);
        session::IStorageSpace::install(nullptr);
    }

    // A partition of `blocks` blocks of `size` bytes with `freeBlocks` free, `available` of
    // them for unprivileged users.
    void setPartition(fsblkcnt_t blocks, fsblkcnt_t freeBlocks, fsblkcnt_t available,
                      unsigned long size = 4096) {
        fake->status.f_bsize = fake->status.f_frsize = size;
        fake->status.f_blocks = blocks;
        fake->status.f_bfree = freeBlocks;
        fake->status.f_bavail = available;
    }

    // A sparse file: its size counts, its blocks are never written.
    void addLogFile(const QString& name, qint64 size) {
        QFile file(logDir + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(size));
    }

    QTemporaryDir temp;
    const QString baseDir = temp.path() + "/data/";
    const QString logDir = baseDir + "log/";
    std::shared_ptr<FakeFileSystemCalls> fake =
        std::make_shared<FakeFileSystemCalls>(baseDir, logDir);
};

} // namespace storagetest
