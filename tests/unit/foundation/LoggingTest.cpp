// Logging: the set-up read from the environment, the asynchronous rolling file appender, and
// what a fresh child process leaves behind at its start and exit.

#include "foundation/AsyncRollingFileAppender.h"
#include "foundation/Log.h"
#include "foundation/LogSetup.h"

#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include <QThread>

#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/spi/loggingevent.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// A private temporary directory, removed with the object; path(name) names a file inside it.
using TempDir = testsupport::TempEndpoints;

std::string readFile(const std::string& path) {
    std::ostringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

size_t countOf(const std::string& text, const std::string& needle) {
    size_t count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) {
        ++count;
    }
    return count;
}

std::string banner(const std::string& path) {
    return "\n*\n* Process writing to " + path + " was restarted\n*\n\n";
}

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

TEST(LogSetupTest, LoggerLevelsApplyLeftToRight) {
    using namespace log4cplus;
    const LogLevel rootLevel = Logger::getRoot().getLogLevel();
    // The plain case ("ALL:WARN,ipc_client:DEBUG;model_buffer") is shown by LogProcessTest in
    // a fresh process. A later entry wins; level words are all upper or all lower case and any
    // other word turns the logger off; empty entries are skipped and a colon with nothing after
    // it is a missing level word.
    shared::applyLoggerLevels("spi:ERROR;spi:INFO,ALL:ERROR,ALL:FATAL,;memory_screen:verbose,,"
                              "session_storage_data:;;a:off,b:fatal,c:error,d:warn,e:info,"
                              "f:debug,g:trace,h:TRACE,i:OFF,j:Warn,k:WARNING,l: INFO");
    std::vector<LogLevel> levels{Logger::getRoot().getLogLevel()};
    for (const char* name : {"spi", "memory_screen", "session_storage_data", "a", "b", "c", "d",
                             "e", "f", "g", "h", "i", "j", "k", "l"}) {
        levels.push_back(Logger::getInstance(std::string(name) + "_logger").getLogLevel());
    }
    EXPECT_EQ(levels, (std::vector<LogLevel>{
                          FATAL_LOG_LEVEL, INFO_LOG_LEVEL, OFF_LOG_LEVEL, TRACE_LOG_LEVEL,
                          OFF_LOG_LEVEL, FATAL_LOG_LEVEL, ERROR_LOG_LEVEL, WARN_LOG_LEVEL,
                          INFO_LOG_LEVEL, DEBUG_LOG_LEVEL, TRACE_LOG_LEVEL, TRACE_LOG_LEVEL,
                          OFF_LOG_LEVEL, OFF_LOG_LEVEL, OFF_LOG_LEVEL, OFF_LOG_LEVEL}));
    Logger::getRoot().setLogLevel(rootLevel);
}

