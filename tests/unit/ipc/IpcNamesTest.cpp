#include "ipc/DspNames.h"
#include "ipc/IpcEndpoints.h"
#include "ipc/IpcMessageIds.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>

using namespace ipc;

static_assert(sizeof(IPC_MSG) == 4 && sizeof(IPC_ORIGIN) == 4, "int32 on the wire");

TEST(IpcMessageIds, NumberingMatchesThePeers) {
    EXPECT_EQ(0, IPC_MSG_NONE);
    EXPECT_EQ(14, IPC_MSG_GET_LOGGING_SESSION_STATUS);
    EXPECT_EQ(20, IPC_MSG_GET_BATTERY_STATUS);
    EXPECT_EQ(21, IPC_MSG_GET_INSTRUMENT_CONFIG);
    EXPECT_EQ(22, IPC_MSG_SET_INSTRUMENT_CONFIG);
    EXPECT_EQ(43, IPC_MSG_DO_POWER_DOWN);
    EXPECT_EQ(44, IPC_MSG_EVENT_LIVE_DATA);
    EXPECT_EQ(47, IPC_MSG_EVENT_SESSION_STATUS_CHANGED);
    EXPECT_EQ(56, IPC_MSG_EVENT_BATTERY_LOW);
    EXPECT_EQ(57, IPC_MSG_EVENT_POWER_DOWN);
    EXPECT_EQ(58, IPC_MSG_EVENT_WANT_POWER_DOWN);
    EXPECT_EQ(59, IPC_MSG_EVENT_BATTERY_STATUS_CHANGED);
    EXPECT_EQ(60, IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);
    EXPECT_EQ(66, IPC_MSG_EVENT_DATE_TIME_WAS_SYNCHRONIZED);
    EXPECT_EQ(67, IPC_MSG_GUARD);
    EXPECT_EQ(3, IPC_ORIGIN_SERVER_PWR_MANAGER);
    EXPECT_EQ(12, IPC_ORIGIN_CLIENT_PWR_MANAGER);
    EXPECT_EQ(13, IPC_ORIGIN_CLIENT_CAL_APP);
}

TEST(IpcMessageIds, MessageNames) {
    EXPECT_STREQ("IPC_MSG_NONE", ipcMessageName(IPC_MSG_NONE));
    EXPECT_STREQ("IPC_MSG_GET_DSP_STATUS", ipcMessageName(static_cast<IPC_MSG>(1)));
    EXPECT_STREQ("IPC_MSG_STOP_LOGGING_SESSION", ipcMessageName(static_cast<IPC_MSG>(15)));
    EXPECT_STREQ("IPC_MSG_MODIFY_SESSION_FIELDS:", ipcMessageName(static_cast<IPC_MSG>(16)));
    EXPECT_STREQ("IPC_MSG_MODIFY_SESSION_OVERVIEW:", ipcMessageName(static_cast<IPC_MSG>(17)));
    EXPECT_STREQ("IPC_MSG_SET_SESSION_CONFIG", ipcMessageName(static_cast<IPC_MSG>(18)));
    EXPECT_STREQ("IPC_MSG_GET_BATTERY_STATUS", ipcMessageName(static_cast<IPC_MSG>(20)));
    EXPECT_STREQ("IPC_MSG_DO_POWER_DOWN", ipcMessageName(static_cast<IPC_MSG>(43)));
    EXPECT_STREQ("IPC_MSG_EVENT_LIVE_DATA", ipcMessageName(static_cast<IPC_MSG>(44)));
    EXPECT_STREQ("IPC_MSG_EVENT_BATTERY_LOW", ipcMessageName(static_cast<IPC_MSG>(56)));
    EXPECT_STREQ("IPC_MSG_EVENT_DATE_TIME_WAS_SYNCHRONIZED",
                 ipcMessageName(static_cast<IPC_MSG>(66)));
    EXPECT_STREQ("IPC_MSG_GUARD", ipcMessageName(static_cast<IPC_MSG>(67)));
    for (int value : {68, 1000, -1, INT_MIN, INT_MAX}) {
        EXPECT_STREQ("IPC_MSG_???", ipcMessageName(static_cast<IPC_MSG>(value))) << value;
    }
    // Every identifier has its own name; only 16 and 17 end in a colon.
    std::set<std::string> names;
    for (int value = 0; value <= 67; ++value) {
        const std::string name = ipcMessageName(static_cast<IPC_MSG>(value));
        EXPECT_EQ(0u, name.rfind("IPC_MSG_", 0)) << value;
        EXPECT_EQ(value == 16 || value == 17, name.back() == ':') << name;
        EXPECT_EQ(value >= 44 && value <= 66, name.rfind("IPC_MSG_EVENT_", 0) == 0) << name;
        names.insert(name);
    }
    EXPECT_EQ(68u, names.size());
}

