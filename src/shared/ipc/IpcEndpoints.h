#pragma once

// The fixed addresses of the bus. Each server binds its requests (PULL) and events (PUB)
// addresses and one response address (PUSH) per client; clients connect the other ends.
//
// The spellings are the ones the peer processes bind and connect to, so they are kept as they
// are: the singular "request"/"event" of the com-manager, and "pwr-manger" / "com-manger" in two
// response addresses.

namespace ipc {

// Requests and events, per server process.
constexpr const char* REQUESTS_CORE_APP = "ipc:///tmp/quarn.requests.core-app";
constexpr const char* EVENTS_CORE_APP = "ipc:///tmp/quarn.events.core-app";
constexpr const char* REQUESTS_DSP_MANAGER = "ipc:///tmp/quarn.requests.dsp-manager";
constexpr const char* EVENTS_DSP_MANAGER = "ipc:///tmp/quarn.events.dsp-manager";
constexpr const char* REQUESTS_PWR_MANAGER = "ipc:///tmp/quarn.requests.pwr-manager";
constexpr const char* EVENTS_PWR_MANAGER = "ipc:///tmp/quarn.events.pwr-manager";
constexpr const char* REQUESTS_USB_MANAGER = "ipc:///tmp/quarn.requests.usb-manager";
constexpr const char* EVENTS_USB_MANAGER = "ipc:///tmp/quarn.events.usb-manager";
constexpr const char* REQUESTS_COM_MANAGER = "ipc:///tmp/quarn.request.com-manager";
constexpr const char* EVENTS_COM_MANAGER = "ipc:///tmp/quarn.event.com-manager";

// Responses, one private channel per (client, server) pair: RESPONSES_<client>_TO_<server>.
constexpr const char* RESPONSES_CORE_APP_TO_COM_MANAGER =
    "ipc:///tmp/quarn.responses.core-app-to-com-manager";
constexpr const char* RESPONSES_CAL_APP_TO_DSP_MANAGER =
    "ipc:///tmp/quarn.responses.cal-app-to-dsp-manager";
constexpr const char* RESPONSES_USB_STORAGE_MANAGER_FILE_COPY_TO_CORE_APP =
    "ipc:///tmp/quarn.responses.usb-storage-manager-file-copy-to-core-app";
constexpr const char* RESPONSES_USB_STORAGE_MANAGER_TO_CORE_APP =
    "ipc:///tmp/quarn.responses.usb-storage-manager-to-core-app";
constexpr const char* RESPONSES_USB_STORAGE_MANAGER_FILE_COPY_TO_DSP_MANAGER =
    "ipc:///tmp/quarn.responses.usb-storage-manager-file-copy-to-dsp-manager";
constexpr const char* RESPONSES_USB_STORAGE_MANAGER_TO_DSP_MANAGER =
    "ipc:///tmp/quarn.responses.usb-storage-manager-to-dsp-manager";
constexpr const char* RESPONSES_PWR_MANAGER_TO_DSP_MANAGER =
    "ipc:///tmp/quarn.responses.pwr-manger-to-dsp-manager";
constexpr const char* RESPONSES_COM_MANAGER_TRAXO_TO_DSP_MANAGER =
    "ipc:///tmp/quarn.responses.com-manger-traxo-to-dsp-manager";
constexpr const char* RESPONSES_COM_MANAGER_TRAXO_TO_CORE_APP =
    "ipc:///tmp/quarn.responses.com-manager-traxo-to-core-app";
constexpr const char* RESPONSES_COM_MANAGER_REMOTE_TO_CORE_APP =
    "ipc:///tmp/quarn.responses.com-manager-remote-to-core-app";
constexpr const char* RESPONSES_COM_MANAGER_REMOTE_TO_USB_MANAGER =
    "ipc:///tmp/quarn.responses.com-manager-remote-to-usb-manager";
constexpr const char* RESPONSES_COM_MANAGER_REMOTE_TO_PWR_MANAGER =
    "ipc:///tmp/quarn.responses.com-manager-remote-to-pwr-manager";
constexpr const char* RESPONSES_COM_MANAGER_REMOTE_TO_DSP_MANAGER =
    "ipc:///tmp/quarn.responses.com-manager-remote-to-dsp-manager";
// These two name only the client.
constexpr const char* RESPONSES_STATUS_MANAGER = "ipc:///tmp/quarn.responses.status-manager";
constexpr const char* RESPONSES_SESSION_MANAGER = "ipc:///tmp/quarn.responses.session-manager";
constexpr const char* RESPONSES_CORE_APP_MEMORY_SCREEN_TO_USB_MANAGER =
    "ipc:///tmp/quarn.responses.core-app-memory-screen-to-usb-manager";
constexpr const char* RESPONSES_CORE_APP_TO_USB_MANAGER =
    "ipc:///tmp/quarn.responses.core-app-to-usb-manager";
constexpr const char* RESPONSES_CORE_APP_TO_PWR_MANAGER =
    "ipc:///tmp/quarn.responses.core-app-to-pwr-manager";
constexpr const char* RESPONSES_CORE_APP_TO_DSP_MANAGER =
    "ipc:///tmp/quarn.responses.core-app-to-dsp-manager";

} // namespace ipc
