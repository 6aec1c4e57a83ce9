// The session storage over a temporary data partition. mount(2), statvfs(3) and every write go
// through a fake, so no test reaches the real partition; the sessions directory is temporary.

#include "storage/FileDataStorage.h"
#include "session/IStorageSpace.h"
#include "session/SessionTiming.h"
#include "storage/FileStorageSpace.h"
#include "storage/FileSystemCalls.h"
#include "storage/HostConfigTables.h"
#include "support/LogCapture.h"
#include "support/RecordBytes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <log4cplus/loglevel.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

using storage::FileDataStorage;
using testsupport::DSP_IMAGE;
using testsupport::hex;
using testsupport::image;
using testsupport::PROBE_IMAGE;
using Messages = std::vector<std::string>;

const char* const LOGGER = "file-data-storage_logger";

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

// Zeroed settings but time zone "UTC" and the °F and °C auxiliary inputs.
const QByteArray INSTRUMENT_IMAGE = QByteArray(48, '\0') + hex("550000005400000043000000") +
                                    QByteArray(244, '\0') + hex("feffffffffffffff") +
                                    QByteArray(604, '\0');
// Energy setting 0.5 as a double; scheduled (01) start 2012-01-01 00:00 (Julian day 2455928, 0 ms,
// UTC), end 00:10 (600000 ms), mode 2, no custom duration, no fixed end, 60 s and 300 s; then
// the description "Hi" and the name "S1" as UTF-16 with their byte lengths.
const QByteArray SESSION_CONFIG_IMAGE = hex("3fe0000000000000 01 002579780000000002"
                                            "00257978000927c002 0000000200000000000000003c0000012c"
                                            "0000000400480069 0000000400530031");
const QByteArray CONFIG_FILE =
    DSP_IMAGE + PROBE_IMAGE.repeated(4) + INSTRUMENT_IMAGE + SESSION_CONFIG_IMAGE;

template <typename T> T fromImage(const QByteArray& bytes) {
    T record;
    std::memcpy(&record, bytes.constData(), sizeof record);
    return record;
}

struct SessionRecords {
    SESSION_CONFIG session = defaultSessionConfig();
    ADCO_DSP_CONFIG dsp = DEFAULT_DSP_CONFIG;
    ADCO_DSP_PROBE_CONFIG probe = DEFAULT_DSP_PROBE_CONFIG;
    quarn_system::INSTRUMENT_CONFIG instrument{};
};

// Installs the fake with an empty log directory for the test, and a session storage over a
// temporary sessions directory; the product's own calls and no storage provider of the session
// timing afterwards.
class FileDataStorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(logDir));
        FileDataStorage::setFileSystemCalls(fake);
    }
    void TearDown() override {
        FileDataStorage::setFileSystemCalls(nullptr);
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

    QTemporaryDir temp;
    const QString baseDir = temp.path() + "/data/";
    const QString logDir = baseDir + "log/";
    const QString sessionsDir = baseDir + "sessions/";
    std::shared_ptr<FakeFileSystemCalls> fake =
        std::make_shared<FakeFileSystemCalls>(baseDir, logDir);
    // The semaphore name is the test's own.
    storage::FileDataStorage storage{sessionsDir, temp.path()};
    SessionRecords records{
        {0.5f, session::SessionTiming(testsupport::utc(2012, 1, 1, 0, 0, 0), 2, 60, 300, 0), "Hi",
         "S1"},
        fromImage<ADCO_DSP_CONFIG>(DSP_IMAGE),
        DEFAULT_DSP_PROBE_CONFIG,
        fromImage<quarn_system::INSTRUMENT_CONFIG>(INSTRUMENT_IMAGE)};
};

