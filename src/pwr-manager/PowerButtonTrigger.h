#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace hal {
class HwAbstractionLayer;
}

namespace power_manager {

// Waits for the power button on its own thread, because the wait blocks in the hardware layer,
// and reports each confirmed press. Everything that follows a press happens on the main thread.
//
// A wait that fails (the GPIO files missing, an export refused) comes back at once: the next one
// starts after RETRY_PAUSE_MS, so the thread never spins, and the failure is logged once (then
// summarised once a minute). stop() ends the thread cleanly from any thread: it cancels the wait
// in progress through the hardware layer and cuts any pause short.
class PowerButtonTrigger : public QThread {
    Q_OBJECT

public:
    static constexpr unsigned int WAIT_TIMEOUT_SECONDS = 10000;
    static constexpr int CONFIRMATION_DELAY_MS = 50;
    static constexpr int RETRY_PAUSE_MS = 500;

    PowerButtonTrigger() = default;

    void stop();

signals:
    void powerButtonWasPressed();

protected:
    void run() override;

private:
    // Sleeps unless stop() comes first; false when stopped.
    bool pause(int milliseconds);
    bool stopping();

    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    // Set by run(): stop() must not be the first to create the product layer.
    std::atomic<hal::HwAbstractionLayer*> layer_{nullptr};
};

} // namespace power_manager