TEST(IpcMessageIds, OriginNamesAndPredicates) {
    const char* const expected[] = {
        "IPC_ORIGIN_???",
        "IPC_ORIGIN_SERVER_CORE_APP",
        "IPC_ORIGIN_SERVER_DSP_MANAGER",
        "IPC_ORIGIN_SERVER_PWR_MANAGER",
        "IPC_ORIGIN_SERVER_USB_STORAGE_MANAGER",
        "IPC_ORIGIN_???",
        "IPC_ORIGIN_CLIENT_CORE_APP",
        "IPC_ORIGIN_???",
        "IPC_ORIGIN_CLIENT_SESSION_MANAGER",
        "IPC_ORIGIN_CLIENT_STATUS_MANAGER",
        "IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE",
        "IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO",
        "IPC_ORIGIN_CLIENT_PWR_MANAGER",
        "IPC_ORIGIN_CLIENT_CAL_APP",
        "IPC_ORIGIN_???",
        "IPC_ORIGIN_???",
        "IPC_ORIGIN_???",
    };
    for (int value = 0; value <= 16; ++value) {
        EXPECT_STREQ(expected[value], ipcOriginName(static_cast<IPC_ORIGIN>(value))) << value;
    }
    EXPECT_STREQ("IPC_ORIGIN_???", ipcOriginName(static_cast<IPC_ORIGIN>(-1)));

    for (int value = 1; value <= 5; ++value) {
        EXPECT_TRUE(isServerOrigin(static_cast<IPC_ORIGIN>(value))) << value;
        EXPECT_FALSE(isClientOrigin(static_cast<IPC_ORIGIN>(value))) << value;
    }
    for (int value = 6; value <= 15; ++value) {
        EXPECT_FALSE(isServerOrigin(static_cast<IPC_ORIGIN>(value))) << value;
        EXPECT_TRUE(isClientOrigin(static_cast<IPC_ORIGIN>(value))) << value;
    }
    // Negative values are huge when compared unsigned: neither role.
    for (int value : {0, 16, -1, -6, INT_MIN, INT_MAX}) {
        EXPECT_FALSE(isServerOrigin(static_cast<IPC_ORIGIN>(value))) << value;
        EXPECT_FALSE(isClientOrigin(static_cast<IPC_ORIGIN>(value))) << value;
    }
}

TEST(DspNames, ProtocolMessages) {
    EXPECT_STREQ("ADCO_MSG_EVT_LIVE_DATA", adcoMessageName(1));
    EXPECT_STREQ("ADCO_MSG_EVT_SESSION_TREND_DATA", adcoMessageName(4));
    EXPECT_STREQ("ADCO_MSG_EVT_SESSION_DEMAND_DATA", adcoMessageName(5));
    EXPECT_STREQ("ADCO_MSG_EVT_PROBE_CHANGED", adcoMessageName(7));
    EXPECT_STREQ("ADCO_MSG_REQ_GET_STATUS", adcoMessageName(8));
    EXPECT_STREQ("ADCO_MSG_RES_GET_STATUS", adcoMessageName(9));
    EXPECT_STREQ("ADCO_MSG_RES_SET_DATE_TIME", adcoMessageName(17));
    EXPECT_STREQ("ADCO_MSG_RES_GET_LIVE_DATA", adcoMessageName(19));
    EXPECT_STREQ("ADCO_MSG_REQ_GET_SESSION_TREND_DATA", adcoMessageName(24));
    EXPECT_STREQ("ADCO_MSG_RES_GET_SESSION_DEMAND_DATA", adcoMessageName(27));
    EXPECT_STREQ("ADCO_MSG_REQ_GET_PROBE_INFO", adcoMessageName(30));
    EXPECT_STREQ("ADCO_MSG_REQ_SET_CALIBRATION_FACTORS", adcoMessageName(38));
    EXPECT_STREQ("ADCO_MSG_RES_GET_CONNECTION_VERIFICATION", adcoMessageName(41));
    for (int value : {0, 2, 3, 6, 20, 21, 22, 23, 28, 29, 42, 100, -1, INT_MIN, INT_MAX}) {
        EXPECT_STREQ("ADCO_???", adcoMessageName(value)) << value;
    }
}

