#pragma once

#include <QString>

#include <string>

namespace power_manager {

// Everything the daemon reaches outside its own process by a fixed name. The defaults are the
// instrument's own; tests assemble the whole daemon over temporary directories and endpoints.
struct PowerManagerSettings {
    QString powerSupplyDirectory;
    std::string shutdownCommand;
    std::string serverRequests;
    std::string serverEvents;
    std::string dspManagerRequests;
    std::string dspManagerResponses;
    std::string dspManagerEvents;
    std::string comManagerRemoteResponses;
    std::string coreAppResponses;
    // The file whose advisory lock keeps a second daemon off the bus.
    std::string instanceLockPath;

    // The instrument's paths, command (the build's QUARN_SHUTDOWN_COMMAND) and bus addresses.
    static PowerManagerSettings product();
};

} // namespace power_manager
