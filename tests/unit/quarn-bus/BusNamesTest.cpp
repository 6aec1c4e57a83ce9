#include "quarn-bus/BusNames.h"

#include <gtest/gtest.h>

using namespace quarn_bus;

TEST(BusNames, MessagesByNameShortNameOrNumber) {
    const std::pair<const char*, int> good[] = {
        {"IPC_MSG_GET_BATTERY_STATUS", ipc::IPC_MSG_GET_BATTERY_STATUS},
        {"get_battery_status", ipc::IPC_MSG_GET_BATTERY_STATUS},
        {"NONE", ipc::IPC_MSG_NONE},
        // The log name of 16 ends in a colon; with or without it the user means 16, not 17.
        {"MODIFY_SESSION_FIELDS", ipc::IPC_MSG_MODIFY_SESSION_FIELDS},
        {"IPC_MSG_MODIFY_SESSION_OVERVIEW:", ipc::IPC_MSG_MODIFY_SESSION_OVERVIEW},
        // Numbers need no name: unknown identifiers are sent on purpose.
        {"20", ipc::IPC_MSG_GET_BATTERY_STATUS},
        {"-1", -1},
        {"2147483647", 2147483647},
    };
    for (const auto& [text, message] : good) {
        EXPECT_EQ(parseMessage(text), static_cast<ipc::IPC_MSG>(message)) << text;
    }
    for (const char* bad : {"", "GET_BATTERY", "IPC_MSG_", "IPC_MSG_???", "20x", "0x14",
                            "2147483648", " 20", "GET_BATTERY_STATUS "}) {
        EXPECT_FALSE(parseMessage(bad).has_value()) << bad;
    }
}

TEST(BusNames, OriginsByProcessNameRoleNameOrNumber) {
    const std::pair<const char*, int> good[] = {
        {"core-app", ipc::IPC_ORIGIN_CLIENT_CORE_APP},
        {"com-manager-remote", ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE},
        {"IPC_ORIGIN_CLIENT_CAL_APP", ipc::IPC_ORIGIN_CLIENT_CAL_APP},
        {"client_session_manager", ipc::IPC_ORIGIN_CLIENT_SESSION_MANAGER},
        {"13", ipc::IPC_ORIGIN_CLIENT_CAL_APP},
        {"-5", -5},
    };
    for (const auto& [text, origin] : good) {
        EXPECT_EQ(parseOrigin(text), static_cast<ipc::IPC_ORIGIN>(origin)) << text;
    }
    // The unnamed roles answer "IPC_ORIGIN_???"; that text must not pick one of them.
    for (const char* bad :
         {"", "IPC_ORIGIN_???", "IPC_ORIGIN_", "core_app", "Core-App", "dsp-manager", "6.0"}) {
        EXPECT_FALSE(parseOrigin(bad).has_value()) << bad;
    }
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
    // No channel: the power manager answers only core-app and the remote com-manager.
    for (const int origin :
         {int(ipc::IPC_ORIGIN_CLIENT_CAL_APP), int(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER), 7,
          int(ipc::IPC_ORIGIN_SERVER_CORE_APP)}) {
        EXPECT_EQ(
            defaultResponsesAddress(static_cast<ipc::IPC_ORIGIN>(origin), BusServer::PwrManager),
            nullptr)
            << origin;
    }
}
