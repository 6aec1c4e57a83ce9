#pragma once

#include <QElapsedTimer>

#include <cstdint>

namespace shared {

// Keeps a line that repeats from flooding the log (on the instrument's flash every line is wear):
// the first occurrence is logged as it stands, the repeats are counted, and at most one summary
// with their count goes out per period, until the condition behind the line ends (reset). The
// summary comes with the first occurrence after the period; nothing runs in between. Used through
// LOG_REPEATED (Log.h). Not thread-safe: each limiter belongs to one thread.
class LogRepeatLimiter {
public:
    static constexpr qint64 DEFAULT_SUMMARY_PERIOD_MS = 60000;

    enum Verdict { LogFirst, Suppress, LogSummary };

    explicit LogRepeatLimiter(qint64 summaryPeriodMs = DEFAULT_SUMMARY_PERIOD_MS);

    // One occurrence of the line: log it as it stands (LogFirst: the first one, or the first
    // after a quiet period), say nothing (Suppress), or log it with the number of repeats() held
    // back since the line was last logged (LogSummary).
    Verdict occurred();
    std::uint64_t repeats() const { return reported_; }

    // The condition has ended: the next occurrence is a first one again.
    void reset();

private:
    qint64 summaryPeriodMs_;
    QElapsedTimer sinceLogged_;
    std::uint64_t suppressed_ = 0;
    std::uint64_t reported_ = 0;
};

} // namespace shared
