#include "storage/Counter.h"

#include "storage/SemaphoreLock.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <limits>

namespace storage {

Counter::Counter(const QString& fileName, const QString& semaphoreKey)
    : m_semaphore(semaphoreKey, 1, QSystemSemaphore::Open)
    , m_file(fileName) {
    SemaphoreLock lock(m_semaphore);
    if (!lock.isLocked()) {
        return;
    }
    QDir().mkpath(QFileInfo(fileName).absolutePath());
    if (m_file.open(QIODevice::ReadWrite) && m_file.size() == 0) {
        saveLocked(INITIAL_VALUE);
    }
}

bool Counter::load(int& value) {
    SemaphoreLock lock(m_semaphore);
    return lock.isLocked() && loadLocked(value);
}

bool Counter::save(int value) {
    SemaphoreLock lock(m_semaphore);
    return lock.isLocked() && saveLocked(value);
}

bool Counter::increment(int& value) {
    SemaphoreLock lock(m_semaphore);
    int current = 0;
    if (!lock.isLocked() || !loadLocked(current)) {
        return false;
    }
    value = current == std::numeric_limits<int>::max() ? INITIAL_VALUE : current + 1;
    return saveLocked(value);
}

bool Counter::loadLocked(int& value) {
    if (!m_file.isOpen() || !m_file.seek(0)) {
        return false;
    }
    QTextStream stream(&m_file);
    int loaded = 0;
    stream >> loaded;
    if (stream.status() != QTextStream::Ok) {
        return false;
    }
    value = loaded;
    return true;
}

bool Counter::saveLocked(int value) {
    if (!m_file.isOpen() || !m_file.resize(0) || !m_file.seek(0)) {
        return false;
    }
    QTextStream stream(&m_file);
    stream << value << "\n";
    stream.flush();
    return stream.status() == QTextStream::Ok && m_file.flush();
}

} // namespace storage
