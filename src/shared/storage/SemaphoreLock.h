#pragma once

#include <QSystemSemaphore>

namespace storage {

// Holds a named system semaphore for one scope: acquired by the constructor, released by the
// destructor. A failure is logged with the semaphore's own error text and leaves it unheld.
class SemaphoreLock {
public:
    explicit SemaphoreLock(QSystemSemaphore& semaphore);
    ~SemaphoreLock();
    SemaphoreLock(const SemaphoreLock&) = delete;
    SemaphoreLock& operator=(const SemaphoreLock&) = delete;

    bool isLocked() const { return m_locked; }

private:
    QSystemSemaphore& m_semaphore;
    bool m_locked;
};

} // namespace storage
