#pragma once

#include "foundation/FileDescriptor.h"
#include "hal/IoctlDevice.h"

namespace hal {

// The real device node behind an IoctlDevice.
class DeviceFile : public IoctlDevice {
public:
    bool open(const std::string& path) override;
    int ioctl(unsigned long request, void* argument) override;
    void close() override;

private:
    shared::FileDescriptor descriptor_;
};

} // namespace hal
