#pragma once

#include "foundation/FileDescriptor.h"

#include <string>

namespace quarn_system {

// Keeps a second instance of a daemon off the bus: an ipc:// address bound by a second process
// silently takes the first one's place. The lock is an advisory flock on a file (under /run for
// the product), held for the life of the object and released by the kernel however the process
// ends.
class InstanceLock {
public:
    enum Result { Acquired, HeldElsewhere, Unavailable };

    explicit InstanceLock(std::string path);
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Acquired; HeldElsewhere when another process holds it; Unavailable when the file cannot be
    // opened or locked otherwise (errorNumber() tells why).
    Result acquire();
    int errorNumber() const { return errorNumber_; }
    const std::string& path() const { return path_; }

private:
    std::string path_;
    shared::FileDescriptor descriptor_;
    int errorNumber_ = 0;
};

} // namespace quarn_system
