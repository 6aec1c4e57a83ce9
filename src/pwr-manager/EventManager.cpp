#include "EventManager.h"

#include "BatteryStatus.h"
#include "foundation/Log.h"
#include "ipc/IpcServer.h"

namespace power_manager {

void EventManager::init() {
    connect(BatteryStatus::getInstance().get(), &BatteryStatus::batteryStatusUpdated, this,
            &EventManager::processBatteryStatus);
}

void EventManager::processBatteryStatus(quarn_system::BATTERY_STATUS batteryStatus) {
    try {
        if (auto server = ipc::IpcServer::getInstance()) {
            server->publishEvent(ipc::IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, batteryStatus);
        }
    }
    CATCH_ALL_AND_ABORT
}

} // namespace power_manager
