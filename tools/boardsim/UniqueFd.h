#pragma once

#include <unistd.h>

namespace boardsim {

/** Owns one file descriptor and closes it once. */
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : fd(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    UniqueFd(UniqueFd&& other) noexcept
        : fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }

    int get() const { return fd; }
    bool valid() const { return fd >= 0; }
    int release() {
        const int held = fd;
        fd = -1;
        return held;
    }
    void reset(int replacement = -1) {
        if (fd >= 0)
            ::close(fd);
        fd = replacement;
    }

private:
    int fd = -1;
};

} // namespace boardsim
