#include "system/InstanceLock.h"

#include <sys/file.h>

#include <cerrno>
#include <utility>

namespace quarn_system {

InstanceLock::InstanceLock(std::string path)
    : path_(std::move(path)) {}

InstanceLock::~InstanceLock() = default;

InstanceLock::Result InstanceLock::acquire() {
    if (!descriptor_.isValid()) {
        // Close-on-exec: a child such as the shutdown command must not keep the lock alive.
        descriptor_ = shared::FileDescriptor::open(path_, O_RDWR | O_CREAT, 0644);
        if (!descriptor_.isValid()) {
            errorNumber_ = errno;
            return Unavailable;
        }
    }
    int result;
    do {
        result = ::flock(descriptor_.get(), LOCK_EX | LOCK_NB);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        return Acquired;
    }
    errorNumber_ = errno;
    return errorNumber_ == EWOULDBLOCK ? HeldElsewhere : Unavailable;
}

} // namespace quarn_system
