#include "foundation/AsyncRollingFileAppender.h"

#include <log4cplus/helpers/loglog.h>
#include <log4cplus/layout.h>

#include <iostream>
#include <unistd.h>
#include <utility>

namespace log4cplus {

AsyncRollingFileAppender::AsyncRollingFileAppender(const tstring& filePath, long maxFileSize,
                                                   unsigned int cacheSize,
                                                   unsigned int commitPeriodMs)
    // One backup file, immediate flush, and the log directory created when it is missing.
    : RollingFileAppender(filePath, maxFileSize, 1, true, true)
    , cacheSize_(cacheSize)
    , commitPeriodMs_(commitPeriodMs) {
    start();
    // Every start of a process leaves a visible banner in the file.
    thread::MutexGuard fileGuard(fileMutex_);
    out << std::endl
        << "*" << std::endl
        << "* Process writing to " << filePath << " was restarted" << std::endl
        << "*" << std::endl
        << std::endl;
}

AsyncRollingFileAppender::~AsyncRollingFileAppender() {
    try {
        stopWriter();
        commit();
    } catch (...) {
        std::cerr << "Error committing cached log messages.\n";
    }
    destructorImpl();
}

void AsyncRollingFileAppender::append(const spi::InternalLoggingEvent& event) {
    formatStream_.str(std::string());
    formatStream_.clear();
    layout->formatAndAppend(formatStream_, event);

    thread::MutexGuard cacheGuard(cacheMutex_);
    if (cacheSize_ == 0) {
        ++lostCount_;
        return;
    }
    if (cache_.size() >= cacheSize_) {
        ++lostCount_;
        cache_.pop_front();
    }
    cache_.push_back(formatStream_.str());
}

void AsyncRollingFileAppender::commit() {
    thread::MutexGuard fileGuard(fileMutex_);
    if (!out.good()) {
        // The lines stay cached; the cache's bound keeps memory in check until the file works.
        getErrorHandler()->error(LOG4CPLUS_TEXT("file is not open: ") + filename);
        return;
    }

    std::deque<std::string> lines;
    unsigned int lost = 0;
    {
        thread::MutexGuard cacheGuard(cacheMutex_);
        lines.swap(cache_);
        std::swap(lost, lostCount_);
    }

    if (lost != 0) {
        out << "--- WARNING: Log messages overflowed the cache!"
            << " Lost " << lost << " messages"
            << " before the next message. ---" << std::endl;
    }
    for (const std::string& line : lines) {
        out << line;
        if (out.tellp() > maxFileSize) {
            rollover(true);
        }
    }
    if (immediateFlush) {
        out.flush();
    }
}

void AsyncRollingFileAppender::stopWriter() {
    if (!stopRequested_.exchange(true)) {
        stopped_.wait();
    }
}

void AsyncRollingFileAppender::run() {
    while (!stopRequested_) {
        ::thread::TimeValue deadline(::thread::TimeValue::CLOCK_MONOTONIC_ID);
        deadline.setNowPlus(commitPeriodMs_ / 1000.0);
        commit();
        const int64_t remaining = deadline.microsecondsRemaining();
        if (remaining > 0) {
            ::usleep(static_cast<useconds_t>(remaining));
        }
    }
    stopped_.signal();
}

} // namespace log4cplus
