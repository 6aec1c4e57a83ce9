#include "ipc/DspNames.h"

#include <iterator>

namespace ipc {

namespace {

// Indexed by message value; requests are even and their responses follow them, and the gaps
// are values the protocol never used.
const char* const ADCO_MESSAGE_NAMES[] = {
    nullptr,                                    // 0
    "ADCO_MSG_EVT_LIVE_DATA",                   // 1
    nullptr,                                    // 2
    nullptr,                                    // 3
    "ADCO_MSG_EVT_SESSION_TREND_DATA",          // 4
    "ADCO_MSG_EVT_SESSION_DEMAND_DATA",         // 5
    nullptr,                                    // 6
    "ADCO_MSG_EVT_PROBE_CHANGED",               // 7
    "ADCO_MSG_REQ_GET_STATUS",                  // 8
    "ADCO_MSG_RES_GET_STATUS",                  // 9
    "ADCO_MSG_REQ_GET_CONFIG",                  // 10
    "ADCO_MSG_RES_GET_CONFIG",                  // 11
    "ADCO_MSG_REQ_SET_CONFIG",                  // 12
    "ADCO_MSG_RES_SET_CONFIG",                  // 13
    "ADCO_MSG_REQ_GET_DATE_TIME",               // 14
    "ADCO_MSG_RES_GET_DATE_TIME",               // 15
    "ADCO_MSG_REQ_SET_DATE_TIME",               // 16
    "ADCO_MSG_RES_SET_DATE_TIME",               // 17
    "ADCO_MSG_REQ_GET_LIVE_DATA",               // 18
    "ADCO_MSG_RES_GET_LIVE_DATA",               // 19
    nullptr,                                    // 20
    nullptr,                                    // 21
    nullptr,                                    // 22
    nullptr,                                    // 23
    "ADCO_MSG_REQ_GET_SESSION_TREND_DATA",      // 24
    "ADCO_MSG_RES_GET_SESSION_TREND_DATA",      // 25
    "ADCO_MSG_REQ_GET_SESSION_DEMAND_DATA",     // 26
    "ADCO_MSG_RES_GET_SESSION_DEMAND_DATA",     // 27
    nullptr,                                    // 28
    nullptr,                                    // 29
    "ADCO_MSG_REQ_GET_PROBE_INFO",              // 30
    "ADCO_MSG_RES_GET_PROBE_INFO",              // 31
    "ADCO_MSG_REQ_GET_DEVICE_INFO",             // 32
    "ADCO_MSG_RES_GET_DEVICE_INFO",             // 33
    "ADCO_MSG_REQ_SET_DEVICE_INFO",             // 34
    "ADCO_MSG_RES_SET_DEVICE_INFO",             // 35
    "ADCO_MSG_REQ_GET_CALIBRATION_FACTORS",     // 36
    "ADCO_MSG_RES_GET_CALIBRATION_FACTORS",     // 37
    "ADCO_MSG_REQ_SET_CALIBRATION_FACTORS",     // 38
    "ADCO_MSG_RES_SET_CALIBRATION_FACTORS",     // 39
    "ADCO_MSG_REQ_GET_CONNECTION_VERIFICATION", // 40
    "ADCO_MSG_RES_GET_CONNECTION_VERIFICATION", // 41
};

const char* const PROBE_STATUS_NAMES[] = {
    "PROBE_STATUS_NONE",      "PROBE_STATUS_NOT_CONNECTED", "PROBE_STATUS_RECONNECTED",
    "PROBE_STATUS_CONNECTED", "PROBE_STATUS_UKNOWN_PROBE",
};

// Indexed by input type + 2: the table starts at -2.
const char* const INPUT_TYPE_NAMES[] = {
    "INPUT_TYPE_NONE",
    "INPUT_TYPE_AUTO",
    "INPUT_TYPE_CLAMP",
    "INPUT_TYPE_FLEXI",
};

template <std::size_t N>
const char* lookUp(const char* const (&table)[N], std::int64_t index, const char* fallback) {
    if (index < 0 || index >= static_cast<std::int64_t>(N) || table[index] == nullptr) {
        return fallback;
    }
    return table[index];
}

} // namespace

const char* adcoMessageName(std::int32_t message) {
    return lookUp(ADCO_MESSAGE_NAMES, message, "ADCO_???");
}

const char* probeStatusName(std::int32_t status) {
    return lookUp(PROBE_STATUS_NAMES, status, "PROBE_STATUS_???");
}

const char* currentInputTypeName(std::int32_t inputType) {
    // Widened first: INT32_MAX + 2 must not overflow.
    return lookUp(INPUT_TYPE_NAMES, static_cast<std::int64_t>(inputType) + 2, "INPUT_TYPE_???");
}

} // namespace ipc
