// The one-time logging set-up and the exit path, seen from outside a fresh child process.

#include "FoundationTestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <regex>
#include <string>
#include <vector>

namespace {

using namespace foundation_test;

// Everything of a line but the message, which follows at the end of the match.
const std::string LINE_HEAD = "([A-Z]+) P:([0-9]+) T:([0-9]+) "
                              "\\[([0-9]{4}-[0-9]{2}-[0-9]{2}) ([0-9]{2}):([0-9]{2}):[0-9]{2}\\."
                              "[0-9]{3} UTC:([0-9]{2}):([0-9]{2})\\] ([a-z_]+) (\\S+):([0-9]+) "
                              "\\[([0-9]+\\.[0-9]{6}) sec\\] - ";
const std::string HELLO = "hello Gr\xc3\xbc\xc3\x9f 1.500000 42";

class LogProcessTest : public ::testing::Test {
protected:
    std::string logFile() const { return work_.path("log/child.log"); }
    ChildResult run(const std::string& arguments, const std::vector<std::string>& environment) {
        return runLogChild(arguments, environment, work_.path("."));
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