constexpr qint64 MIB = 1048576;
// The largest configuration file (1596 bytes) and the four metadata records (14704 bytes).
constexpr qint64 OVERHEAD = 1596 + 14704;

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
         "ERROR Log free size is negative value of -1048576. Please adjust maximum log files "
         "configuration."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.logBytes);
        ASSERT_TRUE(QDir(logDir).removeRecursively());
        // Sparse files: their size counts, their blocks are never written.
        for (const auto& [name, size] : {std::pair{"pwr-manager.log", c.logBytes / 2},
                                         {"pwr-manager.log.1", c.logBytes - c.logBytes / 2}}) {
            QFile file(logDir + name);
            ASSERT_TRUE(c.logBytes < 0 || (QDir().mkpath(logDir) &&
                                           file.open(QIODevice::WriteOnly) && file.resize(size)));
        }
        setPartition(c.blocks, c.freeBlocks, c.available);
        quint64 used = 0, free = 1;
        testsupport::LogCapture capture;
        ASSERT_TRUE(FileDataStorage::getStorageInfo(used, free));
        EXPECT_EQ(std::make_pair(used, free), std::make_pair(c.used, c.free));
        EXPECT_EQ(capture.withLevels(), c.error ? Messages{c.error} : Messages{});
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
    const std::string remount = "ERROR Failed to remount (synchronize) data dir.";
    const std::string statvfs = "WARN Failed to retrieve disk fill status";
    EXPECT_EQ(capture.withLevels(), (Messages{remount, remount, remount, statvfs, remount, statvfs,
                                              "ERROR Unable to obtain disk usage info."}));
}

TEST_F(FileDataStorageTest, BytesAndDurationsOfASessionAndTheTimingAsksThePartition) {
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
    EXPECT_EQ(calls.baseDir() + " " + calls.logDir(), "/var/lib/quarn/ /var/lib/quarn/log/");

    storage::FileStorageSpace::install();
    const std::shared_ptr<session::IStorageSpace> space = session::IStorageSpace::installed();
    // Byte-sized blocks; the empty log directory keeps its 12 MiB reserve.
    setPartition(1u << 30, 12582912 + 123456, 12582912 + 123456, 1);
    EXPECT_EQ(space->freeBytes(), 123456);
    // Room for 288 periods of 300 s: one day.
    setPartition(1u << 30, 12582912 + 16300 + 288 * 3504, 12582912 + 16300 + 288 * 3504, 1);
    const QDateTime start = testsupport::utc(2012, 1, 1, 0, 0, 0);
    EXPECT_EQ(session::SessionTiming(start, 0, 60, 300, 0).plannedEndTime(), start.addSecs(86400));
    session::SessionTiming week(start, 6, 60, 300, 0);
    week.setIntervals(60, 300);
    EXPECT_EQ(std::make_pair(week.durationMode(), week.duration()), std::make_pair(1, 86400));
    fake->statFails = true;
    EXPECT_EQ(space->freeBytes(), 0);
}

TEST_F(FileDataStorageTest, CreateCloseAndReopen) {
    testsupport::LogCapture capture;
    ASSERT_TRUE(create("Nabrix 1"));
    EXPECT_EQ(fileBytes("Nabrix 1/configuration.bin"), CONFIG_FILE);
    // IDLE (the start is the unset 2012-01-01), start 378691200, end 600 s later, counter 0,
    // the name in UTF-16.
    EXPECT_EQ(fileBytes("Nabrix 1/session-meta.bin"),
              hex("00000000805e921600000000d86092160000000000000000"
                  "4e00610062007200690078002000310000") +
                  QByteArray(239, '\0'));
    QStringList sizes;
    for (const QFileInfo& file : QDir(sessionsDir + "Nabrix 1").entryInfoList(QDir::Files)) {
        sizes << file.fileName() + " " + QString::number(file.size());
    }
    EXPECT_EQ(sizes.join(", "), "configuration.bin 1288, demand-meta.bin 56, demand.bin 0, "
                                "session-meta.bin 280, trend-meta.bin 2776, "
                                "trend-overview.bin 11592, trend.bin 0");
    EXPECT_FALSE(create("Other"));
    EXPECT_FALSE(storage.remove({"Other", "Nabrix 1"}));
    SessionRecords loaded{};
    EXPECT_FALSE(reopen("Nabrix 1", loaded));
    EXPECT_TRUE(storage.close());
    EXPECT_FALSE(storage.close());
    EXPECT_FALSE(reopen("Missing", loaded));
    ASSERT_TRUE(create("Nabrix 1"));
    EXPECT_TRUE(storage.close());
    EXPECT_EQ(
        capture.messages(LOGGER),
        (Messages{"Trying to create a session \"Nabrix 1\".",
                  "Initializing overview for session \"Nabrix 1\"",
                  "Trying to create a session \"Other\".",
                  "Session \"Other\" is already opened, close it first before opening.",
                  "Currently opened sessionNabrix 1 is in remove list which is illegal.",
                  "Session \"Nabrix 1\" is already opened, close it first before reopening.",
                  "No session is opened, you need to open a session before you can close it.",
                  "Session \"Missing\" does not exist.", "Trying to create a session \"Nabrix 1\".",
                  "Session directory \"Nabrix 1\" already exists, it will be overwritten.",
                  "Initializing overview for session \"Nabrix 1\""}));

    ASSERT_TRUE(reopen("Nabrix 1", loaded));
    EXPECT_TRUE(storage.openedName() == "Nabrix 1" && !storage.remove({"Nabrix 1"}));
    EXPECT_EQ(image(loaded.dsp) + image(loaded.probe) + image(loaded.instrument),
              CONFIG_FILE.left(1228));
    EXPECT_TRUE(loaded.session.timing == records.session.timing && loaded.session.name == "S1");
    storage::META_TREND_OVERVIEW overview;
    EXPECT_TRUE(storage.read(overview));
    EXPECT_EQ(image(overview), image(storage::DEFAULT_META_TREND_OVERVIEW));
}

