#include "foundation/Mutex.h"

namespace thread {

Mutex::Mutex() {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&mutex_, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

Mutex::~Mutex() {
    // Destroying a mutex another thread still holds is undefined; taking it first waits that out.
    if (pthread_mutex_lock(&mutex_) == 0) {
        pthread_mutex_unlock(&mutex_);
    }
    pthread_mutex_destroy(&mutex_);
}

bool Mutex::lock() {
    return pthread_mutex_lock(&mutex_) == 0;
}

bool Mutex::tryLock() {
    return pthread_mutex_trylock(&mutex_) == 0;
}

int Mutex::unlock() {
    return pthread_mutex_unlock(&mutex_);
}

} // namespace thread
