#include "system/SystemFileHandler.h"

#include "foundation/Log.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <langinfo.h>
#include <unistd.h>

#include <clocale>
#include <cstring>

namespace quarn_system {

namespace {

const char* const LOGGER = "memory_screen_logger";

bool codesetIsUtf8() {
    const char* codeset = nl_langinfo(CODESET);
    return codeset != nullptr &&
           (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

// Removes the regular, visible, non-link files of an existing QDir.
void removeRegularFiles(QDir& directory) {
    directory.setFilter(QDir::Files | QDir::NoSymLinks);
    directory.setSorting(QDir::Name);
    directory.setNameFilters(QStringList(QStringLiteral("*")));
    const QStringList names = directory.entryList();
    for (const QString& name : names) {
        directory.remove(name);
    }
}

} // namespace

void SystemFileHandler::deleteDirectoryFiles(QString directory) {
    if (directory.isEmpty()) {
        LOG_WARN(LOGGER, "Empty parent directory specified when deleting files");
    } else {
        QDir dir(directory);
        removeRegularFiles(dir);
    }
    ::sync();
}

void SystemFileHandler::deleteDirectory(QString directory) {
    if (directory.isEmpty()) {
        LOG_WARN(LOGGER, "Empty parent directory specified when deleting files");
    } else {
        QDir dir(directory);
        removeRegularFiles(dir);
        const QString name = dir.dirName();
        if (dir.cdUp()) {
            dir.rmdir(name);
        }
    }
    ::sync();
}

void SystemFileHandler::deleteDirectoryRecursively(QString parent, QString keptName) {
    if (parent.isEmpty()) {
        LOG_WARN(LOGGER, "Empty parent directory specified when deleting subdirectories");
        ::sync();
        return;
    }
    const QDir parentDir(parent);
    // A link to a directory elsewhere is not one of parent's subdirectories: emptying it would
    // remove files outside parent.
    const QStringList subdirectories =
        parentDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Unsorted);
    for (const QString& name : subdirectories) {
        if (name == keptName) {
            continue;
        }
        const QDir subdirectory(parentDir.filePath(name));
        const QStringList files =
            subdirectory.entryList(QDir::Files | QDir::Hidden, QDir::Unsorted);
        for (const QString& file : files) {
            QFile::remove(subdirectory.filePath(file));
        }
        parentDir.rmdir(name);
    }
    ::sync();
}

void SystemFileHandler::deleteFile(QString file) {
    QFile::remove(file);
    ::sync();
}

void SystemFileHandler::useUtf8FileNames() {
    // QFile encodes names as UTF-8 on Linux whatever the locale, but the C library (and whatever
    // converts through it) follows LC_CTYPE. Take the environment's character type when it is
    // UTF-8 already, else C.UTF-8, so that every layer agrees on the bytes of a name.
    if (std::setlocale(LC_CTYPE, "") != nullptr && codesetIsUtf8()) {
        return;
    }
    if (std::setlocale(LC_CTYPE, "C.UTF-8") == nullptr || !codesetIsUtf8()) {
        LOG_WARN("quarn_system_logger", "UTF-8 character type cannot be set");
    }
}

} // namespace quarn_system
