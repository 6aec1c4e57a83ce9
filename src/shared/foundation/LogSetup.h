#pragma once

// The one-time logging set-up, driven by environment variables (there is no configuration file).

#include <log4cplus/loglevel.h>

#include <string>
#include <vector>

namespace log4cplus {
class AsyncRollingFileAppender;
}

namespace shared {

// Seconds since the process's first log statement; the first call also runs the set-up.
double logSeconds();

// The single cached file appender of the process, created on first call from the
// LOG4CPLUS_FILE_* variables.
log4cplus::AsyncRollingFileAppender& createFileAppender();

// Writes out what the file appender still caches, if it is attached as "FILE". Registered with
// atexit by the set-up.
void commitFileAppender();

// commitFileAppender plus a flush of standard output, for paths that end in abort().
void flushLogs();

// Last component of the link (the running executable by default), cut at its first dot, plus
// ".log"; "app.log" when the link cannot be read.
std::string defaultLogFileName(const char* exeLink = "/proc/self/exe");

// LOG4CPLUS_FILE_SIZE: leading decimal number, times 1024 if the text contains "KB", else times
// 1048576 if it contains "MB" (case-insensitive). A size beyond a long saturates at its largest
// value; a negative one is refused and the default (1 MiB) applies.
long parseLogFileSize(const char* value);

// A level word of LOG4CPLUS_LOGGERS; an empty word is TRACE, an unknown one OFF.
log4cplus::LogLevel logLevelFromWord(const std::string& word);

// One entry of LOG4CPLUS_LOGGERS: the logger's full name (empty for the root, "ALL") and its level.
struct LoggerLevel {
    std::string logger;
    log4cplus::LogLevel level;
};

// The entries of a LOG4CPLUS_LOGGERS value in their order; empty entries are skipped.
std::vector<LoggerLevel> parseLoggerLevels(const std::string& value);

// Applies a LOG4CPLUS_LOGGERS value, left to right.
void applyLoggerLevels(const std::string& value);

// Attaches the appenders a LOG4CPLUS_APPENDER value asks for (null: unset) to the root logger.
void attachAppenders(const char* appenderValue);

// The layout pattern of every appender.
extern const char* const LOG_LINE_PATTERN;

} // namespace shared
