#include "foundation/AsyncRollingFileAppender.h"

#include "FoundationTestSupport.h"

#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/spi/loggingevent.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

namespace {

using namespace foundation_test;
using log4cplus::AsyncRollingFileAppender;
using AppenderPtr = log4cplus::helpers::SharedObjectPtr<AsyncRollingFileAppender>;

// The smallest roll-over size log4cplus accepts; smaller sizes are raised to it.
constexpr long MINIMUM_FILE_SIZE = 200 * 1024;
// Long enough that the writer thread never commits by itself during a test.
constexpr unsigned int NEVER_MS = 100000;

std::string overflow(size_t lost) {
    return "--- WARNING: Log messages overflowed the cache! Lost " + std::to_string(lost) +
           " messages before the next message. ---\n";
}

// Lines of exactly 1000 bytes with the newline.
std::string kilobyteLine(int number) {
    std::string text = "line " + std::to_string(number) + " ";
    text.resize(999, '.');
    return text;
}

class AsyncRollingFileAppenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { log4cplus::initialize(); }

    void TearDown() override {
        for (AppenderPtr& appender : appenders_) {
            stop(appender);
        }
    }

    // An appender that writes bare messages, one per line. Unless it is to run, its writer
    // thread is stopped so that commits happen only when the test asks.
    AppenderPtr make(const std::string& path, unsigned int cacheSize, bool running = false,
                     unsigned int commitPeriodMs = NEVER_MS, long maxFileSize = MINIMUM_FILE_SIZE) {
        AppenderPtr appender(
            new AsyncRollingFileAppender(path, maxFileSize, cacheSize, commitPeriodMs));
        appender->setLayout(std::make_unique<log4cplus::PatternLayout>("%m%n"));
        appenders_.push_back(appender);
        if (!running) {
            stop(appender);
        }
        return appender;
    }

    static void stop(AppenderPtr& appender) {
        if (appender && appender->isRunning()) {
            appender->stopWriter();
            appender->join();
        }
    }

    static void append(AsyncRollingFileAppender& appender, const std::vector<std::string>& lines) {
        for (const std::string& line : lines) {
            appender.doAppend(log4cplus::spi::InternalLoggingEvent(
                "test_logger", log4cplus::INFO_LOG_LEVEL, line, __FILE__, __LINE__, ""));
        }
    }

    TempDir dir_;
    std::vector<AppenderPtr> appenders_;
};

TEST_F(AsyncRollingFileAppenderTest, StartAppendsTheBannerAndCloseAndDestructionWriteTheCache) {
    const std::string restarted = dir_.path("restart.log");
    writeFile(restarted, "earlier run\n");
    const std::string created = dir_.path("made/on/demand/app.log");
    AppenderPtr destroyed = make(restarted, 10);
    make(created, 10);
    // Flushed line by line as it is written, before any commit.
    EXPECT_EQ(readFile(restarted), "earlier run\n" + banner(restarted));
    EXPECT_EQ(readFile(created), banner(created));

    append(*destroyed, {"last words"});
    appenders_.clear();
    destroyed = AppenderPtr();
    EXPECT_EQ(readFile(restarted), "earlier run\n" + banner(restarted) + "last words\n");

    // The writer keeps running, as it does while log4cplus closes appenders at exit.
    AppenderPtr closed = make(created, 10, true, 1);
    append(*closed, {"before close"});
    closed->close();
    const std::string closedContent = banner(created) + banner(created) + "before close\n";
    EXPECT_EQ(readFile(created), closedContent);
    closed->commit();
    EXPECT_EQ(readFile(created), closedContent);
}

// Cache slots reused by lines of other lengths carry nothing over, and a full cache that lost
// nothing has no warning.
TEST_F(AsyncRollingFileAppenderTest, OverflowDropsTheOldestLinesAndReportsTheCountOnce) {
    const std::string path = dir_.path("overflow.log");
    AppenderPtr appender = make(path, 3);
    const std::string huge(10000, 'h');
    const std::vector<std::vector<std::string>> rounds = {
        {"line 1", "line 2", "line 3", "line 4", "line 5"},
        {std::string(300, 'a'), huge, "c"},
        {"d", "", "e"},
        {"f1", "f2", std::string(500, 'g'), "f4", "f5", "f6"},
        {huge, "i"},
    };
    std::string expected = banner(path);
    for (const std::vector<std::string>& round : rounds) {
        append(*appender, round);
        const size_t lost = round.size() > 3 ? round.size() - 3 : 0;
        EXPECT_EQ(appender->cachedLineCount(), round.size() - lost);
        EXPECT_EQ(appender->lostLineCount(), lost);
        appender->commit();
        EXPECT_EQ(appender->cachedLineCount() + appender->lostLineCount(), 0u);
        expected += lost > 0 ? overflow(lost) : "";
        for (size_t i = lost; i < round.size(); ++i) {
            expected += round[i] + "\n";
        }
        ASSERT_EQ(readFile(path), expected);
    }
}

