#pragma once

#include "foundation/FileDescriptor.h"

#include <fstream>
#include <string>

namespace hal {

// One kernel GPIO line driven through the sysfs GPIO interface. Nothing reaches the kernel at
// construction: the first access exports the line and writes its direction and polarity. A line
// whose files do not appear after the export is not marked open, so every later access exports
// again (a missing tree may come back). Failures are not reported: reads then yield no value and
// writes have no effect.
class SysfsGpio {
public:
    enum GpioEdge { None = 0, Rising = 1, Falling = 2, Both = 3 };

    // What getValue returns when the value file yields no integer (missing, unreadable or not a
    // number). The kernel only ever reports 0 or 1, so the value cannot be mistaken for a level.
    static constexpr int NO_VALUE = -1;

    // Results of waitForEdge.
    static constexpr int EDGE_SEEN = 0;
    static constexpr int EDGE_TIMED_OUT = 1;
    static constexpr int EDGE_WAIT_FAILED = 2;

    SysfsGpio(int number, bool isOutput, bool activeLow,
              const std::string& gpioRoot = "/sys/class/gpio");
    ~SysfsGpio();
    SysfsGpio(const SysfsGpio&) = delete;
    SysfsGpio& operator=(const SysfsGpio&) = delete;

    // Exports and configures the line unless that was done already; every other operation
    // starts with it.
    void open();
    int getValue();
    void setValue(int value);
    // Writes (value + 1) % 2 of the value read, so an unreadable line (NO_VALUE) is written 0.
    void toggleValue();
    // EDGE_SEEN, EDGE_TIMED_OUT after timeoutSeconds, or EDGE_WAIT_FAILED when the line is an
    // output or not open, edge is None, the value file cannot be opened or the wait itself fails
    // (a signal interrupting it included, or a readable wakeUp event counter). The edge
    // selection stays in force after the call.
    int waitForEdge(GpioEdge edge, unsigned int timeoutSeconds,
                    const shared::FileDescriptor* wakeUp = nullptr);
    void close();

    // The edge word the kernel expects for edge: "none", "rising", "falling" or "both".
    static const char* edgeWord(GpioEdge edge);

private:
    int readValue();
    void writeValue(int value);

    void closeAttributes();

    std::string exportPath_;
    std::string unexportPath_;
    shared::FileDescriptor exportFile_;
    shared::FileDescriptor unexportFile_;
    std::string numberText_;
    std::string basePath_;
    std::fstream valueFile_;
    std::fstream activeLowFile_;
    std::fstream directionFile_;
    bool isOutput_;
    bool activeLow_;
    bool isOpen_ = false;
};

} // namespace hal
