#pragma once

#include <QThread>

namespace power_manager {

// Waits for the power button on its own thread, because the wait blocks in the hardware layer,
// and reports each confirmed press. Everything that follows a press happens on the main thread.
class PowerButtonTrigger : public QThread {
    Q_OBJECT

public:
    static constexpr unsigned int WAIT_TIMEOUT_SECONDS = 10000;
    static constexpr unsigned long CONFIRMATION_DELAY_US = 50000;

    PowerButtonTrigger() = default;

signals:
    void powerButtonWasPressed();

protected:
    void run() override;
};

} // namespace power_manager
