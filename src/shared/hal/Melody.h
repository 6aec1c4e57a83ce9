#pragma once

#include "hal/IoctlDevice.h"
#include "hal/Pause.h"

#include <QObject>

#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace melody {

// Sounds the buzzer through its driver's two requests: set the melody type, then start and stop
// it. Every operation opens the device and closes it again; failures are logged, never thrown.
class Melody : public QObject {
    Q_OBJECT

public:
    static const char* const MELODY_DEVICE_NAME;
    // Request codes of the buzzer driver (group 'm'): an 8-byte type record, and a run flag of
    // which the driver reads the first byte.
    static const unsigned long MELODY_SET_TYPE;
    static const unsigned long MELODY_RUN;
    // The type of the start-up tone.
    static constexpr unsigned int INIT_TYPE = 2000;

    // The instrument's buzzer: MELODY_DEVICE_NAME, real sleeps.
    Melody();
    Melody(std::unique_ptr<hal::IoctlDevice> device, std::string devicePath, hal::Pause pause);
    ~Melody() override;
    Melody(const Melody&) = delete;
    Melody& operator=(const Melody&) = delete;

    // Type INIT_TYPE, start and at once stop.
    void melodyInit();
    // Blocks the caller for durationMs milliseconds, also when the device is missing.
    void melodyPlay(unsigned int type, unsigned int durationMs);

private:
    // Without a duration start is followed by stop at once.
    void sound(unsigned int type, std::optional<std::chrono::microseconds> duration);
    void request(unsigned long code, void* argument, const char* errorText);

    std::unique_ptr<hal::IoctlDevice> device_;
    std::string devicePath_;
    hal::Pause pause_;
};

} // namespace melody
