#pragma once

#include "storage/FileSystemCalls.h"

#include <QtGlobal>

#include <memory>

namespace storage {

// Session data on the instrument's data partition. These are its storage-space functions: how
// many bytes are free for session data, what a session of a given duration costs, and how long a
// session fits into given bytes.
class FileDataStorage {
public:
    static const char* const DATA_PARTITION_DEVICE;
    static const char* const DATA_PARTITION_TYPE;
    static constexpr unsigned long REMOUNT_FLAGS = 0x208020; // MS_REMOUNT | MS_SILENT | MS_RELATIME
    static constexpr qint64 DEFAULT_LOG_FILE_SIZE = 1048576;
    static constexpr qint64 LOG_ALLOWANCE = 10 * DEFAULT_LOG_FILE_SIZE;
    static constexpr qint64 EXTRA_MARGIN = 2097152;
    static constexpr qint64 TREND_RECORD_SIZE = 680;
    static constexpr qint64 DEMAND_RECORD_SIZE = 104;
    // Trend-overview, session, trend and demand metadata records of one session.
    static constexpr qint64 METADATA_FILES_SIZE = 11592 + 280 + 2776 + 56;

    // Remounts the data partition in place, which makes the file system commit what was written.
    static bool remountDataPartition();
    // Free is what is left for session data once the log files' allowance is set aside.
    static bool getStorageInfo(quint64& used, quint64& free);
    static bool isAvailableSpaceFor(quint64 bytes);
    // Size of the largest configuration file a session can have.
    static qint64 getMaxConfigSize();
    static qint64 bytesNeeded(int seconds, int trendInterval, int demandInterval);
    static int maxDurationForBytes(qint64 free, int trendInterval, int demandInterval);

    // Null restores the instrument's own calls and directories.
    static void setFileSystemCalls(std::shared_ptr<FileSystemCalls> calls);
    static std::shared_ptr<FileSystemCalls> fileSystemCalls();

private:
    static qint64 overhead();
};

} // namespace storage
