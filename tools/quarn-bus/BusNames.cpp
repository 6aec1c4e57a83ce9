#include "quarn-bus/BusNames.h"

#include "ipc/IpcEndpoints.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <iterator>
#include <sys/stat.h>

namespace quarn_bus {

namespace {

using ipc::IPC_ORIGIN;

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

std::optional<std::int32_t> parseInt32(const std::string& text) {
    if (text.empty()) {
        return std::nullopt;
    }
    const char first = text[0];
    if (!(std::isdigit(static_cast<unsigned char>(first)) || first == '-' || first == '+')) {
        return std::nullopt;
    }
    errno = 0;
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || value < INT32_MIN ||
        value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

struct ClientName {
    const char* name;
    IPC_ORIGIN origin;
};

const ClientName CLIENT_NAMES[] = {
    {"core-app", ipc::IPC_ORIGIN_CLIENT_CORE_APP},
    {"session-manager", ipc::IPC_ORIGIN_CLIENT_SESSION_MANAGER},
    {"status-manager", ipc::IPC_ORIGIN_CLIENT_STATUS_MANAGER},
    {"com-manager-remote", ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE},
    {"com-manager-traxo", ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO},
    {"pwr-manager", ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER},
    {"cal-app", ipc::IPC_ORIGIN_CLIENT_CAL_APP},
};

struct ServerEntry {
    BusServer server;
    const char* name;
    const char* requests;
    const char* events;
};

const ServerEntry SERVERS[] = {
    {BusServer::CoreApp, "core-app", ipc::REQUESTS_CORE_APP, ipc::EVENTS_CORE_APP},
    {BusServer::DspManager, "dsp-manager", ipc::REQUESTS_DSP_MANAGER, ipc::EVENTS_DSP_MANAGER},
    {BusServer::PwrManager, "pwr-manager", ipc::REQUESTS_PWR_MANAGER, ipc::EVENTS_PWR_MANAGER},
    {BusServer::UsbManager, "usb-manager", ipc::REQUESTS_USB_MANAGER, ipc::EVENTS_USB_MANAGER},
    {BusServer::ComManager, "com-manager", ipc::REQUESTS_COM_MANAGER, ipc::EVENTS_COM_MANAGER},
};

struct ResponseChannel {
    IPC_ORIGIN client;
    BusServer server;
    const char* address;
};

// The pairs of the endpoint table that name both ends. The status-manager's and the
// session-manager's channels do not say which server binds them, so they are left out.
const ResponseChannel RESPONSE_CHANNELS[] = {
    {ipc::IPC_ORIGIN_CLIENT_CORE_APP, BusServer::ComManager,
     ipc::RESPONSES_CORE_APP_TO_COM_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_CORE_APP, BusServer::UsbManager,
     ipc::RESPONSES_CORE_APP_TO_USB_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_CORE_APP, BusServer::PwrManager,
     ipc::RESPONSES_CORE_APP_TO_PWR_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_CORE_APP, BusServer::DspManager,
     ipc::RESPONSES_CORE_APP_TO_DSP_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_CAL_APP, BusServer::DspManager, ipc::RESPONSES_CAL_APP_TO_DSP_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, BusServer::DspManager,
     ipc::RESPONSES_PWR_MANAGER_TO_DSP_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO, BusServer::DspManager,
     ipc::RESPONSES_COM_MANAGER_TRAXO_TO_DSP_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO, BusServer::CoreApp,
     ipc::RESPONSES_COM_MANAGER_TRAXO_TO_CORE_APP},
    {ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, BusServer::CoreApp,
     ipc::RESPONSES_COM_MANAGER_REMOTE_TO_CORE_APP},
    {ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, BusServer::UsbManager,
     ipc::RESPONSES_COM_MANAGER_REMOTE_TO_USB_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, BusServer::PwrManager,
     ipc::RESPONSES_COM_MANAGER_REMOTE_TO_PWR_MANAGER},
    {ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, BusServer::DspManager,
     ipc::RESPONSES_COM_MANAGER_REMOTE_TO_DSP_MANAGER},
};

const ServerEntry& entryOf(BusServer server) {
    for (const ServerEntry& entry : SERVERS) {
        if (entry.server == server) {
            return entry;
        }
    }
    return SERVERS[0];
}

} // namespace

std::optional<ipc::IPC_MSG> parseMessage(const std::string& text) {
    if (const auto number = parseInt32(text)) {
        return static_cast<ipc::IPC_MSG>(*number);
    }
    std::string wanted = upper(text);
    if (!wanted.empty() && wanted.back() == ':') {
        wanted.pop_back();
    }
    if (wanted.rfind("IPC_MSG_", 0) != 0) {
        wanted = "IPC_MSG_" + wanted;
    }
    for (int value = ipc::IPC_MSG_NONE; value <= ipc::IPC_MSG_GUARD; ++value) {
        std::string name = ipc::ipcMessageName(static_cast<ipc::IPC_MSG>(value));
        // Two names carry a colon for the log texts; it is not part of what a user types.
        if (!name.empty() && name.back() == ':') {
            name.pop_back();
        }
        if (name == wanted) {
            return static_cast<ipc::IPC_MSG>(value);
        }
    }
    return std::nullopt;
}

std::optional<ipc::IPC_ORIGIN> parseOrigin(const std::string& text) {
    if (const auto number = parseInt32(text)) {
        return static_cast<IPC_ORIGIN>(*number);
    }
    for (const ClientName& client : CLIENT_NAMES) {
        if (text == client.name) {
            return client.origin;
        }
    }
    std::string wanted = upper(text);
    if (wanted.rfind("IPC_ORIGIN_", 0) != 0) {
        wanted = "IPC_ORIGIN_" + wanted;
    }
    // Roles are numbered 1 to 15; the unnamed ones answer "IPC_ORIGIN_???" and match nothing.
    for (int value = 1; value <= 15; ++value) {
        const std::string name = ipc::ipcOriginName(static_cast<IPC_ORIGIN>(value));
        if (name.find('?') == std::string::npos && wanted == name) {
            return static_cast<IPC_ORIGIN>(value);
        }
    }
    return std::nullopt;
}

std::optional<BusServer> parseServer(const std::string& text) {
    for (const ServerEntry& entry : SERVERS) {
        if (text == entry.name) {
            return entry.server;
        }
    }
    return std::nullopt;
}

const char* serverName(BusServer server) {
    return entryOf(server).name;
}

const char* requestsAddress(BusServer server) {
    return entryOf(server).requests;
}

const char* eventsAddress(BusServer server) {
    return entryOf(server).events;
}

const char* defaultResponsesAddress(ipc::IPC_ORIGIN origin, BusServer server) {
    for (const ResponseChannel& channel : RESPONSE_CHANNELS) {
        if (channel.client == origin && channel.server == server) {
            return channel.address;
        }
    }
    return nullptr;
}

std::string unboundAddressNote(const std::string& address) {
    static const std::string IPC_PREFIX = "ipc://";
    if (address.compare(0, IPC_PREFIX.size(), IPC_PREFIX) != 0) {
        return std::string();
    }
    const std::string path = address.substr(IPC_PREFIX.size());
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 || errno != ENOENT) {
        return std::string();
    }
    return "no server is bound to " + address + ": " + path +
           " does not exist in this mount namespace";
}

} // namespace quarn_bus
