#include "records/AdcoRecords.h"

#include "RecordBytes.h"

#include <gtest/gtest.h>

namespace {

using namespace recordtest;

TEST(AdcoRecords, DefaultDspConfigImage) {
    // Offsets: 0 date-time; 8 to 30 words 1, 5, 0, 0, 0, 1, 2, 1, 2; 32 115.0; 36 60.0;
    // 40 to 64 seven times 1.0; 68 0; 72 1.0; 76 0; 80 to 88 all ones; 92 0; 96, 98 words 0, 1;
    // 100, 104 0; 108 1.0; 112 all ones; 116 to 132 0.
    const QByteArray expected = hex("0000000000000000"
                                    "0100050000000000000000000000010002000000"
                                    "010002000000e64200007042"
                                    "0000803f0000803f0000803f0000803f0000803f0000803f0000803f"
                                    "000000000000803f00000000"
                                    "ffffffffffffffffffffffff00000000"
                                    "000001000000000000000000"
                                    "0000803fffffffff"
                                    "0000000000000000000000000000000000000000");
    ASSERT_EQ(expected.size(), 136);
    EXPECT_EQ(streamed(DEFAULT_DSP_CONFIG), expected);

    // The fields the session model names sit at their offsets.
    ADCO_DSP_CONFIG config = DEFAULT_DSP_CONFIG;
    config.dateTime = {0x01020304u, 0x05060708u};
    config.measurementType = 12;
    config.trendInterval = 60;
    config.demandInterval = 300;
    config.nominalVoltage = 230.0f;
    config.word98 = 0xABCD;
    const QByteArray bytes = streamed(config);
    EXPECT_EQ(bytes.left(20), hex("04030201080706050c0005003c0000002c010000"));
    EXPECT_EQ(bytes.mid(32, 4), hex("00006643"));
    EXPECT_EQ(bytes.mid(96, 4), hex("0000cdab"));
}

TEST(AdcoRecords, DefaultProbeConfigImage) {
    const QByteArray bytes = streamed(DEFAULT_DSP_PROBE_CONFIG);
    ASSERT_EQ(bytes.size(), 176);
    const QByteArray entry = QByteArray(36, '\0') + hex("feff") + QByteArray(6, '\0');
    EXPECT_EQ(bytes, entry.repeated(4));
}

TEST(AdcoRecords, ReadersTakeTheRawImageAndReportShortReads) {
    expectRawReads(DEFAULT_DSP_CONFIG, "ADCO_DSP_CONFIG");
    expectRawReads(DEFAULT_DSP_PROBE_CONFIG, "ADCO_DSP_PROBE_CONFIG");
}

} // namespace
