#pragma once

// The log statement form of every process of the instrument:
//
//     LOG_INFO("power_manager_logger", "Battery level is " << capacity << "%");
//
// The seconds since the process's first log statement are taken before anything else, so the
// first statement sets logging up even when its own level is disabled. The message then reads
// "[<seconds with six decimals> sec] - <message>".

#include "foundation/LogRepeatLimiter.h"

#include <QByteArray>
#include <QString>

#include <log4cplus/logger.h>
#include <log4cplus/loggingmacros.h>

#include <cstdlib>
#include <ostream>

namespace shared {
double logSeconds();
// Writes out what the file appender caches and flushes standard output: abort() skips the exit
// path that normally does this, and the line explaining the abort would be lost with it.
void flushLogs();
} // namespace shared

// Texts of the Qt world go into log lines as UTF-8.
inline std::ostream& operator<<(std::ostream& stream, const QString& text) {
    return stream << text.toUtf8().constData();
}

#define QUARN_LOG(level, loggerName, message)                                                      \
    do {                                                                                           \
        const double quarnLogSeconds_ = ::shared::logSeconds();                                    \
        const ::log4cplus::Logger quarnLogger_ = ::log4cplus::Logger::getInstance(loggerName);     \
        if (quarnLogger_.isEnabledFor(level)) {                                                    \
            ::log4cplus::tostringstream& quarnLogStream_ =                                         \
                ::log4cplus::detail::get_macro_body_oss();                                         \
            quarnLogStream_ << std::fixed << "[" << quarnLogSeconds_ << " sec]"                    \
                            << " - " << message;                                                   \
            ::log4cplus::detail::macro_forced_log(quarnLogger_, level, quarnLogStream_.str(),      \
                                                  __FILE__, __LINE__, __PRETTY_FUNCTION__);        \
        }                                                                                          \
    } while (false)

#define LOG_TRACE(loggerName, message) QUARN_LOG(::log4cplus::TRACE_LOG_LEVEL, loggerName, message)
#define LOG_DEBUG(loggerName, message) QUARN_LOG(::log4cplus::DEBUG_LOG_LEVEL, loggerName, message)
#define LOG_INFO(loggerName, message) QUARN_LOG(::log4cplus::INFO_LOG_LEVEL, loggerName, message)
#define LOG_WARN(loggerName, message) QUARN_LOG(::log4cplus::WARN_LOG_LEVEL, loggerName, message)
#define LOG_ERROR(loggerName, message) QUARN_LOG(::log4cplus::ERROR_LOG_LEVEL, loggerName, message)
#define LOG_FATAL(loggerName, message) QUARN_LOG(::log4cplus::FATAL_LOG_LEVEL, loggerName, message)

// A line that may repeat, through a shared::LogRepeatLimiter: the first occurrence as it stands,
// then at most one summary per period, the same line followed by " (repeated <n> times since
// last logged)".
//
//     LOG_REPEATED(gaugeFailures, ::log4cplus::WARN_LOG_LEVEL, "power_manager_logger", "...");
#define LOG_REPEATED(limiter, level, loggerName, message)                                          \
    do {                                                                                           \
        ::shared::LogRepeatLimiter& quarnLimiter_ = (limiter);                                     \
        switch (quarnLimiter_.occurred()) {                                                        \
        case ::shared::LogRepeatLimiter::LogFirst:                                                 \
            QUARN_LOG(level, loggerName, message);                                                 \
            break;                                                                                 \
        case ::shared::LogRepeatLimiter::LogSummary:                                               \
            QUARN_LOG(level, loggerName,                                                           \
                      message << " (repeated " << quarnLimiter_.repeats()                          \
                              << " times since last logged)");                                     \
            break;                                                                                 \
        case ::shared::LogRepeatLimiter::Suppress:                                                 \
            break;                                                                                 \
        }                                                                                          \
    } while (false)

// The catch-all that closes destructors, slots and the IPC send operations: an exception that
// reaches it means the process state is unknown, so it is logged and the process ends at once.
//
//     try { ... } CATCH_ALL_AND_ABORT
#define CATCH_ALL_AND_ABORT                                                                        \
    catch (...) {                                                                                  \
        LOG_ERROR("exception_logger", "Unexpected exception!");                                    \
        ::shared::flushLogs();                                                                     \
        std::abort();                                                                              \
    }
