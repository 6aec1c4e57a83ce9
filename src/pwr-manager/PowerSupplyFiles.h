#pragma once

#include "foundation/FileDescriptor.h"

#include <array>
#include <string>
#include <vector>

namespace power_manager {

// The attribute files of the fuel gauge in the power-supply class. Each file is opened at its
// first read and then kept open: sysfs produces a fresh reading for every read from offset 0, so
// reading an attribute again costs one pread. When the attribute behind an open file has gone
// (the gauge's driver was unbound), its reads fail and the file is opened anew. (On an ordinary
// file system an open file outlives its name: there a removed file goes on reading as it was.)
class PowerSupplyFiles {
public:
    // The kernel serves at most one page of an attribute, so one read gets all of it.
    static constexpr std::size_t MAX_ATTRIBUTE_SIZE = 4096;

    // directory ends with a slash; the file names are appended to it.
    explicit PowerSupplyFiles(std::string directory);

    // Closes every file; the next reads open them in the new directory.
    void setDirectory(std::string directory);

    // False when the file cannot be opened. Otherwise line receives the file's first line
    // without its line end and without carriage returns, empty when the file is empty or cannot
    // be read.
    bool readFirstLine(const char* fileName, std::string& line);

private:
    struct File {
        std::string name;
        shared::FileDescriptor descriptor;
    };

    File& fileNamed(const char* fileName);

    std::string directory_;
    // A handful of files, found by name in order.
    std::vector<File> files_;
    std::array<char, MAX_ATTRIBUTE_SIZE> buffer_;
};

} // namespace power_manager
