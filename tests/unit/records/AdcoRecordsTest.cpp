#include "records/AdcoRecords.h"

#include "support/RecordBytes.h"

#include <gtest/gtest.h>

namespace {

using namespace testsupport;

TEST(AdcoRecords, DefaultImages) {
    // The default DSP set-up is the session's hand-worked one without its date-time and its
    // trend and demand intervals.
    QByteArray expected = DSP_IMAGE;
    expected.replace(0, 8, QByteArray(8, '\0')).replace(12, 8, QByteArray(8, '\0'));
    EXPECT_EQ(streamed(DEFAULT_DSP_CONFIG), expected);
    EXPECT_EQ(streamed(DEFAULT_DSP_PROBE_CONFIG), PROBE_IMAGE.repeated(4));

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

} // namespace
