#pragma once

// How the command line names the things of the bus: messages, origins and server processes, and
// which addresses belong to each.

#include "ipc/IpcMessageIds.h"

#include <optional>
#include <string>

namespace quarn_bus {

// The server processes whose requests and events addresses are known.
enum class BusServer { CoreApp, DspManager, PwrManager, UsbManager, ComManager };

// "IPC_MSG_GET_BATTERY_STATUS", "GET_BATTERY_STATUS" (any letter case) or a decimal number;
// a number need not have a name, so unknown identifiers can be sent on purpose.
std::optional<ipc::IPC_MSG> parseMessage(const std::string& text);

// "core-app", "com-manager-remote" and the other client process names, "IPC_ORIGIN_..." or the
// same without the prefix (any letter case), or a decimal number.
std::optional<ipc::IPC_ORIGIN> parseOrigin(const std::string& text);

// "core-app", "dsp-manager", "pwr-manager", "usb-manager" or "com-manager".
std::optional<BusServer> parseServer(const std::string& text);
const char* serverName(BusServer server);
const char* requestsAddress(BusServer server);
const char* eventsAddress(BusServer server);

// The response channel that the client of this origin has towards the server, or null when the
// bus has none for that pair.
const char* defaultResponsesAddress(ipc::IPC_ORIGIN origin, BusServer server);

// Why nothing can answer on an ipc:// address whose socket file does not exist (a server in
// another mount namespace is out of sight too); empty for a file that exists or another
// transport.
std::string unboundAddressNote(const std::string& address);

} // namespace quarn_bus
