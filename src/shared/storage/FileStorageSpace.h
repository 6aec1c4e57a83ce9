#pragma once

#include "session/IStorageSpace.h"

namespace storage {

// The data partition as the session timing sees it. The start-up code installs it with
// install(); until then the timing finds no free space.
class FileStorageSpace : public session::IStorageSpace {
public:
    qint64 freeBytes() override;
    qint64 bytesNeeded(int seconds, int trendInterval, int demandInterval) override;
    int maxDurationForBytes(qint64 freeBytes, int trendInterval, int demandInterval) override;

    static void install();
};

} // namespace storage
