#pragma once

#include "foundation/Common.h"

#include <QFile>
#include <QString>

#include <sys/statvfs.h>

namespace storage {

// The system calls and directories behind the storage functions. The default is the
// instrument's own: the real mount(2) and statvfs(3) on "/var/lib/quarn/" and plain file writes;
// tests hand in a subclass with their own directories and results, or one whose disk fills up.
class FileSystemCalls {
public:
    explicit FileSystemCalls(const QString& baseDir = QString::fromLatin1(quarn::Common::BASE_DIR),
                             const QString& logDir = QString::fromLatin1(quarn::Common::LOG_DIR));
    virtual ~FileSystemCalls();

    // Both return 0 on success and -1 with errno set on failure, as the system calls do.
    virtual int mount(const char* source, const char* target, const char* fileSystemType,
                      unsigned long flags, const void* data);
    virtual int statvfs(const char* path, struct statvfs& info);
    // Every byte the session storage puts on the partition passes here: QFile::write semantics,
    // the count written or -1.
    virtual qint64 write(QFile& file, const char* data, qint64 size);

    // Mount point of the data partition.
    const QString& baseDir() const { return m_baseDir; }
    // Directory of the log files, whose allowance is kept free of session data.
    const QString& logDir() const { return m_logDir; }

private:
    QString m_baseDir;
    QString m_logDir;
};

} // namespace storage
