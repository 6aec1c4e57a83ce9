#include "system/BacklightButton.h"

#include "foundation/FileDescriptor.h"
#include "foundation/Log.h"
#include "model/ModelBuffer.h"
#include "model/ModelDefaults.h"
#include "records/BatteryStatusRecord.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace quarn_system {

#define QUARN_PWM_DIRECTORY "/sys/class/pwm/tmpa9xx-pwm:1/"
const char* const BacklightButton::PWM_DIRECTORY = QUARN_PWM_DIRECTORY;
const char* const BacklightButton::PWM_EXPORT_PATH_NAME = QUARN_PWM_DIRECTORY "export";
const char* const BacklightButton::PWM_DUTY_NS_PATH_NAME = QUARN_PWM_DIRECTORY "duty_ns";
const char* const BacklightButton::PWM_PERIOD_NS_PATH_NAME = QUARN_PWM_DIRECTORY "period_ns";
const char* const BacklightButton::PWM_POLARITY_PATH_NAME = QUARN_PWM_DIRECTORY "polarity";
const char* const BacklightButton::PWM_RUN_PATH_NAME = QUARN_PWM_DIRECTORY "run";
#undef QUARN_PWM_DIRECTORY
const char* const BacklightButton::PWM_PERIOD_NS_VALUE = "21312";
const char* const BacklightButton::PWM_DUTY_NS_VALUE_FULL = "21312";
const char* const BacklightButton::PWM_DUTY_NS_VALUE_DIMMED = "6400";

namespace {

using BatteryStatusBuffer = model::ModelBuffer<BATTERY_STATUS>;

QString& pwmDirectory() {
    static QString directory = QString::fromLatin1(BacklightButton::PWM_DIRECTORY);
    return directory;
}

// The buffer exists only in processes that mirror another process's battery status; this
// daemon produces the status itself and never creates it.
std::shared_ptr<BatteryStatusBuffer> batteryStatusBuffer() {
    return BatteryStatusBuffer::peekInstance();
}

} // namespace

BacklightButton::BacklightButton()
    : directory_(pwmDirectory()) {}

void BacklightButton::setPwmDirectory(const QString& directory) {
    pwmDirectory() = directory;
}

void BacklightButton::writeFile(const char* fileName, const char* bytes, size_t length,
                                const char* errorText) const {
    const QByteArray path = (directory_ + QString::fromLatin1(fileName)).toLocal8Bit();
    const shared::FileDescriptor descriptor =
        shared::FileDescriptor::open(path.toStdString(), O_WRONLY);
    if (!descriptor.isValid()) {
        // Taken before the log statement, whose first use sets logging up and may change it.
        const int error = errno;
        LOG_ERROR("quarn_system_logger", errorText << "ERRNO : " << error);
        return;
    }
    // A short or failed write goes unnoticed: the driver either takes the value or it does not.
    static_cast<void>(descriptor.writeText(std::string(bytes, length)));
}

void BacklightButton::writeText(const char* fileName, const char* text,
                                const char* errorText) const {
    writeFile(fileName, text, std::strlen(text), errorText);
}

void BacklightButton::writeFlag(const char* fileName, const char* flag,
                                const char* errorText) const {
    writeFile(fileName, flag, std::strlen(flag) + 1, errorText);
}

void BacklightButton::displayBacklightInit() {
    writeFlag("export", "1", "PWM cannot be initialized -> ");
    writeFlag("polarity", "1", "Polarity cannot be initialized -> ");
    writeText("period_ns", PWM_PERIOD_NS_VALUE, "PWM cannot open period_ns -> ");
    writeText("duty_ns", PWM_DUTY_NS_VALUE_FULL, "PWM cannot open duty_ns -> ");
    displayBacklightOn();
}

void BacklightButton::displayBacklightFull() {
    writeText("duty_ns", PWM_DUTY_NS_VALUE_FULL, "PWM cannot open duty_ns -> ");
    mode_ = MODE_FULL;
}

void BacklightButton::displayBacklightDimmed() {
    writeText("duty_ns", PWM_DUTY_NS_VALUE_DIMMED, "PWM cannot open duty_ns -> ");
    mode_ = MODE_DIMMED;
}

void BacklightButton::displayBacklightOff() {
    writeFlag("run", "0", "PWM cannot open run -> ");
    mode_ = MODE_OFF;
}

void BacklightButton::displayBacklightOn() {
    writeFlag("run", "1", "PWM cannot open run -> ");
    mode_ = MODE_FULL;
}

void BacklightButton::backlightButtonPressed() {
    switch (mode_) {
    case MODE_FULL:
        displayBacklightDimmed();
        break;
    case MODE_DIMMED:
        displayBacklightFull();
        break;
    case MODE_OFF:
        if (auto buffer = batteryStatusBuffer()) {
            displayBacklightOn();
            if (buffer->getData().externalPower) {
                displayBacklightFull();
            } else {
                displayBacklightDimmed();
            }
        }
        break;
    default:
        break;
    }
}

void BacklightButton::externalPowerChanged() {
    auto buffer = batteryStatusBuffer();
    if (!buffer || mode_ == MODE_OFF) {
        return;
    }
    const bool externalPower = buffer->getData().externalPower;
    if (externalPower == externalPowerSeen_) {
        return;
    }
    externalPowerSeen_ = externalPower;
    if (externalPower) {
        displayBacklightFull();
    } else {
        displayBacklightDimmed();
    }
}

} // namespace quarn_system