TEST_F(FileDataStorageTest, SessionNamesStayInsideTheSessionsDirectory) {
    const QStringList accepted = {"Site 4, phase B", QString(127, 'n'), "Größe", "CON", "a?b*"};
    const QStringList refused = {
        "a<b",   "a:b",    "a|b",    "a\"b", "../up", "a\\b", "tab\t", QString("nul") + QChar(0),
        " lead", "trail ", "trail.", "",     ".",     ".."};
    for (const QString& name : accepted + refused) {
        const bool valid = accepted.contains(name);
        SCOPED_TRACE(name.toStdString());
        testsupport::LogCapture capture;
        EXPECT_EQ(FileDataStorage::validateSessionFilename(name), valid);
        // The log line ends the name at a NUL.
        const std::string warning = "Session name " + std::string(name.toUtf8().constData()) +
                                    " is not valid Windows filename.";
        EXPECT_EQ(capture.messages(LOGGER),
                  valid || name == "." || name == ".." ? Messages{} : Messages{warning});
        EXPECT_EQ(create(name), valid);
        storage.close();
        EXPECT_EQ(storage.remove({name}), valid);
        EXPECT_EQ(QDir(baseDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList{"log", "sessions"}));
        EXPECT_TRUE(QDir(sessionsDir).isEmpty());
    }
    // A link in place of a session goes as the link.
    ASSERT_TRUE(QFile::link(logDir, sessionsDir + "link") && storage.remove({"link"}));
    EXPECT_TRUE(QDir(logDir).exists() && QDir(sessionsDir).isEmpty());
}

TEST_F(FileDataStorageTest, ConfigurationCutAtAnyByte) {
    ASSERT_TRUE(QDir().mkpath(sessionsDir));
    const QString fileName = sessionsDir + "configuration.bin";
    for (int size = 0; size <= CONFIG_FILE.size(); ++size) {
        QFile file(fileName);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(CONFIG_FILE.left(size));
        file.close();
        SessionRecords loaded;
        std::memset(&loaded.probe, 0x5a, sizeof loaded.probe);
        std::memset(&loaded.instrument, 0x5a, sizeof loaded.instrument);
        testsupport::LogCapture capture;
        const bool ok = FileDataStorage::loadConfiguration(fileName, loaded.session, loaded.dsp,
                                                           loaded.probe, loaded.instrument);
        const char* part = size < 136    ? "Failed to read DSP configuration."
                           : size < 312  ? "Failed to read probe configuration."
                           : size < 1228 ? "Failed to read instrument configuration."
                                         : "Failed to read session configuration.";
        EXPECT_EQ(ok, size == CONFIG_FILE.size());
        EXPECT_EQ(capture.messages(LOGGER), ok ? Messages{} : Messages{part}) << size;
        // The broken part keeps what arrived; the parts after it are untouched.
        const QByteArray images =
            image(loaded.dsp) + image(loaded.probe) + image(loaded.instrument);
        const int kept = std::min(size, 1228), untouched = std::max(kept, 136);
        EXPECT_EQ(images.left(kept), CONFIG_FILE.left(kept)) << size;
        EXPECT_EQ(images.mid(untouched), QByteArray(1228 - untouched, 0x5a)) << size;
    }
    testsupport::LogCapture capture;
    EXPECT_FALSE(storage.setOnDiskSessionConfigMember("none", &SESSION_CONFIG::energySetting, 1));
    EXPECT_EQ(capture.messages(LOGGER), (Messages{"Failed to open " + sessionsDir.toStdString() +
                                                      "none/configuration.bin for reading.",
                                                  "Failed to read configuration data.",
                                                  "Failed to read original configuration."}));
}

