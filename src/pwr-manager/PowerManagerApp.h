#pragma once

#include "PowerManagerSettings.h"
#include "foundation/LogRepeatLimiter.h"
#include "ipc/IpcMessage.h"

#include <QCoreApplication>
#include <QRecursiveMutex>

class QTimer;

namespace power_manager {

class PowerButtonTrigger;
class ShutdownCommand;

// The daemon's application object: it creates and wires the daemon's parts, checks the battery
// every 2000 ms, and takes the instrument down when asked to or when the battery runs out. A low
// battery shuts down only when two checks in a row read below the threshold: one bad reading of
// the gauge must not power a recording instrument off.
class PowerManagerApp : public QCoreApplication {
    Q_OBJECT

public:
    static constexpr int DEFAULT_SHUTDOWN_THRESHOLD = 10;
    static constexpr int LOW_BATTERY_THRESHOLD = 15;
    static constexpr int BATTERY_CHECK_INTERVAL_MS = 2000;
    static constexpr int SHUTDOWN_WAIT_STEP_MS = 250;
    static constexpr int MAX_SHUTDOWN_WAITS = 9;
    // No request to this daemon carries more; a client sending larger frames is disconnected.
    static constexpr int MAX_REQUEST_BYTES = 4096;

    PowerManagerApp(int& argc, char** argv,
                    const PowerManagerSettings& settings = PowerManagerSettings::product());
    ~PowerManagerApp() override;

    void initialize();
    void start();

    int threshold() const { return shutdownThreshold; }
    const QTimer* batteryTimer() const { return batteryCheckTimer; }

signals:
    void batteryLevelIsLow();
    void batteryLevelIsVeryLow();

public slots:
    void checkBatteryStatus();
    void processPowerButtonPressed();
    void processBatteryLow();
    void processBatteryVeryLow();
    void shutDownInstrument();
    void processIpcEvent(const ipc::IpcMessage& message);

private:
    static int thresholdFromArguments(int argc, char** argv);
    static bool sessionIsRunning();

    QTimer* batteryCheckTimer;
    PowerButtonTrigger* powerButtonTrigger;
    int shutdownThreshold;
    QRecursiveMutex eventMutex;
    PowerManagerSettings settings_;
    ShutdownCommand* shutdownCommand_;
    // The previous check read below the threshold on battery.
    bool belowThresholdBefore_ = false;
    shared::LogRepeatLimiter lowWarnings_;
    shared::LogRepeatLimiter veryLowWarnings_;
    // Only grows, so all shutdown chains together wait at most MAX_SHUTDOWN_WAITS times. There
    // is one application object per process, which makes this the process-wide count.
    int shutdownWaitCount = 0;
};

} // namespace power_manager
