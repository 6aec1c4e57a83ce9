#include "foundation/LogSetup.h"

#include "foundation/AsyncRollingFileAppender.h"
#include "foundation/Mutex.h"
#include "foundation/TimeValue.h"

#include <log4cplus/consoleappender.h>
#include <log4cplus/helpers/loglog.h>
#include <log4cplus/initializer.h>
#include <log4cplus/layout.h>
#include <log4cplus/logger.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <unistd.h>

namespace shared {

const char* const LOG_LINE_PATTERN = "%p P:%i T:%t [%D{%F %T.%q} UTC:%d{%H:%M}] %c{2} %F:%L %m%n";

namespace {

const char* const DEFAULT_LOG_DIRECTORY = "/var/lib/quarn/log";
constexpr long DEFAULT_LOG_FILE_SIZE = 1048576;
constexpr unsigned int DEFAULT_CACHE_SIZE = 50;
constexpr unsigned int DEFAULT_COMMIT_PERIOD_MS = 80;

// Prints a variable the way the set-up echoes what it was given.
void echoVariable(const char* name, const char* value) {
    std::printf("\n%s=%s\n", name, value);
}

unsigned int unsignedFromEnvironment(const char* name, unsigned int fallback) {
    const char* value = std::getenv(name);
    if (value == nullptr) {
        return fallback;
    }
    echoVariable(name, value);
    const long parsed = std::strtol(value, nullptr, 10);
    return parsed < 0 ? 0u : static_cast<unsigned int>(parsed);
}

void attach(log4cplus::SharedAppenderPtr appender, const char* name) {
    appender->setName(LOG4CPLUS_TEXT(name));
    appender->setLayout(std::make_unique<log4cplus::PatternLayout>(LOG_LINE_PATTERN));
    appender->setThreshold(log4cplus::TRACE_LOG_LEVEL);
    log4cplus::Logger::getRoot().addAppender(appender);
}

log4cplus::SharedAppenderPtr& fileAppenderHolder() {
    static log4cplus::SharedAppenderPtr holder;
    return holder;
}

void configure() {
    // log4cplus 2 must be initialised before its first logger; it is never torn down, so the
    // exit-time commit still finds the appender alive.
    log4cplus::initialize();
    log4cplus::Logger::getRoot().setLogLevel(log4cplus::INFO_LOG_LEVEL);

    attachAppenders(std::getenv("LOG4CPLUS_APPENDER"));

    if (const char* loggers = std::getenv("LOG4CPLUS_LOGGERS")) {
        echoVariable("LOG4CPLUS_LOGGERS", loggers);
        applyLoggerLevels(loggers);
    }
}

} // namespace

double logSeconds() {
    // One reading serves both, so the first statement of the process shows exactly 0.000000.
    const double now = thread::TimeValue::now(thread::TimeValue::CLOCK_MONOTONIC_ID);
    static const double start = now;
    static thread::Mutex configurationLock;
    static std::atomic<bool> configured{false};

    // A thread that read the clock just before another one set the start would go negative.
    const double seconds = std::max(0.0, now - start);
    if (!configured) {
        thread::ScopedLock guard(configurationLock);
        if (!configured) {
            configure();
            configured = true;
        }
    }
    return seconds;
}

void attachAppenders(const char* appenderValue) {
    if (appenderValue != nullptr) {
        echoVariable("LOG4CPLUS_APPENDER", appenderValue);
    }
    const std::string choice = appenderValue == nullptr ? "ALL" : appenderValue;
    const bool console = choice == "ALL" || choice == "CONSOLE";
    const bool file = choice == "ALL" || choice == "FILE";

    if (!console && !file) {
        // Silent means silent: log4cplus would otherwise complain on stderr about every logger
        // that has no appender.
        log4cplus::helpers::LogLog::getLogLog()->setQuietMode(true);
    }
    if (console) {
        // Flushed line by line: behind a pipe (a service manager's journal, tee) lines would
        // otherwise arrive minutes late, in blocks of 4 KiB.
        static log4cplus::SharedAppenderPtr consoleAppender(
            new log4cplus::ConsoleAppender(false, true));
        attach(consoleAppender, "CONSOLE");
    }
    if (file) {
        log4cplus::SharedAppenderPtr fileAppender(&createFileAppender());
        attach(fileAppender, "FILE");
        if (std::atexit(commitFileAppender) != 0) {
            std::printf("Error registering commitFileAppender\n");
        }
    }
}

log4cplus::AsyncRollingFileAppender& createFileAppender() {
    log4cplus::SharedAppenderPtr& holder = fileAppenderHolder();
    if (!holder) {
        const char* directory = std::getenv("LOG4CPLUS_FILE_DIR");
        const char* name = std::getenv("LOG4CPLUS_FILE_NAME");
        const char* size = std::getenv("LOG4CPLUS_FILE_SIZE");

        const std::string path = std::string(directory ? directory : DEFAULT_LOG_DIRECTORY) + "/" +
                                 (name ? std::string(name) : defaultLogFileName());
        const long maxFileSize = size ? parseLogFileSize(size) : DEFAULT_LOG_FILE_SIZE;
        const unsigned int cacheSize =
            unsignedFromEnvironment("LOG4CPLUS_FILE_CACHE_SIZE", DEFAULT_CACHE_SIZE);
        const unsigned int commitPeriod =
            unsignedFromEnvironment("LOG4CPLUS_FILE_COMMIT_PERIOD_MSEC", DEFAULT_COMMIT_PERIOD_MS);
        holder =
            new log4cplus::AsyncRollingFileAppender(path, maxFileSize, cacheSize, commitPeriod);
    }
    return static_cast<log4cplus::AsyncRollingFileAppender&>(*holder);
}

void commitFileAppender() {
    log4cplus::SharedAppenderPtr attached =
        log4cplus::Logger::getRoot().getAppender(LOG4CPLUS_TEXT("FILE"));
    if (auto* fileAppender = dynamic_cast<log4cplus::AsyncRollingFileAppender*>(attached.get())) {
        fileAppender->commit();
    }
}

void flushLogs() {
    commitFileAppender();
    std::fflush(stdout);
}

std::string defaultLogFileName(const char* exeLink) {
    char target[4096];
    const ssize_t length = ::readlink(exeLink, target, sizeof(target) - 1);
    if (length < 0) {
        return "app.log";
    }
    target[length] = '\0';
    std::string name(target);
    const std::string::size_type slash = name.rfind('/');
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    const std::string::size_type dot = name.find('.');
    if (dot != std::string::npos) {
        name.erase(dot);
    }
    return name + ".log";
}

long parseLogFileSize(const char* value) {
    // strtol itself saturates a number too long for a long.
    const long number = std::strtol(value, nullptr, 10);
    if (number < 0) {
        return DEFAULT_LOG_FILE_SIZE;
    }
    std::string upper(value);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    long unit = 1;
    if (upper.find("KB") != std::string::npos) {
        unit = 1024;
    } else if (upper.find("MB") != std::string::npos) {
        unit = 1048576;
    }
    const long largest = std::numeric_limits<long>::max();
    return number > largest / unit ? largest : number * unit;
}

log4cplus::LogLevel logLevelFromWord(const std::string& word) {
    struct Word {
        const char* upper;
        const char* lower;
        log4cplus::LogLevel level;
    };
    static const Word words[] = {
        {"OFF", "off", log4cplus::OFF_LOG_LEVEL},
        {"FATAL", "fatal", log4cplus::FATAL_LOG_LEVEL},
        {"ERROR", "error", log4cplus::ERROR_LOG_LEVEL},
        {"WARN", "warn", log4cplus::WARN_LOG_LEVEL},
        {"INFO", "info", log4cplus::INFO_LOG_LEVEL},
        {"DEBUG", "debug", log4cplus::DEBUG_LOG_LEVEL},
        {"TRACE", "trace", log4cplus::TRACE_LOG_LEVEL},
    };
    if (word.empty()) {
        return log4cplus::TRACE_LOG_LEVEL;
    }
    for (const Word& entry : words) {
        if (word == entry.upper || word == entry.lower) {
            return entry.level;
        }
    }
    return log4cplus::OFF_LOG_LEVEL;
}

std::vector<LoggerLevel> parseLoggerLevels(const std::string& value) {
    std::vector<LoggerLevel> levels;
    std::string::size_type begin = 0;
    while (begin <= value.size()) {
        const std::string::size_type end = value.find_first_of(",;", begin);
        const std::string entry =
            value.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (!entry.empty()) {
            const std::string::size_type colon = entry.find(':');
            const std::string name = entry.substr(0, colon);
            const std::string word = colon == std::string::npos ? "" : entry.substr(colon + 1);
            levels.push_back(
                {name == "ALL" ? std::string() : name + "_logger", logLevelFromWord(word)});
        }
        if (end == std::string::npos) {
            break;
        }
        begin = end + 1;
    }
    return levels;
}

void applyLoggerLevels(const std::string& value) {
    for (const LoggerLevel& entry : parseLoggerLevels(value)) {
        log4cplus::Logger logger = entry.logger.empty()
                                       ? log4cplus::Logger::getRoot()
                                       : log4cplus::Logger::getInstance(entry.logger);
        logger.setLogLevel(entry.level);
    }
}

} // namespace shared
