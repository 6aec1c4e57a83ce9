#include "SessionTestSupport.h"

#include "session/SessionConfig.h"
#include "support/LogCapture.h"

#include <QBuffer>

#include <gtest/gtest.h>

using sessiontest::hex;
using sessiontest::streamed;
using sessiontest::utc;

// The float goes out as a big-endian double; the timing as flag, two date-times (Julian day,
// milliseconds, spec 2 = UTC), mode, custom duration, flag and the two intervals; a null
// string as ffffffff, an empty one as a zero length.
TEST(SessionConfig, StreamFormInQt48EncodingAndBrokenStreams) {
    sessiontest::ClockGuard clock(utc(2030, 1, 1, 0, 0, 0));
    const SESSION_CONFIG written{0.5f,
                                 session::SessionTiming(utc(2012, 1, 1, 0, 0, 0), 2, 60, 300, 0),
                                 QString(""), QStringLiteral("Ab")};
    const struct {
        const SESSION_CONFIG& config;
        const char* bytes;
    } cases[] = {
        // Default: 0.1f, start 2012-01-01 and one week later, mode 6, null texts.
        {DEFAULT_SESSION_CONFIG, "3fb99999a0000000"
                                 "00002579780000000002"
                                 "0025797f0000000002"
                                 "000000060000000000"
                                 "0000003c0000012c"
                                 "ffffffffffffffff"},
        // Scheduled at 2012-01-01 for 10 minutes, an empty description and the name "Ab".
        {written, "3fe0000000000000"
                  "01002579780000000002"
                  "00257978000927c002"
                  "000000020000000000"
                  "0000003c0000012c"
                  "00000000"
                  "0000000400410062"},
    };
    for (const auto& c : cases) {
        const QByteArray bytes = streamed(c.config);
        EXPECT_EQ(bytes.toHex(' '), hex(c.bytes).toHex(' '));

        // Read into a value that differs in every field, intervals included.
        SESSION_CONFIG read{0.3f, session::SessionTiming(utc(2020, 1, 1, 0, 0, 0), 4, 1, 1, 0),
                            QStringLiteral("old"), QString()};
        shared::Qt48DataStream in(bytes);
        in >> read;
        EXPECT_EQ(in.status(), QDataStream::Ok);
        EXPECT_EQ(streamed(read), bytes);
        EXPECT_EQ(read.description.isNull(), c.config.description.isNull());
    }

    // A cut stream and a device that refuses the bytes are logged.
    testsupport::LogCapture capture;
    SESSION_CONFIG read = DEFAULT_SESSION_CONFIG;
    const QByteArray bytes = streamed(DEFAULT_SESSION_CONFIG);
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
