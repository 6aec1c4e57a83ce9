#include "storage/FileStorageSpace.h"

#include "storage/FileDataStorage.h"

#include <limits>
#include <memory>

namespace storage {

qint64 FileStorageSpace::freeBytes() {
    quint64 used = 0;
    quint64 free = 0;
    if (!FileDataStorage::getStorageInfo(used, free)) {
        return 0;
    }
    constexpr quint64 largest = static_cast<quint64>(std::numeric_limits<qint64>::max());
    return static_cast<qint64>(free < largest ? free : largest);
}

qint64 FileStorageSpace::bytesNeeded(int seconds, int trendInterval, int demandInterval) {
    return FileDataStorage::bytesNeeded(seconds, trendInterval, demandInterval);
}

int FileStorageSpace::maxDurationForBytes(qint64 freeBytes, int trendInterval, int demandInterval) {
    return FileDataStorage::maxDurationForBytes(freeBytes, trendInterval, demandInterval);
}

void FileStorageSpace::install() {
    session::IStorageSpace::install(std::make_shared<FileStorageSpace>());
}

} // namespace storage
