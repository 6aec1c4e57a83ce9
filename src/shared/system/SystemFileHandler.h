#pragma once

#include <QString>

namespace quarn_system {

// The file-system clean-up the instrument's programs share. Every removal ends with sync(), so
// it is on the storage medium when the call returns. Removal failures are silent; an empty path
// is refused with a warning and never reaches QDir (which would act on the working directory).
class SystemFileHandler {
public:
    // Removes the regular files of directory (not hidden ones, not symbolic links).
    static void deleteDirectoryFiles(QString directory);
    // Removes the regular files of directory, then the directory itself if it is empty by then.
    static void deleteDirectory(QString directory);
    // Empties (files and hidden files) and removes every immediate subdirectory of parent except
    // the one named keptName. Deeper levels are not descended into, so a subdirectory holding
    // directories of its own stays.
    static void deleteDirectoryRecursively(QString parent, QString keptName);
    static void deleteFile(QString file);
    // Makes file names UTF-8 for QFile and for the C library alike; see the source for how.
    static void useUtf8FileNames();
};

} // namespace quarn_system
