#include "hal/DeviceFile.h"

namespace hal {

IoctlDevice::~IoctlDevice() = default;

bool DeviceFile::open(const std::string& path) {
    // Closed first, so that errno still tells why the new open failed.
    descriptor_.close();
    descriptor_ = shared::FileDescriptor::open(path, O_RDWR);
    return descriptor_.isValid();
}

int DeviceFile::ioctl(unsigned long request, void* argument) {
    return descriptor_.ioctl(request, argument);
}

void DeviceFile::close() {
    descriptor_.close();
}

} // namespace hal
