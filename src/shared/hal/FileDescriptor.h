#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace hal {

// Owns one POSIX file descriptor. The layer's raw descriptor calls (open, read, ppoll, ioctl,
// close) all go through this class, so a descriptor is closed on every path out of an edge wait
// or a device operation.
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

    bool isValid() const { return descriptor_ >= 0; }
    int get() const { return descriptor_; }

    // read(2), repeated when a signal interrupts it before anything was read; -1 on failure.
    ssize_t read(void* buffer, std::size_t size) const;

    // ppoll(2) for POLLPRI on this descriptor for at most timeoutSeconds, with an empty signal
    // mask so that every signal stays deliverable during the wait. Returns what ppoll returns;
    // returnedEvents receives the descriptor's revents (0 when ppoll fails).
    int waitForPriorityEvent(unsigned int timeoutSeconds, short& returnedEvents) const;

    // ioctl(2) on this descriptor; -1 with errno set on failure (EBADF when it is not open).
    int ioctl(unsigned long request, void* argument) const;

    void close();

private:
    int descriptor_ = -1;
};

} // namespace hal
