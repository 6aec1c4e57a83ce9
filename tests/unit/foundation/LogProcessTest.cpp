// The one-time logging set-up and the exit path, seen from outside a fresh child process.

#include "FoundationTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

namespace {

using foundation_test::banner;
using foundation_test::ChildResult;
using foundation_test::countOf;
using foundation_test::readFile;
using foundation_test::runLogChild;
using foundation_test::TempDir;

// Everything of a line but the message, which follows at the end of the match.
const std::string LINE_HEAD = "([A-Z]+) P:([0-9]+) T:([0-9]+) "
                              "\\[([0-9]{4}-[0-9]{2}-[0-9]{2}) ([0-9]{2}):([0-9]{2}):[0-9]{2}\\."
                              "[0-9]{3} UTC:([0-9]{2}):([0-9]{2})\\] ([a-z_]+) (\\S+):([0-9]+) "
                              "\\[([0-9]+\\.[0-9]{6}) sec\\] - ";

class LogProcessTest : public ::testing::Test {
protected:
    std::vector<std::string> fileEnvironment(const std::string& appender = "FILE") const {
        return {"LOG4CPLUS_APPENDER=" + appender, "LOG4CPLUS_FILE_DIR=" + logDir(),
                "LOG4CPLUS_FILE_NAME=child.log", "LOG4CPLUS_FILE_CACHE_SIZE=100",
                "LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=100000"};
    }
    std::string logDir() const { return work_.file("log"); }
    std::string logFile() const { return logDir() + "/child.log"; }
    bool logDirIsEmpty() const {
        return !std::filesystem::exists(logDir()) || std::filesystem::is_empty(logDir());
    }
    ChildResult run(const std::vector<std::string>& arguments,
                    const std::vector<std::string>& environment) {
        ChildResult result = runLogChild(arguments, environment, work_.path());
        EXPECT_FALSE(result.timedOut);
        return result;
    }

    // The log file's lines after the banner, which must open it.
    std::vector<std::string> linesAfterBanner() const {
        const std::string content = readFile(logFile());
        const std::string expected = banner(logFile());
        EXPECT_EQ(content.compare(0, expected.size(), expected), 0) << content;
        return foundation_test::splitLines(
            content.substr(std::min(expected.size(), content.size())));
    }

    static std::string messageOf(const std::string& line) {
        std::smatch match;
        const std::regex form(LINE_HEAD + "(.*)");
        return std::regex_match(line, match, form) ? match[match.size() - 1].str() : "?" + line;
    }

    static std::string reported(const std::string& err, const std::string& key) {
        std::smatch match;
        const std::regex form(key + "=([0-9]+)");
        return std::regex_search(err, match, form) ? match[1].str() : "";
    }

