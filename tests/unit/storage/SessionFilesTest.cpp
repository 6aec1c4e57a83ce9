#include "StorageFixture.h"

#include "storage/FileDataStorage.h"
#include "storage/HostConfigTables.h"

#include <QBuffer>
#include <QDir>

#include <gtest/gtest.h>

#include <tuple>

namespace {

using namespace storagetest;
using storage::FileDataStorage;
using Messages = std::vector<std::string>;

const char* const LOGGER = "file-data-storage_logger";

using SessionFilesTest = SessionFixture;

TEST_F(SessionFilesTest, CreateCloseAndReopen) {
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

TEST_F(SessionFilesTest, SessionNamesStayInsideTheSessionsDirectory) {
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
        EXPECT_EQ(storage.remove({name}), false);
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

TEST_F(SessionFilesTest, ConfigurationCutAtAnyByte) {
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

TEST_F(SessionFilesTest, FullDiskLeavesTheWrittenFilesReadable) {
    ASSERT_TRUE(create("S"));
    const QByteArray record(680, '\x11');
    fake->diskRoom = 680 + 300;
    testsupport::LogCapture capture;
    EXPECT_TRUE(storage.writeTrendRecord(0, record.constData()));
    EXPECT_FALSE(storage.writeTrendRecord(1, record.constData()));
    storage.close();
    const std::string path = sessionsDir.toStdString() + "S/";
    EXPECT_EQ(fileBytes("S/trend.bin"), record + QByteArray(300, '\x11'));

    // Overwriting the session on the full disk: the stored configuration survives whole, and
    // so does every metadata file written before the disk filled.
    for (const qint64 room : {0, 1000, 1288 + 100, 1288 + 280 + 5000}) {
        fake->diskRoom = room;
        EXPECT_FALSE(create("S")) << room;
        EXPECT_EQ(fileBytes("S/configuration.bin"), CONFIG_FILE);
        EXPECT_EQ(fileBytes("S/session-meta.bin").size(), 280);
        EXPECT_EQ(QDir(sessionsDir + "S").entryList(QDir::Files).size(), 7);
    }
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
    hex("010005003c0000002c010000"
        "000001000200000001000200"
        "0000e642000070420000803f0000803f0000803f0000803f0000803f0000803f0000803f"
        "000000000000803f00000000"
        "ffffffffffffffffffffffff000000000000"
        "0000") +
    PROBE_IMAGE.repeated(3) + hex("0000003f") + hex("460061006800720065006e00") + QByteArray(4, 0) +
    hex("430065006c0073006900750073000000") + STAMP_START + STAMP_END + hex("48006900") +
    QByteArray(252, 0) + hex("53003100") + QByteArray(62, 0) + hex("0100550054004300") +
    QByteArray(122, 0);

// The copy gives the configuration as three tables, then the trend and the demand records.
TEST_F(SessionFilesTest, CopyConvertAndChangeTheStoredSession) {
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
    EXPECT_EQ(fileBytes("S/configuration.bin"),
              CONFIG_FILE.left(1228) + hex("4000000000000000") + SESSION_CONFIG_IMAGE.mid(8, 36) +
                  hex("00000006004e00650077") + SESSION_CONFIG_IMAGE.right(8));
}

} // namespace
