#include "ServiceNotifier.h"

#include "foundation/Log.h"

#include <QTimer>

#include <systemd/sd-daemon.h>

#include <algorithm>
#include <cstdint>

namespace quarn_system {

ServiceNotifier::ServiceNotifier(QObject* parent)
    : QObject(parent)
    , pingTimer_(new QTimer(this)) {
    std::uint64_t microseconds = 0;
    // Also false when WATCHDOG_PID names another process, which then owns the watchdog.
    if (sd_watchdog_enabled(0, &microseconds) > 0) {
        watchdogPeriod_ = std::chrono::microseconds(microseconds);
    }
    connect(pingTimer_, &QTimer::timeout, this, &ServiceNotifier::pingWatchdog);
}

void ServiceNotifier::notifyReady() {
    const int result = sd_notify(0, "READY=1");
    report(result, "readiness");
    if (result > 0 && watchdogPeriod_.count() > 0) {
        // Half the period leaves a whole ping of margin to a loop that is busy but not hung.
        const auto interval =
            std::chrono::duration_cast<std::chrono::milliseconds>(watchdogPeriod_ / 2);
        pingTimer_->start(std::max<int>(1, static_cast<int>(interval.count())));
        LOG_INFO("service_logger", "Watchdog of " << watchdogPeriod_.count() / 1000
                                                  << " ms, pinged every " << pingTimer_->interval()
                                                  << " ms");
    }
}

void ServiceNotifier::pingWatchdog() {
    try {
        report(sd_notify(0, "WATCHDOG=1"), "watchdog ping");
    }
    CATCH_ALL_AND_ABORT
}

void ServiceNotifier::report(int result, const char* what) {
    if (result >= 0) {
        failing_ = false;
        return;
    }
    if (!failing_) {
        LOG_ERROR("service_logger", "Could not send the "
                                        << what
                                        << " to the service manager -> ERRNO : " << -result);
    }
    failing_ = true;
}

} // namespace quarn_system
