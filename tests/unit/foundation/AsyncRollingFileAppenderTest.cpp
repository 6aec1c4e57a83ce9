#include "foundation/AsyncRollingFileAppender.h"

#include "FoundationTestSupport.h"

#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/spi/loggingevent.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <regex>
#include <thread>
#include <vector>

namespace {

using foundation_test::banner;
using foundation_test::readFile;
using foundation_test::TempDir;
using log4cplus::AsyncRollingFileAppender;
using AppenderPtr = log4cplus::helpers::SharedObjectPtr<AsyncRollingFileAppender>;

// The smallest roll-over size log4cplus accepts; smaller sizes are raised to it.
constexpr long MINIMUM_FILE_SIZE = 200 * 1024;
// Long enough that the writer thread never commits by itself during a test.
constexpr unsigned int NEVER_MS = 100000;

const std::string OVERFLOW_2 = "--- WARNING: Log messages overflowed the cache! Lost 2 messages "
                               "before the next message. ---\n";

class AsyncRollingFileAppenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { log4cplus::initialize(); }

    void TearDown() override {
        for (AppenderPtr& appender : appenders_) {
            stop(appender);
        }
    }

    // An appender that writes bare messages, one per line.
    AppenderPtr make(const std::string& path, long maxFileSize, unsigned int cacheSize,
                     unsigned int commitPeriodMs = NEVER_MS) {
        AppenderPtr appender(
            new AsyncRollingFileAppender(path, maxFileSize, cacheSize, commitPeriodMs));
        appender->setLayout(std::make_unique<log4cplus::PatternLayout>("%m%n"));
        appenders_.push_back(appender);
        return appender;
    }

    // Stops the writer thread and waits for its end, so commits happen only when the test asks.
    static void stop(AppenderPtr& appender) {
        if (appender && appender->isRunning()) {
            appender->stopWriter();
            appender->join();
        }
    }

    static void append(AsyncRollingFileAppender& appender, const std::string& message) {
        appender.doAppend(log4cplus::spi::InternalLoggingEvent(
            "test_logger", log4cplus::INFO_LOG_LEVEL, message, __FILE__, __LINE__, ""));
    }

    static long sizeOf(const std::string& path) {
        struct stat info {};
        return ::stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
    }

    TempDir dir_;
    std::vector<AppenderPtr> appenders_;
};

TEST_F(AsyncRollingFileAppenderTest, StartWritesTheRestartBannerWithTheFullPath) {
    const std::string path = dir_.file("banner.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 10);
    // Flushed line by line as it is written, before any commit.
    EXPECT_EQ(readFile(path), banner(path));
}

TEST_F(AsyncRollingFileAppenderTest, MissingLogDirectoryIsCreated) {
    const std::string path = dir_.path() + "/made/on/demand/app.log";
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 10);
    EXPECT_EQ(readFile(path), banner(path));
}

TEST_F(AsyncRollingFileAppenderTest, FileIsAppendedToAcrossRestarts) {
    const std::string path = dir_.file("restart.log");
    foundation_test::writeFile(path, "earlier run\n");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 10);
    stop(appender);
    append(*appender, "this run");
    appender->commit();
    EXPECT_EQ(readFile(path), "earlier run\n" + banner(path) + "this run\n");
}

