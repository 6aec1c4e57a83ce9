#pragma once

#include "PowerSupplyFiles.h"
#include "foundation/InitSingletonT.h"
#include "foundation/LogRepeatLimiter.h"
#include "records/BatteryStatusRecord.h"

#include <QObject>
#include <QRecursiveMutex>
#include <QString>

#include <functional>
#include <map>
#include <string>

namespace power_manager {

// Reads the battery fuel gauge from the power-supply class in sysfs and condenses one reading
// into a BATTERY_STATUS. Every reading is announced; there is no change detection. A file that
// cannot be read, or holds no number where one belongs, is logged at its first occurrence and
// then summarised once a minute, until it reads well again. The gauge's files stay open between
// readings (PowerSupplyFiles), so a reading costs about seven plain reads.
class BatteryStatus : public QObject, public shared::InitSingletonT<BatteryStatus> {
    Q_OBJECT

public:
    static const char* const POWER_SUPPLY_DIRECTORY;
    static const char* const PRESENT_FILE;
    static const char* const STATUS_FILE;
    static const char* const CAPACITY_FILE;
    static const char* const TYPE_FILE;
    static const char* const CURRENT_NOW_FILE;
    static const char* const VOLTAGE_NOW_FILE;
    static const char* const TEMP_FILE;

    BatteryStatus();

    // The gauge's directory, with its trailing slash; the product's is POWER_SUPPLY_DIRECTORY.
    void setPowerSupplyDirectory(const QString& directory);

    // The first line of the attribute file; empty (and logged) when it cannot be opened.
    std::string getStringValueFromFile(const char* fileName, const char* valueName);
    // Up to 5 attempts; at the first non-empty line, its decimal value (text that is no number
    // reads as 0) goes to *value and the result is true.
    bool getIntValueFromFile(const char* fileName, const char* valueName, int* value);

    // One complete reading; emits batteryStatusUpdated before it returns.
    quarn_system::BATTERY_STATUS readBatteryStatus();

    // The charge state of a status text and a current, as the gauge reports them.
    static int chargeStateFor(const char* status, int capacity, int currentNow);

signals:
    void batteryStatusUpdated(quarn_system::BATTERY_STATUS batteryStatus);

private:
    // Held across the emission: a receiver that asks for a new reading from inside its slot must
    // not lock itself out.
    QRecursiveMutex statusMutex;
    PowerSupplyFiles files_;
    // Per file name.
    std::map<std::string, shared::LogRepeatLimiter, std::less<>> unreadable_;
    std::map<std::string, shared::LogRepeatLimiter, std::less<>> notANumber_;
};

} // namespace power_manager
