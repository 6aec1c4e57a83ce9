#include "quarn-bus/BusNames.h"

#include <gtest/gtest.h>

using namespace quarn_bus;

// The response channels of each origin are pinned through the command line's defaults.
TEST(BusNames, MessagesAndOriginsByNameShortNameOrNumber) {
    const std::pair<const char*, int> messages[] = {
        {"IPC_MSG_GET_BATTERY_STATUS", 20},
        {"get_battery_status", 20},
        {"NONE", 0},
        {"20", 20},
        // Log names 16 and 17 end in a colon; with or without it the user means that one.
        {"MODIFY_SESSION_FIELDS", 16},
        {"IPC_MSG_MODIFY_SESSION_OVERVIEW:", 17},
        // Numbers need no name: unknown identifiers are sent on purpose.
        {"-1", -1},
        {"2147483647", 2147483647},
    };
    for (const auto& [text, message] : messages) {
        EXPECT_EQ(parseMessage(text), static_cast<ipc::IPC_MSG>(message)) << text;
    }
    for (const char* bad : {"", "GET_BATTERY", "IPC_MSG_", "IPC_MSG_???", "20x", "0x14",
                            "2147483648", " 20", "GET_BATTERY_STATUS "}) {
        EXPECT_FALSE(parseMessage(bad).has_value()) << bad;
    }
    const std::pair<const char*, int> origins[] = {
        {"core-app", 6},
        {"com-manager-remote", 10},
        {"IPC_ORIGIN_CLIENT_CAL_APP", 13},
        {"client_session_manager", 8},
        {"13", 13},
        {"-5", -5},
    };
    for (const auto& [text, origin] : origins) {
        EXPECT_EQ(parseOrigin(text), static_cast<ipc::IPC_ORIGIN>(origin)) << text;
    }
    // The unnamed roles answer "IPC_ORIGIN_???"; that text must not pick one of them.
    for (const char* bad :
         {"", "IPC_ORIGIN_???", "IPC_ORIGIN_", "core_app", "Core-App", "dsp-manager", "6.0"}) {
        EXPECT_FALSE(parseOrigin(bad).has_value()) << bad;
    }
}
