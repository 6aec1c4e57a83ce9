#include "SessionFixture.h"

#include "storage/FileDataStorage.h"
#include "storage/HostConfigTables.h"

#include <QBuffer>

#include <gtest/gtest.h>

namespace {

using namespace storagetest;
using storage::FileDataStorage;
using Messages = std::vector<std::string>;

const char* const LOGGER = "file-data-storage_logger";

struct RecordingSink : storage::IDataSink {
    bool write(const char* table, quint16 size) override {
        tables.append(QByteArray(table, size));
        return tables.size() < refuseAt;
    }
    QByteArrayList tables;
    int refuseAt = 1000;
};

// Tag 1, 12 bytes; tag 2, 16 bytes, its time stamp 0x44332211'88776655 (high word first).
const QByteArray T1 = hex("01000c000102030405060708");
const QByteArray T2 = hex("02001000112233445566778800000000");

TEST(TransferContent, FramingOfTheTableStream) {
    const QByteArray longest = hex("0300ffff") + QByteArray(65531, '\x33');
    const struct {
        QByteArray data;
        bool result;
        QByteArrayList passed;
        const char* message;
        int refuseAt;
    } cases[] = {
        {{}, true, {}, nullptr, 1000},
        {T1 + T2, true, {T1, T2}, nullptr, 1000},
        {T1 + T2.left(15), true, {T1}, "Incomplete table read, ignoring it...", 1000},
        {T1 + hex("0300ffff") + QByteArray(100, 0),
         true,
         {T1},
         "Incomplete table read, ignoring it...",
         1000},
        {longest + T1, true, {longest, T1}, nullptr, 1000},
        {T1 + hex("0400080000000000"),
         false,
         {T1},
         "Wrong TRAXO protocol, size of the table must be at least 12 bytes.",
         1000},
        {T1 + hex("0500"), false, {T1}, "Failed to read table header from dev", 1000},
        {T1 + T2 + T1, false, {T1, T2}, nullptr, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.data.left(40).toHex().toStdString());
        QBuffer device;
        device.setData(c.data);
        ASSERT_TRUE(device.open(QIODevice::ReadOnly));
        RecordingSink sink;
        sink.refuseAt = c.refuseAt;
        storage::COPY_INFO info;
        testsupport::LogCapture capture;
        EXPECT_EQ(FileDataStorage::transferContent("dev", device, sink, info), c.result);
        EXPECT_EQ(sink.tables, c.passed);
        EXPECT_EQ(capture.messages(LOGGER), c.message ? Messages{c.message} : Messages{});
        // A table the sink refused is not counted.
        EXPECT_EQ(info.tableCount, c.passed.size() - (c.refuseAt == 2 ? 1 : 0));
    }
    QBuffer device;
    device.setData(T1 + T2);
    device.open(QIODevice::ReadOnly);
    RecordingSink sink;
    storage::COPY_INFO info;
    FileDataStorage::transferContent("dev", device, sink, info);
    EXPECT_EQ(info.byteCount, 28);
    EXPECT_EQ(info.lastTimeStamp, 0x4433221188776655u);
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

using HostExportTest = SessionFixture;

TEST_F(HostExportTest, ConfigurationTurnsIntoThreeTables) {
    ASSERT_EQ(ENERGY_SETTINGS_TABLE.size(), 740);
    EXPECT_EQ(storage::HostConfigTables::hostTimeStamp(DEFAULT_QUARN_DATE_TIME),
              129698496000000000u);
    ASSERT_TRUE(create("S"));
    QBuffer buffer;
    buffer.open(QIODevice::ReadWrite);
    ASSERT_TRUE(storage.convertConfigToDravoFormat(buffer));
    EXPECT_EQ(buffer.data(), DOWNLOAD_INFO_TABLE + UNIT_NAME_TABLE + ENERGY_SETTINGS_TABLE);

    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    testsupport::LogCapture capture;
    EXPECT_FALSE(storage.convertConfigToDravoFormat(readOnly));
    EXPECT_EQ(capture.messages(LOGGER),
              (Messages{"Failed to write download info into configuration buffer.",
                        "Conversion from internal config structures to DRAVO format failed."}));
}

TEST_F(HostExportTest, CopyGivesTheConfigurationThenTrendThenDemand) {
    RecordingSink sink;
    storage::COPY_INFO info;
    testsupport::LogCapture capture;
    EXPECT_FALSE(storage.copy(sink, info));
    EXPECT_EQ(capture.messages(LOGGER),
              Messages{"No session is opened, you need to open a session before you can copy it."});

    ASSERT_TRUE(create("S"));
    // Tag 0x40, 680 bytes, stamped 1 and 2; tag 0x41, 104 bytes, stamped 3.
    const QByteArray trend1 = hex("4000a80200000000"
                                  "01000000") +
                              QByteArray(668, 0);
    const QByteArray trend2 = hex("4000a80200000000"
                                  "02000000") +
                              QByteArray(668, 0);
    const QByteArray demand = hex("4100680000000000"
                                  "03000000") +
                              QByteArray(92, 0);
    ASSERT_TRUE(storage.writeTrendRecord(1, trend2.constData()));
    ASSERT_TRUE(storage.writeTrendRecord(0, trend1.constData()));
    ASSERT_TRUE(storage.writeDemandRecord(0, demand.constData()));
    ASSERT_TRUE(storage.copy(sink, info));
    EXPECT_EQ(sink.tables, (QByteArrayList{DOWNLOAD_INFO_TABLE, UNIT_NAME_TABLE,
                                           ENERGY_SETTINGS_TABLE, trend1, trend2, demand}));
    EXPECT_EQ(info.tableCount, 6);
    EXPECT_EQ(info.byteCount, 818 + 2 * 680 + 104);
    EXPECT_EQ(info.lastTimeStamp, 3u);
    EXPECT_EQ(FileDataStorage::getSessionTransferSize({"S", "missing", ".."}, sessionsDir),
              818 + 2 * 680 + 104);
}

} // namespace
