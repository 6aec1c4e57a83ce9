#pragma once

#include "foundation/SingletonStorageT.h"

namespace shared {

// A process-wide instance created explicitly by the start-up code (initInstance). getInstance
// never creates one: before initInstance it returns null, and callers test for that.
template <class DerivedClass> class InitSingletonT : public SingletonStorageT<DerivedClass> {
    using Storage = SingletonStorageT<DerivedClass>;

public:
    static std::shared_ptr<DerivedClass> initInstance() {
        thread::ScopedLock guard(Storage::getClassLock());
        std::shared_ptr<DerivedClass> created(new DerivedClass());
        // After the swap `created` holds any earlier instance, released here under the lock.
        Storage::s_pInstance.swap(created);
        return Storage::s_pInstance;
    }

    static std::shared_ptr<DerivedClass> getInstance() { return Storage::peekInstance(); }
};

} // namespace shared