TEST(LogSetupTest, DefaultFileNameIsTheExecutableNameUpToItsFirstDot) {
    EXPECT_EQ(shared::defaultLogFileName(), "unit_foundation.log");
    TempDir dir;
    writeFile(dir.path("plain"), "not a link");
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

// Everything of a line but the message, which follows at the end of the match.
const std::string LINE_HEAD = "([A-Z]+) P:([0-9]+) T:([0-9]+) "
                              "\\[([0-9]{4}-[0-9]{2}-[0-9]{2}) ([0-9]{2}):([0-9]{2}):[0-9]{2}\\."
                              "[0-9]{3} UTC:([0-9]{2}):([0-9]{2})\\] ([a-z_]+) (\\S+):([0-9]+) "
                              "\\[([0-9]+\\.[0-9]{6}) sec\\] - ";
const std::string HELLO = "hello Gr\xc3\xbc\xc3\x9f 1.500000 42";

struct ChildResult {
    int status = -1; // as std::system reports it
    std::string out;
    std::string err;
};

class LogProcessTest : public ::testing::Test {
protected:
    std::string logFile() const { return work_.path("log/child.log"); }

    // Runs the logging child program with exactly the given environment (nothing is inherited
    // but the sanitizer options), its standard output and error going to files. A child that
    // hangs is killed after 20 s.
    ChildResult run(const std::string& arguments, std::vector<std::string> environment) {
        for (const char* passed : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
            if (const char* value = std::getenv(passed)) {
                environment.push_back(std::string(passed) + "=" + value);
            }
        }
        // A child that aborts on purpose leaves no core file behind.
        std::string command = "ulimit -c 0; timeout 20 env -i";
        for (const std::string& variable : environment) {
            command += " '" + variable + "'";
        }
        command += " " + std::string(QUARN_TESTS_EMULATOR " " FOUNDATION_LOG_CHILD) + " " +
                   arguments + " >" + work_.path("child.out") + " 2>" + work_.path("child.err");
        const int status = std::system(command.c_str());
        return {status, readFile(work_.path("child.out")), readFile(work_.path("child.err"))};
    }

    static std::string reported(const std::string& err, const std::string& key) {
        std::smatch match;
        return std::regex_search(err, match, std::regex(key + "=([0-9]+)")) ? match[1].str() : "";
    }

    TempDir work_;
};

TEST_F(LogProcessTest, AppenderChoiceAndTheLineLayout) {
    const struct {
        const char* appender; // nullptr: not set
        bool console;
        bool file;
    } cases[] = {{nullptr, true, true},     {"FILE", false, true},     {"CONSOLE", true, false},
                 {"console", false, false}, {"Console", false, false}, {"NONE", false, false}};
    for (const auto& c : cases) {
        const std::string label = c.appender != nullptr ? c.appender : "unset";
        const std::string dir = work_.path(label.c_str());
        // Local time five and a half hours ahead of UTC shows that %D is local and %d is UTC.
        std::vector<std::string> environment{"LOG4CPLUS_FILE_DIR=" + dir, "TZ=XYZ-5:30",
                                             "LOG4CPLUS_FILE_CACHE_SIZE=100",
                                             "LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=100000"};
        std::string echo;
        if (c.appender != nullptr) {
            environment.push_back("LOG4CPLUS_APPENDER=" + label);
            echo = "\nLOG4CPLUS_APPENDER=" + label + "\n";
        }
        if (c.file) {
            echo += "\nLOG4CPLUS_FILE_CACHE_SIZE=100\n\nLOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=100000\n";
        }
        const ChildResult child = run("one", environment);
        ASSERT_EQ(child.status, 0) << label << ": " << child.err;
        ASSERT_EQ(child.out.rfind(echo, 0), 0u) << label << ": " << child.out;
        const std::string console = child.out.substr(echo.size());
        // Without a file name the program's own name is used.
        const std::string path = dir + "/foundation_log_child.log";
        ASSERT_EQ(std::filesystem::exists(path), c.file) << label;
        const std::string file = c.file ? readFile(path) : "";
        const std::string line = c.file ? file.substr(banner(path).size()) : console;
        EXPECT_EQ(file, c.file ? banner(path) + line : "") << label;
        EXPECT_EQ(console, c.console ? line : "") << label;
        if (!c.console && !c.file) {
            continue;
        }
        std::smatch field;
        // Values are written in fixed notation and Qt text as UTF-8.
        ASSERT_TRUE(std::regex_match(line, field, std::regex(LINE_HEAD + HELLO + "\n"))) << line;
        EXPECT_EQ((std::vector<std::string>{field[1], field[2], field[3], field[9]}),
                  (std::vector<std::string>{"INFO", reported(child.err, "PID"),
                                            reported(child.err, "THREAD"), "child_logger"}));
        const int localMinutes = std::stoi(field[5]) * 60 + std::stoi(field[6]);
        const int utcMinutes = std::stoi(field[7]) * 60 + std::stoi(field[8]);
        EXPECT_EQ((utcMinutes + 330) % 1440, localMinutes);
        EXPECT_TRUE(std::regex_search(field[10].str(), std::regex("LogChild\\.cpp$"))) << field[10];
        const int number = std::stoi(field[11]);
        EXPECT_GE(number, std::stoi(reported(child.err, "FIRST_LINE")));
        EXPECT_LE(number, std::stoi(reported(child.err, "LAST_LINE")));
        EXPECT_LT(std::stod(field[12]), 0.001);
    }
}

// The child ends with _exit(), which skips every flush: behind a pipe or a file the console
// would otherwise hold lines back in blocks of 4 KiB.
TEST_F(LogProcessTest, LevelsComeFromTheEnvironmentAndConsoleLinesAreWrittenAtOnce) {
    const std::string loggers = "LOG4CPLUS_LOGGERS=ALL:WARN,ipc_client:DEBUG;model_buffer";
    const ChildResult child = run("levels", {"LOG4CPLUS_APPENDER=CONSOLE", loggers});
    ASSERT_EQ(child.status, 0) << child.err;
    const std::string echo = "\nLOG4CPLUS_APPENDER=CONSOLE\n\n" + loggers + "\n";
    ASSERT_EQ(child.out.rfind(echo, 0), 0u) << child.out;
    std::vector<std::string> messages;
    const std::regex line(LINE_HEAD + "(.*)");
    for (std::sregex_iterator at(child.out.begin(), child.out.end(), line), end; at != end; ++at) {
        messages.push_back((*at)[13]);
        // The clock started at the disabled first statement, 0.1 s before the first shown one.
        EXPECT_GE(std::stod((*at)[12]), 0.1);
        EXPECT_LT(std::stod((*at)[12]), 5.0);
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"warn shown", "debug shown", "trace shown"}));
}

