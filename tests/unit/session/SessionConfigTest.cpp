#include "SessionTestSupport.h"

#include "foundation/Qt48DataStream.h"
#include "session/SessionConfig.h"
#include "support/LogCapture.h"

#include <QBuffer>

#include <gtest/gtest.h>

using sessiontest::ClockGuard;
using sessiontest::hex;
using sessiontest::utc;

TEST(SessionConfig, DefaultHoldsTheDefaultTimingAndNoTexts) {
    EXPECT_EQ(DEFAULT_SESSION_CONFIG.energySetting, 0.1f);
    EXPECT_TRUE(DEFAULT_SESSION_CONFIG.timing == session::SessionTiming());
    EXPECT_EQ(DEFAULT_SESSION_CONFIG.timing.startTime(), utc(2012, 1, 1, 0, 0, 0));
    EXPECT_TRUE(DEFAULT_SESSION_CONFIG.description.isNull());
    EXPECT_TRUE(DEFAULT_SESSION_CONFIG.name.isNull());
    EXPECT_EQ(&defaultSessionConfig(), &defaultSessionConfig());
}

TEST(SessionConfig, StreamFormIsFloatTimingAndTwoStrings) {
    ClockGuard clock(utc(2030, 1, 1, 0, 0, 0));
    const SESSION_CONFIG config{0.5f,
                                session::SessionTiming(utc(2012, 1, 1, 0, 0, 0), 2, 60, 300, 0),
                                QString(""), QStringLiteral("Ab")};
    QByteArray bytes;
    {
        shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
        stream << config;
        EXPECT_EQ(stream.status(), QDataStream::Ok);
    }
    // 0.5 as a Qt 4.8 stream writes it: a big-endian double; an empty (not null) description.
    EXPECT_EQ(bytes.toHex(' '), hex("3fe0000000000000"
                                    "01002579780000000002"
                                    "00257978000927c002"
                                    "000000020000000000"
                                    "0000003c0000012c"
                                    "00000000"
                                    "0000000400410062")
                                    .toHex(' '));

    SESSION_CONFIG read = DEFAULT_SESSION_CONFIG;
    shared::Qt48DataStream in(bytes);
    in >> read;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(read.energySetting, 0.5f);
    EXPECT_TRUE(read.timing == config.timing);
    EXPECT_EQ(read.description, QString(""));
    EXPECT_FALSE(read.description.isNull());
    EXPECT_EQ(read.name, QStringLiteral("Ab"));
}

TEST(SessionConfig, BrokenStreamsAreLogged) {
    QByteArray bytes;
    {
        shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
        stream << DEFAULT_SESSION_CONFIG;
    }
    testsupport::LogCapture capture;
    SESSION_CONFIG read = DEFAULT_SESSION_CONFIG;
    shared::Qt48DataStream in(bytes.left(bytes.size() - 2));
    in >> read;
    EXPECT_NE(in.status(), QDataStream::Ok);
    EXPECT_EQ(capture.messages("session_storage_data_logger"),
              std::vector<std::string>{"Invalid extraction from stream was detected!"});

    capture.clear();
    QByteArray target;
    QBuffer readOnly(&target);
    readOnly.open(QIODevice::ReadOnly);
    shared::Qt48DataStream out(&readOnly);
    out << DEFAULT_SESSION_CONFIG;
    EXPECT_EQ(capture.messages("session_storage_data_logger"),
              std::vector<std::string>{"Unable to insert session configuration to stream."});
}
