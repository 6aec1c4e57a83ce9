#pragma once

#include "foundation/InitSingletonT.h"
#include "records/BatteryStatusRecord.h"

#include <QObject>

namespace power_manager {

// Forwards every battery reading to the other processes as one battery-status event.
class EventManager : public QObject, public shared::InitSingletonT<EventManager> {
    Q_OBJECT

public:
    EventManager() = default;

    // Connects the battery monitor; the monitor must exist.
    void init();

public slots:
    void processBatteryStatus(quarn_system::BATTERY_STATUS batteryStatus);
};

} // namespace power_manager
