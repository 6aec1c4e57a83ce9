#pragma once

// Set-up records shared with the measurement DSP. They are laid out as the DSP and the
// instrument's processor lay them out and move as one block of bytes; fields whose meaning
// belongs to the DSP side alone are named after their byte offset and only their defaults are
// known here.

#include "records/QuarnDateTime.h"

#include <QDataStream>

#include <cstddef>
#include <cstdint>

struct ADCO_DSP_CONFIG {
    QUARN_DATE_TIME dateTime; // when the set-up was made
    uint16_t measurementType; // the session's predicates accept 2, 6, 7, 9 and 12
    uint16_t word10;
    int32_t trendInterval;  // seconds
    int32_t demandInterval; // seconds
    uint16_t word20;
    uint16_t word22;
    uint32_t word24;
    uint16_t word28;
    uint16_t word30;
    float nominalVoltage;   // reference level of the voltage quantities
    float nominalFrequency; // reference level of the frequency quantity
    float float40[7];
    uint32_t word68;
    float float72;
    uint32_t word76;
    uint32_t word80[3];
    uint32_t word92;
    uint16_t word96;
    uint16_t word98; // written through the session's 16-bit setter
    uint32_t word100;
    uint32_t word104;
    float float108;
    uint32_t word112;
    uint32_t word116[5];
};

static_assert(sizeof(ADCO_DSP_CONFIG) == 136, "ADCO_DSP_CONFIG is exchanged as 136 bytes");
static_assert(offsetof(ADCO_DSP_CONFIG, dateTime) == 0, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, measurementType) == 8, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word10) == 10, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, trendInterval) == 12, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, demandInterval) == 16, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word20) == 20, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word22) == 22, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word24) == 24, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word28) == 28, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word30) == 30, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, nominalVoltage) == 32, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, nominalFrequency) == 36, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, float40) == 40, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word68) == 68, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, float72) == 72, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word76) == 76, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word80) == 80, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word92) == 92, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word96) == 96, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word98) == 98, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word100) == 100, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word104) == 104, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, float108) == 108, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word112) == 112, "ADCO_DSP_CONFIG layout");
static_assert(offsetof(ADCO_DSP_CONFIG, word116) == 116, "ADCO_DSP_CONFIG layout");

// One current probe's set-up.
struct ADCO_DSP_PROBE {
    uint32_t word0[9];
    uint16_t probeType; // 0xFFFE: no probe identified
    uint16_t word38;
    uint32_t word40;
};

static_assert(sizeof(ADCO_DSP_PROBE) == 44, "a probe entry is 44 bytes");
static_assert(offsetof(ADCO_DSP_PROBE, word0) == 0, "ADCO_DSP_PROBE layout");
static_assert(offsetof(ADCO_DSP_PROBE, probeType) == 36, "ADCO_DSP_PROBE layout");
static_assert(offsetof(ADCO_DSP_PROBE, word38) == 38, "ADCO_DSP_PROBE layout");
static_assert(offsetof(ADCO_DSP_PROBE, word40) == 40, "ADCO_DSP_PROBE layout");

constexpr int ADCO_DSP_PROBE_COUNT = 4;

struct ADCO_DSP_PROBE_CONFIG {
    ADCO_DSP_PROBE probes[ADCO_DSP_PROBE_COUNT];
};

static_assert(sizeof(ADCO_DSP_PROBE_CONFIG) == 176,
              "ADCO_DSP_PROBE_CONFIG is exchanged as 176 bytes");
static_assert(offsetof(ADCO_DSP_PROBE_CONFIG, probes) == 0, "ADCO_DSP_PROBE_CONFIG layout");

constexpr uint16_t ADCO_DSP_PROBE_TYPE_NONE = 0xFFFE;

// Constant-initialised, so other records' defaults may copy them during static initialisation.
inline constexpr ADCO_DSP_CONFIG DEFAULT_DSP_CONFIG = {
    {0u, 0u},                                   // dateTime
    1,                                          // measurementType
    5,                                          // word10
    0,                                          // trendInterval
    0,                                          // demandInterval
    0,                                          // word20
    1,                                          // word22
    2,                                          // word24
    1,                                          // word28
    2,                                          // word30
    115.0f,                                     // nominalVoltage
    60.0f,                                      // nominalFrequency
    {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f}, // float40
    0,                                          // word68
    1.0f,                                       // float72
    0,                                          // word76
    {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu},    // word80
    0,                                          // word92
    0,                                          // word96
    1,                                          // word98
    0,                                          // word100
    0,                                          // word104
    1.0f,                                       // float108
    0xFFFFFFFFu,                                // word112
    {0u, 0u, 0u, 0u, 0u},                       // word116
};

inline constexpr ADCO_DSP_PROBE DEFAULT_DSP_PROBE = {{}, ADCO_DSP_PROBE_TYPE_NONE, 0, 0};

inline constexpr ADCO_DSP_PROBE_CONFIG DEFAULT_DSP_PROBE_CONFIG = {
    {DEFAULT_DSP_PROBE, DEFAULT_DSP_PROBE, DEFAULT_DSP_PROBE, DEFAULT_DSP_PROBE}};

// Raw images; a short read logs the FATAL structure line ("ADCO_DSP_CONFIG",
// "ADCO_DSP_PROBE_CONFIG") and leaves the stream not Ok.
QDataStream& operator<<(QDataStream& stream, const ADCO_DSP_CONFIG& config);
QDataStream& operator>>(QDataStream& stream, ADCO_DSP_CONFIG& config);
QDataStream& operator<<(QDataStream& stream, const ADCO_DSP_PROBE_CONFIG& config);
QDataStream& operator>>(QDataStream& stream, ADCO_DSP_PROBE_CONFIG& config);