TEST_F(LogProcessTest, LinesLoggedJustBeforeExitReachTheFileBehindOneBannerPerStart) {
    // Two exit races. The writer thread must be past its start before the exit tears log4cplus
    // down, or log4cplus aborts the process: lost only now and then, hence the repetitions. And
    // a writer committing every millisecond is often at work while log4cplus closes the appender.
    // The first start's statements come from eight threads at once: it is still set up once.
    size_t total = 0;
    for (unsigned int round = 1; round <= 25; ++round) {
        const int count = round == 1 ? 1 : round % 5 == 0 ? 2000 : 3;
        const int threads = round == 1 ? 8 : 1;
        const ChildResult child = run(
            "many " + std::to_string(count) + " " + std::to_string(threads),
            {"LOG4CPLUS_APPENDER=FILE", "LOG4CPLUS_FILE_DIR=" + work_.path("log"),
             "LOG4CPLUS_FILE_NAME=child.log", "LOG4CPLUS_FILE_CACHE_SIZE=5000",
             "LOG4CPLUS_FILE_SIZE=100mb", // no roll-over
             std::string("LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=") + (count == 3 ? "100000" : "1")});
        ASSERT_EQ(child.status, 0) << "round " << round << ": " << child.err;
        EXPECT_EQ(child.err, "");
        EXPECT_EQ(countOf(child.out, "LOG4CPLUS_APPENDER=FILE"), 1u);
        total += count * threads;
        const std::string content = readFile(logFile());
        EXPECT_EQ(content.rfind(banner(logFile()), 0), 0u);
        EXPECT_EQ(countOf(content, banner(logFile())), round);
        EXPECT_EQ(countOf(content, " - many "), total);
        EXPECT_EQ(content.substr(content.rfind(" - many ")),
                  " - many " + std::to_string(count - 1) + "\n");
    }
}

TEST_F(LogProcessTest, UnwritableLogDirectoryDoesNotStopTheProcessAndCatchAllLogsBeforeAbort) {
    writeFile(work_.path("plain-file"), "");
    EXPECT_EQ(run("many 500", {"LOG4CPLUS_APPENDER=FILE", "LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=1",
                               "LOG4CPLUS_FILE_DIR=" + work_.path("plain-file/log")})
                  .status,
              0);

    // With a commit period that never comes, only the flush before the abort writes the line.
    const ChildResult child = run(
        "catch-all", {"LOG4CPLUS_APPENDER=FILE", "LOG4CPLUS_FILE_DIR=" + work_.path("log"),
                      "LOG4CPLUS_FILE_NAME=child.log", "LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=100000"});
    // The shell reports the abort as exit status 128 + SIGABRT.
    EXPECT_EQ(WEXITSTATUS(child.status), 128 + SIGABRT);
    // A file without the banner is too short or fails the match.
    const std::string line = readFile(logFile()).substr(banner(logFile()).size());
    std::smatch field;
    ASSERT_TRUE(std::regex_match(line, field, std::regex(LINE_HEAD + "Unexpected exception!\n")))
        << line;
    EXPECT_EQ(field[1].str() + " " + field[9].str(), "ERROR exception_logger");
}

} // namespace
