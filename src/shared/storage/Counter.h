#pragma once

#include <QFile>
#include <QString>
#include <QSystemSemaphore>

namespace storage {

// An integer shared by every process of the instrument, kept as decimal text and "\n" in a file.
// Each access holds the named system semaphore, so an increment by one process never overlaps
// another's. One object serves one thread.
class Counter {
public:
    static constexpr const char* SEMAPHORE_KEY = "file-index-counter";
    static constexpr int INITIAL_VALUE = 1;

    // Opens (and if need be creates, with its directory) the file; an empty file gets the initial
    // value. Tests pass a semaphore key of their own so they never share the instrument's.
    explicit Counter(const QString& fileName,
                     const QString& semaphoreKey = QString::fromLatin1(SEMAPHORE_KEY));

    bool isOpen() const { return m_file.isOpen(); }
    bool load(int& value);
    bool save(int value);
    // Loads, adds one and saves under one hold of the semaphore; `value` is the new count. After
    // the largest int the count starts again at the initial value.
    bool increment(int& value);

private:
    bool loadLocked(int& value);
    bool saveLocked(int value);

    QSystemSemaphore m_semaphore;
    QFile m_file;
};

} // namespace storage
