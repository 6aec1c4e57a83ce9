#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace hal {

// How the device drivers wait: the product sleeps, tests record the waits and return at once.
using Pause = std::function<void(std::chrono::microseconds)>;

inline void sleepFor(std::chrono::microseconds duration) {
    std::this_thread::sleep_for(duration);
}

} // namespace hal
