#pragma once

#include <string>

namespace hal {

// A device driven by ioctl requests, opened by path. The buzzer and the SPI bus reach their
// drivers only through it, so that both run without the hardware: the product uses DeviceFile,
// tests put a model of the device in its place.
class IoctlDevice {
public:
    virtual ~IoctlDevice();

    // Opens path for reading and writing, replacing whatever was open; false when it cannot be
    // opened (errno tells why).
    virtual bool open(const std::string& path) = 0;
    // One request; -1 with errno set on failure, EBADF when nothing is open.
    virtual int ioctl(unsigned long request, void* argument) = 0;
    // Does nothing when nothing is open.
    virtual void close() = 0;
};

} // namespace hal