    TempDir work_;
};

TEST_F(LogProcessTest, FirstLineHasTheLayoutAndAZeroSecondsPrefix) {
    std::vector<std::string> environment = fileEnvironment();
    // Local time five and a half hours ahead of UTC shows that %D is local and %d is UTC.
    environment.push_back("TZ=XYZ-5:30");
    const ChildResult child = run({"one"}, environment);
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    EXPECT_EQ(child.out, "\nLOG4CPLUS_APPENDER=FILE\n\nLOG4CPLUS_FILE_CACHE_SIZE=100\n"
                         "\nLOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=100000\n");

    const std::vector<std::string> lines = linesAfterBanner();
    ASSERT_EQ(lines.size(), 1u);
    std::smatch field;
    ASSERT_TRUE(std::regex_match(lines[0], field, std::regex(LINE_HEAD + "hello 42"))) << lines[0];
    EXPECT_EQ(field[1], "INFO");
    EXPECT_EQ(field[2], std::to_string(child.pid));
    EXPECT_EQ(field[3], reported(child.err, "THREAD"));
    const int localMinutes = std::stoi(field[5]) * 60 + std::stoi(field[6]);
    const int utcMinutes = std::stoi(field[7]) * 60 + std::stoi(field[8]);
    EXPECT_EQ((utcMinutes + 330) % 1440, localMinutes);
    EXPECT_EQ(field[9], "child_logger");
    EXPECT_TRUE(std::regex_search(field[10].str(), std::regex("LogChild\\.cpp$"))) << field[10];
    EXPECT_EQ(field[11], reported(child.err, "LINE"));
    EXPECT_LT(std::stod(field[12]), 0.001);
}

TEST_F(LogProcessTest, DefaultChoiceWritesTheSameLineToConsoleAndFileWithoutEcho) {
    const ChildResult child =
        run({"one"}, {"LOG4CPLUS_FILE_DIR=" + logDir(), "LOG4CPLUS_FILE_SIZE=2mb"});
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    // Without a file name the program's own name is used.
    const std::string path = logDir() + "/foundation_log_child.log";
    const std::string content = readFile(path);
    ASSERT_EQ(content.compare(0, banner(path).size(), banner(path)), 0) << content;
    const std::string line = content.substr(banner(path).size());
    EXPECT_TRUE(std::regex_match(line, std::regex(LINE_HEAD + "hello 42\n"))) << line;
    EXPECT_EQ(child.out, line);
}

TEST_F(LogProcessTest, ConsoleChoiceWritesNoFile) {
    std::vector<std::string> environment = fileEnvironment("CONSOLE");
    const ChildResult child = run({"one"}, environment);
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    EXPECT_TRUE(std::regex_match(
        child.out, std::regex("\nLOG4CPLUS_APPENDER=CONSOLE\n" + LINE_HEAD + "hello 42\n")))
        << child.out;
    EXPECT_TRUE(logDirIsEmpty());
}

TEST_F(LogProcessTest, LowerCaseConsoleSilencesEverything) {
    const ChildResult child = run({"one"}, fileEnvironment("console"));
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    EXPECT_EQ(child.out, "\nLOG4CPLUS_APPENDER=console\n");
    EXPECT_TRUE(logDirIsEmpty());
}

TEST_F(LogProcessTest, LoggerLevelsComeFromTheEnvironment) {
    std::vector<std::string> environment = fileEnvironment("CONSOLE");
    environment.push_back("LOG4CPLUS_LOGGERS=ALL:WARN,ipc_client:DEBUG;model_buffer");
    const ChildResult child = run({"levels"}, environment);
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    const std::string echo = "\nLOG4CPLUS_APPENDER=CONSOLE\n"
                             "\nLOG4CPLUS_LOGGERS=ALL:WARN,ipc_client:DEBUG;model_buffer\n";
    ASSERT_EQ(child.out.compare(0, echo.size(), echo), 0) << child.out;
    std::vector<std::string> messages;
    for (const std::string& line : foundation_test::splitLines(child.out.substr(echo.size()))) {
        messages.push_back(messageOf(line));
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"warn shown", "debug shown", "trace shown"}));
}

TEST_F(LogProcessTest, LinesLoggedJustBeforeExitReachTheFile) {
    const ChildResult child = run({"exit"}, fileEnvironment());
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    std::vector<std::string> messages;
    for (const std::string& line : linesAfterBanner()) {
        messages.push_back(messageOf(line));
    }
    EXPECT_EQ(messages, (std::vector<std::string>{"exit line 1", "exit line 2", "exit line 3"}));
}

TEST_F(LogProcessTest, DisabledFirstStatementStartsTheClockAndTheSetUp) {
    const ChildResult child = run({"disabled-first"}, fileEnvironment());
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    const std::vector<std::string> lines = linesAfterBanner();
    ASSERT_EQ(lines.size(), 1u);
    std::smatch field;
    ASSERT_TRUE(std::regex_match(lines[0], field, std::regex(LINE_HEAD + "after pause")));
    EXPECT_GE(std::stod(field[12]), 0.1);
    EXPECT_LT(std::stod(field[12]), 5.0);
}

TEST_F(LogProcessTest, ConcurrentFirstStatementsSetUpOnce) {
    const ChildResult child = run({"threads"}, fileEnvironment());
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    EXPECT_EQ(countOf(child.out, "LOG4CPLUS_APPENDER=FILE"), 1u);
    EXPECT_EQ(countOf(child.out, "LOG4CPLUS_FILE_CACHE_SIZE=100"), 1u);
    const std::vector<std::string> lines = linesAfterBanner();
    EXPECT_EQ(countOf(readFile(logFile()), "was restarted"), 1u);
    ASSERT_EQ(lines.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(countOf(readFile(logFile()), "- thread " + std::to_string(i) + "\n"), 1u);
    }
}

