#pragma once

#include "foundation/Lockable.h"

#include <pthread.h>

namespace thread {

// A recursive POSIX mutex: the same thread may lock it again and must unlock it as often.
class Mutex : public Lockable {
public:
    Mutex();
    ~Mutex() override;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;

    bool lock() override;
    bool tryLock() override;
    int unlock() override;

private:
    pthread_mutex_t mutex_;
};

} // namespace thread
