#pragma once

namespace testsupport {

// One BATTERY_STATUS worked out by hand from its 88-byte layout: present 1, externalPower 0,
// status "Discharging" in 32 bytes, 2 bytes padding, capacity 57, type "Battery" in 32 bytes,
// current_now -300000 (0xfffb6c20), voltage 3800000 (0x0039fbc0), temperature 250,
// chargeState 1 (discharging). Blanks separate the fields.
constexpr const char* DISCHARGING_BATTERY_RECORD_HEX =
    "01 00"
    "446973636861726769 6e67 000000000000000000000000000000000000000000"
    "0000"
    "39000000"
    "42617474657279 00000000000000000000000000000000000000000000000000"
    "206cfbff"
    "c0fb3900"
    "fa000000"
    "01000000";

} // namespace testsupport