TEST_F(LogProcessTest, EveryStartAddsABannerToTheSameFile) {
    ASSERT_TRUE(run({"one"}, fileEnvironment()).exitedCleanly());
    ASSERT_TRUE(run({"one"}, fileEnvironment()).exitedCleanly());
    const std::string content = readFile(logFile());
    EXPECT_EQ(countOf(content, banner(logFile())), 2u);
    EXPECT_EQ(countOf(content, "hello 42\n"), 2u);
    EXPECT_EQ(content.compare(0, banner(logFile()).size(), banner(logFile())), 0);
}

TEST_F(LogProcessTest, UnwritableLogDirectoryDoesNotStopTheProcess) {
    foundation_test::writeFile(work_.file("plain-file"), "");
    const ChildResult child =
        run({"many", "500"},
            {"LOG4CPLUS_APPENDER=FILE", "LOG4CPLUS_FILE_DIR=" + work_.file("plain-file") + "/log",
             "LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=1"});
    EXPECT_TRUE(child.exitedCleanly()) << child.err;
}

TEST_F(LogProcessTest, MessageValuesUseFixedNotationAndQtTextIsUtf8) {
    const ChildResult child = run({"text"}, fileEnvironment("CONSOLE"));
    ASSERT_TRUE(child.exitedCleanly()) << child.err;
    EXPECT_EQ(messageOf(foundation_test::splitLines(child.out).back()), "Gr\xc3\xbc\xc3\x9f"
                                                                        "e 1.500000 7");
}

TEST_F(LogProcessTest, CatchAllLogsBeforeItAborts) {
    const ChildResult child = run({"catch-all"}, fileEnvironment());
    ASSERT_TRUE(WIFSIGNALED(child.status));
    EXPECT_EQ(WTERMSIG(child.status), SIGABRT);
    const std::vector<std::string> lines = linesAfterBanner();
    ASSERT_EQ(lines.size(), 1u);
    std::smatch field;
    ASSERT_TRUE(std::regex_match(lines[0], field, std::regex(LINE_HEAD + "Unexpected exception!")))
        << lines[0];
    EXPECT_EQ(field[1], "ERROR");
    EXPECT_EQ(field[9], "exception_logger");
}

TEST_F(LogProcessTest, ProcessesThatEndRightAfterTheirFirstLineEndCleanly) {
    // The writer thread must be past its start before the exit tears log4cplus down, or
    // log4cplus aborts the process. The race is lost only now and then, hence the repetitions.
    for (int round = 0; round < 20; ++round) {
        const ChildResult child = run({"exit"}, fileEnvironment());
        ASSERT_TRUE(child.exitedCleanly()) << "round " << round << ": " << child.err;
        EXPECT_EQ(child.err, "");
    }
    EXPECT_EQ(countOf(readFile(logFile()), "exit line 3\n"), 20u);
}

TEST_F(LogProcessTest, ExitWhileTheWriterIsBusyKeepsEveryLine) {
    // The writer commits every millisecond, so it is often at work while log4cplus closes the
    // appender during the exit.
    for (int round = 0; round < 5; ++round) {
        const std::string dir = work_.file("busy" + std::to_string(round));
        const ChildResult child =
            run({"many", "2000"}, {"LOG4CPLUS_APPENDER=FILE", "LOG4CPLUS_FILE_DIR=" + dir,
                                   "LOG4CPLUS_FILE_NAME=busy.log", "LOG4CPLUS_FILE_CACHE_SIZE=5000",
                                   "LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC=1"});
        ASSERT_TRUE(child.exitedCleanly()) << child.err;
        EXPECT_EQ(child.err, "");
        const std::string content = readFile(dir + "/busy.log");
        EXPECT_EQ(countOf(content, " - many "), 2000u);
        EXPECT_NE(content.find(" - many 1999\n"), std::string::npos);
    }
}

} // namespace
