#pragma once

// One-line texts for the frames of the bus, as the tool prints them:
//
//     IPC_MSG_EVENT_BATTERY_STATUS_CHANGED (59) from IPC_ORIGIN_SERVER_PWR_MANAGER (3), 88 bytes:
//         present=1 externalPower=0 status="Discharging" ... chargeState=1 (DISCHARGING)
//     malformed frame, 3 bytes: 01 02 03
//
// (each on one line). Payloads are decoded by what the identifier says they carry; a payload
// of any other size or content is shown as hex, so garbage from a peer prints, never crashes.

#include "ipc/IpcMessage.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <string>

namespace quarn_bus {

// Payload bytes shown in a hex dump; longer payloads end in " ...".
constexpr std::size_t HEX_DUMP_LIMIT = 32;

std::string describeFrame(const char* bytes, std::size_t size);
std::string describeFrame(const QByteArray& frame);
std::string describeMessage(const ipc::IpcMessage& message);

// The text after the byte count (without the ": "), empty for an empty payload.
std::string describePayload(ipc::IPC_MSG message, const QByteArray& payload);

// The fields of an 88-byte BATTERY_STATUS image, read from the bytes as they are.
std::string describeBatteryStatus(const char* bytes);

// "CHARGING" ... "UNKNOWN", "???" for any other value.
const char* chargeStateName(std::int32_t chargeState);

// Space-separated lowercase pairs of at most `limit` bytes, then " ..." if there are more.
std::string hexBytes(const char* bytes, std::size_t size, std::size_t limit = HEX_DUMP_LIMIT);

// Local wall-clock time as HH:MM:SS.mmm, the first word of every printed line.
std::string timestamp();

} // namespace quarn_bus
