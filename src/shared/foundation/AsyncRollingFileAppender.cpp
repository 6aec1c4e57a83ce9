#include "foundation/AsyncRollingFileAppender.h"

#include <algorithm>

#include <log4cplus/helpers/loglog.h>
#include <log4cplus/layout.h>

#include <pthread.h>

#include <chrono>
#include <iostream>
#include <utility>

namespace log4cplus {

namespace {

// A buffer that fits a usual line, so formatting one rarely reallocates.
constexpr std::size_t LINE_RESERVE = 256;
// Buffers of unusually long lines are freed rather than kept for reuse.
constexpr std::size_t LARGEST_REUSED_LINE = 4096;

} // namespace

AsyncRollingFileAppender::AsyncRollingFileAppender(const tstring& filePath, long maxFileSize,
                                                   unsigned int cacheSize,
                                                   unsigned int commitPeriodMs)
    // One backup file, immediate flush, and the log directory created when it is missing.
    : RollingFileAppender(filePath, maxFileSize, 1, true, true)
    , cacheSize_(cacheSize)
    // A period of 0 (also what a value that is no number reads as) would keep a core busy
    // committing; one millisecond is the shortest period that lets the writer rest.
    , commitPeriodMs_(std::max(1u, commitPeriodMs)) {
    start();
    // The new thread asks log4cplus for its internal logger before it calls run(). In a process
    // that ends quickly it could otherwise get there only after log4cplus has torn itself down
    // at exit, and log4cplus aborts the process when asked then.
    running_.wait();
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

AsyncRollingFileAppender::LineSink::int_type
AsyncRollingFileAppender::LineSink::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        line_.push_back(traits_type::to_char_type(c));
    }
    return traits_type::not_eof(c);
}

std::streamsize AsyncRollingFileAppender::LineSink::xsputn(const char_type* text,
                                                           std::streamsize count) {
    line_.append(text, static_cast<std::size_t>(count));
    return count;
}

void AsyncRollingFileAppender::append(const spi::InternalLoggingEvent& event) {
    // log4cplus calls append under the appender's own lock, so line_ is this caller's alone.
    line_.clear();
    if (line_.capacity() < LINE_RESERVE) {
        line_.reserve(LINE_RESERVE);
    }
    formatStream_.clear();
    layout->formatAndAppend(formatStream_, event);

    {
        std::string dropped;
        thread::MutexGuard cacheGuard(cacheMutex_);
        if (cacheSize_ == 0) {
            ++lostCount_;
        } else {
            if (cache_.size() >= cacheSize_) {
                ++lostCount_;
                dropped.swap(cache_.front());
                cache_.pop_front();
            }
            cache_.push_back(std::move(line_));
            if (!spareLines_.empty()) {
                line_.swap(spareLines_.back());
                spareLines_.pop_back();
            } else {
                // With no spare left, the dropped line's buffer serves the next one.
                line_.swap(dropped);
            }
        }
    }
    // A lost line must reach the file too: as the count in front of the next ones.
    scheduleCommit();
}

bool AsyncRollingFileAppender::commit() {
    thread::MutexGuard fileGuard(fileMutex_);
    return commitLocked();
}

