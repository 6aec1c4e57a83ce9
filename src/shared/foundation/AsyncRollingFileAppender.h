#pragma once

#include <log4cplus/fileappender.h>
#include <log4cplus/thread/syncprims.h>
#include <log4cplus/thread/threads.h>

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace log4cplus {

// A rolling file appender whose callers only format a line into a bounded cache; a writer thread
// empties the cache into the file. The first line after a commit wakes the writer, which waits
// out one commit period so that the lines that follow go into the file together; with nothing to
// write the writer sleeps, so an idle process does not wake it at all. When the cache is full the
// oldest line is dropped, and the file later says how many were lost.
class AsyncRollingFileAppender : public RollingFileAppender, public thread::AbstractThread {
public:
    AsyncRollingFileAppender(const tstring& filePath, long maxFileSize, unsigned int cacheSize,
                             unsigned int commitPeriodMs);
    ~AsyncRollingFileAppender() override;

    // Writes the cached lines to the file; callable from any thread. False when the file is not
    // open (a failed write or open, and log4cplus's reopen delay not yet over): the lines are
    // still cached.
    bool commit();

    // Writes what is still cached, then closes the file. log4cplus closes every appender while
    // it tears itself down at process exit, when the writer thread may still be running.
    void close() override;

    // Ends the writer thread without waiting out its current period. The process never needs
    // this; an appender destroyed before exit does (join() then waits for the thread's end).
    void stopWriter();

    // Lines waiting in the cache and lines dropped since the last commit.
    std::size_t cachedLineCount() const;
    unsigned int lostLineCount() const;
    // How often the writer thread has woken up since it started.
    unsigned int writerWakeUpCount() const { return writerWakeUps_; }

    unsigned int cacheSize() const { return cacheSize_; }
    unsigned int commitPeriodMs() const { return commitPeriodMs_; }
    long maximumFileSize() const { return maxFileSize; }

protected:
    void append(const spi::InternalLoggingEvent& event) override;
    void run() override;

private:
    // Lets the layout format straight into the string that goes into the cache.
    class LineSink : public std::streambuf {
    public:
        explicit LineSink(std::string& line)
            : line_(line) {}

    protected:
        int_type overflow(int_type c) override;
        std::streamsize xsputn(const char_type* text, std::streamsize count) override;

    private:
        std::string& line_;
    };

    bool commitLocked();
    // Wakes the writer unless a commit is already on its way.
    void scheduleCommit();

    unsigned int cacheSize_;
    std::deque<std::string> cache_;
    unsigned int commitPeriodMs_;
    // The line being formatted; only append() touches it, under the appender's own lock.
    std::string line_;
    LineSink lineSink_{line_};
    std::ostream formatStream_{&lineSink_};
    unsigned int lostCount_ = 0;
    // Written lines handed back for reuse: the logging threads then neither allocate nor free
    // per line, and memory freed by the writer is not handed back to the system only to be
    // faulted in again by the next lines.
    std::vector<std::string> spareLines_;   // guarded by cacheMutex_
    std::vector<std::string> writtenLines_; // guarded by fileMutex_
    log4cplus::thread::Mutex cacheMutex_;
    log4cplus::thread::Mutex fileMutex_;
    std::atomic<bool> stopRequested_{false};
    // Set by the first line (or lost line) after the writer took the cache, cleared by the writer
    // when it takes the cache again.
    std::atomic<bool> commitScheduled_{false};
    std::atomic<unsigned int> writerWakeUps_{0};
    std::mutex wakeMutex_;
    std::condition_variable wakeWriter_;
    log4cplus::thread::ManualResetEvent running_{false};
    log4cplus::thread::ManualResetEvent stopped_{false};
};

} // namespace log4cplus
