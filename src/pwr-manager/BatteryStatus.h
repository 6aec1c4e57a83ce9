#pragma once

#include "foundation/InitSingletonT.h"
#include "foundation/LogRepeatLimiter.h"
#include "records/BatteryStatusRecord.h"

#include <QObject>
#include <QRecursiveMutex>
#include <QString>

#include <map>

namespace power_manager {

// Reads the battery fuel gauge from the power-supply class in sysfs and condenses one reading
// into a BATTERY_STATUS. Every reading is announced; there is no change detection. A file that
// cannot be read, or holds no number where one belongs, is logged at its first occurrence and
// then summarised once a minute, until it reads well again.
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

    QString getStringValueFromFile(const QString& fileName, const QString& valueName) const;
    bool getIntValueFromFile(const QString& fileName, const QString& valueName, int* value) const;

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
    QString directory_;
    // Per file name; the reading functions are const to their callers, the log state is not.
    mutable std::map<QString, shared::LogRepeatLimiter> unreadable_;
    mutable std::map<QString, shared::LogRepeatLimiter> notANumber_;
};

} // namespace power_manager
