#include "records/BatteryStatusRecord.h"

#include <cstring>
#include <type_traits>

namespace quarn_system {

// Qt constructs meta-types by value-initialisation, which zeroes every byte of a plain record;
// copies are plain byte copies. Both hold only while the record stays trivial.
static_assert(std::is_trivially_copyable<BATTERY_STATUS>::value,
              "BATTERY_STATUS must stay a plain record");
static_assert(std::is_trivially_default_constructible<BATTERY_STATUS>::value,
              "BATTERY_STATUS must stay a plain record");

int registerBatteryStatusMetaType() {
    return qRegisterMetaType<BATTERY_STATUS>("quarn_system::BATTERY_STATUS");
}

} // namespace quarn_system
