#pragma once

#include <QString>

namespace hal {

// The one object through which the shared code reaches the instrument's discrete hardware: the
// GPIO lines, the buzzer and the DSP program flash. The operations are in their fixed slot order.
class HwAbstractionLayer {
public:
    virtual ~HwAbstractionLayer();

    virtual bool updateDSPflash(QString fileName) = 0;
    virtual bool checkDSPflash(QString fileName) = 0;
    virtual bool readDSPflash(QString fileName) = 0;
    virtual bool eraseDSPflash() = 0;
    virtual void playLongBeep() = 0;
    virtual void playClick() = 0;
    virtual void playDoubleBeep() = 0;
    // True only when the button's falling edge came within timeoutSeconds.
    virtual bool waitForPowerButton(unsigned int timeoutSeconds) = 0;
    virtual int getPowerButton() = 0;
    virtual void setDspRunLine(int value) = 0;
    virtual int getDspRunLine() = 0;
    virtual void setSpareLine(int value) = 0;
    virtual int getSpareLine() = 0;
    virtual void setLed1(int value) = 0;
    virtual int getLed1() = 0;
    virtual void toggleLed1() = 0;
    virtual void setLed2(int value) = 0;
    virtual int getLed2() = 0;
    virtual void toggleLed2() = 0;
    // Ends waiting for the power button for good: the wait in progress and every later one
    // return false at once. Safe from any thread; how the watcher thread is ended.
    virtual void cancelPowerButtonWait() = 0;

    // The process-wide layer. The first call creates the product layer on the real sysfs GPIO
    // tree, SPI bus and buzzer (thread-safe); it is never destroyed.
    static HwAbstractionLayer* instance();

    // Test seam: while layer is not null, instance() returns it instead of the product layer
    // (which is then never created). The caller keeps ownership; null removes the override.
    static void setInstance(HwAbstractionLayer* layer);
};

} // namespace hal
