#pragma once

#include <QDir>
#include <QString>

#include <cstdlib>
#include <string>
#include <unistd.h>

// The folder of a target's scratch files, created on first use and removed at exit. It lives in
// memory (/dev/shm): the targets that write files per input would otherwise run at the disk's
// pace. The process id keeps parallel fuzzing jobs apart. A process is one target, so the first
// name is the only one: the folder is made once and the exit handler finds it without a name.
inline const std::string& fuzzScratch(const char* target) {
    static const std::string folder = [target] {
        const std::string path =
            "/dev/shm/quarn-fuzz-" + std::string(target) + "-" + std::to_string(getpid()) + "/";
        QDir().mkpath(QString::fromStdString(path));
        std::atexit([] { QDir(QString::fromStdString(fuzzScratch(""))).removeRecursively(); });
        return path;
    }();
    return folder;
}
