#include "model/Measured.h"

#include "records/AdcoRecords.h"

#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <limits>

namespace model {

namespace {

constexpr float NONE = std::numeric_limits<float>::quiet_NaN();
// Quantity ids the look-ups name. Literal, so that the look-ups never depend on the members
// being built yet.
constexpr int VOLTAGE_ID = 0;
constexpr int VOLTAGE_P_N_ID = 1;
constexpr int VOLTAGE_P_P_ID = 2;
// The nominal levels come from the default DSP set-up, not from the set-up in force.
constexpr float NOMINAL_VOLTAGE = DEFAULT_DSP_CONFIG.nominalVoltage;
constexpr float NOMINAL_FREQUENCY = DEFAULT_DSP_CONFIG.nominalFrequency;

} // namespace

// clang-format off
// Built in this order: a quantity's id is its first column, not its place here.
//                                                                 id name                                 unit channels       minExp flags digits finest reference          scale
const MeasurementType Measured::VOLTAGE                          ( 0, "Voltage",                             1, {0, 1, 2},         0,    0,     4,    -1, NOMINAL_VOLTAGE,   2.0f);
const MeasurementType Measured::VOLTAGE_P_N                      ( 1, "Voltage P-N",                         1, {4, 5, 6},         0,    0,     4,    -1, NOMINAL_VOLTAGE,   2.0f);
const MeasurementType Measured::VOLTAGE_P_P                      ( 2, "Voltage P-P",                         1, {7, 8, 9},         0,    0,     4,    -1, NOMINAL_VOLTAGE,   2.0f);
const MeasurementType Measured::CURRENT                          ( 3, "Current",                             3, {0, 1, 2},        -3,    0,     4,    -4, NONE,              1.0f);
const MeasurementType Measured::FREQUENCY                        ( 4, "Frequency",                           5, {13},              0,    0,     4,    -2, NOMINAL_FREQUENCY, 2.0f);
const MeasurementType Measured::UNBALANCE                        ( 5, "Unbalance",                          16, {14, 15},          0,    0,     4,    -2, NONE,              2.0f);
const MeasurementType Measured::ACTIVE_POWER                     ( 6, "Active Power",                        6, {0, 1, 2, 10},     0,    1,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::APPARENT_POWER                   ( 7, "Apparent Power",                      7, {0, 1, 2, 10},     0,    0,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::REACTIVE_POWER                   ( 8, "Reactive Power",                      8, {0, 1, 2, 10},     0,    1,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::POWER_FACTOR_FR                  ( 9, "Power Factor Fwd/Rev",               14, {0, 1, 2, 10},     0,    2,     3,    -2, NONE,              1.0f);
const MeasurementType Measured::POWER_FACTOR_IC                  (10, "Power Factor Ind/Cap",               14, {0, 1, 2, 10},     0,    2,     3,    -2, NONE,              1.0f);
const MeasurementType Measured::POWER_FACTOR_COMBINED            (11, "Power Factor",                       14, {0, 1, 2, 10},     0,    2,     3,    -2, NONE,              1.0f);
const MeasurementType Measured::FUNDAMENTAL_ACTIVE_POWER         (12, "Fund. Active Power",                  6, {0, 1, 2, 10},     0,    1,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::FUNDAMENTAL_APPARENT_POWER       (13, "Fund. Apparent Power",                7, {0, 1, 2, 10},     0,    0,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::FUNDAMENTAL_REACTIVE_POWER       (14, "Fund. Reactive Power",                8, {0, 1, 2, 10},     0,    1,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::FUNDAMENTAL_POWER_FACTOR_FR      (15, "Displacement Power Factor Fwd/Rev",  15, {0, 1, 2, 10},     0,    2,     3,    -2, NONE,              1.0f);
const MeasurementType Measured::FUNDAMENTAL_POWER_FACTOR_IC      (17, "Displacement Power Factor Ind/Cap",  15, {0, 1, 2, 10},     0,    2,     3,    -2, NONE,              1.0f);
const MeasurementType Measured::FUNDAMENTAL_POWER_FACTOR_COMBINED(16, "Displacement Power Factor",          15, {0, 1, 2, 10},     0,    2,     3,    -2, NONE,              1.0f);
const MeasurementType Measured::ACTIVE_ENERGY                    (18, "Active Energy",                       9, {0, 1, 2, 10},     0,    2,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::ACTIVE_ENERGY_RECEIVED           (19, "Active Energy Received",             10, {0, 1, 2, 10},     0,    0,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::ACTIVE_ENERGY_DELIVERED          (20, "Active Energy Delivered",            11, {0, 1, 2, 10},     0,    0,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::APPARENT_ENERGY                  (21, "Apparent Energy",                    12, {0, 1, 2, 10},     0,    0,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::REACTIVE_ENERGY                  (22, "Reactive Energy",                    13, {0, 1, 2, 10},     0,    2,     4,    -1, 0.0f,              2.0f);
const MeasurementType Measured::THD_VOLTAGE                      (23, "THD Voltage",                        16, {0, 1, 2},         0,    0,     4,    -1, NONE,              1.0f);
const MeasurementType Measured::THD_CURRENT                      (24, "THD Current",                        16, {0, 1, 2},         0,    0,     4,    -1, NONE,              1.0f);
const MeasurementType Measured::AUX_1                            (25, "Auxiliary Input",                     1, {11, 12},         -3,    1,     4,    -4, 0.0f,              2.0f);
const MeasurementType Measured::AUX_2                            (26, "Auxiliary Input",                     1, {11, 12},         -3,    1,     4,    -4, 0.0f,              2.0f);

//                                                  id label          colour     alt. colour
const MeasurementChannel Measured::CHANNEL_A      ( 0, "L1",          "#98442f", "#98442f");
const MeasurementChannel Measured::CHANNEL_B      ( 1, "L2",          "#000000", "#000000");
const MeasurementChannel Measured::CHANNEL_C      ( 2, "L3",          "#898b90", "#898b90");
const MeasurementChannel Measured::CHANNEL_N      ( 3, "N",           "#2f9844", "#2f9844");
const MeasurementChannel Measured::CHANNEL_AN     ( 4, "L1",          "#98442f", "#98442f");
const MeasurementChannel Measured::CHANNEL_BN     ( 5, "L2",          "#000000", "#000000");
const MeasurementChannel Measured::CHANNEL_CN     ( 6, "L3",          "#898b90", "#898b90");
const MeasurementChannel Measured::CHANNEL_AB     ( 7, "L12",         "#98442f", "#98442f");
const MeasurementChannel Measured::CHANNEL_BC     ( 8, "L23",         "#000000", "#000000");
const MeasurementChannel Measured::CHANNEL_CA     ( 9, "L31",         "#898b90", "#898b90");
const MeasurementChannel Measured::CHANNEL_TOTAL  (10, "Total",       "#640064", "#640064");
const MeasurementChannel Measured::CHANNEL_AUX1   (11, "1",           "#000000", "#000000");
const MeasurementChannel Measured::CHANNEL_AUX2   (12, "2",           "#f40649", "#ff0000");
const MeasurementChannel Measured::CHANNEL_FREQ   (13, "Freq",        "#000000", "#000000");
const MeasurementChannel Measured::CHANNEL_UNBAL_V(14, "Unbalance V", "#000000", "#000000");
const MeasurementChannel Measured::CHANNEL_UNBAL_I(15, "Unbalance I", "#f40649", "#ff0000");
// clang-format on

namespace {

// By id. Only addresses: usable before the members themselves are built.
constexpr const MeasurementType* TYPES[] = {
    &Measured::VOLTAGE,
    &Measured::VOLTAGE_P_N,
    &Measured::VOLTAGE_P_P,
    &Measured::CURRENT,
    &Measured::FREQUENCY,
    &Measured::UNBALANCE,
    &Measured::ACTIVE_POWER,
    &Measured::APPARENT_POWER,
    &Measured::REACTIVE_POWER,
    &Measured::POWER_FACTOR_FR,
    &Measured::POWER_FACTOR_IC,
    &Measured::POWER_FACTOR_COMBINED,
    &Measured::FUNDAMENTAL_ACTIVE_POWER,
    &Measured::FUNDAMENTAL_APPARENT_POWER,
    &Measured::FUNDAMENTAL_REACTIVE_POWER,
    &Measured::FUNDAMENTAL_POWER_FACTOR_FR,
    &Measured::FUNDAMENTAL_POWER_FACTOR_COMBINED, // 16
    &Measured::FUNDAMENTAL_POWER_FACTOR_IC,       // 17
    &Measured::ACTIVE_ENERGY,
    &Measured::ACTIVE_ENERGY_RECEIVED,
    &Measured::ACTIVE_ENERGY_DELIVERED,
    &Measured::APPARENT_ENERGY,
    &Measured::REACTIVE_ENERGY,
    &Measured::THD_VOLTAGE,
    &Measured::THD_CURRENT,
    &Measured::AUX_1,
    &Measured::AUX_2,
};
static_assert(std::size(TYPES) == Measured::TYPE_COUNT, "one entry per quantity id");

constexpr const MeasurementChannel* CHANNELS[] = {
    &Measured::CHANNEL_A,       &Measured::CHANNEL_B,     &Measured::CHANNEL_C,
    &Measured::CHANNEL_N,       &Measured::CHANNEL_AN,    &Measured::CHANNEL_BN,
    &Measured::CHANNEL_CN,      &Measured::CHANNEL_AB,    &Measured::CHANNEL_BC,
    &Measured::CHANNEL_CA,      &Measured::CHANNEL_TOTAL, &Measured::CHANNEL_AUX1,
    &Measured::CHANNEL_AUX2,    &Measured::CHANNEL_FREQ,  &Measured::CHANNEL_UNBAL_V,
    &Measured::CHANNEL_UNBAL_I,
};
static_assert(std::size(CHANNELS) == Measured::CHANNEL_COUNT, "one entry per channel index");

// By reading identifier, READING_GUARD last.
const char* const READING_NAMES[] = {
    "READING_V_AN",
    "READING_V_BN",
    "READING_V_CN",
    "READING_V_AB",
    "READING_V_BC",
    "READING_V_CA",
    "READING_I_A",
    "READING_I_B",
    "READING_I_C",
    "READING_I_N",
    "READING_FREQ",
    "READING_UNBALANCE_V",
    "READING_UNBALANCE_I",
    "READING_THD_V_A",
    "READING_THD_V_B",
    "READING_THD_V_C",
    "READING_THD_I_A",
    "READING_THD_I_B",
    "READING_THD_I_C",
    "READING_AUX_1",
    "READING_AUX_2",
    "READING_kW_A",
    "READING_kW_B",
    "READING_kW_C",
    "READING_kW_Total",
    "READING_kVA_A",
    "READING_kVA_B",
    "READING_kVA_C",
    "READING_kVA_Total",
    "READING_kvar_A",
    "READING_kvar_B",
    "READING_kvar_C",
    "READING_kvar_Total",
    "READING_PF_FR_A",
    "READING_PF_FR_B",
    "READING_PF_FR_C",
    "READING_PF_FR_Total",
    "READING_PF_IC_A",
    "READING_PF_IC_B",
    "READING_PF_IC_C",
    "READING_PF_IC_Total",
    "READING_PF_CMB_A",
    "READING_PF_CMB_B",
    "READING_PF_CMB_C",
    "READING_PF_CMB_Total",
    "READING_kW_F0_A",
    "READING_kW_F0_B",
    "READING_kW_F0_C",
    "READING_kW_F0_Total",
    "READING_kVA_F0_A",
    "READING_kVA_F0_B",
    "READING_kVA_F0_C",
    "READING_kVA_F0_Total",
    "READING_kvar_F0_A",
    "READING_kvar_F0_B",
    "READING_kvar_F0_C",
    "READING_kvar_F0_Total",
    "READING_DPF_FR_F0_A",
    "READING_DPF_FR_F0_B",
    "READING_DPF_FR_F0_C",
    "READING_DPF_FR_F0_Total",
    "READING_DPF_IC_F0_A",
    "READING_DPF_IC_F0_B",
    "READING_DPF_IC_F0_C",
    "READING_DPF_IC_F0_Total",
    "READING_DPF_CMB_F0_A",
    "READING_DPF_CMB_F0_B",
    "READING_DPF_CMB_F0_C",
    "READING_DPF_CMB_F0_Total",
    "READING_ACTIVE_ENERGY_A",
    "READING_ACTIVE_ENERGY_B",
    "READING_ACTIVE_ENERGY_C",
    "READING_ACTIVE_ENERGY_TOTAL",
    "READING_APPARENT_ENERGY_A",
    "READING_APPARENT_ENERGY_B",
    "READING_APPARENT_ENERGY_C",
    "READING_APPARENT_ENERGY_TOTAL",
    "READING_NON_ACTIVE_ENERGY_A",
    "READING_NON_ACTIVE_ENERGY_B",
    "READING_NON_ACTIVE_ENERGY_C",
    "READING_NON_ACTIVE_ENERGY_TOTAL",
    "READING_CONSUMED_ACTIVE_ENERGY",
    "READING_SUPPLIED_ACTIVE_ENERGY",
    "READING_GUARD",
};
static_assert(std::size(READING_NAMES) == Measured::READING_GUARD + 1, "one name per reading");

// Consecutive readings of one quantity; reading r is on channels[r - first].
struct ReadingGroup {
    int first;
    int last;
    int type;
    int channels[4];
};

constexpr ReadingGroup READING_GROUPS[] = {
    {0, 2, 1, {4, 5, 6}},    // phase-to-neutral voltages
    {3, 5, 2, {7, 8, 9}},    // phase-to-phase voltages
    {6, 9, 3, {0, 1, 2, 3}}, // currents with the neutral
    {10, 10, 4, {13}},           {11, 12, 5, {14, 15}},       {13, 15, 23, {0, 1, 2}},
    {16, 18, 24, {0, 1, 2}},     {19, 19, 25, {11}},          {20, 20, 26, {12}},
    {21, 24, 6, {0, 1, 2, 10}}, // from here on A, B, C and the total
    {25, 28, 7, {0, 1, 2, 10}},  {29, 32, 8, {0, 1, 2, 10}},  {33, 36, 9, {0, 1, 2, 10}},
    {37, 40, 10, {0, 1, 2, 10}}, {41, 44, 11, {0, 1, 2, 10}}, {45, 48, 12, {0, 1, 2, 10}},
    {49, 52, 13, {0, 1, 2, 10}}, {53, 56, 14, {0, 1, 2, 10}}, {57, 60, 15, {0, 1, 2, 10}},
    {61, 64, 17, {0, 1, 2, 10}}, {65, 68, 16, {0, 1, 2, 10}}, {69, 72, 18, {0, 1, 2, 10}},
    {73, 76, 21, {0, 1, 2, 10}}, {77, 80, 22, {0, 1, 2, 10}}, {81, 81, 19, {10}},
    {82, 82, 20, {10}},
};

const ReadingGroup* groupOf(int reading) {
    for (const ReadingGroup& group : READING_GROUPS) {
        if (reading >= group.first && reading <= group.last) {
            return &group;
        }
    }
    return nullptr;
}

constexpr std::uint64_t ANY = ~std::uint64_t{0};

// One bit per member.
constexpr std::uint64_t setOf(std::initializer_list<int> members) {
    std::uint64_t bits = 0;
    for (const int member : members) {
        bits |= std::uint64_t{1} << member;
    }
    return bits;
}

constexpr std::uint64_t rangeOf(int first, int last) {
    std::uint64_t bits = 0;
    for (int member = first; member <= last; ++member) {
        bits |= std::uint64_t{1} << member;
    }
    return bits;
}

constexpr bool contains(std::uint64_t set, int member) {
    return set == ANY || (member >= 0 && member < 64 && ((set >> member) & 1u) != 0);
}

// The channels a quantity is shown on under a wiring code; a combination no rule names shows on
// none.
struct ChannelRule {
    std::uint64_t types;
    std::uint64_t wiringCodes;
    int channels[3];
};

constexpr int X = Measured::NO_CHANNEL;
constexpr std::uint64_t VOLTAGES = setOf({0, 1, 2, 23});
constexpr std::uint64_t CURRENTS = setOf({3, 24});
constexpr std::uint64_t POWERS = rangeOf(6, 22);

constexpr ChannelRule CHANNEL_RULES[] = {
    {VOLTAGES, setOf({0, 4, 11}), {4, X, X}},
    {VOLTAGES, setOf({1, 5}), {4, 5, 6}},
    {VOLTAGES, setOf({2, 6, 7, 9}), {7, 8, 9}},
    {VOLTAGES, setOf({3}), {4, 5, X}},
    {VOLTAGES, setOf({12}), {7, X, X}},
    {CURRENTS, setOf({0, 4, 11, 12}), {0, X, X}},
    {CURRENTS, setOf({1, 2, 5, 6, 7, 9}), {0, 1, 2}},
    {CURRENTS, setOf({3}), {0, 1, X}},
    {setOf({4}), ANY, {13, X, X}},
    {setOf({5}), ANY, {14, 15, X}},
    {POWERS, setOf({0, 4, 11}), {0, X, X}},
    {POWERS, setOf({1, 5}), {0, 1, 2}},
    {POWERS, setOf({3}), {0, 1, X}},
    {setOf({25, 26}), ANY, {11, 12, X}},
};

// Phase 0, 1, 2, 3 repeating from reading `first` over first ... last, `outside` elsewhere.
int repeatingPhase(int reading, int first, int last, int outside) {
    return reading >= first && reading <= last ? (reading - first) % 4 : outside;
}

} // namespace

const char* Measured::readingName(int reading) {
    return reading >= 0 && reading <= READING_GUARD ? READING_NAMES[reading] : "unknown";
}

const MeasurementType* Measured::typeByIndex(int index) {
    return index >= 0 && index < TYPE_COUNT ? TYPES[index] : &VOLTAGE;
}

const MeasurementChannel* Measured::channelByIndex(int index) {
    return index >= 0 && index < CHANNEL_COUNT ? CHANNELS[index] : &CHANNEL_A;
}

int Measured::typeIndexForReading(int reading, bool plainVoltage) {
    const ReadingGroup* group = groupOf(reading);
    if (group == nullptr) {
        return NO_TYPE;
    }
    if (plainVoltage && (group->type == VOLTAGE_P_N_ID || group->type == VOLTAGE_P_P_ID)) {
        return VOLTAGE_ID;
    }
    return group->type;
}

const MeasurementType* Measured::typeForReading(int reading) {
    return typeByIndex(typeIndexForReading(reading, false));
}

int Measured::channelIndexForReading(int reading) {
    const ReadingGroup* group = groupOf(reading);
    return group == nullptr ? NO_CHANNEL : group->channels[reading - group->first];
}

const MeasurementChannel* Measured::channelForReading(int reading) {
    return channelByIndex(channelIndexForReading(reading));
}

int Measured::phaseForReading(int reading) {
    if (reading == 81 || reading == 82) {
        return 3; // consumed and supplied energy are totals
    }
    return repeatingPhase(reading, 21, 80, 4);
}

int Measured::phaseForCurrentReading(int reading) {
    return repeatingPhase(reading, 6, 79, 3);
}

int Measured::phaseForVoltageReading(int reading) {
    return repeatingPhase(reading, 0, 79, 3);
}

void Measured::channelsFor(int wiringCode, int typeIndex, int& a, int& b, int& c) {
    a = b = c = NO_CHANNEL;
    for (const ChannelRule& rule : CHANNEL_RULES) {
        if (contains(rule.types, typeIndex) && contains(rule.wiringCodes, wiringCode)) {
            a = rule.channels[0];
            b = rule.channels[1];
            c = rule.channels[2];
            return;
        }
    }
}

int Measured::channelCount(int wiringCode) {
    int channels[3];
    channelsFor(wiringCode, VOLTAGE_ID, channels[0], channels[1], channels[2]);
    int count = 0;
    for (const int channel : channels) {
        count += channel != NO_CHANNEL ? 1 : 0;
    }
    return count;
}

} // namespace model
