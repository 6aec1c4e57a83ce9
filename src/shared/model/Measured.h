#pragma once

#include "model/MeasurementChannel.h"
#include "model/MeasurementType.h"

namespace model {

// Every quantity the instrument measures and every channel a value can belong to, with the
// look-ups from the reading identifiers that live data is indexed by.
//
// The members are built by the static initialiser of Measured.cpp when the program starts, in
// the order they are declared here, and never change afterwards: any thread may read them
// without a lock. Code that runs in another static initialiser must not read them.
class Measured {
public:
    Measured() = delete;

    // Quantities; the member's id is its index for typeByIndex. The two combined and Ind/Cap
    // displacement power factors are declared in one order and numbered in the other.
    static const MeasurementType VOLTAGE;
    static const MeasurementType VOLTAGE_P_N;
    static const MeasurementType VOLTAGE_P_P;
    static const MeasurementType CURRENT;
    static const MeasurementType FREQUENCY;
    static const MeasurementType UNBALANCE;
    static const MeasurementType ACTIVE_POWER;
    static const MeasurementType APPARENT_POWER;
    static const MeasurementType REACTIVE_POWER;
    static const MeasurementType POWER_FACTOR_FR;
    static const MeasurementType POWER_FACTOR_IC;
    static const MeasurementType POWER_FACTOR_COMBINED;
    static const MeasurementType FUNDAMENTAL_ACTIVE_POWER;
    static const MeasurementType FUNDAMENTAL_APPARENT_POWER;
    static const MeasurementType FUNDAMENTAL_REACTIVE_POWER;
    static const MeasurementType FUNDAMENTAL_POWER_FACTOR_FR;
    static const MeasurementType FUNDAMENTAL_POWER_FACTOR_IC;
    static const MeasurementType FUNDAMENTAL_POWER_FACTOR_COMBINED;
    static const MeasurementType ACTIVE_ENERGY;
    static const MeasurementType ACTIVE_ENERGY_RECEIVED;
    static const MeasurementType ACTIVE_ENERGY_DELIVERED;
    static const MeasurementType APPARENT_ENERGY;
    static const MeasurementType REACTIVE_ENERGY;
    static const MeasurementType THD_VOLTAGE;
    static const MeasurementType THD_CURRENT;
    static const MeasurementType AUX_1;
    static const MeasurementType AUX_2;

    // Channels; the member's id is its index for channelByIndex.
    static const MeasurementChannel CHANNEL_A;
    static const MeasurementChannel CHANNEL_B;
    static const MeasurementChannel CHANNEL_C;
    static const MeasurementChannel CHANNEL_N;
    static const MeasurementChannel CHANNEL_AN;
    static const MeasurementChannel CHANNEL_BN;
    static const MeasurementChannel CHANNEL_CN;
    static const MeasurementChannel CHANNEL_AB;
    static const MeasurementChannel CHANNEL_BC;
    static const MeasurementChannel CHANNEL_CA;
    static const MeasurementChannel CHANNEL_TOTAL;
    static const MeasurementChannel CHANNEL_AUX1;
    static const MeasurementChannel CHANNEL_AUX2;
    static const MeasurementChannel CHANNEL_FREQ;
    static const MeasurementChannel CHANNEL_UNBAL_V;
    static const MeasurementChannel CHANNEL_UNBAL_I;

    static constexpr int TYPE_COUNT = 27;
    static constexpr int CHANNEL_COUNT = 16;
    // The quantity index of a reading identifier that has none.
    static constexpr int NO_TYPE = TYPE_COUNT;
    // The channel index that stands for none.
    static constexpr int NO_CHANNEL = CHANNEL_COUNT;
    // Reading identifiers run from 0 to READING_GUARD - 1.
    static constexpr int READING_GUARD = 83;

    // "READING_V_AN" ... "READING_GUARD"; "unknown" for any other value.
    static const char* readingName(int reading);

    // Never null: an index outside the table gives VOLTAGE or CHANNEL_A.
    static const MeasurementType* typeByIndex(int index);
    static const MeasurementChannel* channelByIndex(int index);

    // NO_TYPE for a value that is no reading. plainVoltage shows the phase-to-neutral and
    // phase-to-phase voltage readings as the plain voltage quantity.
    static int typeIndexForReading(int reading, bool plainVoltage);
    static const MeasurementType* typeForReading(int reading);
    // NO_CHANNEL for a value that is no reading.
    static int channelIndexForReading(int reading);
    static const MeasurementChannel* channelForReading(int reading);

    // Phase 0, 1, 2 of a reading's A, B and C member, 3 of its total. The power and energy
    // readings count from reading 21 (4 for any other value); the current readings count from
    // reading 6 and the voltage readings from reading 0, both over readings up to 79 (3 for any
    // other value).
    static int phaseForReading(int reading);
    static int phaseForCurrentReading(int reading);
    static int phaseForVoltageReading(int reading);

    // The channels (up to three, the rest NO_CHANNEL) a quantity is shown on under a wiring
    // code.
    static void channelsFor(int wiringCode, int typeIndex, int& a, int& b, int& c);
    // How many channels the voltage is shown on under a wiring code.
    static int channelCount(int wiringCode);
};

} // namespace model
