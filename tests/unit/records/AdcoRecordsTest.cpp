#include "records/AdcoRecords.h"

#include "RecordBytes.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

namespace {

using recordtest::hex;

TEST(AdcoRecords, DefaultDspConfigImage) {
    const QByteArray bytes = recordtest::streamed(DEFAULT_DSP_CONFIG);
    ASSERT_EQ(bytes.size(), 136);
    const QByteArray expected = hex("0000000000000000" // 0 date-time
                                    "0100"
                                    "0500"     // 8, 10
                                    "00000000" // 12 trend interval
                                    "00000000" // 16 demand interval
                                    "0000"
                                    "0100"     // 20, 22
                                    "02000000" // 24
                                    "0100"
                                    "0200"     // 28, 30
                                    "0000e642" // 32 115.0
                                    "00007042" // 36 60.0
                                    "0000803f0000803f0000803f0000803f"
                                    "0000803f0000803f0000803f" // 40..64 1.0
                                    "00000000"                 // 68
                                    "0000803f"                 // 72 1.0
                                    "00000000"                 // 76
                                    "ffffffffffffffffffffffff" // 80..88
                                    "00000000"                 // 92
                                    "0000"
                                    "0100"                                       // 96, 98
                                    "0000000000000000"                           // 100, 104
                                    "0000803f"                                   // 108 1.0
                                    "ffffffff"                                   // 112
                                    "0000000000000000000000000000000000000000"); // 116..132
    ASSERT_EQ(expected.size(), 136);
    EXPECT_EQ(bytes, expected);
}

TEST(AdcoRecords, NamedFieldsSitAtTheirOffsets) {
    ADCO_DSP_CONFIG config = DEFAULT_DSP_CONFIG;
    config.dateTime = {0x01020304u, 0x05060708u};
    config.measurementType = 12;
    config.trendInterval = 60;
    config.demandInterval = 300;
    config.nominalVoltage = 230.0f;
    config.word98 = 0xABCD;
    const QByteArray bytes = recordtest::streamed(config);
    EXPECT_EQ(bytes.left(20), hex("0403020108070605"
                                  "0c00"
                                  "0500"
                                  "3c000000"
                                  "2c010000"));
    EXPECT_EQ(bytes.mid(32, 4), hex("00006643"));
    EXPECT_EQ(bytes.mid(96, 4), hex("0000cdab"));
}

TEST(AdcoRecords, DefaultProbeConfigImage) {
    const QByteArray bytes = recordtest::streamed(DEFAULT_DSP_PROBE_CONFIG);
    ASSERT_EQ(bytes.size(), 176);
    for (int entry = 0; entry < 4; ++entry) {
        SCOPED_TRACE(entry);
        const QByteArray image = bytes.mid(entry * 44, 44);
        EXPECT_TRUE(recordtest::allZero(image.left(36)));
        EXPECT_EQ(image.mid(36, 2), hex("feff"));
        EXPECT_TRUE(recordtest::allZero(image.mid(38)));
    }
}

TEST(AdcoRecords, RoundTripThroughOneStream) {
    ADCO_DSP_CONFIG config = DEFAULT_DSP_CONFIG;
    config.demandInterval = 900;
    ADCO_DSP_PROBE_CONFIG probes = DEFAULT_DSP_PROBE_CONFIG;
    probes.probes[3].probeType = 7;

    QByteArray bytes;
    {
        shared::Qt48DataStream out(&bytes, QIODevice::WriteOnly);
        out << config << probes;
    }
    ASSERT_EQ(bytes.size(), 136 + 176);

    ADCO_DSP_CONFIG readConfig{};
    ADCO_DSP_PROBE_CONFIG readProbes{};
    shared::Qt48DataStream in(bytes);
    in >> readConfig >> readProbes;
    EXPECT_EQ(in.status(), QDataStream::Ok);
    EXPECT_EQ(recordtest::streamed(readConfig), recordtest::streamed(config));
    EXPECT_EQ(recordtest::streamed(readProbes), recordtest::streamed(probes));
}

TEST(AdcoRecords, ShortReadsAreReportedAndLeaveTheStreamNotOk) {
    {
        testsupport::LogCapture capture;
        ADCO_DSP_CONFIG config = DEFAULT_DSP_CONFIG;
        const QByteArray hundred(100, '\x11');
        shared::Qt48DataStream stream(hundred);
        stream >> config;
        const std::vector<testsupport::LogEvent> events = capture.events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].logger, "serialization_logger");
        EXPECT_EQ(events[0].level, log4cplus::FATAL_LOG_LEVEL);
        EXPECT_EQ(testsupport::LogCapture::stripPrefix(events[0].message),
                  "Could not load serialized structure \"ADCO_DSP_CONFIG\", read bytes: 100, "
                  "expected bytes: 136");
        EXPECT_NE(stream.status(), QDataStream::Ok);
        EXPECT_EQ(recordtest::streamed(config).left(100), hundred);
        EXPECT_EQ(recordtest::streamed(config).mid(100),
                  recordtest::streamed(DEFAULT_DSP_CONFIG).mid(100));
    }
    {
        testsupport::LogCapture capture;
        ADCO_DSP_PROBE_CONFIG probes = DEFAULT_DSP_PROBE_CONFIG;
        shared::Qt48DataStream stream(QByteArray(175, '\0'));
        stream >> probes;
        EXPECT_EQ(capture.messages("serialization_logger"),
                  std::vector<std::string>{
                      recordtest::structureMessage("ADCO_DSP_PROBE_CONFIG", 175, 176)});
        EXPECT_NE(stream.status(), QDataStream::Ok);
    }
}

} // namespace
