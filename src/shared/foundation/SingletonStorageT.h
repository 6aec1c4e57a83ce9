#pragma once

#include "foundation/Log.h"
#include "foundation/Mutex.h"

#include <cstdlib>
#include <memory>

namespace shared {

// What both singleton forms share: the instance pointer and the recursive class lock that guards
// it. The lock is created on first use and never freed, so it outlives every static destructor.
template <class DerivedClass> class SingletonStorageT {
public:
    static std::shared_ptr<DerivedClass> peekInstance() {
        thread::ScopedLock guard(getClassLock());
        return s_pInstance;
    }

    // Empties the instance pointer; the object goes when its last user lets go of it.
    static void releaseInstance() {
        std::shared_ptr<DerivedClass> released;
        thread::ScopedLock guard(getClassLock());
        released.swap(s_pInstance);
    }

    static thread::Lockable& getClassLock() {
        static thread::Lockable* lock = createClassLock();
        return *lock;
    }

protected:
    SingletonStorageT() = default;
    virtual ~SingletonStorageT() = default;

    static std::shared_ptr<DerivedClass> s_pInstance;

private:
    static thread::Lockable* createClassLock() {
        try {
            return new thread::Mutex();
        } catch (...) {
            // Without its class lock no instance of the class can be handed out safely.
            LOG_ERROR("exception_logger", "Unexpected exception!");
            flushLogs();
            std::abort();
        }
    }
};

template <class DerivedClass>
std::shared_ptr<DerivedClass> SingletonStorageT<DerivedClass>::s_pInstance;

} // namespace shared
