#include "foundation/LogRepeatLimiter.h"

namespace shared {

LogRepeatLimiter::LogRepeatLimiter(qint64 summaryPeriodMs)
    : summaryPeriodMs_(summaryPeriodMs) {}

LogRepeatLimiter::Verdict LogRepeatLimiter::occurred() {
    if (!sinceLogged_.isValid()) {
        sinceLogged_.start();
        return LogFirst;
    }
    if (sinceLogged_.elapsed() < summaryPeriodMs_) {
        ++suppressed_;
        return Suppress;
    }
    sinceLogged_.start();
    if (suppressed_ == 0) {
        // Nothing was held back: the line stands as it is.
        return LogFirst;
    }
    reported_ = suppressed_;
    suppressed_ = 0;
    return LogSummary;
}

void LogRepeatLimiter::reset() {
    sinceLogged_.invalidate();
    suppressed_ = 0;
    reported_ = 0;
}

} // namespace shared
