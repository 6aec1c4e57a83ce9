#include "foundation/LogSetup.h"

#include "FoundationTestSupport.h"

#include <log4cplus/logger.h>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using foundation_test::TempDir;

TEST(LogSetupTest, FileSizeTakesTheLeadingNumberAndAUnit) {
    EXPECT_EQ(shared::parseLogFileSize("2mb"), 2097152);
    EXPECT_EQ(shared::parseLogFileSize("500kb"), 512000);
    EXPECT_EQ(shared::parseLogFileSize("4096"), 4096);
    EXPECT_EQ(shared::parseLogFileSize("KB"), 0);
    EXPECT_EQ(shared::parseLogFileSize("3Mb"), 3145728);
    EXPECT_EQ(shared::parseLogFileSize("12 MB"), 12582912);
    // The unit is searched anywhere in the text, and "KB" is looked for first.
    EXPECT_EQ(shared::parseLogFileSize("1 mb or kb"), 1024);
    EXPECT_EQ(shared::parseLogFileSize("7 bytes"), 7);
    EXPECT_EQ(shared::parseLogFileSize(""), 0);
    EXPECT_EQ(shared::parseLogFileSize("lots"), 0);
}

TEST(LogSetupTest, LevelWordsMapInUpperOrLowerCaseOnly) {
    EXPECT_EQ(shared::logLevelFromWord(""), log4cplus::TRACE_LOG_LEVEL);
    EXPECT_EQ(shared::logLevelFromWord("OFF"), 60000);
    EXPECT_EQ(shared::logLevelFromWord("off"), 60000);
    EXPECT_EQ(shared::logLevelFromWord("FATAL"), 50000);
    EXPECT_EQ(shared::logLevelFromWord("fatal"), 50000);
    EXPECT_EQ(shared::logLevelFromWord("ERROR"), 40000);
    EXPECT_EQ(shared::logLevelFromWord("error"), 40000);
    EXPECT_EQ(shared::logLevelFromWord("WARN"), 30000);
    EXPECT_EQ(shared::logLevelFromWord("warn"), 30000);
    EXPECT_EQ(shared::logLevelFromWord("INFO"), 20000);
    EXPECT_EQ(shared::logLevelFromWord("info"), 20000);
    EXPECT_EQ(shared::logLevelFromWord("DEBUG"), 10000);
    EXPECT_EQ(shared::logLevelFromWord("debug"), 10000);
    EXPECT_EQ(shared::logLevelFromWord("TRACE"), 0);
    EXPECT_EQ(shared::logLevelFromWord("trace"), 0);
    EXPECT_EQ(shared::logLevelFromWord("Warn"), 60000);
    EXPECT_EQ(shared::logLevelFromWord("WARNING"), 60000);
    EXPECT_EQ(shared::logLevelFromWord(" INFO"), 60000);
}

// Leaves the root logger's level as the test found it.
class LoggerLevelsTest : public ::testing::Test {
protected:
    void SetUp() override { rootLevel_ = log4cplus::Logger::getRoot().getLogLevel(); }
    void TearDown() override { log4cplus::Logger::getRoot().setLogLevel(rootLevel_); }

    static log4cplus::LogLevel levelOf(const char* name) {
        return log4cplus::Logger::getInstance(name).getLogLevel();
    }

private:
    log4cplus::LogLevel rootLevel_ = log4cplus::NOT_SET_LOG_LEVEL;
};

TEST_F(LoggerLevelsTest, ExampleSetsRootAndNamedLoggers) {
    shared::applyLoggerLevels("ALL:WARN,ipc_client:DEBUG;model_buffer");
    EXPECT_EQ(log4cplus::Logger::getRoot().getLogLevel(), log4cplus::WARN_LOG_LEVEL);
    EXPECT_EQ(levelOf("ipc_client_logger"), log4cplus::DEBUG_LOG_LEVEL);
    EXPECT_EQ(levelOf("model_buffer_logger"), log4cplus::TRACE_LOG_LEVEL);
    // The name is not a logger of its own: "_logger" is always appended.
    EXPECT_EQ(levelOf("ipc_client"), log4cplus::NOT_SET_LOG_LEVEL);
}

TEST_F(LoggerLevelsTest, LaterEntryForTheSameLoggerWins) {
    shared::applyLoggerLevels("spi:ERROR;spi:INFO,ALL:ERROR,ALL:FATAL");
    EXPECT_EQ(levelOf("spi_logger"), log4cplus::INFO_LOG_LEVEL);
    EXPECT_EQ(log4cplus::Logger::getRoot().getLogLevel(), log4cplus::FATAL_LOG_LEVEL);
}

TEST_F(LoggerLevelsTest, UnknownWordTurnsTheLoggerOffAndEmptyEntriesAreSkipped) {
    shared::applyLoggerLevels(",;memory_screen:verbose,,session_storage_data:;;");
    EXPECT_EQ(levelOf("memory_screen_logger"), log4cplus::OFF_LOG_LEVEL);
    // A colon with nothing after it is a missing level word.
    EXPECT_EQ(levelOf("session_storage_data_logger"), log4cplus::TRACE_LOG_LEVEL);
}

TEST(LogSetupTest, UnknownAppenderChoiceAttachesNothing) {
    log4cplus::Logger root = log4cplus::Logger::getRoot();
    const size_t before = root.getAllAppenders().size();
    for (const char* choice : {"console", "file", "Console", "NONE", ""}) {
        shared::attachAppenders(choice);
        EXPECT_EQ(root.getAllAppenders().size(), before) << choice;
    }
}

TEST(LogSetupTest, DefaultFileNameIsTheExecutableNameUpToItsFirstDot) {
    TempDir dir;
    const std::string link = dir.file("exe");
    ASSERT_EQ(::symlink("/opt/quarn/bin/pwr-manager", link.c_str()), 0);
    EXPECT_EQ(shared::defaultLogFileName(link.c_str()), "pwr-manager.log");

    const std::string dotted = dir.file("dotted");
    ASSERT_EQ(::symlink("/usr/v1.2/a.b.c", dotted.c_str()), 0);
    EXPECT_EQ(shared::defaultLogFileName(dotted.c_str()), "a.log");

    const std::string relative = dir.file("relative");
    ASSERT_EQ(::symlink("tool", relative.c_str()), 0);
    EXPECT_EQ(shared::defaultLogFileName(relative.c_str()), "tool.log");
}

TEST(LogSetupTest, DefaultFileNameOfAnUnreadableLinkIsApp) {
    TempDir dir;
    EXPECT_EQ(shared::defaultLogFileName(dir.file("missing").c_str()), "app.log");
    const std::string plainFile = dir.file("plain");
    foundation_test::writeFile(plainFile, "not a link");
    EXPECT_EQ(shared::defaultLogFileName(plainFile.c_str()), "app.log");
}

TEST(LogSetupTest, DefaultFileNameOfTheRunningProgram) {
    EXPECT_EQ(shared::defaultLogFileName(), "unit_foundation.log");
}

TEST(LogSetupTest, LongestLinkTargetIsNotOverrun) {
    TempDir dir;
    const std::string target = "/" + std::string(4094, 'x');
    const std::string link = dir.file("long");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(shared::defaultLogFileName(link.c_str()), std::string(4094, 'x') + ".log");
}

} // namespace
