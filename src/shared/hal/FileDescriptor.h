#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace hal {

// Owns one POSIX file descriptor. The layer's raw descriptor calls (open, read, write, ppoll,
// ioctl, close) all go through this class, so a descriptor is closed on every path out of an edge
// wait or a device operation.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor)
        : descriptor_(descriptor) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // An invalid object when the file cannot be opened (errno tells why).
    static FileDescriptor openReadOnly(const std::string& path);
    static FileDescriptor openReadWrite(const std::string& path);
    static FileDescriptor openWriteOnly(const std::string& path);
    // An eventfd counter: readable once notifyEvent was called, and from then on for good.
    static FileDescriptor openEvent();

    bool isValid() const { return descriptor_ >= 0; }
    int get() const { return descriptor_; }

    // read(2), repeated when a signal interrupts it before anything was read; -1 on failure.
    ssize_t read(void* buffer, std::size_t size) const;

    // One write(2) of the whole text, repeated when a signal interrupts it; false on failure.
    bool writeText(const std::string& text) const;
    // Makes an eventfd counter readable.
    void notifyEvent() const;

    // ppoll(2) for POLLPRI on this descriptor for at most timeoutSeconds, with an empty signal
    // mask so that every signal stays deliverable during the wait. A readable wakeUp descriptor
    // (an event counter) ends the wait early. Returns what ppoll returns; returnedEvents receives
    // this descriptor's revents (0 when ppoll fails).
    int waitForPriorityEvent(unsigned int timeoutSeconds, short& returnedEvents,
                             const FileDescriptor* wakeUp = nullptr) const;

    // ioctl(2) on this descriptor; -1 with errno set on failure (EBADF when it is not open).
    int ioctl(unsigned long request, void* argument) const;

    void close();

private:
    int descriptor_ = -1;
};

} // namespace hal
