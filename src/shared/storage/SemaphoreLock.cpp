#include "storage/SemaphoreLock.h"

#include "foundation/Log.h"

namespace storage {

namespace {

void logError(const QSystemSemaphore& semaphore) {
    LOG_ERROR("file-data-storage_logger", "Semaphore error:" << semaphore.errorString());
}

} // namespace

SemaphoreLock::SemaphoreLock(QSystemSemaphore& semaphore)
    : m_semaphore(semaphore)
    , m_locked(semaphore.acquire()) {
    if (!m_locked) {
        logError(m_semaphore);
    }
}

SemaphoreLock::~SemaphoreLock() {
    if (m_locked && !m_semaphore.release()) {
        logError(m_semaphore);
    }
}

} // namespace storage
