#include "hal/FileDescriptor.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
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

FileDescriptor FileDescriptor::openWriteOnly(const std::string& path) {
    return FileDescriptor(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
}

FileDescriptor FileDescriptor::openEvent() {
    return FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
}

ssize_t FileDescriptor::read(void* buffer, std::size_t size) const {
    ssize_t count;
    do {
        count = ::read(descriptor_, buffer, size);
    } while (count < 0 && errno == EINTR);
    return count;
}

bool FileDescriptor::writeText(const std::string& text) const {
    ssize_t written;
    do {
        written = ::write(descriptor_, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    return written == static_cast<ssize_t>(text.size());
}

void FileDescriptor::notifyEvent() const {
    const std::uint64_t one = 1;
    ssize_t written;
    do {
        written = ::write(descriptor_, &one, sizeof one);
    } while (written < 0 && errno == EINTR);
}

int FileDescriptor::waitForPriorityEvent(unsigned int timeoutSeconds, short& returnedEvents,
                                         const FileDescriptor* wakeUp) const {
    pollfd entries[2]{};
    entries[0].fd = descriptor_;
    entries[0].events = POLLPRI;
    // A negative descriptor is skipped by ppoll.
    entries[1].fd = wakeUp != nullptr ? wakeUp->get() : -1;
    entries[1].events = POLLIN;
    timespec timeout{};
    timeout.tv_sec = static_cast<time_t>(timeoutSeconds);
    timeout.tv_nsec = 0;
    sigset_t noSignalsBlocked;
    sigemptyset(&noSignalsBlocked);
    const int result = ::ppoll(entries, 2, &timeout, &noSignalsBlocked);
    returnedEvents = result < 0 ? 0 : entries[0].revents;
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
