#include "system/VersionInfo.h"

#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using quarn_system::VersionInfo;
using Texts = std::vector<std::string>;

namespace {

// Reads before the directory exists, writes that make it, reads and compares of the records in
// it, and at last a write where the directory cannot be made.
TEST(VersionInfoTest, WritesMakeTheDirectoryReadsAppendAndComparesIgnoreTheOrder) {
    QTemporaryDir temporary;
    const QString directory = temporary.path() + "/var/versions";
    testsupport::LogCapture capture;
    VersionInfo::setVersionInfoDirectory(directory);
    const auto write = [&directory](const QString& name, const QByteArray& content) {
        QFile file(directory + "/" + name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content);
    };
    const auto readError = [&directory](const char* baseName) {
        return ("Error when reading from the file " + directory + "/" + baseName + ".info")
            .toStdString();
    };

    EXPECT_TRUE(VersionInfo::readAllVersionInfo().isEmpty()) << "no directory yet";
    EXPECT_EQ(QStringList({"Firmware", "?.?", " ", " "}), VersionInfo::readPlatformVersionInfo());
    QStringList untouched = {"x"};
    EXPECT_FALSE(VersionInfo::readVersionInfo("absent", untouched));
    EXPECT_EQ(Texts({readError("platform"), readError("absent")}),
              capture.messages("quarn_system_logger"));

    // Placeholders inside the texts stay literal; ü is U+00FC: C3 BC in UTF-8.
    VersionInfo::createVersionFile("pwr-manager", QString::fromUtf8("Prüf %2"), "V%1",
                                   "Oct 17 2014 13:27:09",
                                   "0123456789abcdef0123456789abcdef01234567");
    QFile record(directory + "/pwr-manager.info");
    ASSERT_TRUE(record.open(QIODevice::ReadOnly));
    EXPECT_EQ(QByteArray("Pr\xC3\xBC"
                         "f %2\nV%1\nOct 17 2014 13:27:09\n"
                         "0123456789abcdef0123456789abcdef01234567\n"),
              record.readAll());
    EXPECT_EQ(Texts{"Release version of Pr\xC3\xBC"
                    "f %2: V%1, (built on: Oct 17 2014 13:27:09)"},
              capture.messages("version_info_logger"));
    // A second write replaces the record and leaves the caller's list alone.
    QStringList lines = {"only"};
    ASSERT_TRUE(VersionInfo::writeVersionInfo("pwr-manager", lines));
    EXPECT_EQ(QStringList({"only"}), lines);
    lines = QStringList{"x", "y"};
    ASSERT_TRUE(VersionInfo::readVersionInfo("pwr-manager", lines));
    EXPECT_EQ(QStringList({"x", "y", "only"}), lines);

    write("platform.info", "Firmware\n2.0\nJan  1 2015\nabc\n");
    write("pwr-manager.info", "Core App\n1.0\n\nrev");
    write("notes.txt", "not a record\n");
    QDir().mkpath(directory + "/dsp-manager.info");
    EXPECT_EQ(QList<QStringList>{QStringList({"Core App", "1.0", "", "rev"})},
              VersionInfo::readAllVersionInfo());
    EXPECT_EQ(QStringList({"Firmware", "2.0", "Jan  1 2015", "abc"}),
              VersionInfo::readPlatformVersionInfo());
    write("empty.info", "");
    EXPECT_TRUE(VersionInfo::readVersionInfo("empty", untouched));
    EXPECT_EQ(QStringList({"x"}), untouched);

    // Comparing ignores the order and sorts the caller's list in code-unit order: upper case
    // before lower case.
    write("dsp.info", "b\nZ\na\n");
    QStringList sorted = {"a", "b", "Z"};
    bool equal = false;
    ASSERT_TRUE(VersionInfo::compareVersionInfo("dsp", sorted, equal));
    EXPECT_TRUE(equal);
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
    EXPECT_EQ(3u, capture.count(readError("absent"))) << "the read above and the two compares";

    // A plain file where the directory should be: neither can be created.
    const QString blocked = temporary.path() + "/blocked";
    ASSERT_TRUE(QFile(blocked).open(QIODevice::WriteOnly));
    VersionInfo::setVersionInfoDirectory(blocked);
    capture.clear();
    EXPECT_FALSE(VersionInfo::writeVersionInfo("dsp", lines));
    EXPECT_EQ(Texts{("Error when writing to the file " + blocked + "/dsp.info").toStdString()},
              capture.messages("quarn_system_logger"));
    VersionInfo::setVersionInfoDirectory(QString());
    EXPECT_EQ(QString("/var/lib/quarn/versions/"), VersionInfo::versionInfoDirectory());
}

} // namespace
