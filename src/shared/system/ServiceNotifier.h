#pragma once

#include <QObject>

#include <chrono>

class QTimer;

namespace quarn_system {

// Keeps systemd informed about a service started with Type=notify: READY=1 once the service
// serves, then WATCHDOG=1 from the event loop of the thread that owns this object, every half of
// the period the unit asks for (WatchdogSec=, handed over as WATCHDOG_USEC). A loop that hangs
// stops the pings and systemd restarts the service. Outside systemd (no NOTIFY_SOCKET) nothing is
// sent and no timer runs.
class ServiceNotifier : public QObject {
    Q_OBJECT

public:
    explicit ServiceNotifier(QObject* parent = nullptr);

    // Sends READY=1 and starts the pings when the service manager wants them for this process.
    void notifyReady();

private slots:
    void pingWatchdog();

private:
    // Logs a failure to reach the service manager once per run of failures.
    void report(int result, const char* what);

    QTimer* pingTimer_;
    std::chrono::microseconds watchdogPeriod_{0};
    bool failing_ = false;
};

} // namespace quarn_system
