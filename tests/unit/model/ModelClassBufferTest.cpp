// A class mirrored in its QDataStream form, taken off a real event.

#include "FakeOwner.h"

#include "ipc/IpcClient.h"
#include "model/ModelClassBuffer.h"
#include "support/LogCapture.h"

#include <QDataStream>
#include <QDateTime>
#include <QString>

#include <gtest/gtest.h>

#include <vector>

namespace {

using modeltest::FakeOwner;
using modeltest::hexBytes;
using modeltest::pumpUntil;

// Stands in for the session model: a number, a text and a time stamp. The time stamp only reads
// right when the stream speaks Qt 4.8.
struct StreamedThing {
    qint32 number = -1;
    QString text = QStringLiteral("unset");
    QDateTime stamp;
};

QDataStream& operator>>(QDataStream& stream, StreamedThing& thing) {
    return stream >> thing.number >> thing.text >> thing.stamp;
}

using ThingBuffer = model::ModelClassBuffer<StreamedThing>;

// 0x01020304; "Hi" as a 4-byte UTF-16 length and big-endian code units; 2012-01-01 00:00:00
// UTC as Julian day 2455928, milliseconds 0 and the UTC marker 2.
const char* const THING_PAYLOAD = "01 02 03 04  00 00 00 04 00 48 00 69"
                                  "00 25 79 78  00 00 00 00  02";

class ModelClassBufferTest : public ::testing::Test {
protected:
    ModelClassBufferTest()
        : client(false) {
        ipc::registerIpcMetaTypes();
        client.connectTo(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, owner.requestsAddress(),
                         owner.responsesAddress(), owner.eventsAddress());
        QObject::connect(&buffer, &model::ModelBufferBase::updated,
                         [this](ipc::IPC_MSG id) { updates.push_back(id); });
        buffer.setInitTiming(20, 1000);
        buffer.initializeIpc(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS,
                             {ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS},
                             {ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED}, &client);
    }

    testsupport::LogCapture capture;
    FakeOwner owner;
    ipc::IpcClient client;
    ThingBuffer buffer;
    std::vector<ipc::IPC_MSG> updates;
};

TEST_F(ModelClassBufferTest, ReadsTheObjectFromItsQt48StreamForm) {
    ASSERT_TRUE(pumpUntil([this] { return !owner.subscriptions().empty(); }, 3000, &owner));
    // Subscribe to IPC_MSG_EVENT_SESSION_STATUS_CHANGED (47).
    EXPECT_EQ(owner.subscriptions()[0], hexBytes("01 2f 00 00 00"));

    owner.publishEvent(ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED, hexBytes(THING_PAYLOAD));
    ASSERT_TRUE(pumpUntil([this] { return !updates.empty(); }, 3000, &owner));
    EXPECT_EQ(updates[0], ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED);
    EXPECT_EQ(buffer.getData().number, 0x01020304);
    EXPECT_EQ(buffer.getData().text, QStringLiteral("Hi"));
    EXPECT_EQ(buffer.getData().stamp, QDateTime(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC));
    EXPECT_TRUE(buffer.isInitialized());
}

TEST_F(ModelClassBufferTest, BrokenStreamLeavesTheObjectAsItWas) {
    ASSERT_TRUE(pumpUntil([this] { return !owner.requests().empty(); }, 3000, &owner));
    owner.sendResponse(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS, hexBytes(THING_PAYLOAD));
    ASSERT_TRUE(pumpUntil([this] { return updates.size() == 1; }, 3000, &owner));

    // Cut inside the text: the number would read, the rest would not.
    owner.sendResponse(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS,
                       hexBytes("0a 0b 0c 0d  00 00 00 04 00 48"));
    const std::string refused =
        "Could not read buffered data from "
        "IPC_MSG_GET_LOGGING_SESSION_STATUS (10 bytes); buffered data kept.";
    ASSERT_TRUE(pumpUntil([&] { return capture.count(refused) == 1; }, 3000, &owner));
    EXPECT_EQ(updates.size(), 1u);
    EXPECT_EQ(buffer.getData().number, 0x01020304);
    EXPECT_EQ(buffer.getData().text, QStringLiteral("Hi"));
}

} // namespace
