#include "quarn-bus/FrameFormatter.h"

#include "support/BatteryRecordHex.h"

#include <gtest/gtest.h>

using quarn_bus::describeFrame;

TEST(FrameFormatter, BatteryFrameWrittenOutByHand) {
    // IPC_MSG_EVENT_BATTERY_STATUS_CHANGED (59 = 0x3b) from IPC_ORIGIN_SERVER_PWR_MANAGER (3),
    // then the discharging record at 57 %.
    QByteArray frame = QByteArray::fromHex(QByteArray("3b000000 03000000") +
                                           testsupport::DISCHARGING_BATTERY_RECORD_HEX);
    EXPECT_EQ(describeFrame(frame),
              "IPC_MSG_EVENT_BATTERY_STATUS_CHANGED (59) from IPC_ORIGIN_SERVER_PWR_MANAGER (3), "
              "88 bytes: present=1 externalPower=0 status=\"Discharging\" capacity=57 "
              "type=\"Battery\" current_now=-300000 voltage=3800000 temperature=250 "
              "chargeState=1 (DISCHARGING)");

    // From a misbehaving peer: the response identifier (20) instead of the event; flag bytes
    // outside 0/1; a status text with a quote, a control character and no terminating zero in
    // all 32 bytes; an unknown charge state 9.
    frame[0] = 0x14;
    frame[8] = 0x02;
    frame[9] = static_cast<char>(0xff);
    frame.replace(10, 32, QByteArray("a\"b\x01") + QByteArray(28, 'z'));
    frame[92] = 0x09;
    EXPECT_EQ(describeFrame(frame),
              "IPC_MSG_GET_BATTERY_STATUS (20) from IPC_ORIGIN_SERVER_PWR_MANAGER (3), 88 bytes: "
              "present=2 externalPower=255 status=\"a\\\"b\\x01zzzzzzzzzzzzzzzzzzzzzzzzzzzz\" "
              "capacity=57 type=\"Battery\" current_now=-300000 voltage=3800000 "
              "temperature=250 chargeState=9 (?\?\?)");
}

TEST(FrameFormatter, ShortUnknownAndMisfitFrames) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "malformed frame, 0 bytes"},
        {"14 00 00 00 06 00 00", "malformed frame, 7 bytes: 14 00 00 00 06 00 00"},
        // Eight bytes are a whole envelope without payload.
        {"38 00 00 00 03 00 00 00",
         "IPC_MSG_EVENT_BATTERY_LOW (56) from IPC_ORIGIN_SERVER_PWR_MANAGER (3), 0 bytes"},
        {"ff ff ff ff 07 00 00 00 de ad",
         "IPC_MSG_??? (-1) from IPC_ORIGIN_??? (7), 2 bytes: de ad"},
        {"10 00 00 00 0a 00 00 00", "IPC_MSG_MODIFY_SESSION_FIELDS: (16) from "
                                    "IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE (10), 0 bytes"},
        // 33 payload bytes: the dump stops after 32.
        {"44 00 00 00 02 00 00 00 "
         "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f20",
         "IPC_MSG_??? (68) from IPC_ORIGIN_SERVER_DSP_MANAGER (2), 33 bytes: 00 01 02 03 04 05 06 "
         "07 08 09 0a 0b 0c 0d 0e 0f 10 11 12 13 14 15 16 17 18 19 1a 1b 1c 1d 1e 1f ..."},
        // Record payloads of the wrong size are shown, not decoded.
        {"3b 00 00 00 03 00 00 00 01 02 03 04",
         "IPC_MSG_EVENT_BATTERY_STATUS_CHANGED (59) from IPC_ORIGIN_SERVER_PWR_MANAGER (3), "
         "4 bytes: unexpected size for BATTERY_STATUS (88 expected): 01 02 03 04"},
        // A session name of two UTF-16 units "ab", and then the stream simply ends.
        {"2f 00 00 00 02 00 00 00 00 00 00 04 00 61 00 62",
         "IPC_MSG_EVENT_SESSION_STATUS_CHANGED (47) from IPC_ORIGIN_SERVER_DSP_MANAGER (2), "
         "8 bytes: unreadable LoggingSession: 00 00 00 04 00 61 00 62"},
    };
    for (const auto& [frame, text] : cases)
        EXPECT_EQ(describeFrame(QByteArray::fromHex(frame)), text);
}
