#include "BatteryStatus.h"

#include "foundation/Log.h"

#include <QByteArrayView>
#include <QMutexLocker>

#include <algorithm>
#include <cstring>

namespace power_manager {

const char* const BatteryStatus::POWER_SUPPLY_DIRECTORY = "/sys/class/power_supply/bq27425-0/";
const char* const BatteryStatus::PRESENT_FILE = "present";
const char* const BatteryStatus::STATUS_FILE = "status";
const char* const BatteryStatus::CAPACITY_FILE = "capacity";
const char* const BatteryStatus::TYPE_FILE = "type";
const char* const BatteryStatus::CURRENT_NOW_FILE = "current_now";
const char* const BatteryStatus::VOLTAGE_NOW_FILE = "voltage_now";
const char* const BatteryStatus::TEMP_FILE = "temp";

namespace {

constexpr int INTEGER_ATTEMPTS = 5;

// The text fields keep at most 31 bytes and always end in a zero.
void copyText(char (&field)[32], const std::string& text) {
    const size_t length = std::min(text.size(), sizeof(field) - 1);
    std::memset(field, 0, sizeof(field));
    std::memcpy(field, text.data(), length);
}

// A limiter per file name, made at the file's first use.
shared::LogRepeatLimiter&
limiterOf(std::map<std::string, shared::LogRepeatLimiter, std::less<>>& limiters,
          const char* fileName) {
    const auto found = limiters.find(fileName);
    return found != limiters.end() ? found->second : limiters[fileName];
}

} // namespace

BatteryStatus::BatteryStatus()
    : files_(POWER_SUPPLY_DIRECTORY) {
    quarn_system::registerBatteryStatusMetaType();
}

void BatteryStatus::setPowerSupplyDirectory(const QString& directory) {
    files_.setDirectory(directory.toStdString());
}

std::string BatteryStatus::getStringValueFromFile(const char* fileName, const char* valueName) {
    std::string line;
    if (!files_.readFirstLine(fileName, line)) {
        LOG_REPEATED(
            limiterOf(unreadable_, fileName), ::log4cplus::WARN_LOG_LEVEL, "power_manager_logger",
            "Could not read value \"" << valueName << "\" from file \"" << fileName << "\"");
        return line;
    }
    limiterOf(unreadable_, fileName).reset();
    return line;
}

bool BatteryStatus::getIntValueFromFile(const char* fileName, const char* valueName, int* value) {
    // Sysfs reads of the gauge fail now and then while it updates; an immediate retry usually
    // succeeds.
    for (int attempt = 0; attempt < INTEGER_ATTEMPTS; ++attempt) {
        const std::string text = getStringValueFromFile(fileName, valueName);
        if (!text.empty()) {
            // Text that is not a number reads as 0, and still ends the retries. Blanks around
            // the number and a sign are allowed, as in QString::toInt.
            bool number = false;
            *value =
                QByteArrayView(text.data(), static_cast<qsizetype>(text.size())).toInt(&number);
            if (number) {
                limiterOf(notANumber_, fileName).reset();
            } else {
                LOG_REPEATED(limiterOf(notANumber_, fileName), ::log4cplus::WARN_LOG_LEVEL,
                             "power_manager_logger",
                             "Value \"" << valueName << "\" from file \"" << fileName
                                        << "\" is not a number: \"" << text << "\"");
            }
            return true;
        }
    }
    return false;
}

int BatteryStatus::chargeStateFor(const char* status, int capacity, int currentNow) {
    const bool idle = currentNow >= quarn_system::IDLE_CURRENT_MIN &&
                      currentNow <= quarn_system::IDLE_CURRENT_MAX;
    if (std::strcmp(status, "Charging") == 0) {
        return idle ? quarn_system::CHARGE_STATE_IDLE : quarn_system::CHARGE_STATE_CHARGING;
    }
    if (std::strcmp(status, "Discharging") == 0) {
        return idle ? quarn_system::CHARGE_STATE_IDLE : quarn_system::CHARGE_STATE_DISCHARGING;
    }
    if (std::strcmp(status, "Full") == 0) {
        if (capacity == 100) {
            return quarn_system::CHARGE_STATE_FULL;
        }
        if (idle) {
            return quarn_system::CHARGE_STATE_IDLE;
        }
        return currentNow < 0 ? quarn_system::CHARGE_STATE_DISCHARGING
                              : quarn_system::CHARGE_STATE_CHARGING;
    }
    return quarn_system::CHARGE_STATE_UNKNOWN;
}

quarn_system::BATTERY_STATUS BatteryStatus::readBatteryStatus() {
    QMutexLocker locker(&statusMutex);
    quarn_system::BATTERY_STATUS status = quarn_system::DEFAULT_BATTERY_STATUS;

    int present = 0;
    getIntValueFromFile(PRESENT_FILE, "present", &present);
    status.present = present > 0;
    copyText(status.status, getStringValueFromFile(STATUS_FILE, "status"));
    getIntValueFromFile(CAPACITY_FILE, "capacity", &status.capacity);
    copyText(status.type, getStringValueFromFile(TYPE_FILE, "type"));
    getIntValueFromFile(CURRENT_NOW_FILE, "current_now", &status.current_now);
    getIntValueFromFile(VOLTAGE_NOW_FILE, "voltage", &status.voltage);
    getIntValueFromFile(TEMP_FILE, "temperature", &status.temperature);

    status.chargeState = chargeStateFor(status.status, status.capacity, status.current_now);
    // Without a battery the instrument can only be running from external power.
    status.externalPower = !status.present || status.current_now >= 0;

    emit batteryStatusUpdated(status);
    return status;
}

} // namespace power_manager
