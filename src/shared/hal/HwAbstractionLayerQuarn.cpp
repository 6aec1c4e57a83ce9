#include "hal/HwAbstractionLayerQuarn.h"

#include "foundation/Log.h"
#include "hal/DeviceFile.h"

#include <chrono>
#include <utility>

namespace hal {

namespace {

constexpr unsigned int BEEP_TYPE = 2000;
constexpr unsigned int LONG_BEEP_MS = 500;
constexpr unsigned int CLICK_MS = 30;
constexpr unsigned int DOUBLE_BEEP_MS = 76;
constexpr unsigned int DOUBLE_BEEP_PAUSE_MS = 38;

struct LineSetting {
    int number;
    bool isOutput;
    bool activeLow;
};

// Indexed by the line constants of the class. The button is wired active low, so both its edge
// and its value read as the logical level: 0 while pressed.
constexpr LineSetting LINE_SETTINGS[HwAbstractionLayerQuarn::LINE_COUNT] = {
    {2, false, true},   // power button
    {48, true, false},  // DSP run line
    {51, true, false},  // spare line
    {49, true, false},  // LED 1
    {143, true, false}, // LED 2
};

} // namespace

HwAbstractionLayerQuarn::HwAbstractionLayerQuarn()
    : HwAbstractionLayerQuarn(
          "/sys/class/gpio",
          Devices{std::make_unique<DeviceFile>(), std::make_unique<DeviceFile>(), sleepFor}) {}

HwAbstractionLayerQuarn::HwAbstractionLayerQuarn(const std::string& gpioRoot, Devices devices)
    : pause_(std::move(devices.pause))
    , flash_(std::move(devices.spiBus), dsp_flash::DspFlash::spiBusDevicePath(), pause_, this)
    , buzzer_(std::move(devices.buzzer), melody::Melody::MELODY_DEVICE_NAME, pause_)
    , powerButtonWakeUp_(shared::FileDescriptor::openEvent()) {
    for (int index = 0; index < LINE_COUNT; ++index) {
        const LineSetting& setting = LINE_SETTINGS[index];
        lines_[index].reset(
            new SysfsGpio(setting.number, setting.isOutput, setting.activeLow, gpioRoot));
    }
}

HwAbstractionLayerQuarn::~HwAbstractionLayerQuarn() {
    for (std::unique_ptr<SysfsGpio>& line : lines_) {
        try {
            line.reset();
        }
        CATCH_ALL_AND_ABORT
    }
}

bool HwAbstractionLayerQuarn::updateDSPflash(QString fileName) {
    return flash_.updateDSPflash(fileName);
}

bool HwAbstractionLayerQuarn::checkDSPflash(QString fileName) {
    return flash_.checkDSPflash(fileName);
}

bool HwAbstractionLayerQuarn::readDSPflash(QString fileName) {
    return flash_.readDSPflash(fileName);
}

bool HwAbstractionLayerQuarn::eraseDSPflash() {
    return flash_.eraseDSPflash();
}

void HwAbstractionLayerQuarn::playLongBeep() {
    buzzer_.melodyPlay(BEEP_TYPE, LONG_BEEP_MS);
}

void HwAbstractionLayerQuarn::playClick() {
    buzzer_.melodyPlay(BEEP_TYPE, CLICK_MS);
}

void HwAbstractionLayerQuarn::playDoubleBeep() {
    buzzer_.melodyPlay(BEEP_TYPE, DOUBLE_BEEP_MS);
    pause_(std::chrono::milliseconds(DOUBLE_BEEP_PAUSE_MS));
    buzzer_.melodyPlay(BEEP_TYPE, DOUBLE_BEEP_MS);
}

bool HwAbstractionLayerQuarn::waitForPowerButton(unsigned int timeoutSeconds) {
    return lines_[POWER_BUTTON_LINE]->waitForEdge(SysfsGpio::Falling, timeoutSeconds,
                                                  &powerButtonWakeUp_) == SysfsGpio::EDGE_SEEN;
}

void HwAbstractionLayerQuarn::cancelPowerButtonWait() {
    powerButtonWakeUp_.notifyEvent();
}

int HwAbstractionLayerQuarn::getPowerButton() {
    return lines_[POWER_BUTTON_LINE]->getValue();
}

void HwAbstractionLayerQuarn::setDspRunLine(int value) {
    lines_[DSP_RUN_LINE]->setValue(value);
}

int HwAbstractionLayerQuarn::getDspRunLine() {
    return lines_[DSP_RUN_LINE]->getValue();
}

void HwAbstractionLayerQuarn::setSpareLine(int value) {
    lines_[SPARE_LINE]->setValue(value);
}

int HwAbstractionLayerQuarn::getSpareLine() {
    return lines_[SPARE_LINE]->getValue();
}

void HwAbstractionLayerQuarn::setLed1(int value) {
    lines_[LED1_LINE]->setValue(value);
}

int HwAbstractionLayerQuarn::getLed1() {
    return lines_[LED1_LINE]->getValue();
}

void HwAbstractionLayerQuarn::toggleLed1() {
    lines_[LED1_LINE]->toggleValue();
}

void HwAbstractionLayerQuarn::setLed2(int value) {
    lines_[LED2_LINE]->setValue(value);
}

int HwAbstractionLayerQuarn::getLed2() {
    return lines_[LED2_LINE]->getValue();
}

void HwAbstractionLayerQuarn::toggleLed2() {
    lines_[LED2_LINE]->toggleValue();
}

} // namespace hal