TEST(DspNames, ProbeStatusAndInputType) {
    EXPECT_STREQ("PROBE_STATUS_NONE", probeStatusName(0));
    EXPECT_STREQ("PROBE_STATUS_NOT_CONNECTED", probeStatusName(1));
    EXPECT_STREQ("PROBE_STATUS_RECONNECTED", probeStatusName(2));
    EXPECT_STREQ("PROBE_STATUS_CONNECTED", probeStatusName(3));
    EXPECT_STREQ("PROBE_STATUS_UKNOWN_PROBE", probeStatusName(4));
    for (int value : {5, -1, INT_MIN, INT_MAX}) {
        EXPECT_STREQ("PROBE_STATUS_???", probeStatusName(value)) << value;
    }
    EXPECT_STREQ("INPUT_TYPE_NONE", currentInputTypeName(-2));
    EXPECT_STREQ("INPUT_TYPE_AUTO", currentInputTypeName(-1));
    EXPECT_STREQ("INPUT_TYPE_CLAMP", currentInputTypeName(0));
    EXPECT_STREQ("INPUT_TYPE_FLEXI", currentInputTypeName(1));
    for (int value : {-3, 2, INT_MIN, INT_MAX}) {
        EXPECT_STREQ("INPUT_TYPE_???", currentInputTypeName(value)) << value;
    }
}

TEST(IpcEndpoints, AddressesAreTheOnesThePeersUse) {
    EXPECT_STREQ("ipc:///tmp/quarn.requests.core-app", REQUESTS_CORE_APP);
    EXPECT_STREQ("ipc:///tmp/quarn.events.core-app", EVENTS_CORE_APP);
    EXPECT_STREQ("ipc:///tmp/quarn.requests.dsp-manager", REQUESTS_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.events.dsp-manager", EVENTS_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.requests.pwr-manager", REQUESTS_PWR_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.events.pwr-manager", EVENTS_PWR_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.requests.usb-manager", REQUESTS_USB_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.events.usb-manager", EVENTS_USB_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.request.com-manager", REQUESTS_COM_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.event.com-manager", EVENTS_COM_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.core-app-to-com-manager",
                 RESPONSES_CORE_APP_TO_COM_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.cal-app-to-dsp-manager",
                 RESPONSES_CAL_APP_TO_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.usb-storage-manager-file-copy-to-core-app",
                 RESPONSES_USB_STORAGE_MANAGER_FILE_COPY_TO_CORE_APP);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.usb-storage-manager-to-core-app",
                 RESPONSES_USB_STORAGE_MANAGER_TO_CORE_APP);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.usb-storage-manager-file-copy-to-dsp-manager",
                 RESPONSES_USB_STORAGE_MANAGER_FILE_COPY_TO_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.usb-storage-manager-to-dsp-manager",
                 RESPONSES_USB_STORAGE_MANAGER_TO_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.pwr-manger-to-dsp-manager",
                 RESPONSES_PWR_MANAGER_TO_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.com-manger-traxo-to-dsp-manager",
                 RESPONSES_COM_MANAGER_TRAXO_TO_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.com-manager-traxo-to-core-app",
                 RESPONSES_COM_MANAGER_TRAXO_TO_CORE_APP);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.com-manager-remote-to-core-app",
                 RESPONSES_COM_MANAGER_REMOTE_TO_CORE_APP);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.com-manager-remote-to-usb-manager",
                 RESPONSES_COM_MANAGER_REMOTE_TO_USB_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.com-manager-remote-to-pwr-manager",
                 RESPONSES_COM_MANAGER_REMOTE_TO_PWR_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.com-manager-remote-to-dsp-manager",
                 RESPONSES_COM_MANAGER_REMOTE_TO_DSP_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.status-manager", RESPONSES_STATUS_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.session-manager", RESPONSES_SESSION_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.core-app-memory-screen-to-usb-manager",
                 RESPONSES_CORE_APP_MEMORY_SCREEN_TO_USB_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.core-app-to-usb-manager",
                 RESPONSES_CORE_APP_TO_USB_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.core-app-to-pwr-manager",
                 RESPONSES_CORE_APP_TO_PWR_MANAGER);
    EXPECT_STREQ("ipc:///tmp/quarn.responses.core-app-to-dsp-manager",
                 RESPONSES_CORE_APP_TO_DSP_MANAGER);
}
