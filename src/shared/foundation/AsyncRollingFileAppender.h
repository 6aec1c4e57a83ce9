#pragma once

#include "foundation/TimeValue.h"

#include <log4cplus/fileappender.h>
#include <log4cplus/thread/syncprims.h>
#include <log4cplus/thread/threads.h>

#include <atomic>
#include <deque>
#include <sstream>
#include <string>

namespace log4cplus {

// A rolling file appender whose callers only format a line into a bounded cache; a writer thread
// empties the cache into the file every commit period. When the cache is full the oldest line is
// dropped, and the file later says how many were lost.
class AsyncRollingFileAppender : public RollingFileAppender, public thread::AbstractThread {
public:
    AsyncRollingFileAppender(const tstring& filePath, long maxFileSize, unsigned int cacheSize,
                             unsigned int commitPeriodMs);
    ~AsyncRollingFileAppender() override;

    // Writes the cached lines to the file; callable from any thread.
    void commit();

    // Ends the writer thread. The process never needs this; an appender destroyed before exit
    // does.
    void stopWriter();

    unsigned int cacheSize() const { return cacheSize_; }
    unsigned int commitPeriodMs() const { return commitPeriodMs_; }
    long maximumFileSize() const { return maxFileSize; }

protected:
    void append(const spi::InternalLoggingEvent& event) override;
    void run() override;

private:
    unsigned int cacheSize_;
    std::deque<std::string> cache_;
    unsigned int commitPeriodMs_;
    std::ostringstream formatStream_;
    unsigned int lostCount_ = 0;
    log4cplus::thread::Mutex cacheMutex_;
    log4cplus::thread::Mutex fileMutex_;
    std::atomic<bool> stopRequested_{false};
    log4cplus::thread::ManualResetEvent stopped_{false};
};

} // namespace log4cplus
