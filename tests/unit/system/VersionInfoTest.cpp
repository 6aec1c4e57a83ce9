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
    void SetUp() override { VersionInfo::setVersionInfoDirectory(directory_); }
    void TearDown() override { VersionInfo::setVersionInfoDirectory(QString()); }

    void writeFile(const QString& name, const QByteArray& content) const {
        QDir().mkpath(directory_);
        QFile file(directory_ + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    }

    QByteArray readFile(const QString& name) const {
        QFile file(directory_ + "/" + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

    std::string readError(const char* baseName) const {
        return ("Error when reading from the file " + directory_ + "/" + baseName + ".info")
            .toStdString();
    }

    QTemporaryDir temporary_;
    const QString directory_ = temporary_.path() + "/var/versions";
    testsupport::LogCapture capture_;
};

TEST_F(VersionInfoTest, WritesMakeTheDirectoryAndFourUtf8LinesOrGiveFalseAndAWarning) {
    // Placeholders inside the texts stay literal; ü is U+00FC: C3 BC in UTF-8.
    VersionInfo::createVersionFile("pwr-manager", QString::fromUtf8("Prüf %2"), "V%1",
                                   "Oct 17 2014 13:27:09",
                                   "0123456789abcdef0123456789abcdef01234567");
    EXPECT_EQ(QByteArray("Pr\xC3\xBC"
                         "f %2\nV%1\nOct 17 2014 13:27:09\n"
                         "0123456789abcdef0123456789abcdef01234567\n"),
              readFile("pwr-manager.info"));
    EXPECT_EQ(std::vector<std::string>{"Release version of Pr\xC3\xBC"
                                       "f %2: V%1, (built on: Oct 17 2014 13:27:09)"},
              capture_.messages("version_info_logger"));

    // A second write replaces the record and leaves the caller's list alone.
    QStringList lines = {"only"};
    ASSERT_TRUE(VersionInfo::writeVersionInfo("pwr-manager", lines));
    EXPECT_EQ(QByteArray("only\n"), readFile("pwr-manager.info"));
    EXPECT_EQ(QStringList({"only"}), lines);

    // A plain file where the directory should be: neither the directory nor the record can be
    // created.
    const QString blocked = temporary_.path() + "/blocked";
    ASSERT_TRUE(QFile(blocked).open(QIODevice::WriteOnly));
    VersionInfo::setVersionInfoDirectory(blocked);
    EXPECT_FALSE(VersionInfo::writeVersionInfo("dsp", lines));
    EXPECT_EQ(
        std::vector<std::string>{
            ("Error when writing to the file " + blocked + "/dsp.info").toStdString()},
        capture_.messages("quarn_system_logger"));

    VersionInfo::setVersionInfoDirectory(QString());
    EXPECT_EQ(QString("/var/lib/quarn/versions/"), VersionInfo::versionInfoDirectory());
}

TEST_F(VersionInfoTest, ReadsAppendAndSkipOtherFilesAndComparesIgnoreTheOrder) {
    EXPECT_TRUE(VersionInfo::readAllVersionInfo().isEmpty()) << "no directory yet";
    EXPECT_EQ(QStringList({"Firmware", "?.?", " ", " "}), VersionInfo::readPlatformVersionInfo());
    QStringList untouched = {"x"};
    EXPECT_FALSE(VersionInfo::readVersionInfo("absent", untouched));
    EXPECT_EQ(std::vector<std::string>({readError("platform"), readError("absent")}),
              capture_.messages("quarn_system_logger"));

    writeFile("platform.info", "Firmware\n2.0\nJan  1 2015\nabc\n");
    writeFile("core-app.info", "Core App\n1.0\n\nrev");
    writeFile("notes.txt", "not a record\n");
    QDir().mkpath(directory_ + "/dsp-manager.info");
    EXPECT_EQ(QList<QStringList>{QStringList({"Core App", "1.0", "", "rev"})},
              VersionInfo::readAllVersionInfo());
    EXPECT_EQ(QStringList({"Firmware", "2.0", "Jan  1 2015", "abc"}),
              VersionInfo::readPlatformVersionInfo());
    QStringList lines = {"x", "y"};
    ASSERT_TRUE(VersionInfo::readVersionInfo("core-app", lines));
    EXPECT_EQ(QStringList({"x", "y", "Core App", "1.0", "", "rev"}), lines);
    writeFile("empty.info", "");
    EXPECT_TRUE(VersionInfo::readVersionInfo("empty", untouched));
    EXPECT_EQ(QStringList({"x"}), untouched);

    // Comparing ignores the order and sorts the caller's list.
    writeFile("dsp.info", "b\nZ\na\n");
    QStringList sorted = {"a", "b", "Z"};
    bool equal = false;
    ASSERT_TRUE(VersionInfo::compareVersionInfo("dsp", sorted, equal));
    EXPECT_TRUE(equal);
    // Code-unit order: upper case before lower case.
    EXPECT_EQ(QStringList({"Z", "a", "b"}), sorted);

    for (QStringList other : {QStringList{"a", "b", "Z", "c"}, QStringList{"a", "b", "z"}}) {
        equal = true;
        ASSERT_TRUE(VersionInfo::compareVersionInfo("dsp", other, equal));
        EXPECT_FALSE(equal) << other.join(",").toStdString();
    }

    // A missing record leaves equal alone, whichever value it holds.
    for (bool preset : {true, false}) {
        equal = preset;
        EXPECT_FALSE(VersionInfo::compareVersionInfo("absent", sorted, equal));
        EXPECT_EQ(preset, equal);
    }
    EXPECT_EQ(3u, capture_.count(readError("absent"))) << "the read above and the two compares";
}

} // namespace
