#include "hal/FileDescriptor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <utility>

namespace hal {

FileDescriptor::~FileDescriptor() {
    close();
}

FileDescriptor::FileDescriptor(FileDescriptor&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)) {}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        close();
        descriptor_ = std::exchange(other.descriptor_, -1);
    }
    return *this;
}

FileDescriptor FileDescriptor::openReadOnly(const std::string& path) {
    return FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

FileDescriptor FileDescriptor::openReadWrite(const std::string& path) {
    return FileDescriptor(::open(path.c_str(), O_RDWR | O_CLOEXEC));
}

ssize_t FileDescriptor::read(void* buffer, std::size_t size) const {
    ssize_t count;
    do {
        count = ::read(descriptor_, buffer, size);
    } while (count < 0 && errno == EINTR);
    return count;
}

// The button thread is ended by cancellation while it waits in ppoll. The forced unwind skips
// this frame's epilogue, so under AddressSanitizer its redzones would stay poisoned and the
// unwinder's own writes into them would be reported; the frame only holds plain locals.
__attribute__((no_sanitize("address"))) int
FileDescriptor::waitForPriorityEvent(unsigned int timeoutSeconds, short& returnedEvents) const {
    pollfd entry{};
    entry.fd = descriptor_;
    entry.events = POLLPRI;
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(timeoutSeconds);
    timeout.tv_nsec = 0;
    sigset_t noSignalsBlocked;
    sigemptyset(&noSignalsBlocked);
    const int result = ::ppoll(&entry, 1, &timeout, &noSignalsBlocked);
    returnedEvents = result < 0 ? 0 : entry.revents;
    return result;
}

int FileDescriptor::ioctl(unsigned long request, void* argument) const {
    // Not repeated on EINTR: a device may have acted on the request before it was interrupted.
    return ::ioctl(descriptor_, request, argument);
}

void FileDescriptor::close() {
    if (descriptor_ >= 0) {
        // Linux releases the descriptor even when close reports EINTR, so it is never retried.
        ::close(descriptor_);
        descriptor_ = -1;
    }
}

} // namespace hal
