#pragma once

#include "records/BatteryStatusRecord.h"
#include "records/InstrumentConfig.h"

namespace model {

// The value a ModelBuffer<T> holds before the owner's first answer. Zero unless the record's
// type is specialised here (or, for a record this area does not know, by its own area before
// the buffer is first used), so that the mirror starts from the same default as the owner.
template <class T> struct ModelDefault {
    static constexpr T value() { return T{}; }
};

template <> struct ModelDefault<quarn_system::INSTRUMENT_CONFIG> {
    static constexpr quarn_system::INSTRUMENT_CONFIG value() {
        return quarn_system::DEFAULT_INSTRUMENT_CONFIG;
    }
};

template <> struct ModelDefault<quarn_system::BATTERY_STATUS> {
    static constexpr quarn_system::BATTERY_STATUS value() {
        return quarn_system::DEFAULT_BATTERY_STATUS;
    }
};

} // namespace model
