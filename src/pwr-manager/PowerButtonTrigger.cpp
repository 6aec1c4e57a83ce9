#include "PowerButtonTrigger.h"

#include "foundation/Log.h"
#include "hal/HwAbstractionLayer.h"

#include <QElapsedTimer>

#include <chrono>

namespace power_manager {

void PowerButtonTrigger::stop() {
    {
        std::lock_guard<std::mutex> guard(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (hal::HwAbstractionLayer* layer = layer_.load()) {
        layer->cancelPowerButtonWait();
    }
}

bool PowerButtonTrigger::stopping() {
    std::lock_guard<std::mutex> guard(mutex_);
    return stopping_;
}

bool PowerButtonTrigger::pause(int milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                           [this] { return stopping_; });
}

void PowerButtonTrigger::run() {
    try {
        layer_.store(hal::HwAbstractionLayer::instance());
        hal::HwAbstractionLayer* layer = layer_.load();
        shared::LogRepeatLimiter failures;
        QElapsedTimer waited;
        while (!stopping()) {
            waited.start();
            if (!layer->waitForPowerButton(WAIT_TIMEOUT_SECONDS)) {
                // Without an edge, only a wait that lasted its full time is a time-out.
                const bool failed =
                    waited.elapsed() < static_cast<qint64>(WAIT_TIMEOUT_SECONDS) * 1000;
                if (failed && !stopping()) {
                    LOG_REPEATED(failures, ::log4cplus::WARN_LOG_LEVEL, "power_manager_logger",
                                 "Waiting for the power button failed, trying again every "
                                     << RETRY_PAUSE_MS << " ms");
                    pause(RETRY_PAUSE_MS);
                }
                continue;
            }
            failures.reset();
            // A bounce also makes an edge; only a line still low after the delay is a press.
            if (!pause(CONFIRMATION_DELAY_MS)) {
                break;
            }
            if (layer->getPowerButton() == 0) {
                emit powerButtonWasPressed();
            } else {
                LOG_WARN("power_manager_logger", "Power button pressed, but signal rejected");
            }
        }
    }
    CATCH_ALL_AND_ABORT
}

} // namespace power_manager
