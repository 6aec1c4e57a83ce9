#include "system/SystemFileHandler.h"

#include "support/LogCapture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

using quarn_system::SystemFileHandler;

namespace {

class SystemFileHandlerTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temporary_.isValid()); }

    QString path(const QString& relative) const { return temporary_.path() + "/" + relative; }

    void makeFile(const QString& relative) const {
        QDir().mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("content");
    }

    void makeDir(const QString& relative) const { ASSERT_TRUE(QDir().mkpath(path(relative))); }

    bool exists(const QString& relative) const {
        // QFileInfo::exists follows links; a dangling link still counts as present here.
        return QFileInfo(path(relative)).exists() || QFileInfo(path(relative)).isSymLink();
    }

    QTemporaryDir temporary_;
};

TEST_F(SystemFileHandlerTest, DeleteDirectoryFilesRemovesOnlyRegularVisibleFiles) {
    makeFile("dir/regular.txt");
    makeFile("dir/.hidden");
    makeFile("outside.txt");
    ASSERT_TRUE(QFile::link(path("outside.txt"), path("dir/link.txt")));
    makeFile("dir/sub/inner.txt");

    SystemFileHandler::deleteDirectoryFiles(path("dir"));

    EXPECT_FALSE(exists("dir/regular.txt"));
    EXPECT_TRUE(exists("dir/.hidden"));
    EXPECT_TRUE(exists("dir/link.txt"));
    EXPECT_TRUE(exists("outside.txt"));
    EXPECT_TRUE(exists("dir/sub/inner.txt"));
}

TEST_F(SystemFileHandlerTest, DeleteDirectoryRemovesItWhenOnlyRegularFilesWereInside) {
    makeFile("gone/a.txt");
    makeFile("gone/b.txt");
    SystemFileHandler::deleteDirectory(path("gone"));
    EXPECT_FALSE(exists("gone"));

    // A hidden file keeps the directory; its regular files go all the same.
    makeFile("kept/a.txt");
    makeFile("kept/.hidden");
    SystemFileHandler::deleteDirectory(path("kept"));
    EXPECT_FALSE(exists("kept/a.txt"));
    EXPECT_TRUE(exists("kept/.hidden"));
}

TEST_F(SystemFileHandlerTest, DeleteDirectoryRecursivelyKeepsTheNamedSubdirectory) {
    makeFile("parent/first/file.txt");
    makeFile("parent/first/.hidden");
    makeFile("parent/second/file.txt");
    makeFile("parent/second/.hidden");

    SystemFileHandler::deleteDirectoryRecursively(path("parent"), "second");

    EXPECT_FALSE(exists("parent/first"));
    EXPECT_TRUE(exists("parent/second/file.txt"));
    EXPECT_TRUE(exists("parent/second/.hidden"));
}

TEST_F(SystemFileHandlerTest, DeleteDirectoryRecursivelyWithNoMatchEmptiesEverySubdirectory) {
    makeFile("parent/first/file.txt");
    makeFile("parent/Second/.hidden");
    makeFile("parent/nested/file.txt");
    makeFile("parent/nested/deeper/file.txt");
    makeFile("parent/top.txt");
    makeFile("elsewhere/file.txt");
    ASSERT_TRUE(QFile::link(path("elsewhere"), path("parent/link")));

    // Case matters: "second" does not keep "Second".
    SystemFileHandler::deleteDirectoryRecursively(path("parent"), "second");

    EXPECT_FALSE(exists("parent/first"));
    EXPECT_FALSE(exists("parent/Second"));
    EXPECT_FALSE(exists("parent/nested/file.txt"));
    EXPECT_TRUE(exists("parent/nested/deeper/file.txt"));
    EXPECT_TRUE(exists("parent/top.txt"));
    EXPECT_TRUE(exists("elsewhere/file.txt"));
}

TEST_F(SystemFileHandlerTest, DeleteFileRemovesTheFile) {
    makeFile("file.txt");
    SystemFileHandler::deleteFile(path("file.txt"));
    EXPECT_FALSE(exists("file.txt"));
}

TEST_F(SystemFileHandlerTest, EmptyPathsAreRefusedWithOneWarningEach) {
    // An empty path must not fall back to the working directory.
    const QString workingDirectory = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temporary_.path()));
    makeFile("file.txt");
    makeFile("sub/file.txt");

    testsupport::LogCapture capture;
    SystemFileHandler::deleteDirectoryFiles(QString());
    SystemFileHandler::deleteDirectory(QString());
    SystemFileHandler::deleteDirectoryRecursively(QString(), "none");
    QDir::setCurrent(workingDirectory);

    const std::vector<std::string> expected = {
        "Empty parent directory specified when deleting files",
        "Empty parent directory specified when deleting files",
        "Empty parent directory specified when deleting subdirectories"};
    EXPECT_EQ(expected, capture.messages("memory_screen_logger"));
    for (const testsupport::LogEvent& event : capture.events()) {
        if (event.logger == "memory_screen_logger") {
            EXPECT_EQ(log4cplus::WARN_LOG_LEVEL, event.level);
        }
    }
    EXPECT_TRUE(exists("file.txt"));
    EXPECT_TRUE(exists("sub/file.txt"));
}

TEST_F(SystemFileHandlerTest, FileNamesAreUtf8ForQtAndTheCLibraryAlike) {
    const char* const savedAll = std::getenv("LC_ALL");
    const std::string savedAllValue = savedAll != nullptr ? savedAll : "";
    const std::string savedCtype = std::setlocale(LC_CTYPE, nullptr);
    setenv("LC_ALL", "C", 1);
    std::setlocale(LC_CTYPE, "C");

    SystemFileHandler::useUtf8FileNames();
    EXPECT_STREQ("UTF-8", nl_langinfo(CODESET));

    // "Grüße_日本.txt": ü U+00FC = C3 BC, ß U+00DF = C3 9F, 日 U+65E5 = E6 97 A5,
    // 本 U+672C = E6 9C AC.
    const QString name = QString::fromUtf8("Gr\u00fc\u00dfe_\u65e5\u672c.txt");
    const std::string bytes = "Gr\xC3\xBC\xC3\x9F"
                              "e_\xE6\x97\xA5\xE6\x9C\xAC.txt";
    EXPECT_EQ(QByteArray::fromStdString(bytes), QFile::encodeName(name));
    EXPECT_EQ(12u, std::mbstowcs(nullptr, bytes.c_str(), 0));

    makeFile(name);
    const std::string fullPath = temporary_.path().toStdString() + "/" + bytes;
    const int descriptor = ::open(fullPath.c_str(), O_RDONLY | O_CLOEXEC);
    EXPECT_GE(descriptor, 0);
    if (descriptor >= 0) {
        ::close(descriptor);
    }
    EXPECT_EQ(QStringList({name}), QDir(temporary_.path()).entryList(QDir::Files));

    if (savedAll != nullptr) {
        setenv("LC_ALL", savedAllValue.c_str(), 1);
    } else {
        unsetenv("LC_ALL");
    }
    std::setlocale(LC_CTYPE, savedCtype.c_str());
}

} // namespace