// Keeps what it is given; refuses tables with the tag 9.
struct RecordingSink : storage::IDataSink {
    bool write(const char* table, quint16 size) override {
        tables.append(QByteArray(table, size));
        return table[0] != 9;
    }
    QByteArrayList tables;
};

// Tag 1, 12 bytes; tag 2, 16 bytes, its time stamp 0x44332211'88776655 (high word first).
const QByteArray T1 = hex("01000c000102030405060708");
const QByteArray T2 = hex("02001000112233445566778800000000");

TEST(TransferContent, FramingOfTheTableStream) {
    const QByteArray longest = hex("0300ffff") + QByteArray(65531, '\x33');
    const QByteArray refused = hex("09000c000000000000000000");
    const char* const incomplete = "Incomplete table read, ignoring it...";
    const char* const protocol =
        "Wrong TRAXO protocol, size of the table must be at least 12 bytes.";
    const struct {
        QByteArray data;
        QByteArrayList passed;
        const char* message;
        bool result = true;
    } cases[] = {{{}, {}, nullptr},
                 {T1 + T2, {T1, T2}, nullptr},
                 {T1 + T2.left(15), {T1}, incomplete},
                 {T1 + hex("0300ffff") + QByteArray(100, 0), {T1}, incomplete},
                 {longest + T1, {longest, T1}, nullptr},
                 {T1 + hex("0400080000000000"), {T1}, protocol, false},
                 {T1 + hex("0500"), {T1}, "Failed to read table header from dev", false},
                 {T1 + refused + T2, {T1, refused}, nullptr, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data.left(40).toHex().toStdString());
        QBuffer device;
        device.setData(c.data);
        ASSERT_TRUE(device.open(QIODevice::ReadOnly));
        RecordingSink sink;
        storage::COPY_INFO info;
        testsupport::LogCapture capture;
        EXPECT_EQ(FileDataStorage::transferContent("dev", device, sink, info), c.result);
        EXPECT_EQ(sink.tables, c.passed);
        EXPECT_EQ(capture.messages(LOGGER), c.message ? Messages{c.message} : Messages{});
        // A table the sink refused is not counted.
        EXPECT_EQ(info.tableCount, c.passed.size() - (c.passed.contains(refused) ? 1 : 0));
        if (c.data == T1 + T2) {
            EXPECT_EQ(info.byteCount, 28);
            EXPECT_EQ(info.lastTimeStamp, 0x4433221188776655u);
        }
    }
}

// 2012-01-01 00:00:00 UTC is 129 698 496 000 000 000 = 0x01CCC818'4DFB8000 units of 100 ns since
// 1601, and ten minutes later 0x01CCC819'B39C3C00; each word little-endian, the high one first.
const QByteArray STAMP_START = hex("18c8cc010080fb4d");
const QByteArray STAMP_END = hex("19c8cc01003c9cb3");

// 600 s planned; "KAVRO Nabrix"; the energy settings of the hand-worked configuration.
const QByteArray DOWNLOAD_INFO_TABLE =
    hex("2f002800") + QByteArray(24, 0) + hex("58020000") + QByteArray(8, 0);
const QByteArray UNIT_NAME_TABLE = hex("10002600") + QByteArray(8, 0) +
                                   hex("4b004100560052004f0020004e006100620072006900780000"
                                       "00");
const QByteArray ENERGY_SETTINGS_TABLE =
    hex("3f00e402") + STAMP_START +
    hex("010005003c0000002c010000000001000200000001000200 0000e642 00007042 "
        "0000803f0000803f0000803f"
        "0000803f0000803f0000803f0000803f 00000000 0000803f 00000000 ffffffffffffffffffffffff"
        "000000000000 0000") +
    PROBE_IMAGE.repeated(3) + hex("0000003f") + hex("460061006800720065006e00") + QByteArray(4, 0) +
    hex("430065006c0073006900750073000000") + STAMP_START + STAMP_END + hex("48006900") +
    QByteArray(252, 0) + hex("53003100") + QByteArray(62, 0) + hex("0100550054004300") +
    QByteArray(122, 0);

