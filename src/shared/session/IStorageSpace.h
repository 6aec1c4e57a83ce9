#pragma once

#include <QtGlobal>

#include <memory>

namespace session {

// How the session timing learns what the data partition can hold. The storage area sits above
// this one and implements it; the start-up code installs that implementation. Until something is
// installed the partition counts as full, so every storage-bound duration comes out as 0.
class IStorageSpace {
public:
    virtual ~IStorageSpace();

    // Bytes free for session data; 0 when the partition cannot be queried.
    virtual qint64 freeBytes() = 0;
    // Bytes a session of `seconds` takes with the two recording intervals.
    virtual qint64 bytesNeeded(int seconds, int trendInterval, int demandInterval) = 0;
    // Longest duration in seconds that `freeBytes` holds with the two recording intervals.
    virtual int maxDurationForBytes(qint64 freeBytes, int trendInterval, int demandInterval) = 0;

    // Process-wide provider; null uninstalls it.
    static void install(std::shared_ptr<IStorageSpace> provider);
    static std::shared_ptr<IStorageSpace> installed();
};

} // namespace session
