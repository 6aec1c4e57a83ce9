#pragma once

// Test seams of the session area: a settable "now" for every session calculation and a storage
// provider whose free space and costs the test chooses.

#include "session/IStorageSpace.h"
#include "session/SessionTiming.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QTime>

#include <memory>

namespace sessiontest {

inline QDateTime& fakeNow() {
    static QDateTime now;
    return now;
}

inline QDateTime fakeClock() {
    return fakeNow();
}

inline QDateTime utc(int year, int month, int day, int hour, int minute, int second, int ms = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second, ms), Qt::UTC);
}

// Installs the fake clock at `now` for the lifetime of the object.
class ClockGuard {
public:
    explicit ClockGuard(const QDateTime& now) {
        fakeNow() = now;
        session::SessionTiming::setClock(&fakeClock);
    }
    ~ClockGuard() { session::SessionTiming::setClock(nullptr); }
    ClockGuard(const ClockGuard&) = delete;
    ClockGuard& operator=(const ClockGuard&) = delete;
    void set(const QDateTime& now) { fakeNow() = now; }
};

// Every recorded second of trend costs 100 bytes per trend interval; no overhead, no demand.
class FakeStorageSpace : public session::IStorageSpace {
public:
    explicit FakeStorageSpace(qint64 free)
        : free(free) {}
    qint64 freeBytes() override {
        ++freeQueries;
        return free;
    }
    qint64 bytesNeeded(int seconds, int trendInterval, int) override {
        return trendInterval > 0 ? qint64(seconds / trendInterval) * 100 : 0;
    }
    int maxDurationForBytes(qint64 bytes, int trendInterval, int) override {
        return int(bytes / 100) * trendInterval;
    }
    qint64 free;
    int freeQueries = 0;
};

// Installs a FakeStorageSpace for the lifetime of the object.
class StorageGuard {
public:
    explicit StorageGuard(qint64 free)
        : space(std::make_shared<FakeStorageSpace>(free)) {
        session::IStorageSpace::install(space);
    }
    ~StorageGuard() { session::IStorageSpace::install(nullptr); }
    StorageGuard(const StorageGuard&) = delete;
    StorageGuard& operator=(const StorageGuard&) = delete;
    std::shared_ptr<FakeStorageSpace> space;
};

inline QByteArray hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

} // namespace sessiontest
