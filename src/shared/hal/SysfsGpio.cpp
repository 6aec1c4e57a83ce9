#include "hal/SysfsGpio.h"

#include "foundation/FileDescriptor.h"

#include <poll.h>

#include <sstream>

namespace hal {

namespace {

const char* const EDGE_WORDS[] = {"none", "rising", "falling", "both"};

void writeAndFlush(std::ostream& stream, const std::string& text) {
    stream << text;
    stream.flush();
}

} // namespace

SysfsGpio::SysfsGpio(int number, bool isOutput, bool activeLow, const std::string& gpioRoot)
    : exportPath_(gpioRoot + "/export")
    , unexportPath_(gpioRoot + "/unexport")
    , exportFile_(shared::FileDescriptor::open(exportPath_, O_WRONLY))
    , unexportFile_(shared::FileDescriptor::open(unexportPath_, O_WRONLY))
    , isOutput_(isOutput)
    , activeLow_(activeLow) {
    std::ostringstream text;
    text << number;
    numberText_ = text.str();
    basePath_ = gpioRoot + "/gpio" + numberText_;
}

SysfsGpio::~SysfsGpio() {
    closeAttributes();
    unexportFile_.writeText(numberText_);
}

void SysfsGpio::closeAttributes() {
    valueFile_.close();
    activeLowFile_.close();
    directionFile_.close();
}

const char* SysfsGpio::edgeWord(GpioEdge edge) {
    const int index = static_cast<int>(edge);
    return index >= 0 && index <= 3 ? EDGE_WORDS[index] : EDGE_WORDS[0];
}

void SysfsGpio::open() {
    if (isOpen_) {
        return;
    }
    // The tree may have been missing at construction or at an earlier attempt. Each write goes
    // out on its own, so a refused one leaves nothing behind for the next attempt.
    if (!exportFile_.isValid()) {
        exportFile_ = shared::FileDescriptor::open(exportPath_, O_WRONLY);
    }
    if (!unexportFile_.isValid()) {
        unexportFile_ = shared::FileDescriptor::open(unexportPath_, O_WRONLY);
    }
    // Unexporting first clears whatever state an earlier owner of the line left behind.
    unexportFile_.writeText(numberText_);
    exportFile_.writeText(numberText_);
    const std::ios::openmode readWrite = std::ios::in | std::ios::out;
    valueFile_.open(basePath_ + "/value", readWrite);
    activeLowFile_.open(basePath_ + "/active_low", readWrite);
    directionFile_.open(basePath_ + "/direction", readWrite);
    if (!valueFile_.is_open() || !activeLowFile_.is_open() || !directionFile_.is_open()) {
        // The export did not take: the line stays closed and the next access tries again.
        closeAttributes();
        return;
    }
    writeAndFlush(activeLowFile_, activeLow_ ? "1" : "0");
    writeAndFlush(directionFile_, isOutput_ ? "out" : "in");
    isOpen_ = true;
}

int SysfsGpio::readValue() {
    // A failed earlier read must not poison every later one, and sysfs only produces a fresh
    // reading for a read from offset 0.
    valueFile_.clear();
    valueFile_.seekg(0);
    int value = NO_VALUE;
    if (!(valueFile_ >> value)) {
        value = NO_VALUE;
    }
    valueFile_.clear();
    return value;
}

void SysfsGpio::writeValue(int value) {
    // The stream shares one position between reads and writes: without the seek a write after a
    // read would be undefined, and on a plain file it would land behind the old value.
    valueFile_.clear();
    valueFile_.seekp(0);
    std::ostringstream text;
    text << value;
    writeAndFlush(valueFile_, text.str());
}

int SysfsGpio::getValue() {
    open();
    return readValue();
}

void SysfsGpio::setValue(int value) {
    open();
    writeValue(value);
}

void SysfsGpio::toggleValue() {
    open();
    const int value = readValue();
    writeValue((value + 1) % 2);
}

int SysfsGpio::waitForEdge(GpioEdge edge, unsigned int timeoutSeconds,
                           const shared::FileDescriptor* wakeUp) {
    open();
    if (!isOpen_) {
        return EDGE_WAIT_FAILED;
    }
    directionFile_.clear();
    directionFile_.seekg(0);
    std::string direction;
    directionFile_ >> direction;
    directionFile_.clear();
    const int edgeIndex = static_cast<int>(edge);
    if (direction == "out" || edgeIndex <= 0 || edgeIndex > 3) {
        return EDGE_WAIT_FAILED;
    }

    {
        std::ofstream edgeFile(basePath_ + "/edge");
        edgeFile << EDGE_WORDS[edgeIndex];
    }

    const shared::FileDescriptor value =
        shared::FileDescriptor::open(basePath_ + "/value", O_RDONLY);
    if (!value.isValid()) {
        return EDGE_WAIT_FAILED;
    }
    // Reading consumes the pending level, so only a new edge wakes the wait.
    char discarded[4];
    (void)value.read(discarded, sizeof discarded);

    short returnedEvents = 0;
    const int ready = value.waitForPriorityEvent(timeoutSeconds, returnedEvents, wakeUp);
    if (ready == 0) {
        return EDGE_TIMED_OUT;
    }
    if (ready > 0 && (returnedEvents & POLLPRI) != 0) {
        return EDGE_SEEN;
    }
    return EDGE_WAIT_FAILED;
}

void SysfsGpio::close() {
    closeAttributes();
    unexportFile_.writeText(numberText_);
    unexportFile_.close();
    isOpen_ = false;
}

} // namespace hal
