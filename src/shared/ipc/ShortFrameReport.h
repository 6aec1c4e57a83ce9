#pragma once

#include <QElapsedTimer>

#include <cstddef>
#include <string>

namespace ipc {

// Reports frames too short to hold the 8-byte header without letting a flood of them flood the
// log: a drop is logged at once when none was logged in the last second; later ones are
// counted, and the count goes out with the next line.
class ShortFrameReport {
public:
    // kind: "a request", "an event", "a response".
    ShortFrameReport(const char* loggerName, const char* kind);

    void dropped(std::size_t size);

private:
    static constexpr qint64 QUIET_PERIOD_MS = 1000;

    std::string loggerName_;
    std::string kind_;
    QElapsedTimer sinceLastLine_;
    std::size_t unreported_ = 0;
};

} // namespace ipc
