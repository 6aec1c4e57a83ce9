// A class mirrored in its QDataStream form, taken off a real event.

#include "FakeOwner.h"

#include "model/ModelClassBuffer.h"

#include <QDataStream>
#include <QDateTime>
#include <QString>

#include <gtest/gtest.h>

namespace {

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

using ModelClassBufferTest = modeltest::FakeOwner<model::ModelClassBuffer<StreamedThing>>;

TEST_F(ModelClassBufferTest, ReadsTheQt48StreamFormAndKeepsTheObjectOnABrokenOne) {
    buffer.setInitTiming(20, 1000);
    buffer.initializeIpc(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS,
                         {ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS},
                         {ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED}, &client);
    ASSERT_TRUE(until([this] { return !subscriptions.empty(); }));
    // 0x01020304; "Hi" as a 4-byte UTF-16 length and big-endian code units; 2012-01-01 00:00:00
    // UTC as Julian day 2455928, milliseconds 0 and the UTC marker 2.
    send(eventSocket, ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED,
         QByteArray::fromHex("01020304 00000004 00480069 00257978 00000000 02"));
    ASSERT_TRUE(until([this] { return !updates.empty(); }));
    EXPECT_EQ(ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED, updates[0]);
    EXPECT_EQ(0x01020304, buffer.getData().number);
    EXPECT_EQ(QStringLiteral("Hi"), buffer.getData().text);
    EXPECT_EQ(QDateTime(QDate(2012, 1, 1), QTime(0, 0), Qt::UTC), buffer.getData().stamp);

    // Cut inside the text: the number would read, the rest would not.
    send(responseSocket, ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS,
         QByteArray::fromHex("0a0b0c0d 00000004 0048"));
    ASSERT_TRUE(until([this] {
        return capture.count("Could not read buffered data from IPC_MSG_GET_LOGGING_SESSION_STATUS "
                             "(10 bytes); buffered data kept.") == 1;
    }));
    EXPECT_EQ(1u, updates.size());
    EXPECT_EQ(0x01020304, buffer.getData().number);
    EXPECT_EQ(QStringLiteral("Hi"), buffer.getData().text);
}

} // namespace
