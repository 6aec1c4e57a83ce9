#include "IpcTestSupport.h"

#include "ipc/IpcMessage.h"
#include "ipc/ZmqFrame.h"

#include <gtest/gtest.h>

#include <memory>
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
