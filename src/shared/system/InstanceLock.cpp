#include "system/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace quarn_system {

InstanceLock::InstanceLock(std::string path)
    : path_(std::move(path)) {}

InstanceLock::~InstanceLock() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

InstanceLock::Result InstanceLock::acquire() {
    if (descriptor_ < 0) {
        // Close-on-exec: a child such as the shutdown command must not keep the lock alive.
        descriptor_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (descriptor_ < 0) {
            errorNumber_ = errno;
            return Unavailable;
        }
    }
    int result;
    do {
        result = ::flock(descriptor_, LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        return Acquired;
    }
    errorNumber_ = errno;
    return errorNumber_ == EWOULDBLOCK ? HeldElsewhere : Unavailable;
}

} // namespace quarn_system