// The copy gives the configuration as three tables, then the trend and the demand records.
TEST_F(FileDataStorageTest, CopyConvertChangeAndFillTheDisk) {
    EXPECT_EQ(storage::HostConfigTables::hostTimeStamp(DEFAULT_QUARN_DATE_TIME),
              129698496000000000u);
    RecordingSink sink;
    storage::COPY_INFO info;
    EXPECT_FALSE(storage.copy(sink, info));
    ASSERT_TRUE(create("S"));
    // Tag 0x40, 680 bytes, stamped 1 and 2; tag 0x41, 104 bytes, stamped 3.
    const QByteArray trend1 = hex("4000a8020000000001000000") + QByteArray(668, 0);
    const QByteArray trend2 = hex("4000a8020000000002000000") + QByteArray(668, 0);
    const QByteArray demand = hex("410068000000000003000000") + QByteArray(92, 0);
    ASSERT_TRUE(storage.writeTrendRecord(1, trend2.constData()));
    ASSERT_TRUE(storage.writeTrendRecord(0, trend1.constData()));
    ASSERT_TRUE(storage.writeDemandRecord(0, demand.constData()));
    ASSERT_TRUE(storage.copy(sink, info));
    EXPECT_EQ(sink.tables, (QByteArrayList{DOWNLOAD_INFO_TABLE, UNIT_NAME_TABLE,
                                           ENERGY_SETTINGS_TABLE, trend1, trend2, demand}));
    EXPECT_EQ(std::make_tuple(info.tableCount, info.byteCount, info.lastTimeStamp),
              std::make_tuple(6, 818 + 2 * 680 + 104, 3u));
    EXPECT_EQ(FileDataStorage::getSessionTransferSize({"S", "missing", ".."}, sessionsDir),
              818 + 2 * 680 + 104);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    testsupport::LogCapture capture;
    EXPECT_FALSE(storage.convertConfigToDravoFormat(readOnly));
    EXPECT_EQ(capture.messages(LOGGER),
              (Messages{"Failed to write download info into configuration buffer.",
                        "Conversion from internal config structures to DRAVO format failed."}));

    EXPECT_TRUE(
        storage.setOnDiskSessionConfigMember("S", &SESSION_CONFIG::description, QString("New")));
    EXPECT_TRUE(storage.setOnDiskSessionConfigMember("S", &SESSION_CONFIG::energySetting, 2.0f));
    // The double 2.0, the description "New"; the rest as it was.
    const QByteArray changed = CONFIG_FILE.left(1228) + hex("4000000000000000") +
                               SESSION_CONFIG_IMAGE.mid(8, 36) + hex("00000006004e00650077") +
                               SESSION_CONFIG_IMAGE.right(8);
    EXPECT_EQ(fileBytes("S/configuration.bin"), changed);

    // The disk fills: a record is cut where the room ends.
    const QByteArray record(680, '\x11');
    fake->diskRoom = 680 + 300;
    capture.clear();
    EXPECT_TRUE(storage.writeTrendRecord(2, record.constData()));
    EXPECT_FALSE(storage.writeTrendRecord(3, record.constData()));
    storage.close();
    EXPECT_EQ(fileBytes("S/trend.bin").mid(2 * 680), record + QByteArray(300, '\x11'));
    // Overwriting the session on the full disk: the configuration is the old or the new one
    // whole, and every metadata file written before the disk filled survives.
    for (const qint64 room : {0, 1000, 1288 + 100, 1288 + 280 + 5000}) {
        fake->diskRoom = room;
        EXPECT_FALSE(create("S")) << room;
        EXPECT_EQ(fileBytes("S/configuration.bin"), room < 1288 ? changed : CONFIG_FILE);
        EXPECT_EQ(fileBytes("S/session-meta.bin").size(), 280);
        EXPECT_EQ(QDir(sessionsDir + "S").entryList(QDir::Files).size(), 7);
    }
    const std::string path = sessionsDir.toStdString() + "S/";
    const Messages messages = capture.messages(LOGGER);
    EXPECT_EQ(messages[0],
              "Failed to write680 bytes to" + path + "trend.bin file, so far written300 bytes");
    EXPECT_EQ(messages[3], "Failed to write1288 bytes to" + path +
                               "configuration.bin.part file, so far written0 bytes");
    EXPECT_EQ(messages[4], "Failed to write configuration data.");
    EXPECT_EQ(messages.back(), "Unable to write session overview - write error");
    fake->diskRoom = -1;
    QFile closed("never-opened");
    EXPECT_FALSE(FileDataStorage::writeDataToFilePosition(closed, "x", 4, 1));
    EXPECT_EQ(capture.messages(LOGGER).back(), "Failed to seek to position4 of filenever-opened");
}

} // namespace
