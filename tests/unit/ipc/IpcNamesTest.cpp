#include "ipc/DspNames.h"
#include "ipc/IpcMessageIds.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <string>

using namespace ipc;

static_assert(sizeof(IPC_MSG) == 4 && sizeof(IPC_ORIGIN) == 4, "int32 on the wire");
// Numbering the peers use that no frame in these tests shows.
static_assert(IPC_MSG_GET_LOGGING_SESSION_STATUS == 14 &&
                  IPC_MSG_EVENT_SESSION_STATUS_CHANGED == 47 && IPC_MSG_EVENT_POWER_DOWN == 57 &&
                  IPC_MSG_EVENT_WANT_POWER_DOWN == 58 && IPC_MSG_GUARD == 67,
              "identifiers");

namespace {

// The names a lookup gives for the values, separated by spaces.
template <class Lookup> std::string namesOf(Lookup lookup, std::initializer_list<int> values) {
    std::string names;
    for (int value : values) {
        names += (names.empty() ? "" : " ") + std::string(lookup(value));
    }
    return names;
}

} // namespace

TEST(IpcMessageIds, MessageNamesAndFallback) {
    const auto name = [](int value) { return ipcMessageName(static_cast<IPC_MSG>(value)); };
    EXPECT_EQ("IPC_MSG_NONE IPC_MSG_STOP_LOGGING_SESSION IPC_MSG_MODIFY_SESSION_FIELDS: "
              "IPC_MSG_MODIFY_SESSION_OVERVIEW: IPC_MSG_SET_SESSION_CONFIG "
              "IPC_MSG_EVENT_BATTERY_LOW IPC_MSG_EVENT_DATE_TIME_WAS_SYNCHRONIZED IPC_MSG_GUARD "
              "IPC_MSG_??? IPC_MSG_??? IPC_MSG_??? IPC_MSG_???",
              namesOf(name, {0, 15, 16, 17, 18, 56, 66, 67, 68, 1000, -1, INT_MIN}));
    // Every identifier has its own name; only 16 and 17 end in a colon.
    std::set<std::string> names;
    for (int value = 0; value <= 67; ++value) {
        const std::string text = name(value);
        EXPECT_EQ(0u, text.rfind("IPC_MSG_", 0)) << value;
        EXPECT_EQ(value == 16 || value == 17, text.back() == ':') << text;
        EXPECT_EQ(value >= 44 && value <= 66, text.rfind("IPC_MSG_EVENT_", 0) == 0) << text;
        names.insert(text);
    }
    EXPECT_EQ(68u, names.size());
}

TEST(IpcMessageIds, OriginNamesAndPredicates) {
    const auto name = [](int value) { return ipcOriginName(static_cast<IPC_ORIGIN>(value)); };
    EXPECT_EQ(
        "IPC_ORIGIN_??? IPC_ORIGIN_SERVER_CORE_APP IPC_ORIGIN_SERVER_DSP_MANAGER "
        "IPC_ORIGIN_SERVER_PWR_MANAGER IPC_ORIGIN_SERVER_USB_STORAGE_MANAGER IPC_ORIGIN_??? "
        "IPC_ORIGIN_CLIENT_CORE_APP IPC_ORIGIN_??? IPC_ORIGIN_CLIENT_SESSION_MANAGER "
        "IPC_ORIGIN_CLIENT_STATUS_MANAGER IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE "
        "IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO IPC_ORIGIN_CLIENT_PWR_MANAGER "
        "IPC_ORIGIN_CLIENT_CAL_APP IPC_ORIGIN_??? IPC_ORIGIN_??? IPC_ORIGIN_??? IPC_ORIGIN_???",
        namesOf(name, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, -1}));
    // Negative values are huge when compared unsigned: neither role.
    for (int value : {INT_MIN, -6, -1, 0, 1, 5, 6, 7, 15, 16, INT_MAX}) {
        const auto origin = static_cast<IPC_ORIGIN>(value);
        EXPECT_EQ(value >= 1 && value <= 5, isServerOrigin(origin)) << value;
        EXPECT_EQ(value >= 6 && value <= 15, isClientOrigin(origin)) << value;
    }
}

TEST(DspNames, NamesAndFallbacks) {
    EXPECT_EQ("ADCO_MSG_EVT_LIVE_DATA ADCO_MSG_EVT_SESSION_TREND_DATA ADCO_MSG_EVT_PROBE_CHANGED "
              "ADCO_MSG_REQ_GET_STATUS ADCO_MSG_RES_GET_LIVE_DATA "
              "ADCO_MSG_REQ_GET_SESSION_TREND_DATA ADCO_MSG_RES_GET_SESSION_DEMAND_DATA "
              "ADCO_MSG_REQ_SET_CALIBRATION_FACTORS ADCO_MSG_RES_GET_CONNECTION_VERIFICATION "
              "ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_???",
              namesOf(adcoMessageName,
                      {1, 4, 7, 8, 19, 24, 27, 38, 41, 0, 2, 6, 20, 23, 28, 29, 42, INT_MIN}));
    EXPECT_EQ("PROBE_STATUS_NONE PROBE_STATUS_NOT_CONNECTED PROBE_STATUS_RECONNECTED "
              "PROBE_STATUS_CONNECTED PROBE_STATUS_UKNOWN_PROBE PROBE_STATUS_??? PROBE_STATUS_???",
              namesOf(probeStatusName, {0, 1, 2, 3, 4, 5, -1}));
    EXPECT_EQ("INPUT_TYPE_NONE INPUT_TYPE_AUTO INPUT_TYPE_CLAMP INPUT_TYPE_FLEXI INPUT_TYPE_??? "
              "INPUT_TYPE_??? INPUT_TYPE_???",
              namesOf(currentInputTypeName, {-2, -1, 0, 1, -3, 2, INT_MAX}));
}
