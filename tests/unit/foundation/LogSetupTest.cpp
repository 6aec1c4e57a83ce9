#include "foundation/LogSetup.h"
#include "foundation/Log.h"

#include "FoundationTestSupport.h"
#include "support/LogCapture.h"

#include <QThread>

#include <log4cplus/logger.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <limits>
#include <string>

namespace {

using log4cplus::Logger;

// The leading number and a unit anywhere in the text ("KB" looked for first); at each unit the
// largest number that fits and one above it (saturated, with the limits of a long on the machine
// at hand); negative numbers are refused for the default 1 MiB.
TEST(LogSetupTest, FileSizeTakesTheLeadingNumberAndAUnitAndSaturates) {
    const long largest = std::numeric_limits<long>::max();
    const std::string digits = std::to_string(largest);
    const long kb = largest / 1024;
    const long mb = largest / 1048576;
    const std::pair<std::string, long> cases[] = {
        {"2mb", 2097152},
        {"500kb", 512000},
        {"KB", 0},
        {"12 MB", 12582912},
        {"7 bytes", 7},
        {"", 0},
        {"lots", 0},
        {"1 mb or kb", 1024},
        // The largest long ends in 7 on every machine: with an 8 there it is one above.
        {digits, largest},
        {digits.substr(0, digits.size() - 1) + "8", largest},
        {std::to_string(kb) + "kb", kb * 1024},
        {std::to_string(kb + 1) + "KB", largest},
        {std::to_string(mb) + "MB", mb * 1048576},
        {std::to_string(mb + 1) + "mb", largest},
        {"-1", 1048576},
        {"-5kb", 1048576},
        {"-0", 0}};
    for (const auto& [value, bytes] : cases) {
        EXPECT_EQ(bytes, shared::parseLogFileSize(value.c_str())) << value;
    }
}

TEST(LogSetupTest, LevelWordsMapInUpperOrLowerCaseOnly) {
    const std::pair<std::string, log4cplus::LogLevel> words[] = {
        {"OFF", 60000},  {"FATAL", 50000}, {"ERROR", 40000}, {"WARN", 30000},
        {"INFO", 20000}, {"DEBUG", 10000}, {"TRACE", 0}};
    for (const auto& [word, level] : words) {
        std::string lower = word;
        std::transform(word.begin(), word.end(), lower.begin(), ::tolower);
        EXPECT_EQ(shared::logLevelFromWord(word), level) << word;
        EXPECT_EQ(shared::logLevelFromWord(lower), level) << lower;
    }
    EXPECT_EQ(shared::logLevelFromWord(""), log4cplus::TRACE_LOG_LEVEL);
    for (const char* unknown : {"Warn", "WARNING", " INFO"}) {
        EXPECT_EQ(shared::logLevelFromWord(unknown), log4cplus::OFF_LOG_LEVEL) << unknown;
    }
}

TEST(LogSetupTest, LoggerLevelsApplyLeftToRight) {
    const log4cplus::LogLevel rootLevel = Logger::getRoot().getLogLevel();
    const auto levelOf = [](const char* name) { return Logger::getInstance(name).getLogLevel(); };

    // The plain case ("ALL:WARN,ipc_client:DEBUG;model_buffer") is shown by LogProcessTest in
    // a fresh process. A later entry wins; an unknown word turns the logger off; empty entries
    // are skipped and a colon with nothing after it is a missing level word.
    shared::applyLoggerLevels(
        "spi:ERROR;spi:INFO,ALL:ERROR,ALL:FATAL,;memory_screen:verbose,,session_storage_data:;;");
    EXPECT_EQ(levelOf("spi_logger"), log4cplus::INFO_LOG_LEVEL);
    EXPECT_EQ(Logger::getRoot().getLogLevel(), log4cplus::FATAL_LOG_LEVEL);
    EXPECT_EQ(levelOf("memory_screen_logger"), log4cplus::OFF_LOG_LEVEL);
    EXPECT_EQ(levelOf("session_storage_data_logger"), log4cplus::TRACE_LOG_LEVEL);
    Logger::getRoot().setLogLevel(rootLevel);
}

TEST(LogSetupTest, DefaultFileNameIsTheExecutableNameUpToItsFirstDot) {
    EXPECT_EQ(shared::defaultLogFileName(), "unit_foundation.log");
    foundation_test::TempDir dir;
    foundation_test::writeFile(dir.path("plain"), "not a link");
    const struct {
        const char* link;
        std::string target; // empty: no link is made
        std::string name;
    } cases[] = {{"exe", "/opt/quarn/bin/pwr-manager", "pwr-manager.log"},
                 {"dotted", "/usr/v1.2/a.b.c", "a.log"},
                 {"relative", "tool", "tool.log"},
                 // The longest target the link buffer holds is not overrun.
                 {"long", "/" + std::string(4094, 'x'), std::string(4094, 'x') + ".log"},
                 {"missing", "", "app.log"},
                 {"plain", "", "app.log"}};
    for (const auto& c : cases) {
        if (!c.target.empty()) {
            ASSERT_EQ(::symlink(c.target.c_str(), dir.path(c.link).c_str()), 0) << c.link;
        }
        EXPECT_EQ(shared::defaultLogFileName(dir.path(c.link).c_str()), c.name) << c.link;
    }
}

TEST(LogRepeatLimiter, FirstLineThenOneSummaryPerPeriodUntilTheConditionEnds) {
    testsupport::LogCapture log;
    shared::LogRepeatLimiter limiter(200);
    const auto occur = [&](int times, unsigned long pauseMs) {
        QThread::msleep(pauseMs);
        for (int time = 0; time < times; ++time) {
            LOG_REPEATED(limiter, ::log4cplus::WARN_LOG_LEVEL, "gauge_logger", "No gauge " << 7);
        }
    };
    occur(1000, 0);
    occur(3, 250);
    occur(1, 250);
    // A period in which nothing was held back ends in a plain line.
    occur(1, 250);
    // Once the condition has ended, its next occurrence is a first one.
    limiter.reset();
    occur(2, 0);
    EXPECT_EQ((std::vector<std::string>{
                  "No gauge 7", "No gauge 7 (repeated 999 times since last logged)",
                  "No gauge 7 (repeated 2 times since last logged)", "No gauge 7", "No gauge 7"}),
              log.messages("gauge_logger"));
}

} // namespace
