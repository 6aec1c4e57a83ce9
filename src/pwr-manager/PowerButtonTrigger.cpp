#include "PowerButtonTrigger.h"

#include "foundation/Log.h"
#include "hal/HwAbstractionLayer.h"

namespace power_manager {

void PowerButtonTrigger::run() {
    hal::HwAbstractionLayer* layer = hal::HwAbstractionLayer::instance();
    // No exit condition: the owner ends the thread with terminate(), which cancels the wait.
    for (;;) {
        if (!layer->waitForPowerButton(WAIT_TIMEOUT_SECONDS)) {
            continue;
        }
        // A bounce also makes an edge; only a line still low after the delay is a press.
        QThread::usleep(CONFIRMATION_DELAY_US);
        if (layer->getPowerButton() == 0) {
            emit powerButtonWasPressed();
        } else {
            LOG_WARN("power_manager_logger", "Power button pressed, but signal rejected");
        }
    }
}

} // namespace power_manager
