#pragma once

#include "ipc/ZmqContext.h"
#include "ipc/ZmqSocket.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <ostream>
#include <string>

class QSocketNotifier;

namespace quarn_bus {

// Subscribes to every event of one server (the empty prefix) and prints each frame as it comes,
// "<time> <frame>", one line each, flushed at once.
class EventMonitor : public QObject {
    Q_OBJECT

public:
    // count: frames to wait for, 0 for no limit; timeoutMs: -1 for no limit.
    EventMonitor(std::ostream& out, int count, int timeoutMs);
    ~EventMonitor() override;

    // Throws zmq::error_t for an address ZeroMQ refuses. A server not yet there is no error.
    void start(const std::string& eventsAddress);

    int framesSeen() const { return framesSeen_; }

signals:
    // EXIT_OK after `count` frames, or at the time-out when no count was asked for;
    // EXIT_TIMEOUT at the time-out with fewer frames than asked for.
    void finished(int exitCode);

private slots:
    void readFrames();
    void onTimeout();

private:
    std::ostream& out_;
    const int count_;
    const int timeoutMs_;
    int framesSeen_ = 0;
    bool done_ = false;
    ipc::ZmqContext context_;
    ipc::ZmqSocket subscriber_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
};

} // namespace quarn_bus
