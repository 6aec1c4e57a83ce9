#pragma once

#include "foundation/InitSingletonT.h"
#include "ipc/IpcMessage.h"
#include "records/BatteryStatusRecord.h"

#include <QObject>
#include <QRecursiveMutex>

class QTimer;

namespace power_manager {

// Drives the two lines of the power LED: the pattern shows the power source and flashes while
// a logging session runs. It also creates the local mirror of the logging session.
class PowerLedTrigger : public QObject, public shared::InitSingletonT<PowerLedTrigger> {
    Q_OBJECT

public:
    // The steady patterns, then their flashing twins, 3 apart.
    enum LedMode {
        LED_EXTERNAL_POWER = 0,
        LED_ON_BATTERY = 1,
        LED_BATTERY_LOW = 2,
        LED_EXTERNAL_POWER_FLASHING = 3,
        LED_ON_BATTERY_FLASHING = 4,
        LED_BATTERY_LOW_FLASHING = 5,
    };
    static constexpr int TICK_MS = 1000;
    static constexpr int LOW_BATTERY_LEVEL = 15;

    PowerLedTrigger();
    ~PowerLedTrigger() override;

    // Second-stage set-up: the session mirror, the connections and the tick timer. The battery
    // monitor and the IPC client must exist.
    void init();

    int mode() const;

    // Starts the tick's period anew from now. The application does so as it starts the battery
    // timer: every second tick then falls due with the battery check and shares its wake-up.
    void restartTick();

public slots:
    void onSessionChange(ipc::IPC_MSG messageId);
    void processPowerLedTriggerTimeout();
    void processBatteryStatus(quarn_system::BATTERY_STATUS batteryStatus);

private:
    void startLedFlashing();
    void stopLedFlashing();

    QTimer* ledTimer;
    int ledMode = LED_EXTERNAL_POWER;
    mutable QRecursiveMutex ledMutex;
};

} // namespace power_manager
