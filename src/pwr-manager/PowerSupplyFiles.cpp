#include "PowerSupplyFiles.h"

#include <cstring>
#include <utility>

namespace power_manager {

PowerSupplyFiles::PowerSupplyFiles(std::string directory)
    : directory_(std::move(directory)) {}

void PowerSupplyFiles::setDirectory(std::string directory) {
    directory_ = std::move(directory);
    files_.clear();
}

PowerSupplyFiles::File& PowerSupplyFiles::fileNamed(const char* fileName) {
    for (File& file : files_) {
        if (file.name == fileName) {
            return file;
        }
    }
    files_.push_back(File{fileName, shared::FileDescriptor()});
    return files_.back();
}

bool PowerSupplyFiles::readFirstLine(const char* fileName, std::string& line) {
    line.clear();
    File& file = fileNamed(fileName);
    ssize_t count = -1;
    if (file.descriptor.isValid()) {
        count = file.descriptor.readFromStart(buffer_.data(), buffer_.size());
    }
    if (count < 0) {
        // Not opened yet, or its attribute is gone: a new open finds the current one, if any.
        file.descriptor = shared::FileDescriptor::open(directory_ + fileName, O_RDONLY);
        if (!file.descriptor.isValid()) {
            return false;
        }
        count = file.descriptor.readFromStart(buffer_.data(), buffer_.size());
        if (count < 0) {
            return true;
        }
    }
    const char* begin = buffer_.data();
    const void* newline = std::memchr(begin, '\n', static_cast<std::size_t>(count));
    const char* end = newline != nullptr ? static_cast<const char*>(newline) : begin + count;
    for (const char* at = begin; at != end; ++at) {
        // Taken as text: carriage returns are dropped, as a text-mode read drops them.
        if (*at != '\r') {
            line.push_back(*at);
        }
    }
    return true;
}

} // namespace power_manager
