#pragma once

// Names of the DSP-side values that travel inside IPC payloads, for log texts. Every lookup
// yields a text: a value without a name gives the table's fallback.

#include <cstdint>

namespace ipc {

// Messages of the DSP protocol; "ADCO_???" for the unnamed ones.
const char* adcoMessageName(std::int32_t message);

// Current probe status; "PROBE_STATUS_???" for the unnamed ones.
const char* probeStatusName(std::int32_t status);

// Current input type (-2..1); "INPUT_TYPE_???" for the unnamed ones.
const char* currentInputTypeName(std::int32_t inputType);

} // namespace ipc
