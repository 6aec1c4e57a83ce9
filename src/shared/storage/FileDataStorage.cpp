#include "storage/FileDataStorage.h"

#include "foundation/Log.h"
#include "foundation/Qt48DataStream.h"
#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"
#include "records/QuarnDateTime.h"
#include "session/SessionConfig.h"
#include "session/SessionTiming.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>

#include <sys/mount.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <numeric>

namespace storage {

static_assert(FileDataStorage::REMOUNT_FLAGS == (MS_REMOUNT | MS_SILENT | MS_RELATIME),
              "the remount flags are Linux's");

namespace {

const char* const LOGGER = "file-data-storage_logger";

// The worst case of the configuration file: texts at the longest the host export keeps.
constexpr int LONGEST_DESCRIPTION = 127;
constexpr int LONGEST_NAME = 31;

std::mutex& callsMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<FileSystemCalls>& installedCalls() {
    static std::shared_ptr<FileSystemCalls> calls;
    return calls;
}

qint64 directorySize(const QString& path) {
    qint64 total = 0;
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                           QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        total += entry.size();
    }
    return total;
}

qint64 computeMaxConfigSize() {
    QByteArray bytes;
    shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
    const ADCO_DSP_CONFIG dspConfig{};
    const ADCO_DSP_PROBE_CONFIG probeConfig{};
    const quarn_system::INSTRUMENT_CONFIG instrumentConfig{};
    const SESSION_CONFIG sessionConfig{
        defaultSessionConfig().energySetting,
        session::SessionTiming(quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME),
                               session::SessionTiming::DURATION_10_MINUTES,
                               session::SessionTiming::DEFAULT_TREND_INTERVAL,
                               session::SessionTiming::DEFAULT_DEMAND_INTERVAL, 0),
        QString(LONGEST_DESCRIPTION, QLatin1Char('x')), QString(LONGEST_NAME, QLatin1Char('y'))};
    stream << dspConfig << probeConfig << instrumentConfig << sessionConfig;
    if (stream.status() != QDataStream::Ok) {
        LOG_ERROR(LOGGER, "Failed to determine size of max config file.");
    }
    return bytes.size();
}

} // namespace

const char* const FileDataStorage::DATA_PARTITION_DEVICE = "ubi1:data";
const char* const FileDataStorage::DATA_PARTITION_TYPE = "ubifs";

bool FileDataStorage::remountDataPartition() {
    const std::shared_ptr<FileSystemCalls> calls = fileSystemCalls();
    if (calls->mount(DATA_PARTITION_DEVICE, calls->baseDir().toLocal8Bit().constData(),
                     DATA_PARTITION_TYPE, REMOUNT_FLAGS, nullptr) != 0) {
        LOG_ERROR(LOGGER, "Failed to remount (synchronize) data dir.");
        return false;
    }
    return true;
}

bool FileDataStorage::getStorageInfo(quint64& used, quint64& free) {
    const std::shared_ptr<FileSystemCalls> calls = fileSystemCalls();
    // Only a committed file system reports its true fill level; a failed remount still leaves a
    // usable, if slightly stale, answer.
    remountDataPartition();
    struct statvfs info {};
    if (calls->statvfs(calls->baseDir().toLocal8Bit().constData(), info) != 0) {
        LOG_WARN(LOGGER, "Failed to retrieve disk fill status");
        return false;
    }
    const quint64 total = static_cast<quint64>(info.f_frsize) * info.f_blocks;
    const quint64 unused = static_cast<quint64>(info.f_bsize) * info.f_bfree;
    used = total > unused ? total - unused : 0;
    free = static_cast<quint64>(info.f_bsize) * info.f_bavail;

    // The log files share the partition: what they may still grow to is not free for sessions.
    qint64 logReserve = LOG_ALLOWANCE - directorySize(calls->logDir());
    if (logReserve >= 0) {
        logReserve += EXTRA_MARGIN;
        const quint64 reserve = static_cast<quint64>(logReserve);
        free = free > reserve ? free - reserve : 0;
    } else {
        LOG_ERROR(LOGGER, "Log free size is negative value of "
                              << logReserve << ". Please adjust maximum log files configuration.");
        free = 0;
    }
    return true;
}

bool FileDataStorage::isAvailableSpaceFor(quint64 bytes) {
    quint64 used = 0;
    quint64 free = 0;
    if (!getStorageInfo(used, free)) {
        LOG_ERROR(LOGGER, "Unable to obtain disk usage info.");
        return false;
    }
    return free >= bytes;
}

qint64 FileDataStorage::getMaxConfigSize() {
    // The worst case never changes, so it is written out once.
    static const qint64 size = computeMaxConfigSize();
    return size;
}

qint64 FileDataStorage::bytesNeeded(int seconds, int trendInterval, int demandInterval) {
    qint64 bytes = overhead();
    if (demandInterval > 0) {
        bytes += (seconds / demandInterval) * DEMAND_RECORD_SIZE;
    }
    if (trendInterval > 0) {
        bytes += (seconds / trendInterval) * TREND_RECORD_SIZE;
    }
    return bytes;
}

int FileDataStorage::maxDurationForBytes(qint64 free, int trendInterval, int demandInterval) {
    const qint64 trend = trendInterval;
    const qint64 demand = demandInterval;
    // The shortest span after which both kinds of records line up again.
    const qint64 divisor = std::gcd(trend, demand);
    const qint64 multiple = divisor != 0 ? trend * demand / divisor : 0;
    const qint64 period = std::max({trend, demand, multiple});
    qint64 bytesPerPeriod = 0;
    if (demand > 0) {
        bytesPerPeriod += (period / demand) * DEMAND_RECORD_SIZE;
    }
    if (trend > 0) {
        bytesPerPeriod += (period / trend) * TREND_RECORD_SIZE;
    }
    if (bytesPerPeriod <= 0) {
        return 0;
    }
    const qint64 usable = free > overhead() ? free - overhead() : 0;
    // Single precision as the peers compute it, so every process offers the same durations.
    const float periods =
        std::floor(static_cast<float>(usable) / static_cast<float>(bytesPerPeriod));
    const double seconds = static_cast<double>(period) * static_cast<double>(periods);
    if (seconds >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(seconds);
}

void FileDataStorage::setFileSystemCalls(std::shared_ptr<FileSystemCalls> calls) {
    std::lock_guard<std::mutex> guard(callsMutex());
    installedCalls() = std::move(calls);
}

std::shared_ptr<FileSystemCalls> FileDataStorage::fileSystemCalls() {
    std::lock_guard<std::mutex> guard(callsMutex());
    std::shared_ptr<FileSystemCalls>& calls = installedCalls();
    if (!calls) {
        calls = std::make_shared<FileSystemCalls>();
    }
    return calls;
}

qint64 FileDataStorage::overhead() {
    return getMaxConfigSize() + METADATA_FILES_SIZE;
}

} // namespace storage
