#pragma once

// Header only: the simulated board uses the same type without linking Qt or log4cplus.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

namespace shared {

// Owns one POSIX file descriptor and closes it once, on every path out of the code that opened
// it. The raw descriptor calls of the shared library and its tools (open, read, write, ppoll,
// ioctl, close) go through this class.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor)
        : descriptor_(descriptor) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(FileDescriptor&& other) noexcept
        : descriptor_(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    // open(2) with O_CLOEXEC added; an invalid object when the file cannot be opened (errno
    // tells why).
    static FileDescriptor open(const std::string& path, int flags, mode_t mode = 0) {
        return FileDescriptor(::open(path.c_str(), flags | O_CLOEXEC, mode));
    }
    // An eventfd counter: readable once notifyEvent was called, and from then on for good.
    static FileDescriptor openEvent() {
        return FileDescriptor(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    }
    // A pipe whose ends never block and close on exec; false with errno set.
    static bool openPipe(FileDescriptor& readEnd, FileDescriptor& writeEnd) {
        int ends[2] = {-1, -1};
        if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            return false;
        }
        readEnd.reset(ends[0]);
        writeEnd.reset(ends[1]);
        return true;
    }

    bool isValid() const { return descriptor_ >= 0; }
    int get() const { return descriptor_; }
    // Gives the descriptor up without closing it.
    int release() {
        const int held = descriptor_;
        descriptor_ = -1;
        return held;
    }
    void reset(int replacement = -1) {
        if (descriptor_ >= 0) {
            // Linux releases the descriptor even when close reports EINTR: never retried.
            ::close(descriptor_);
        }
        descriptor_ = replacement;
    }
    void close() { reset(); }

    // read(2), repeated when a signal interrupts it before anything was read; -1 on failure.
    ssize_t read(void* buffer, std::size_t size) const {
        ssize_t count;
        do {
            count = ::read(descriptor_, buffer, size);
        } while (count < 0 && errno == EINTR);
        return count;
    }

    // The same from offset 0 (pread(2)), whatever the file position: a sysfs attribute produces
    // a fresh reading for every read from its start.
    ssize_t readFromStart(void* buffer, std::size_t size) const {
        ssize_t count;
        do {
            count = ::pread(descriptor_, buffer, size, 0);
        } while (count < 0 && errno == EINTR);
        return count;
    }

    // One write(2) of the whole text, repeated when a signal interrupts it; false on failure.
    bool writeText(const std::string& text) const {
        ssize_t written;
        do {
            written = ::write(descriptor_, text.data(), text.size());
        } while (written < 0 && errno == EINTR);
        return written == static_cast<ssize_t>(text.size());
    }

    // Makes an eventfd counter readable.
    void notifyEvent() const {
        const std::uint64_t one = 1;
        ssize_t written;
        do {
            written = ::write(descriptor_, &one, sizeof one);
        } while (written < 0 && errno == EINTR);
    }

    // ppoll(2) for POLLPRI on this descriptor for at most timeoutSeconds, with an empty signal
    // mask so that every signal stays deliverable during the wait. A readable wakeUp descriptor
    // (an event counter) ends the wait early. Returns what ppoll returns; returnedEvents receives
    // this descriptor's revents (0 when ppoll fails). An interrupted ppoll goes on for the time
    // left.
    int waitForPriorityEvent(unsigned int timeoutSeconds, short& returnedEvents,
                             const FileDescriptor* wakeUp = nullptr) const {
        pollfd entries[2]{};
        entries[0].fd = descriptor_;
        entries[0].events = POLLPRI;
        // A negative descriptor is skipped by ppoll.
        entries[1].fd = wakeUp != nullptr ? wakeUp->get() : -1;
        entries[1].events = POLLIN;
        timespec deadline{};
        ::clock_gettime(CLOCK_MONOTONIC, &deadline);
        deadline.tv_sec += static_cast<time_t>(timeoutSeconds);
        sigset_t noSignalsBlocked;
        sigemptyset(&noSignalsBlocked);
        int result;
        do {
            // A signal handled meanwhile is no failure of the wait: it goes on for the time left,
            // so an edge that comes in that time is still seen.
            timespec now{};
            ::clock_gettime(CLOCK_MONOTONIC, &now);
            timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
            if (left.tv_nsec < 0) {
                left.tv_nsec += 1000000000L;
                --left.tv_sec;
            }
            if (left.tv_sec < 0) {
                left = timespec{};
            }
            result = ::ppoll(entries, 2, &left, &noSignalsBlocked);
        } while (result < 0 && errno == EINTR);
        returnedEvents = result < 0 ? 0 : entries[0].revents;
        return result;
    }

    // ioctl(2) on this descriptor; -1 with errno set on failure (EBADF when it is not open). Not
    // repeated on EINTR: a device may have acted on the request before it was interrupted.
    int ioctl(unsigned long request, void* argument) const {
        return ::ioctl(descriptor_, request, argument);
    }

private:
    int descriptor_ = -1;
};

} // namespace shared