TEST_F(AsyncRollingFileAppenderTest, RollOverKeepsOneBackupAndSplitsAfterTheLineThatCrossed) {
    // What an earlier run left in the file counts towards the maximum size.
    const std::string path = dir_.path("roll.log");
    writeFile(path, std::string(99999, 'x') + "\n");
    AppenderPtr appender = make(path, 1000);
    const size_t before = 100000 + banner(path).size();

    // The file passes the maximum during line `crossing`: it ends the old file.
    const int crossing =
        static_cast<int>((MINIMUM_FILE_SIZE - static_cast<long>(before)) / 1000) + 1;
    for (int i = 1; i <= crossing + 5; ++i) {
        append(*appender, {kilobyteLine(i)});
    }
    appender->commit();
    const std::string backup = readFile(path + ".1");
    EXPECT_EQ(std::filesystem::file_size(path + ".1"), before + crossing * 1000u);
    EXPECT_EQ(backup.compare(backup.size() - 1000, 1000, kilobyteLine(crossing) + "\n"), 0);
    const std::string current = readFile(path);
    EXPECT_EQ(current.size(), 5000u);
    EXPECT_EQ(current.compare(0, 1000, kilobyteLine(crossing + 1) + "\n"), 0);
    EXPECT_FALSE(std::filesystem::exists(path + ".2"));

    // A second roll-over replaces the backup; there is never a second one.
    const int more = static_cast<int>(MINIMUM_FILE_SIZE / 1000) + 10;
    for (int i = 1; i <= more; ++i) {
        append(*appender, {kilobyteLine(crossing + 5 + i)});
    }
    appender->commit();
    EXPECT_EQ(readFile(path + ".1").compare(0, 1000, kilobyteLine(crossing + 1) + "\n"), 0);
    EXPECT_FALSE(std::filesystem::exists(path + ".2"));
    EXPECT_EQ(readFile(path + ".1").size() + readFile(path).size(), (5 + more) * 1000u);
}

TEST_F(AsyncRollingFileAppenderTest, UnwritableDirectoryKeepsABoundedCache) {
    writeFile(dir_.path("plain-file"), "");
    AppenderPtr appender = make(dir_.path("plain-file/app.log"), 3);
    for (int i = 1; i <= 1000; ++i) {
        append(*appender, {"line " + std::to_string(i)});
        if (i == 10 || i == 1000) {
            appender->commit();
            appender->commit();
            EXPECT_EQ(appender->cachedLineCount(), 3u);
            EXPECT_EQ(appender->lostLineCount(), i - 3u);
        }
    }

    // The writer tries again by itself once the directory can be written: nothing else is
    // logged that would wake it.
    writeFile(dir_.path("blocked"), "");
    const std::string path = dir_.path("blocked/app.log");
    AppenderPtr running = make(path, 3, true, 10);
    append(*running, {"cached while blocked"});
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::filesystem::remove(dir_.path("blocked"));
    std::filesystem::create_directory(dir_.path("blocked"));
    EXPECT_TRUE(testsupport::pumpUntil([&] { return !readFile(path).empty(); }));
    EXPECT_EQ(readFile(path), "cached while blocked\n");
}

TEST_F(AsyncRollingFileAppenderTest, IdleWriterSleepsAndTheFirstLineWakesItForOneCommit) {
    const auto fileBecomes = [](const std::string& path, const std::string& content) {
        return testsupport::pumpUntil([&] { return readFile(path) == content; }) ? content
                                                                                 : readFile(path);
    };
    const std::string path = dir_.path("periodic.log");
    AppenderPtr appender = make(path, 10, true, 10);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(appender->writerWakeUpCount(), 0u);

    // Woken by the line, then once more at the end of the period that gathers the lines.
    append(*appender, {"written by the writer", "and its neighbour"});
    const std::string written = banner(path) + "written by the writer\nand its neighbour\n";
    EXPECT_EQ(fileBecomes(path, written), written);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(appender->writerWakeUpCount(), 2u);

    // Without a cache every line is lost and only the count is written; such lines wake it as
    // well.
    const std::string zeroPath = dir_.path("zero-running.log");
    AppenderPtr uncached = make(zeroPath, 0, true, 10);
    append(*uncached, {"dropped 1", "dropped 2"});
    const std::string counted = banner(zeroPath) + overflow(2);
    EXPECT_EQ(fileBecomes(zeroPath, counted), counted);
}

TEST_F(AsyncRollingFileAppenderTest, ConcurrentLoggingLosesNoLineUnaccounted) {
    const std::string path = dir_.path("stress.log");
    AppenderPtr appender = make(path, 16, true, 1, 64L * 1024 * 1024);
    constexpr int THREADS = 4;
    constexpr int LINES = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < THREADS; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < LINES; ++i) {
                append(*appender, {"t" + std::to_string(t) + " " + std::to_string(i)});
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    stop(appender);
    appender->commit();

    // Each thread's lines keep their order; every line is either written or counted as lost.
    std::vector<int> last(THREADS, -1);
    long written = 0;
    long lost = 0;
    std::istringstream lines(readFile(path).substr(banner(path).size()));
    for (std::string line; std::getline(lines, line);) {
        int thread = -1;
        int number = 0;
        long count = 0;
        if (std::sscanf(line.c_str(), "--- WARNING: Log messages overflowed the cache! Lost %ld",
                        &count) == 1) {
            lost += count;
        } else {
            ASSERT_EQ(std::sscanf(line.c_str(), "t%d %d", &thread, &number), 2) << line;
            ASSERT_TRUE(thread >= 0 && thread < THREADS) << line;
            EXPECT_GT(number, std::exchange(last[thread], number)) << line;
            ++written;
        }
    }
    EXPECT_EQ(written + lost, static_cast<long>(THREADS) * LINES);
    EXPECT_GT(written, 0);
}

} // namespace