bool AsyncRollingFileAppender::commitLocked() {
    if (closed) {
        // Closed on purpose (log4cplus shutting down at exit): nothing to report.
        return true;
    }
    if (!out.good()) {
        // A write that failed (a full partition) leaves the stream failed for good: log4cplus
        // opens the file again a second later. Until then the lines stay cached; the cache's
        // bound keeps memory in check.
        if (!reopen()) {
            getErrorHandler()->error(LOG4CPLUS_TEXT("file is not open: ") + filename);
            return false;
        }
        getErrorHandler()->reset();
    }

    std::deque<std::string> lines;
    unsigned int lost = 0;
    {
        thread::MutexGuard cacheGuard(cacheMutex_);
        lines.swap(cache_);
        std::swap(lost, lostCount_);
        if (spareLines_.empty()) {
            spareLines_.swap(writtenLines_);
        }
    }

    if (lost != 0) {
        out << "--- WARNING: Log messages overflowed the cache!"
            << " Lost " << lost << " messages"
            << " before the next message. ---" << std::endl;
    }
    // The write position is counted rather than asked for after every line: asking costs a
    // system call each time.
    std::streamoff position = out.tellp();
    for (const std::string& line : lines) {
        out << line;
        position += static_cast<std::streamoff>(line.size());
        if (position > maxFileSize) {
            rollover(true);
            position = out.tellp();
        }
    }
    if (immediateFlush) {
        out.flush();
    }

    // Handed to the logging threads at the next commit, unless they still have spares then.
    if (writtenLines_.empty()) {
        writtenLines_.reserve(lines.size());
        for (std::string& line : lines) {
            if (line.capacity() <= LARGEST_REUSED_LINE) {
                line.clear();
                writtenLines_.push_back(std::move(line));
            }
        }
    }
    return true;
}

void AsyncRollingFileAppender::close() {
    // Waits for a commit in progress, so the file is never closed under the writer thread.
    thread::MutexGuard fileGuard(fileMutex_);
    commitLocked();
    RollingFileAppender::close();
}

std::size_t AsyncRollingFileAppender::cachedLineCount() const {
    thread::MutexGuard cacheGuard(cacheMutex_);
    return cache_.size();
}

unsigned int AsyncRollingFileAppender::lostLineCount() const {
    thread::MutexGuard cacheGuard(cacheMutex_);
    return lostCount_;
}

void AsyncRollingFileAppender::stopWriter() {
    if (!stopRequested_.exchange(true)) {
        {
            // Taking the lock orders the request before the writer's next look at it.
            std::lock_guard<std::mutex> wakeGuard(wakeMutex_);
        }
        wakeWriter_.notify_all();
        stopped_.wait();
    }
}

void AsyncRollingFileAppender::scheduleCommit() {
    // Only the first line after a commit pays for the wake-up; the rest find it scheduled.
    if (commitScheduled_.load(std::memory_order_relaxed) || commitScheduled_.exchange(true)) {
        return;
    }
    {
        // Taking the lock orders the flag before the writer's next look at it: the writer either
        // sees it before it sleeps or is asleep when the notification comes.
        std::lock_guard<std::mutex> wakeGuard(wakeMutex_);
    }
    wakeWriter_.notify_one();
}

void AsyncRollingFileAppender::run() {
    // Named, so that the thread can be told apart in top -H or /proc/<pid>/task.
    ::pthread_setname_np(::pthread_self(), "log writer");
    running_.signal();
    std::unique_lock<std::mutex> wakeLock(wakeMutex_);
    while (!stopRequested_) {
        wakeWriter_.wait(wakeLock, [this] { return stopRequested_ || commitScheduled_; });
        ++writerWakeUps_;
        // The lines that follow the first one within a period go into the file with it.
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(commitPeriodMs_);
        if (!stopRequested_ &&
            !wakeWriter_.wait_until(wakeLock, deadline, [this] { return stopRequested_.load(); })) {
            ++writerWakeUps_;
            // Cleared before the cache is taken: a line that comes while the file is written
            // schedules the next commit.
            commitScheduled_ = false;
            wakeLock.unlock();
            const bool committed = commit();
            wakeLock.lock();
            if (!committed) {
                // log4cplus opens the file again only once its reopen delay has passed since the
                // failed try: the cached lines (often the ones saying the disk is full) wait for
                // the next try a delay later rather than for a line that an idle process may
                // never log.
                commitScheduled_ = true;
                wakeWriter_.wait_for(wakeLock, std::chrono::seconds(std::max(1, reopenDelay)),
                                     [this] { return stopRequested_.load(); });
            }
        }
    }
    stopped_.signal();
}

} // namespace log4cplus
