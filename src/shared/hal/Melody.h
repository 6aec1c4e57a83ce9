#pragma once

#include <QObject>

namespace melody {

// Sounds the buzzer. This build does not open the buzzer device: a melody only takes its time,
// so callers keep their timing while no device is touched.
class Melody : public QObject {
    Q_OBJECT

public:
    static const char* const MELODY_DEVICE_NAME;

    Melody();
    ~Melody() override;
    Melody(const Melody&) = delete;
    Melody& operator=(const Melody&) = delete;

    void melodyInit();
    // Blocks the caller for durationMs milliseconds.
    void melodyPlay(unsigned int type, unsigned int durationMs);

private:
    int deviceDescriptor_ = -1;
};

} // namespace melody
