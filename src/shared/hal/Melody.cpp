#include "hal/Melody.h"

#include <chrono>
#include <thread>

namespace melody {

const char* const Melody::MELODY_DEVICE_NAME = "/dev/mldalm";

Melody::Melody()
    : QObject(nullptr) {
    melodyInit();
}

Melody::~Melody() = default;

void Melody::melodyInit() {}

void Melody::melodyPlay(unsigned int type, unsigned int durationMs) {
    (void)type;
    std::this_thread::sleep_for(std::chrono::milliseconds(durationMs));
}

} // namespace melody
