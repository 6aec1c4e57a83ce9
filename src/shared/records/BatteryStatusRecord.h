#pragma once

#include <QMetaType>

#include <cstddef>
#include <cstdint>

namespace quarn_system {

enum BATTERY_CHARGE_STATE : int32_t {
    CHARGE_STATE_CHARGING = 0,
    CHARGE_STATE_DISCHARGING = 1,
    CHARGE_STATE_FULL = 2,
    CHARGE_STATE_IDLE = 3,
    CHARGE_STATE_UNKNOWN = 4,
};

// Band of battery current (microamperes, both ends included) read as idle. It leans towards
// discharge because the instrument itself draws a little even when nothing else happens.
constexpr int32_t IDLE_CURRENT_MIN = -100000;
constexpr int32_t IDLE_CURRENT_MAX = 10000;

// The battery record, copied byte for byte into IPC payloads and between threads. Every field is
// fixed-width so the 88-byte image is the same on the 32-bit instrument and a 64-bit host. The
// padding after `status` is a named member so that copies and aggregate initialisation keep it
// zero; peers compare images, not fields.
struct BATTERY_STATUS {
    bool present;
    bool externalPower;
    char status[32];
    uint8_t padding[2];
    int32_t capacity;
    char type[32];
    int32_t current_now;
    int32_t voltage;
    int32_t temperature;
    int32_t chargeState;
};

static_assert(sizeof(bool) == 1, "BATTERY_STATUS stores its flags as single bytes");
static_assert(sizeof(BATTERY_STATUS) == 88, "BATTERY_STATUS is exchanged as 88 bytes");
static_assert(offsetof(BATTERY_STATUS, present) == 0, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, externalPower) == 1, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, status) == 2, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, padding) == 34, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, capacity) == 36, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, type) == 40, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, current_now) == 72, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, voltage) == 76, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, temperature) == 80, "BATTERY_STATUS layout");
static_assert(offsetof(BATTERY_STATUS, chargeState) == 84, "BATTERY_STATUS layout");

// The starting point of every battery reading.
inline constexpr BATTERY_STATUS DEFAULT_BATTERY_STATUS = {
    false, false, {}, {}, 100, {}, 0, 0, 0, CHARGE_STATE_FULL,
};

// Registers BATTERY_STATUS with Qt's meta-type system under the name
// "quarn_system::BATTERY_STATUS", so it can travel through queued connections. Idempotent;
// returns the meta-type id.
int registerBatteryStatusMetaType();

} // namespace quarn_system

Q_DECLARE_METATYPE(quarn_system::BATTERY_STATUS)
