#include "session/IStorageSpace.h"

#include <mutex>

namespace session {

namespace {

// Function-local statics: a timing may be built during static initialisation (the default
// session configuration is), before any namespace-scope object of this file would exist.
std::mutex& providerMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<IStorageSpace>& provider() {
    static std::shared_ptr<IStorageSpace> instance;
    return instance;
}

} // namespace

IStorageSpace::~IStorageSpace() = default;

void IStorageSpace::install(std::shared_ptr<IStorageSpace> newProvider) {
    std::lock_guard<std::mutex> guard(providerMutex());
    provider() = std::move(newProvider);
}

std::shared_ptr<IStorageSpace> IStorageSpace::installed() {
    std::lock_guard<std::mutex> guard(providerMutex());
    return provider();
}

} // namespace session
