#include "PowerManagerSettings.h"

#include "BatteryStatus.h"
#include "BuildInfo.h"
#include "ipc/IpcEndpoints.h"

namespace power_manager {

PowerManagerSettings PowerManagerSettings::product() {
    PowerManagerSettings settings;
    settings.powerSupplyDirectory = QString::fromLatin1(BatteryStatus::POWER_SUPPLY_DIRECTORY);
    settings.shutdownCommand = DEFAULT_SHUTDOWN_COMMAND;
    settings.serverRequests = ipc::REQUESTS_PWR_MANAGER;
    settings.serverEvents = ipc::EVENTS_PWR_MANAGER;
    settings.dspManagerRequests = ipc::REQUESTS_DSP_MANAGER;
    settings.dspManagerResponses = ipc::RESPONSES_PWR_MANAGER_TO_DSP_MANAGER;
    settings.dspManagerEvents = ipc::EVENTS_DSP_MANAGER;
    settings.comManagerRemoteResponses = ipc::RESPONSES_COM_MANAGER_REMOTE_TO_PWR_MANAGER;
    settings.coreAppResponses = ipc::RESPONSES_CORE_APP_TO_PWR_MANAGER;
    settings.instanceLockPath = "/run/pwr-manager.lock";
    return settings;
}

} // namespace power_manager
