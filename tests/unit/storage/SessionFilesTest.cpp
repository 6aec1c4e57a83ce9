#include "SessionFixture.h"

#include "storage/FileDataStorage.h"

#include <QDir>

#include <gtest/gtest.h>

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
    EXPECT_EQ(fileBytes("Nabrix 1/trend-overview.bin").size(), 11592);
    EXPECT_EQ(fileBytes("Nabrix 1/trend-meta.bin").size(), 2776);
    EXPECT_EQ(fileBytes("Nabrix 1/demand-meta.bin").size(), 56);
    EXPECT_EQ(fileBytes("Nabrix 1/trend.bin"), QByteArray());
    EXPECT_EQ(fileBytes("Nabrix 1/demand.bin"), QByteArray());
    EXPECT_FALSE(create("Other"));
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
                  "Session \"Nabrix 1\" is already opened, close it first before reopening.",
                  "No session is opened, you need to open a session before you can close it.",
                  "Session \"Missing\" does not exist.", "Trying to create a session \"Nabrix 1\".",
                  "Session directory \"Nabrix 1\" already exists, it will be overwritten.",
                  "Initializing overview for session \"Nabrix 1\""}));

    ASSERT_TRUE(reopen("Nabrix 1", loaded));
    EXPECT_EQ(storage.openedName(), "Nabrix 1");
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&loaded.dsp), 136), DSP_IMAGE);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char*>(&loaded.instrument), 916), INSTRUMENT_IMAGE);
    EXPECT_EQ(loaded.session.timing, records.session.timing);
    EXPECT_EQ(loaded.session.name, "S1");
    storage::META_TREND_OVERVIEW overview;
    EXPECT_TRUE(storage.read(overview));
    EXPECT_EQ(std::memcmp(&overview, &storage::DEFAULT_META_TREND_OVERVIEW, sizeof overview), 0);
}

TEST_F(SessionFilesTest, SessionNamesStayInsideTheSessionsDirectory) {
    const struct {
        QString name;
        bool valid;
    } cases[] = {
        {"Site 4, phase B", true},
        {QString(127, 'n'), true},
        {"Größe", true},
        {"CON", true},
        {"a?b*", true},
        {"a<b", false},
        {"a:b", false},
        {"a|b", false},
        {"a\"b", false},
        {"../up", false},
        {"a\\b", false},
        {QString("tab\t"), false},
        {QString("nul") + QChar(0), false},
        {" lead", false},
        {"trail ", false},
        {"trail.", false},
        {"", false},
        {".", false},
        {"..", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        testsupport::LogCapture capture;
        EXPECT_EQ(FileDataStorage::validateSessionFilename(c.name), c.valid);
        const bool windowsName = c.name != "." && c.name != "..";
        EXPECT_EQ(capture.messages(LOGGER),
                  c.valid || !windowsName
                      ? Messages{} // The log line ends the name at a NUL.
                      : Messages{"Session name " + std::string(c.name.toUtf8().constData()) +
                                 " is not valid Windows filename."});
        EXPECT_EQ(create(c.name), c.valid);
        EXPECT_EQ(storage.remove({c.name}), false);
        storage.close();
        EXPECT_EQ(storage.remove({c.name}), c.valid);
        EXPECT_EQ(QDir(baseDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  (QStringList{"log", "sessions"}));
        EXPECT_TRUE(QDir(sessionsDir).isEmpty());
    }
}

TEST_F(SessionFilesTest, RemoveNeverTouchesTheOpenSession) {
    ASSERT_TRUE(create("A"));
    storage.close();
    ASSERT_TRUE(create("B"));
    testsupport::LogCapture capture;
    EXPECT_FALSE(storage.remove({"A", "B"}));
    EXPECT_TRUE(QDir(sessionsDir + "A").exists());
    EXPECT_TRUE(storage.remove({"A"}));
    EXPECT_FALSE(storage.remove({"A"}));
    EXPECT_EQ(capture.messages(LOGGER),
              (Messages{"Currently opened sessionB is in remove list which is illegal.",
                        "Could not remove session \"A\""}));
    EXPECT_EQ(QDir(sessionsDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"B"});
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
            QByteArray(reinterpret_cast<const char*>(&loaded.dsp), 136) +
            QByteArray(reinterpret_cast<const char*>(&loaded.probe), 176) +
            QByteArray(reinterpret_cast<const char*>(&loaded.instrument), 916);
        const int kept = std::min(size, 1228);
        EXPECT_EQ(images.left(kept), CONFIG_FILE.left(kept)) << size;
        EXPECT_EQ(images.mid(std::max(kept, 136)), QByteArray(1228 - std::max(kept, 136), 0x5a))
            << size;
    }
    testsupport::LogCapture capture;
    SessionRecords loaded;
    EXPECT_FALSE(FileDataStorage::loadConfiguration(sessionsDir + "none", loaded.session,
                                                    loaded.dsp, loaded.probe, loaded.instrument));
    EXPECT_FALSE(storage.setOnDiskSessionConfigMember("none", &SESSION_CONFIG::energySetting, 1));
    EXPECT_EQ(
        capture.messages(LOGGER),
        (Messages{"Failed to open " + sessionsDir.toStdString() + "none for reading.",
                  "Failed to read configuration data.",
                  "Failed to open " + sessionsDir.toStdString() +
                      "none/configuration.bin for reading.",
                  "Failed to read configuration data.", "Failed to read original configuration."}));
}

TEST_F(SessionFilesTest, ConfigurationMembersChangeOnDisk) {
    ASSERT_TRUE(create("S"));
    EXPECT_TRUE(
        storage.setOnDiskSessionConfigMember("S", &SESSION_CONFIG::description, QString("New")));
    EXPECT_TRUE(storage.setOnDiskSessionConfigMember("S", &SESSION_CONFIG::energySetting, 2.0f));
    // The double 2.0, the description "New"; the rest as it was.
    EXPECT_EQ(fileBytes("S/configuration.bin"),
              CONFIG_FILE.left(1228) + hex("4000000000000000") + SESSION_CONFIG_IMAGE.mid(8, 36) +
                  hex("00000006004e00650077") + SESSION_CONFIG_IMAGE.right(8));
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

} // namespace
