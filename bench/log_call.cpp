// Cost of one log statement on the calling thread, in nanoseconds:
//   (a) the cached AsyncRollingFileAppender, as the set-up attaches it;
//   (b) log4cplus's RollingFileAppender flushing every line to a file of the same kind;
//   (c) the same layout formatting into an appender that drops the line: the caller has to
//       format in every case, so this is the floor.
// Targets: a/b <= 0.5 and a/c <= 1.25.

#include "foundation/AsyncRollingFileAppender.h"
#include "foundation/Log.h"
#include "foundation/LogSetup.h"

#include <log4cplus/fileappender.h>
#include <log4cplus/layout.h>
#include <log4cplus/logger.h>
#include <log4cplus/nullappender.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int STATEMENTS_PER_ROUND = 20000;
constexpr int ROUNDS = 7;
constexpr long FILE_SIZE = 1048576;
// Holds every statement of the run, so (a) never drops a line whatever the writer's pace.
constexpr unsigned int CACHE_SIZE = 1000000;
static_assert(CACHE_SIZE > (ROUNDS + 1) * STATEMENTS_PER_ROUND);
constexpr unsigned int COMMIT_PERIOD_MS = 80;

// Formats every event exactly as a file appender would, then drops the text.
class FormattingNullAppender : public log4cplus::NullAppender {
protected:
    void append(const log4cplus::spi::InternalLoggingEvent& event) override {
        stream_.str(std::string());
        stream_.clear();
        layout->formatAndAppend(stream_, event);
    }

private:
    std::ostringstream stream_;
};

void attachAlone(const char* loggerName, log4cplus::SharedAppenderPtr appender) {
    appender->setLayout(std::make_unique<log4cplus::PatternLayout>(shared::LOG_LINE_PATTERN));
    appender->setThreshold(log4cplus::TRACE_LOG_LEVEL);
    log4cplus::Logger logger = log4cplus::Logger::getInstance(loggerName);
    logger.setAdditivity(false);
    logger.setLogLevel(log4cplus::INFO_LOG_LEVEL);
    logger.addAppender(appender);
}

double threadCpuNanoseconds() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

struct Figure {
    double cpu;  // calling thread's CPU time per statement
    double wall; // elapsed time per statement, which the machine's other load inflates
};

// One round through the product's statement form, per statement.
Figure round(const char* loggerName) {
    const double voltage = 3.712;
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = threadCpuNanoseconds();
    for (int i = 0; i < STATEMENTS_PER_ROUND; ++i) {
        LOG_INFO(loggerName,
                 "Battery capacity " << i % 100 << "% voltage " << voltage << " V state " << i);
    }
    const double cpu = threadCpuNanoseconds() - cpuStart;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    return {cpu / STATEMENTS_PER_ROUND,
            std::chrono::duration<double, std::nano>(elapsed).count() / STATEMENTS_PER_ROUND};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    // "log_call b" runs case (b) alone, for profiling one case at a time.
    const int only = argc > 1 ? argv[1][0] - 'a' : -1;
    char pattern[] = "/tmp/log_call-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = pattern;

    // No appender on the root: each measured logger gets exactly one of its own.
    ::setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    shared::logSeconds();
    std::printf("\n");

    attachAlone("bench_cached_logger",
                log4cplus::SharedAppenderPtr(new log4cplus::AsyncRollingFileAppender(
                    dir + "/cached.log", FILE_SIZE, CACHE_SIZE, COMMIT_PERIOD_MS)));
    attachAlone("bench_rolling_logger",
                log4cplus::SharedAppenderPtr(new log4cplus::RollingFileAppender(
                    dir + "/rolling.log", FILE_SIZE, 1, true, true)));
    attachAlone("bench_floor_logger", log4cplus::SharedAppenderPtr(new FormattingNullAppender()));

    const char* const loggers[] = {"bench_cached_logger", "bench_rolling_logger",
                                   "bench_floor_logger"};
    for (const char* logger : loggers) {
        round(logger);
    }

    // Rounds alternate between the cases so that drift in the machine's load hits all three.
    std::vector<double> cpu[3];
    std::vector<double> wall[3];
    for (int r = 0; r < ROUNDS; ++r) {
        for (int c = 0; c < 3; ++c) {
            if (only >= 0 && only != c) {
                cpu[c].push_back(1.0);
                wall[c].push_back(1.0);
                continue;
            }
            const Figure figure = round(loggers[c]);
            cpu[c].push_back(figure.cpu);
            wall[c].push_back(figure.wall);
        }
    }

    const char* const names[] = {"(a) cached AsyncRollingFileAppender",
                                 "(b) RollingFileAppender, flush each",
                                 "(c) format only, line dropped"};
    std::printf("log_call: %d rounds of %d statements, median ns per statement\n", ROUNDS,
                STATEMENTS_PER_ROUND);
    std::printf("  %-38s %12s %12s\n", "", "thread CPU", "elapsed");
    for (int c = 0; c < 3; ++c) {
        std::printf("  %-38s %12.1f %12.1f\n", names[c], median(cpu[c]), median(wall[c]));
    }
    std::printf("  (a) caches up to %u lines: none of the run's lines is dropped\n", CACHE_SIZE);
    for (int k = 0; k < 2; ++k) {
        const std::vector<double>* figures = k == 0 ? cpu : wall;
        const double a = median(figures[0]);
        std::printf("  %-10s a/b = %.3f (target <= 0.5)   a/c = %.3f (target <= 1.25)\n",
                    k == 0 ? "thread CPU" : "elapsed", a / median(figures[1]),
                    a / median(figures[2]));
    }

    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
    return 0;
}
