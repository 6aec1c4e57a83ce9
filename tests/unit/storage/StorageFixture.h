#pragma once

// Stands in for mount(2) and statvfs(3) with directories under a temporary directory, so no
// test reaches the real data partition; a session storage over a temporary sessions directory
// with a semaphore name of its own, and one hand-worked configuration with its file image.

#include "session/IStorageSpace.h"
#include "session/SessionTiming.h"
#include "storage/FileDataStorage.h"
#include "storage/FileSystemCalls.h"
#include "support/RecordBytes.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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

using testsupport::DSP_IMAGE;
using testsupport::hex;
using testsupport::image;
using testsupport::PROBE_IMAGE;

// Zeroed settings but time zone "UTC" and the °F and °C auxiliary inputs.
const QByteArray INSTRUMENT_IMAGE = QByteArray(48, '\0') + hex("550000005400000043000000") +
                                    QByteArray(244, '\0') + hex("feffffffffffffff") +
                                    QByteArray(604, '\0');
// Energy setting 0.5 as a double; scheduled start 2012-01-01 00:00 (Julian day 2455928, 0 ms,
// UTC), end 00:10 (600000 ms), mode 2, no custom duration, no fixed end, 60 s and 300 s; then
// the description "Hi" and the name "S1" as UTF-16 with their byte lengths.
const QByteArray SESSION_CONFIG_IMAGE = hex("3fe0000000000000"
                                            "01"
                                            "002579780000000002"
                                            "00257978000927c002"
                                            "0000000200000000000000003c0000012c"
                                            "0000000400480069"
                                            "0000000400530031");
const QByteArray CONFIG_FILE =
    DSP_IMAGE + PROBE_IMAGE.repeated(4) + INSTRUMENT_IMAGE + SESSION_CONFIG_IMAGE;

struct SessionRecords {
    SESSION_CONFIG session = defaultSessionConfig();
    ADCO_DSP_CONFIG dsp = DEFAULT_DSP_CONFIG;
    ADCO_DSP_PROBE_CONFIG probe = DEFAULT_DSP_PROBE_CONFIG;
    quarn_system::INSTRUMENT_CONFIG instrument{};
};

inline SessionRecords handWorkedRecords() {
    SessionRecords r;
    r.session.energySetting = 0.5f;
    r.session.timing =
        session::SessionTiming(QDateTime(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC), 2, 60, 300, 0);
    r.session.description = "Hi";
    r.session.name = "S1";
    std::memcpy(&r.dsp, DSP_IMAGE.constData(), sizeof r.dsp);
    std::memcpy(&r.instrument, INSTRUMENT_IMAGE.constData(), sizeof r.instrument);
    return r;
}

class SessionFixture : public StorageFixture {
protected:
    bool create(const QString& name) {
        return storage.create(name, records.session, records.dsp, records.probe,
                              records.instrument);
    }
    bool reopen(const QString& name, SessionRecords& into) {
        return storage.reopen(name, into.session, into.dsp, into.probe, into.instrument);
    }
    QByteArray fileBytes(const QString& name) {
        QFile file(sessionsDir + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("missing");
    }

    const QString sessionsDir = baseDir + "sessions/";
    const QString semaphoreKey = QStringLiteral("quarn-storage-test-%1-%2")
                                     .arg(QCoreApplication::applicationPid())
                                     .arg(QRandomGenerator::global()->generate());
    storage::FileDataStorage storage{sessionsDir, semaphoreKey};
    SessionRecords records = handWorkedRecords();
};

} // namespace storagetest