TEST_F(AsyncRollingFileAppenderTest, OverflowDropsOldestLinesAndReportsTheCountOnce) {
    const std::string path = dir_.file("overflow.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 3);
    stop(appender);
    for (int i = 1; i <= 5; ++i) {
        append(*appender, "line " + std::to_string(i));
    }
    EXPECT_EQ(appender->cachedLineCount(), 3u);
    EXPECT_EQ(appender->lostLineCount(), 2u);
    appender->commit();
    EXPECT_EQ(readFile(path), banner(path) + OVERFLOW_2 + "line 3\nline 4\nline 5\n");
    EXPECT_EQ(appender->cachedLineCount(), 0u);
    EXPECT_EQ(appender->lostLineCount(), 0u);

    append(*appender, "line 6");
    appender->commit();
    EXPECT_EQ(readFile(path), banner(path) + OVERFLOW_2 + "line 3\nline 4\nline 5\nline 6\n");
}

TEST_F(AsyncRollingFileAppenderTest, FullCacheWithoutOverflowHasNoWarning) {
    const std::string path = dir_.file("full.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 3);
    stop(appender);
    for (int i = 1; i <= 3; ++i) {
        append(*appender, "line " + std::to_string(i));
    }
    appender->commit();
    EXPECT_EQ(readFile(path), banner(path) + "line 1\nline 2\nline 3\n");
}

TEST_F(AsyncRollingFileAppenderTest, CommitWithNothingCachedWritesNothing) {
    const std::string path = dir_.file("empty.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 3);
    stop(appender);
    appender->commit();
    appender->commit();
    EXPECT_EQ(readFile(path), banner(path));
}

TEST_F(AsyncRollingFileAppenderTest, ZeroCacheSizeCountsEveryLineAsLost) {
    const std::string path = dir_.file("zero.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 0);
    stop(appender);
    append(*appender, "dropped 1");
    append(*appender, "dropped 2");
    EXPECT_EQ(appender->cachedLineCount(), 0u);
    appender->commit();
    EXPECT_EQ(readFile(path), banner(path) + OVERFLOW_2);
}

// Lines of exactly 1000 bytes with the newline.
std::string kilobyteLine(int number) {
    std::string text = "line " + std::to_string(number) + " ";
    text.resize(999, '.');
    return text;
}

TEST_F(AsyncRollingFileAppenderTest, RollOverKeepsOneBackupAndSplitsAfterTheLineThatCrossed) {
    const std::string path = dir_.file("roll.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 1000);
    stop(appender);
    const long bannerSize = static_cast<long>(banner(path).size());

    // The file passes the maximum during line `crossing`: it ends the old file.
    const int crossing = static_cast<int>((MINIMUM_FILE_SIZE - bannerSize) / 1000) + 1;
    for (int i = 1; i <= crossing + 5; ++i) {
        append(*appender, kilobyteLine(i));
    }
    appender->commit();

    const std::string backup = readFile(path + ".1");
    ASSERT_FALSE(backup.empty());
    EXPECT_EQ(sizeOf(path + ".1"), bannerSize + crossing * 1000L);
    EXPECT_GT(sizeOf(path + ".1"), MINIMUM_FILE_SIZE);
    EXPECT_EQ(backup.compare(backup.size() - 1000, 1000, kilobyteLine(crossing) + "\n"), 0);
    const std::string current = readFile(path);
    EXPECT_EQ(current.size(), 5000u);
    EXPECT_EQ(current.compare(0, 1000, kilobyteLine(crossing + 1) + "\n"), 0);
    EXPECT_EQ(sizeOf(path + ".2"), -1);

    // A second roll-over replaces the backup; there is never a second one.
    const int more = static_cast<int>(MINIMUM_FILE_SIZE / 1000) + 10;
    for (int i = 1; i <= more; ++i) {
        append(*appender, kilobyteLine(crossing + 5 + i));
    }
    appender->commit();
    const std::string secondBackup = readFile(path + ".1");
    EXPECT_EQ(secondBackup.compare(0, 1000, kilobyteLine(crossing + 1) + "\n"), 0);
    EXPECT_EQ(sizeOf(path + ".2"), -1);
    EXPECT_EQ(sizeOf(path + ".1") + sizeOf(path), (crossing + 5 + more) * 1000L - crossing * 1000L);
}

TEST_F(AsyncRollingFileAppenderTest, RollOverCountsWhatAnEarlierRunLeftInTheFile) {
    const std::string path = dir_.file("continued.log");
    const long earlier = 200000;
    foundation_test::writeFile(path, std::string(earlier - 1, 'x') + "\n");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 100);
    stop(appender);
    const long before = earlier + static_cast<long>(banner(path).size());
    const int crossing = static_cast<int>((MINIMUM_FILE_SIZE - before) / 1000) + 1;
    for (int i = 1; i <= crossing + 2; ++i) {
        append(*appender, kilobyteLine(i));
    }
    appender->commit();
    EXPECT_EQ(sizeOf(path + ".1"), before + crossing * 1000L);
    EXPECT_EQ(readFile(path),
              kilobyteLine(crossing + 1) + "\n" + kilobyteLine(crossing + 2) + "\n");
}

TEST_F(AsyncRollingFileAppenderTest, ReusedLineBuffersCarryNothingOver) {
    const std::string path = dir_.file("reuse.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 4);
    stop(appender);
    std::string expected = banner(path);
    const std::string huge(10000, 'h');
    const std::vector<std::vector<std::string>> rounds = {
        {std::string(300, 'a'), std::string(200, 'b'), huge, "c"},
        {"d", "", "e"},
        {"f1", "f2", std::string(500, 'g'), "f4", "f5", "f6"},
        {"h"},
        {huge, "i"},
    };
    for (const std::vector<std::string>& round : rounds) {
        for (const std::string& line : round) {
            append(*appender, line);
        }
        appender->commit();
        const size_t kept = std::min<size_t>(round.size(), 4);
        if (round.size() > kept) {
            expected += "--- WARNING: Log messages overflowed the cache! Lost " +
                        std::to_string(round.size() - kept) +
                        " messages before the next message. ---\n";
        }
        for (size_t i = round.size() - kept; i < round.size(); ++i) {
            expected += round[i] + "\n";
        }
        ASSERT_EQ(readFile(path), expected);
    }
}

TEST_F(AsyncRollingFileAppenderTest, UnwritableDirectoryKeepsABoundedCache) {
    const std::string notADirectory = dir_.file("plain-file");
    foundation_test::writeFile(notADirectory, "");
    const std::string path = notADirectory + "/app.log";
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 3);
    stop(appender);

    for (int i = 1; i <= 10; ++i) {
        append(*appender, "line " + std::to_string(i));
    }
    appender->commit();
    appender->commit();
    EXPECT_EQ(appender->cachedLineCount(), 3u);
    EXPECT_EQ(appender->lostLineCount(), 7u);
    for (int i = 11; i <= 1000; ++i) {
        append(*appender, "line " + std::to_string(i));
    }
    appender->commit();
    EXPECT_EQ(appender->cachedLineCount(), 3u);
    EXPECT_EQ(appender->lostLineCount(), 997u);
}

TEST_F(AsyncRollingFileAppenderTest, WriterThreadCommitsEveryPeriod) {
    const std::string path = dir_.file("periodic.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 10, 10);
    append(*appender, "written by the writer");
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (readFile(path) == banner(path) && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(readFile(path), banner(path) + "written by the writer\n");
}

TEST_F(AsyncRollingFileAppenderTest, DestructionCommitsWhatIsCached) {
    const std::string path = dir_.file("destroyed.log");
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 10);
    stop(appender);
    append(*appender, "last words");
    appenders_.clear();
    appender = AppenderPtr();
    EXPECT_EQ(readFile(path), banner(path) + "last words\n");
}

TEST_F(AsyncRollingFileAppenderTest, CloseWritesTheCacheAndLaterCommitsDoNothing) {
    const std::string path = dir_.file("closed.log");
    // The writer keeps running, as it does while log4cplus closes appenders at exit.
    AppenderPtr appender = make(path, MINIMUM_FILE_SIZE, 10, 1);
    append(*appender, "before close");
    appender->close();
    EXPECT_EQ(readFile(path), banner(path) + "before close\n");
    appender->commit();
    EXPECT_EQ(readFile(path), banner(path) + "before close\n");
}

TEST_F(AsyncRollingFileAppenderTest, ConcurrentLoggingLosesNoLineUnaccounted) {
    const std::string path = dir_.file("stress.log");
    AppenderPtr appender = make(path, 64L * 1024 * 1024, 16, 1);
    constexpr int THREADS = 4;
    constexpr int LINES = 5000;
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            while (!go) {
                std::this_thread::yield();
            }
            for (int i = 0; i < LINES; ++i) {
                append(*appender, "t" + std::to_string(t) + " " + std::to_string(i));
            }
        });
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    stop(appender);
    appender->commit();

    const std::regex lineForm("t([0-9]) ([0-9]+)");
    const std::regex warningForm("--- WARNING: Log messages overflowed the cache! Lost ([0-9]+) "
                                 "messages before the next message. ---");
    std::map<int, int> lastSeen;
    long written = 0;
    long lost = 0;
    const std::string content = readFile(path);
    ASSERT_EQ(content.compare(0, banner(path).size(), banner(path)), 0);
    for (const std::string& line :
         foundation_test::splitLines(content.substr(banner(path).size()))) {
        std::smatch match;
        if (std::regex_match(line, match, lineForm)) {
            const int thread = std::stoi(match[1]);
            const int number = std::stoi(match[2]);
            const auto seen = lastSeen.find(thread);
            EXPECT_TRUE(seen == lastSeen.end() || seen->second < number) << line;
            lastSeen[thread] = number;
            ++written;
        } else if (std::regex_match(line, match, warningForm)) {
            lost += std::stol(match[1]);
        } else {
            ADD_FAILURE() << "unexpected line: " << line;
        }
    }
    EXPECT_EQ(written + lost, static_cast<long>(THREADS) * LINES);
    EXPECT_GT(written, 0);
}

} // namespace
