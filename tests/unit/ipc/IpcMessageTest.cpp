#include "IpcTestSupport.h"

#include "ipc/IpcClient.h"
#include "ipc/IpcClientSingleton.h"
#include "ipc/IpcMessage.h"
#include "ipc/IpcServer.h"
#include "ipc/ZmqFrame.h"

#include <QMetaType>
#include <QVariant>

#include <gtest/gtest.h>

using namespace ipc;

namespace {

QByteArray bytesOf(const ZmqFrame& frame) {
    return QByteArray(frame.data(), static_cast<qsizetype>(frame.size()));
}

} // namespace

TEST(IpcMessage, EmptyEnvelopeIsNoneFromNoOne) {
    const IpcMessage message;
    EXPECT_EQ(IPC_MSG_NONE, message.message());
    EXPECT_EQ(0, message.origin());
    EXPECT_TRUE(message.data().isEmpty());
    EXPECT_EQ(QByteArray::fromHex("0000000000000000"), message.toFrame());
}

TEST(IpcMessage, WireFormIsIdentifierOriginPayloadLittleEndian) {
    const IpcMessage batteryLow(IPC_MSG_EVENT_BATTERY_LOW, IPC_ORIGIN_SERVER_PWR_MANAGER);
    EXPECT_EQ(QByteArray::fromHex("3800000003000000"), batteryLow.toFrame());
    EXPECT_EQ(QByteArray::fromHex("3800000003000000"), bytesOf(*batteryLow.toZmqMessage()));

    IpcMessage status(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, IPC_ORIGIN_SERVER_PWR_MANAGER);
    status.appendData(reinterpret_cast<const char*>(&ipctest::SAMPLE_RECORD),
                      sizeof ipctest::SAMPLE_RECORD);
    const QByteArray expected = QByteArray::fromHex("3b00000003000000"
                                                    "01000000feffffffd4c3b2a1");
    EXPECT_EQ(expected, status.toFrame());
    EXPECT_EQ(expected, bytesOf(*status.toZmqMessage()));

    // Values outside the enumerations travel unchanged.
    const IpcMessage odd(static_cast<IPC_MSG>(-2), static_cast<IPC_ORIGIN>(0x01020304));
    EXPECT_EQ(QByteArray::fromHex("feffffff04030201"), odd.toFrame());
}

TEST(IpcMessage, AppendDataConcatenatesAndIgnoresNothing) {
    IpcMessage message(IPC_MSG_SET_INSTRUMENT_CONFIG, IPC_ORIGIN_CLIENT_PWR_MANAGER);
    message.appendData("\x01\x02", 2);
    message.appendData(nullptr, 5);
    message.appendData("\x03", -1);
    message.appendData("\x03", 0);
    message.appendData("\x00\x04", 2);
    EXPECT_EQ(QByteArray::fromHex("01020004"), message.data());
    EXPECT_EQ(QByteArray::fromHex("160000000c000000"
                                  "01020004"),
              message.toFrame());
}

TEST(IpcMessage, DecodesReceivedFrames) {
    IpcMessage decoded;
    ASSERT_TRUE(IpcMessage::fromFrame(QByteArray::fromHex("140000000c000000"
                                                          "0102"),
                                      decoded));
    EXPECT_EQ(IPC_MSG_GET_BATTERY_STATUS, decoded.message());
    EXPECT_EQ(IPC_ORIGIN_CLIENT_PWR_MANAGER, decoded.origin());
    EXPECT_EQ(QByteArray::fromHex("0102"), decoded.data());

    ASSERT_TRUE(IpcMessage::fromFrame(QByteArray::fromHex("3900000003000000"), decoded));
    EXPECT_EQ(IPC_MSG_EVENT_POWER_DOWN, decoded.message());
    EXPECT_EQ(IPC_ORIGIN_SERVER_PWR_MANAGER, decoded.origin());
    EXPECT_TRUE(decoded.data().isEmpty());

    ASSERT_TRUE(IpcMessage::fromFrame(QByteArray::fromHex("78563412ffffffff"), decoded));
    EXPECT_EQ(0x12345678, decoded.message());
    EXPECT_EQ(-1, decoded.origin());

    ZmqFrame frame(10);
    memcpy(frame.data(), "\x3b\x00\x00\x00\x03\x00\x00\x00\xaa\xbb", 10);
    ASSERT_TRUE(IpcMessage::fromFrame(frame, decoded));
    EXPECT_EQ(IPC_MSG_EVENT_BATTERY_STATUS_CHANGED, decoded.message());
    EXPECT_EQ(QByteArray::fromHex("aabb"), decoded.data());
}

