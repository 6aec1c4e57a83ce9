#pragma once

// Stands in for mount(2) and statvfs(3) with directories under a temporary directory, so no
// test reaches the real data partition.

#include "storage/FileDataStorage.h"
#include "storage/FileSystemCalls.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

namespace storagetest {

struct MountCall {
    std::string source;
    std::string target;
    std::string type;
    unsigned long flags;
    const void* data;
};

class FakeFileSystemCalls : public storage::FileSystemCalls {
public:
    FakeFileSystemCalls(const QString& baseDir, const QString& logDir)
        : storage::FileSystemCalls(baseDir, logDir) {}

    int mount(const char* source, const char* target, const char* type, unsigned long flags,
              const void* data) override {
        mounts.push_back({source, target, type, flags, data});
        if (mountFails) {
            errno = EPERM;
            return -1;
        }
        return 0;
    }

    int statvfs(const char* path, struct statvfs& info) override {
        statPaths.push_back(path);
        if (statFails) {
            errno = ENOENT;
            return -1;
        }
        info = status;
        return 0;
    }

    bool mountFails = false;
    bool statFails = false;
    struct statvfs status {};
    std::vector<MountCall> mounts;
    std::vector<std::string> statPaths;
};

// Installs a fake with an empty log directory for the test; the product's own calls come back
// afterwards.
class StorageFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temp.isValid());
        baseDir = temp.path() + "/data/";
        logDir = baseDir + "log/";
        ASSERT_TRUE(QDir().mkpath(logDir));
        fake = std::make_shared<FakeFileSystemCalls>(baseDir, logDir);
        storage::FileDataStorage::setFileSystemCalls(fake);
    }

    void TearDown() override { storage::FileDataStorage::setFileSystemCalls(nullptr); }

    // A partition of `blocks` 4 KiB blocks with `freeBlocks` free, `available` of them for
    // unprivileged users.
    void setPartition(fsblkcnt_t blocks, fsblkcnt_t freeBlocks, fsblkcnt_t available) {
        fake->status.f_bsize = 4096;
        fake->status.f_frsize = 4096;
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
    QString baseDir;
    QString logDir;
    std::shared_ptr<FakeFileSystemCalls> fake;
};

} // namespace storagetest
