#include "quarn-bus/BusNames.h"

#include <gtest/gtest.h>

using namespace quarn_bus;

TEST(BusNames, MessagesByNameShortNameOrNumber) {
    EXPECT_EQ(parseMessage("IPC_MSG_GET_BATTERY_STATUS"), ipc::IPC_MSG_GET_BATTERY_STATUS);
    EXPECT_EQ(parseMessage("GET_BATTERY_STATUS"), ipc::IPC_MSG_GET_BATTERY_STATUS);
    EXPECT_EQ(parseMessage("get_battery_status"), ipc::IPC_MSG_GET_BATTERY_STATUS);
    EXPECT_EQ(parseMessage("DO_POWER_DOWN"), ipc::IPC_MSG_DO_POWER_DOWN);
    EXPECT_EQ(parseMessage("IPC_MSG_GUARD"), ipc::IPC_MSG_GUARD);
    EXPECT_EQ(parseMessage("NONE"), ipc::IPC_MSG_NONE);
    // The log name of 16 ends in a colon; with or without it the user means 16, not 17.
    EXPECT_EQ(parseMessage("MODIFY_SESSION_FIELDS"), ipc::IPC_MSG_MODIFY_SESSION_FIELDS);
    EXPECT_EQ(parseMessage("IPC_MSG_MODIFY_SESSION_OVERVIEW:"),
              ipc::IPC_MSG_MODIFY_SESSION_OVERVIEW);
    // Numbers need no name: unknown identifiers are sent on purpose.
    EXPECT_EQ(parseMessage("20"), ipc::IPC_MSG_GET_BATTERY_STATUS);
    EXPECT_EQ(parseMessage("1000"), static_cast<ipc::IPC_MSG>(1000));
    EXPECT_EQ(parseMessage("-1"), static_cast<ipc::IPC_MSG>(-1));
    EXPECT_EQ(parseMessage("2147483647"), static_cast<ipc::IPC_MSG>(2147483647));
}

TEST(BusNames, BadMessageNamesAreRefused) {
    for (const char* bad : {"", "GET_BATTERY", "IPC_MSG_", "IPC_MSG_???", "???", "20x", "0x14",
                            "2147483648", "-2147483649", " 20", "GET_BATTERY_STATUS "}) {
        EXPECT_FALSE(parseMessage(bad).has_value()) << bad;
    }
}

TEST(BusNames, OriginsByProcessNameRoleNameOrNumber) {
    EXPECT_EQ(parseOrigin("core-app"), ipc::IPC_ORIGIN_CLIENT_CORE_APP);
    EXPECT_EQ(parseOrigin("com-manager-remote"), ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE);
    EXPECT_EQ(parseOrigin("com-manager-traxo"), ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO);
    EXPECT_EQ(parseOrigin("pwr-manager"), ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER);
    EXPECT_EQ(parseOrigin("cal-app"), ipc::IPC_ORIGIN_CLIENT_CAL_APP);
    EXPECT_EQ(parseOrigin("IPC_ORIGIN_CLIENT_CAL_APP"), ipc::IPC_ORIGIN_CLIENT_CAL_APP);
    EXPECT_EQ(parseOrigin("client_session_manager"), ipc::IPC_ORIGIN_CLIENT_SESSION_MANAGER);
    EXPECT_EQ(parseOrigin("IPC_ORIGIN_SERVER_PWR_MANAGER"), ipc::IPC_ORIGIN_SERVER_PWR_MANAGER);
    EXPECT_EQ(parseOrigin("13"), ipc::IPC_ORIGIN_CLIENT_CAL_APP);
    EXPECT_EQ(parseOrigin("7"), static_cast<ipc::IPC_ORIGIN>(7));
    EXPECT_EQ(parseOrigin("-5"), static_cast<ipc::IPC_ORIGIN>(-5));
}

TEST(BusNames, BadOriginsAreRefused) {
    // The unnamed roles answer "IPC_ORIGIN_???"; that text must not pick one of them.
    for (const char* bad : {"", "???", "IPC_ORIGIN_???", "IPC_ORIGIN_", "core_app", "Core-App",
                            "dsp-manager", "CLIENT_CORE_APP_X", "6.0"}) {
        EXPECT_FALSE(parseOrigin(bad).has_value()) << bad;
    }
}

TEST(BusNames, ServersAndTheirAddresses) {
    EXPECT_EQ(parseServer("pwr-manager"), BusServer::PwrManager);
    EXPECT_EQ(parseServer("dsp-manager"), BusServer::DspManager);
    EXPECT_FALSE(parseServer("pwr-manger").has_value());
    EXPECT_STREQ(requestsAddress(BusServer::PwrManager), "ipc:///tmp/quarn.requests.pwr-manager");
    EXPECT_STREQ(eventsAddress(BusServer::PwrManager), "ipc:///tmp/quarn.events.pwr-manager");
    EXPECT_STREQ(eventsAddress(BusServer::DspManager), "ipc:///tmp/quarn.events.dsp-manager");
    // The com-manager's two addresses are singular.
    EXPECT_STREQ(requestsAddress(BusServer::ComManager), "ipc:///tmp/quarn.request.com-manager");
    EXPECT_STREQ(eventsAddress(BusServer::ComManager), "ipc:///tmp/quarn.event.com-manager");
    EXPECT_STREQ(serverName(BusServer::UsbManager), "usb-manager");
}

TEST(BusNames, DefaultResponseChannelOfEachOrigin) {
    EXPECT_STREQ(defaultResponsesAddress(ipc::IPC_ORIGIN_CLIENT_CORE_APP, BusServer::PwrManager),
                 "ipc:///tmp/quarn.responses.core-app-to-pwr-manager");
    EXPECT_STREQ(
        defaultResponsesAddress(ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, BusServer::PwrManager),
        "ipc:///tmp/quarn.responses.com-manager-remote-to-pwr-manager");
    // Misspelt in the table, and kept so.
    EXPECT_STREQ(defaultResponsesAddress(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, BusServer::DspManager),
                 "ipc:///tmp/quarn.responses.pwr-manger-to-dsp-manager");
    EXPECT_STREQ(
        defaultResponsesAddress(ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO, BusServer::DspManager),
        "ipc:///tmp/quarn.responses.com-manger-traxo-to-dsp-manager");
    // No channel: the power manager answers only core-app and the remote com-manager.
    EXPECT_EQ(defaultResponsesAddress(ipc::IPC_ORIGIN_CLIENT_CAL_APP, BusServer::PwrManager),
              nullptr);
    EXPECT_EQ(defaultResponsesAddress(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, BusServer::PwrManager),
              nullptr);
    EXPECT_EQ(defaultResponsesAddress(static_cast<ipc::IPC_ORIGIN>(7), BusServer::PwrManager),
              nullptr);
    EXPECT_EQ(defaultResponsesAddress(ipc::IPC_ORIGIN_SERVER_CORE_APP, BusServer::PwrManager),
              nullptr);
}
