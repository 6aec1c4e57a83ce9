#pragma once

namespace thread {

// The lock interface shared by the singletons' class locks and the logging set-up.
class Lockable {
public:
    virtual ~Lockable() = default;
    virtual bool lock() = 0;
    virtual bool tryLock() = 0;
    virtual int unlock() = 0;
};

// Holds a Lockable for the lifetime of a scope.
class ScopedLock {
public:
    explicit ScopedLock(Lockable& lockable)
        : lockable_(lockable) {
        lockable_.lock();
    }
    ~ScopedLock() { lockable_.unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Lockable& lockable_;
};

} // namespace thread
