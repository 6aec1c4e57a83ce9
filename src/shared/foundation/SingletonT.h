#pragma once

#include "foundation/SingletonStorageT.h"

namespace shared {

// A process-wide instance created on first use, from whichever thread asks first.
template <class DerivedClass> class SingletonT : public SingletonStorageT<DerivedClass> {
    using Storage = SingletonStorageT<DerivedClass>;

public:
    static std::shared_ptr<DerivedClass> getInstance() {
        thread::ScopedLock guard(Storage::getClassLock());
        if (!Storage::s_pInstance) {
            Storage::s_pInstance.reset(new DerivedClass());
        }
        return Storage::s_pInstance;
    }
};

} // namespace shared
