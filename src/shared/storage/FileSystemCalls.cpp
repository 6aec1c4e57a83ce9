#include "storage/FileSystemCalls.h"

#include <sys/mount.h>

namespace storage {

FileSystemCalls::FileSystemCalls(const QString& baseDir, const QString& logDir)
    : m_baseDir(baseDir)
    , m_logDir(logDir) {}

FileSystemCalls::~FileSystemCalls() = default;

int FileSystemCalls::mount(const char* source, const char* target, const char* fileSystemType,
                           unsigned long flags, const void* data) {
    return ::mount(source, target, fileSystemType, flags, data);
}

int FileSystemCalls::statvfs(const char* path, struct statvfs& info) {
    return ::statvfs(path, &info);
}

qint64 FileSystemCalls::write(QFile& file, const char* data, qint64 size) {
    return file.write(data, size);
}

} // namespace storage
