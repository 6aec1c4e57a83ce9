#include "system/VersionInfo.h"

#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using quarn_system::VersionInfo;

namespace {

class VersionInfoTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(temporary_.isValid());
        directory_ = temporary_.path() + "/var/versions";
        VersionInfo::setVersionInfoDirectory(directory_);
    }
    void TearDown() override { VersionInfo::setVersionInfoDirectory(QString()); }

    QString path(const QString& name) const { return directory_ + "/" + name; }

    void writeFile(const QString& name, const QByteArray& content) const {
        QDir().mkpath(directory_);
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QByteArray readFile(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    QTemporaryDir temporary_;
    QString directory_;
};

TEST_F(VersionInfoTest, ProductDirectoryIsTheDefault) {
    VersionInfo::setVersionInfoDirectory(QString());
    EXPECT_EQ(QString("/var/lib/quarn/versions/"), VersionInfo::versionInfoDirectory());
    EXPECT_EQ(QString("/var/lib/quarn/versions/"), VersionInfo::VERSION_INFO_PATH_NAME);
    EXPECT_EQ(QString(".info"), VersionInfo::VERSION_INFO_SUFFIX);
}

TEST_F(VersionInfoTest, CreateVersionFileMakesTheDirectoryAndWritesFourLines) {
    testsupport::LogCapture capture;
    VersionInfo::createVersionFile("pwr-manager", "Power Manager", "NABRIX_1.2",
                                   "Oct 17 2014 13:27:09",
                                   "0123456789abcdef0123456789abcdef01234567");
    EXPECT_EQ(QByteArray("Power Manager\n"
                         "NABRIX_1.2\n"
                         "Oct 17 2014 13:27:09\n"
                         "0123456789abcdef0123456789abcdef01234567\n"),
              readFile("pwr-manager.info"));
    const std::vector<std::string> expected = {
        "Release version of Power Manager: NABRIX_1.2, (built on: Oct 17 2014 13:27:09)"};
    EXPECT_EQ(expected, capture.messages("version_info_logger"));
}

TEST_F(VersionInfoTest, TextsAreWrittenAsUtf8AndPlaceholdersInThemStayLiteral) {
    testsupport::LogCapture capture;
    VersionInfo::createVersionFile("core-app", QString::fromUtf8("Prüf %2"), "V%1", "%4", "r");
    // ü is U+00FC: C3 BC in UTF-8.
    EXPECT_EQ(QByteArray("Pr\xC3\xBC"
                         "f %2\nV%1\n%4\nr\n"),
              readFile("core-app.info"));
    const std::vector<std::string> expected = {"Release version of Pr\xC3\xBC"
                                               "f %2: V%1, (built on: %4)"};
    EXPECT_EQ(expected, capture.messages("version_info_logger"));
}

TEST_F(VersionInfoTest, WriteReplacesTheRecordAndLeavesTheListAlone) {
    QStringList first = {"one", "two", "three"};
    ASSERT_TRUE(VersionInfo::writeVersionInfo("dsp", first));
    QStringList second = {"only"};
    ASSERT_TRUE(VersionInfo::writeVersionInfo("dsp", second));
    EXPECT_EQ(QByteArray("only\n"), readFile("dsp.info"));
    EXPECT_EQ(QStringList({"only"}), second);
}

TEST_F(VersionInfoTest, UnwritableDirectoryGivesFalseAndAWarning) {
    // A plain file where the directory should be: neither the directory nor the record can be
    // created.
    QFile blocker(directory_);
    QDir().mkpath(temporary_.path() + "/var");
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    testsupport::LogCapture capture;
    QStringList lines = {"a"};
    EXPECT_FALSE(VersionInfo::writeVersionInfo("dsp", lines));
    const std::vector<std::string> expected = {
        ("Error when writing to the file " + directory_ + "/dsp.info").toStdString()};
    EXPECT_EQ(expected, capture.messages("quarn_system_logger"));
}

TEST_F(VersionInfoTest, ReadAppendsToTheCallersList) {
    writeFile("core-app.info", "Core App\n1.0\n\nrev");
    QStringList lines = {"x", "y"};
    ASSERT_TRUE(VersionInfo::readVersionInfo("core-app", lines));
    EXPECT_EQ(QStringList({"x", "y", "Core App", "1.0", "", "rev"}), lines);

    writeFile("empty.info", "");
    QStringList untouched = {"x"};
    EXPECT_TRUE(VersionInfo::readVersionInfo("empty", untouched));
    EXPECT_EQ(QStringList({"x"}), untouched);
}

TEST_F(VersionInfoTest, ReadOfAMissingRecordGivesFalseAndAWarning) {
    testsupport::LogCapture capture;
    QStringList lines = {"x"};
    EXPECT_FALSE(VersionInfo::readVersionInfo("absent", lines));
    EXPECT_EQ(QStringList({"x"}), lines);
    const std::vector<std::string> expected = {
        ("Error when reading from the file " + directory_ + "/absent.info").toStdString()};
    EXPECT_EQ(expected, capture.messages("quarn_system_logger"));
}

TEST_F(VersionInfoTest, CompareIgnoresOrderAndSortsTheCallersList) {
    writeFile("dsp.info", "b\nZ\na\n");
    QStringList lines = {"a", "b", "Z"};
    bool equal = false;
    ASSERT_TRUE(VersionInfo::compareVersionInfo("dsp", lines, equal));
    EXPECT_TRUE(equal);
    // Code-unit order: upper case before lower case.
    EXPECT_EQ(QStringList({"Z", "a", "b"}), lines);

    QStringList longer = {"a", "b", "Z", "c"};
    ASSERT_TRUE(VersionInfo::compareVersionInfo("dsp", longer, equal));
    EXPECT_FALSE(equal);

    QStringList different = {"a", "b", "z"};
    equal = true;
    ASSERT_TRUE(VersionInfo::compareVersionInfo("dsp", different, equal));
    EXPECT_FALSE(equal);
}

TEST_F(VersionInfoTest, CompareWithAMissingRecordLeavesEqualAlone) {
    testsupport::LogCapture capture;
    QStringList lines = {"b", "a"};
    for (bool preset : {true, false}) {
        bool equal = preset;
        EXPECT_FALSE(VersionInfo::compareVersionInfo("absent", lines, equal));
        EXPECT_EQ(preset, equal);
    }
    EXPECT_EQ(
        2u, capture.count(
                ("Error when reading from the file " + directory_ + "/absent.info").toStdString()));
}

TEST_F(VersionInfoTest, ReadAllSkipsThePlatformOtherFilesAndDirectories) {
    writeFile("platform.info", "Firmware\n2.0\n");
    writeFile("core-app.info", "Core App\n1.0\n");
    writeFile("notes.txt", "not a record\n");
    QDir().mkpath(path("dsp-manager.info"));
    const QList<QStringList> records = VersionInfo::readAllVersionInfo();
    ASSERT_EQ(1, records.size());
    EXPECT_EQ(QStringList({"Core App", "1.0"}), records.at(0));
}

TEST_F(VersionInfoTest, ReadAllOfAMissingDirectoryIsEmpty) {
    EXPECT_TRUE(VersionInfo::readAllVersionInfo().isEmpty());
}

TEST_F(VersionInfoTest, PlatformRecordOrPlaceholder) {
    testsupport::LogCapture capture;
    EXPECT_EQ(QStringList({"Firmware", "?.?", " ", " "}), VersionInfo::readPlatformVersionInfo());
    writeFile("platform.info", "Firmware\n2.0\nJan  1 2015\nabc\n");
    EXPECT_EQ(QStringList({"Firmware", "2.0", "Jan  1 2015", "abc"}),
              VersionInfo::readPlatformVersionInfo());
    EXPECT_EQ(1u, capture.messages("quarn_system_logger").size());
}

} // namespace
