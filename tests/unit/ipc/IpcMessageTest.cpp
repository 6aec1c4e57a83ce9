#include "IpcTestSupport.h"

#include "ipc/DspNames.h"
#include "ipc/IpcMessage.h"
#include "ipc/IpcMessageIds.h"
#include "ipc/ZmqFrame.h"

#include <gtest/gtest.h>

#include <climits>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>
#include <tuple>
#include <utility>

using namespace ipc;

TEST(IpcMessage, WireFormIsIdentifierOriginPayloadLittleEndian) {
    IpcMessage status(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, IPC_ORIGIN_SERVER_PWR_MANAGER);
    status.appendData(reinterpret_cast<const char*>(&ipctest::SAMPLE_RECORD),
                      sizeof ipctest::SAMPLE_RECORD);
    // A copy changed in every field leaves its original alone. Nothing, a negative and a zero
    // length add nothing; a zero byte is payload like any other.
    const IpcMessage low(IPC_MSG_EVENT_BATTERY_LOW, IPC_ORIGIN_SERVER_PWR_MANAGER);
    IpcMessage pieces = low;
    pieces.setMessage(IPC_MSG_SET_INSTRUMENT_CONFIG);
    pieces.setOrigin(IPC_ORIGIN_CLIENT_PWR_MANAGER);
    pieces.appendData("\x01\x02", 2);
    pieces.appendData(nullptr, 5);
    pieces.appendData("\x03", -1);
    pieces.appendData("\x03", 0);
    pieces.appendData("\x00\x04", 2);
    const std::pair<IpcMessage, const char*> cases[] = {
        {IpcMessage(), "0000000000000000"},
        {low, "3800000003000000"},
        {status, "3b00000003000000 01000000feffffffd4c3b2a1"},
        {pieces, "160000000c000000 01020004"},
        // Values outside the enumerations travel unchanged.
        {IpcMessage(static_cast<IPC_MSG>(-2), static_cast<IPC_ORIGIN>(0x01020304)),
         "feffffff04030201"},
    };
    for (const auto& [message, hex] : cases) {
        EXPECT_EQ(QByteArray::fromHex(hex), message.toFrame()) << hex;
        const std::unique_ptr<ZmqFrame> frame = message.toZmqMessage();
        EXPECT_EQ(QByteArray::fromHex(hex), QByteArray(frame->data(), qsizetype(frame->size())));
    }
}

TEST(IpcMessage, DecodesFramesAndRefusesShortOnes) {
    IpcMessage decoded;
    ASSERT_TRUE(IpcMessage::fromFrame(QByteArray::fromHex("140000000c000000 0102"), decoded));
    EXPECT_EQ(std::make_tuple(IPC_MSG_GET_BATTERY_STATUS, IPC_ORIGIN_CLIENT_PWR_MANAGER,
                              QByteArray::fromHex("0102")),
              std::make_tuple(decoded.message(), decoded.origin(), decoded.data()));
    ASSERT_TRUE(IpcMessage::fromFrame(QByteArray::fromHex("78563412ffffffff"), decoded));
    EXPECT_EQ(std::make_tuple(0x12345678, -1, QByteArray()),
              std::make_tuple(int(decoded.message()), int(decoded.origin()), decoded.data()));

    const QByteArray full = QByteArray::fromHex("3800000003000000");
    for (int size = 0; size < 8; ++size) {
        IpcMessage out(IPC_MSG_DO_POWER_DOWN, IPC_ORIGIN_CLIENT_CAL_APP);
        out.appendData("x", 1);
        // A copy of the first `size` bytes, with nothing readable behind it.
        EXPECT_FALSE(IpcMessage::fromFrame(QByteArray(full.constData(), size), out)) << size;
        EXPECT_EQ(QByteArray::fromHex("2b0000000d000000 78"), out.toFrame()) << "left alone";
    }
    EXPECT_FALSE(IpcMessage::fromFrame(nullptr, 8, decoded));
}

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

// The tables themselves are the code's; what matters is where they end, that no entry is lost
// or doubled, the fallbacks, and the two names the peers' log tools know with a colon.
TEST(IpcNames, EndsOfTheTablesAndTheirFallbacks) {
    const auto message = [](int value) { return ipcMessageName(static_cast<IPC_MSG>(value)); };
    EXPECT_EQ("IPC_MSG_NONE IPC_MSG_MODIFY_SESSION_FIELDS: IPC_MSG_MODIFY_SESSION_OVERVIEW: "
              "IPC_MSG_GUARD IPC_MSG_??? IPC_MSG_??? IPC_MSG_???",
              namesOf(message, {0, 16, 17, 67, 68, -1, INT_MIN}));
    std::set<std::string> names;
    for (int value = 0; value <= 67; ++value) {
        const std::string text = message(value);
        EXPECT_EQ(value == 16 || value == 17, text.back() == ':') << text;
        EXPECT_EQ(value >= 44 && value <= 66, text.rfind("IPC_MSG_EVENT_", 0) == 0) << text;
        names.insert(text);
    }
    EXPECT_EQ(68u, names.size());

    const auto origin = [](int value) { return ipcOriginName(static_cast<IPC_ORIGIN>(value)); };
    // Every origin is spelled out: the peers' log tools match these names.
    EXPECT_EQ("IPC_ORIGIN_??? IPC_ORIGIN_SERVER_CORE_APP IPC_ORIGIN_SERVER_DSP_MANAGER "
              "IPC_ORIGIN_SERVER_PWR_MANAGER IPC_ORIGIN_SERVER_USB_STORAGE_MANAGER IPC_ORIGIN_??? "
              "IPC_ORIGIN_CLIENT_CORE_APP IPC_ORIGIN_??? IPC_ORIGIN_CLIENT_SESSION_MANAGER "
              "IPC_ORIGIN_CLIENT_STATUS_MANAGER IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE "
              "IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO IPC_ORIGIN_CLIENT_PWR_MANAGER "
              "IPC_ORIGIN_CLIENT_CAL_APP IPC_ORIGIN_??? IPC_ORIGIN_???",
              namesOf(origin, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, -1}));
    // Negative values are huge when compared unsigned: neither role.
    for (int value : {INT_MIN, -6, -1, 0, 1, 5, 6, 7, 15, 16, INT_MAX}) {
        const auto role = static_cast<IPC_ORIGIN>(value);
        EXPECT_EQ(value >= 1 && value <= 5, isServerOrigin(role)) << value;
        EXPECT_EQ(value >= 6 && value <= 15, isClientOrigin(role)) << value;
    }

    EXPECT_EQ("ADCO_MSG_EVT_LIVE_DATA ADCO_MSG_RES_GET_CONNECTION_VERIFICATION ADCO_??? ADCO_??? "
              "ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_??? ADCO_???",
              namesOf(adcoMessageName, {1, 41, 0, 2, 6, 20, 23, 28, 29, 42, INT_MIN}));
    EXPECT_EQ("PROBE_STATUS_NONE PROBE_STATUS_UKNOWN_PROBE PROBE_STATUS_??? PROBE_STATUS_???",
              namesOf(probeStatusName, {0, 4, 5, -1}));
    EXPECT_EQ("INPUT_TYPE_NONE INPUT_TYPE_FLEXI INPUT_TYPE_??? INPUT_TYPE_??? INPUT_TYPE_???",
              namesOf(currentInputTypeName, {-2, 1, -3, 2, INT_MAX}));
}