TEST(IpcMessage, FramesShorterThanTheHeaderAreRefused) {
    const QByteArray full = QByteArray::fromHex("3800000003000000");
    for (int size = 0; size < 8; ++size) {
        IpcMessage out(IPC_MSG_DO_POWER_DOWN, IPC_ORIGIN_CLIENT_CAL_APP);
        out.appendData("x", 1);
        // Only the first `size` bytes are readable: a copy without anything behind it.
        const QByteArray shortFrame(full.constData(), size);
        EXPECT_FALSE(IpcMessage::fromFrame(shortFrame, out)) << size;
        EXPECT_EQ(IPC_MSG_DO_POWER_DOWN, out.message());
        EXPECT_EQ(IPC_ORIGIN_CLIENT_CAL_APP, out.origin());
        EXPECT_EQ(QByteArray("x"), out.data());
    }
    IpcMessage out;
    EXPECT_FALSE(IpcMessage::fromFrame(nullptr, 8, out));
}

TEST(IpcMessage, CopiesAreIndependentOnChange) {
    IpcMessage original(IPC_MSG_GET_BATTERY_STATUS, IPC_ORIGIN_CLIENT_CORE_APP);
    original.appendData("ab", 2);
    IpcMessage copy = original;
    EXPECT_EQ(original.data().constData(), copy.data().constData()) << "shared until written";
    copy.setMessage(IPC_MSG_DO_POWER_DOWN);
    copy.setOrigin(IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE);
    copy.appendData("c", 1);
    EXPECT_EQ(IPC_MSG_GET_BATTERY_STATUS, original.message());
    EXPECT_EQ(IPC_ORIGIN_CLIENT_CORE_APP, original.origin());
    EXPECT_EQ(QByteArray("ab"), original.data());
    EXPECT_EQ(QByteArray::fromHex("2b0000000a000000"
                                  "616263"),
              copy.toFrame());

    IpcMessage assigned;
    assigned = copy;
    EXPECT_EQ(copy.toFrame(), assigned.toFrame());
}

TEST(IpcMessage, MetaTypesAndClassNames) {
    registerIpcMetaTypes();
    registerIpcMetaTypes();
    EXPECT_TRUE(QMetaType::fromName("ipc::IpcMessage").isValid());
    EXPECT_TRUE(QMetaType::fromName("ipc::IPC_MSG").isValid());
    EXPECT_TRUE(QMetaType::fromName("ipc::IPC_ORIGIN").isValid());
    EXPECT_EQ(QMetaType::fromType<IpcMessage>(), QMetaType::fromName("ipc::IpcMessage"));

    IpcMessage message(IPC_MSG_EVENT_POWER_DOWN, IPC_ORIGIN_SERVER_PWR_MANAGER);
    const QVariant variant = QVariant::fromValue(message);
    EXPECT_EQ(message.toFrame(), variant.value<IpcMessage>().toFrame());

    EXPECT_STREQ("ipc::IpcMessage", IpcMessage::staticMetaObject.className());
    EXPECT_STREQ("ipc::IpcServer", IpcServer::staticMetaObject.className());
    EXPECT_STREQ("ipc::IpcClient", IpcClient::staticMetaObject.className());
    EXPECT_STREQ("ipc::IpcClientSingleton", IpcClientSingleton::staticMetaObject.className());
}

TEST(IpcMessage, TravelsThroughQueuedConnections) {
    IpcServer server;
    QObject receiver;
    IpcMessage delivered;
    QObject::connect(
        &server, &IpcServer::requestReceived, &receiver,
        [&delivered](const IpcMessage& message) { delivered = message; }, Qt::QueuedConnection);
    IpcMessage sent(IPC_MSG_GET_BATTERY_STATUS, IPC_ORIGIN_CLIENT_CORE_APP);
    sent.appendData("\x7f", 1);
    emit server.requestReceived(sent);
    EXPECT_EQ(IPC_MSG_NONE, delivered.message()) << "not before the event loop runs";
    ipctest::pumpUntil([&] { return delivered.message() != IPC_MSG_NONE; });
    EXPECT_EQ(sent.toFrame(), delivered.toFrame());
}
