#pragma once

// Test seams of the session area: a settable "now" for every session calculation and a storage
// provider whose free space the test chooses.

#include "session/IStorageSpace.h"
#include "session/SessionTiming.h"
#include "support/RecordBytes.h"

#include <memory>

namespace sessiontest {

inline QDateTime& fakeNow() {
    static QDateTime now;
    return now;
}

using testsupport::hex;
using testsupport::streamed;
using testsupport::utc;

// Installs the fake clock at `now` for the lifetime of the object.
struct ClockGuard {
    explicit ClockGuard(const QDateTime& now) {
        set(now);
        session::SessionTiming::setClock([] { return fakeNow(); });
    }
    ~ClockGuard() { session::SessionTiming::setClock(nullptr); }
    void set(const QDateTime& now) { fakeNow() = now; }
};

// Installs itself as the storage for its lifetime: `free` bytes, where every trend interval
// costs 100 bytes, with no overhead and no demand records.
struct StorageGuard : session::IStorageSpace {
    explicit StorageGuard(qint64 free)
        : free(free) {
        install(std::shared_ptr<IStorageSpace>(this, [](IStorageSpace*) {}));
    }
    ~StorageGuard() override { install(nullptr); }
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

} // namespace sessiontest
