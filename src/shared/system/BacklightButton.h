#pragma once

#include "foundation/SingletonT.h"

#include <QObject>
#include <QString>

namespace quarn_system {

// The display backlight, driven through the kernel's sysfs PWM interface. It knows four
// settings and two pieces of policy: what the backlight button does, and how a change of
// external power changes the brightness.
class BacklightButton : public QObject, public shared::SingletonT<BacklightButton> {
    Q_OBJECT

public:
    static const char* const PWM_DIRECTORY;
    static const char* const PWM_EXPORT_PATH_NAME;
    static const char* const PWM_DUTY_NS_PATH_NAME;
    static const char* const PWM_PERIOD_NS_PATH_NAME;
    static const char* const PWM_POLARITY_PATH_NAME;
    static const char* const PWM_RUN_PATH_NAME;
    static const char* const PWM_PERIOD_NS_VALUE;
    static const char* const PWM_DUTY_NS_VALUE_FULL;
    static const char* const PWM_DUTY_NS_VALUE_DIMMED;

    enum Mode { MODE_NONE = 0, MODE_FULL = 1, MODE_DIMMED = 2, MODE_OFF = 3 };

    BacklightButton();

    // Tests only: where the PWM channel's files are, with a trailing slash. Applies to objects
    // created afterwards; the default is PWM_DIRECTORY.
    static void setPwmDirectory(const QString& directory);

    void displayBacklightInit();
    void displayBacklightFull();
    void displayBacklightDimmed();
    void displayBacklightOff();
    void displayBacklightOn();
    void backlightButtonPressed();
    void externalPowerChanged();

    int mode() const { return mode_; }
    bool externalPowerSeen() const { return externalPowerSeen_; }

private:
    // One open, one write of the bytes given, one close; a failed open is logged with errno.
    void writeFile(const char* fileName, const char* bytes, size_t length,
                   const char* errorText) const;
    // The duty and period values go without a terminating NUL.
    void writeText(const char* fileName, const char* text, const char* errorText) const;
    // A one-character text is written with its terminating NUL, as the driver expects.
    void writeFlag(const char* fileName, const char* flag, const char* errorText) const;

    QString directory_;
    int mode_ = MODE_NONE;
    bool externalPowerSeen_ = true;
};

} // namespace quarn_system
