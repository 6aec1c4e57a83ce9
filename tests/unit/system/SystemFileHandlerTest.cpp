#include "system/SystemFileHandler.h"

#include "support/LogCapture.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <langinfo.h>

#include <clocale>
#include <string>

using quarn_system::SystemFileHandler;

namespace {

class SystemFileHandlerTest : public testing::Test {
protected:
    QString path(const QString& relative) const { return temporary_.path() + "/" + relative; }

    void makeFiles(std::initializer_list<const char*> relatives) const {
        for (const char* relative : relatives) {
            QDir().mkpath(QFileInfo(path(relative)).path());
            QFile file(path(relative));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << relative;
        }
    }

    // Every entry left under the directory, hidden ones and links (not followed) included.
    QStringList remaining(const QString& directory) const {
        QStringList entries;
        QDirIterator it(path(directory),
                        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            entries << QDir(path(directory)).relativeFilePath(it.next());
        }
        entries.sort();
        return entries;
    }

    QTemporaryDir temporary_;
};

TEST_F(SystemFileHandlerTest, DeletingRemovesOnlyRegularVisibleFilesAndOneLevelOfSubdirectories) {
    makeFiles({"dir/regular.txt", "dir/.hidden", "dir/sub/inner.txt", "outside.txt", "gone/a.txt",
               "gone/b.txt", "kept/a.txt", "kept/.hidden"});
    ASSERT_TRUE(QFile::link(path("outside.txt"), path("dir/link.txt")));
    SystemFileHandler::deleteDirectoryFiles(path("dir"));
    SystemFileHandler::deleteDirectory(path("gone"));
    // A hidden file keeps the directory; its regular files go all the same.
    SystemFileHandler::deleteDirectory(path("kept"));
    SystemFileHandler::deleteFile(path("outside.txt"));
    EXPECT_EQ(QStringList({"dir", "dir/.hidden", "dir/link.txt", "dir/sub", "dir/sub/inner.txt",
                           "kept", "kept/.hidden"}),
              remaining(""));

    makeFiles({"keep/first/file.txt", "keep/first/.hidden", "keep/second/file.txt",
               "keep/second/.hidden"});
    SystemFileHandler::deleteDirectoryRecursively(path("keep"), "second");
    EXPECT_EQ(QStringList({"second", "second/.hidden", "second/file.txt"}), remaining("keep"));

    makeFiles({"all/first/file.txt", "all/Second/.hidden", "all/nested/file.txt",
               "all/nested/deeper/file.txt", "all/top.txt", "elsewhere/file.txt"});
    ASSERT_TRUE(QFile::link(path("elsewhere"), path("all/link")));
    // Case matters: "second" does not keep "Second". Deeper levels are not descended into, and a
    // link is no subdirectory.
    SystemFileHandler::deleteDirectoryRecursively(path("all"), "second");
    EXPECT_EQ(QStringList({"link", "nested", "nested/deeper", "nested/deeper/file.txt", "top.txt"}),
              remaining("all"));
    EXPECT_EQ(QStringList({"file.txt"}), remaining("elsewhere"));
}

TEST_F(SystemFileHandlerTest, EmptyPathsAreRefusedAndTheCLibraryNamesFilesInUtf8) {
    // An empty path must not fall back to the working directory.
    const QString workingDirectory = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(temporary_.path()));
    makeFiles({"file.txt", "sub/file.txt", "sub/.hidden"});
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
        EXPECT_EQ(log4cplus::WARN_LOG_LEVEL, event.level) << event.message;
    }
    EXPECT_EQ(QStringList({"file.txt", "sub", "sub/.hidden", "sub/file.txt"}), remaining(""));

    // Qt names files in UTF-8 whatever the locale; the C library must agree.
    const bool hadAll = qEnvironmentVariableIsSet("LC_ALL");
    const QByteArray savedAll = qgetenv("LC_ALL");
    const std::string savedCtype = std::setlocale(LC_CTYPE, nullptr);
    qputenv("LC_ALL", "C");
    std::setlocale(LC_CTYPE, "C");

    SystemFileHandler::useUtf8FileNames();
    const std::string codeset = nl_langinfo(CODESET);
    hadAll ? qputenv("LC_ALL", savedAll) : qunsetenv("LC_ALL");
    std::setlocale(LC_CTYPE, savedCtype.c_str());
    EXPECT_EQ("UTF-8", codeset);
}

} // namespace
