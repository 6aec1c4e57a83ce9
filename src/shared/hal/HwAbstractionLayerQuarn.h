#pragma once

#include "hal/DspFlash.h"
#include "hal/HwAbstractionLayer.h"
#include "hal/IoctlDevice.h"
#include "hal/Melody.h"
#include "hal/Pause.h"
#include "hal/SysfsGpio.h"

#include <memory>
#include <string>

namespace hal {

// The instrument's layer: the DSP flash on the SPI bus, the buzzer and five sysfs GPIO lines.
class HwAbstractionLayerQuarn : public HwAbstractionLayer {
public:
    static constexpr int LINE_COUNT = 5;
    static constexpr int POWER_BUTTON_LINE = 0;
    static constexpr int DSP_RUN_LINE = 1;
    static constexpr int SPARE_LINE = 2;
    static constexpr int LED1_LINE = 3;
    static constexpr int LED2_LINE = 4;

    // What the flash and the buzzer open at their product paths, and how the layer and its
    // drivers wait.
    struct Devices {
        std::unique_ptr<IoctlDevice> spiBus;
        std::unique_ptr<IoctlDevice> buzzer;
        Pause pause;
    };

    // The instrument's layer: the sysfs GPIO tree and the real devices, opened and configured
    // here.
    HwAbstractionLayerQuarn();
    // gpioRoot is the directory holding export, unexport and the gpioN line directories. The
    // flash drives this layer's own DSP run line.
    HwAbstractionLayerQuarn(const std::string& gpioRoot, Devices devices);
    ~HwAbstractionLayerQuarn() override;
    HwAbstractionLayerQuarn(const HwAbstractionLayerQuarn&) = delete;
    HwAbstractionLayerQuarn& operator=(const HwAbstractionLayerQuarn&) = delete;

    bool updateDSPflash(QString fileName) override;
    bool checkDSPflash(QString fileName) override;
    bool readDSPflash(QString fileName) override;
    bool eraseDSPflash() override;
    void playLongBeep() override;
    void playClick() override;
    void playDoubleBeep() override;
    bool waitForPowerButton(unsigned int timeoutSeconds) override;
    int getPowerButton() override;
    void setDspRunLine(int value) override;
    int getDspRunLine() override;
    void setSpareLine(int value) override;
    int getSpareLine() override;
    void setLed1(int value) override;
    int getLed1() override;
    void toggleLed1() override;
    void setLed2(int value) override;
    int getLed2() override;
    void toggleLed2() override;
    void cancelPowerButtonWait() override;

private:
    Pause pause_;
    dsp_flash::DspFlash flash_;
    melody::Melody buzzer_;
    std::unique_ptr<SysfsGpio> lines_[LINE_COUNT];
    // In every button wait's ppoll set; readable once the waiting is cancelled.
    const shared::FileDescriptor powerButtonWakeUp_;
};

} // namespace hal
