#pragma once

#include <QString>

#include <sys/statvfs.h>

namespace storage {

// The system calls and directories behind the storage-space functions. The default is the
// instrument's own: the real mount(2) and statvfs(3) on "/var/lib/quarn/"; tests hand in a
// subclass with their own directories and results.
class FileSystemCalls {
public:
    static const char* const DEFAULT_BASE_DIR;
    static const char* const DEFAULT_LOG_DIR;

    explicit FileSystemCalls(const QString& baseDir = QString::fromLatin1(DEFAULT_BASE_DIR),
                             const QString& logDir = QString::fromLatin1(DEFAULT_LOG_DIR));
    virtual ~FileSystemCalls();

    // Both return 0 on success and -1 with errno set on failure, as the system calls do.
    virtual int mount(const char* source, const char* target, const char* fileSystemType,
                      unsigned long flags, const void* data);
    virtual int statvfs(const char* path, struct statvfs& info);

    // Mount point of the data partition.
    const QString& baseDir() const { return m_baseDir; }
    // Directory of the log files, whose allowance is kept free of session data.
    const QString& logDir() const { return m_logDir; }

private:
    QString m_baseDir;
    QString m_logDir;
};

} // namespace storage
