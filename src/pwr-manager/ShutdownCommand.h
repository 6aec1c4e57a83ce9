#pragma once

#include "foundation/LogRepeatLimiter.h"

#include <QElapsedTimer>
#include <QObject>

#include <sys/types.h>

#include <string>

class QTimer;

namespace power_manager {

// The system's shutdown command, issued once per shutdown. On systemd a shutdown without a time
// means "in a minute" and every new call replaces the schedule, so repeating it at every trigger
// would postpone the power-off for ever.
//
// The command runs through /bin/sh -c as a child that the event loop watches, so the daemon goes
// on (and a signal still ends it) while the command runs. States: Idle, then Running, then
// Succeeded (exit status 0) or Failed. While Running, and for reissueAfterMs after it Succeeded,
// the shutdown is pending: a trigger only costs a (rate-limited) log line. A failed command runs
// again at the next trigger; a succeeded one once the system is still up reissueAfterMs later.
class ShutdownCommand : public QObject {
    Q_OBJECT

public:
    enum State { Idle, Running, Succeeded, Failed };

    static constexpr int REISSUE_AFTER_MS = 90000;
    // How often a running command is looked at; waitpid with WNOHANG never blocks.
    static constexpr int EXIT_POLL_MS = 50;

    explicit ShutdownCommand(std::string commandLine, int reissueAfterMs = REISSUE_AFTER_MS,
                             QObject* parent = nullptr);
    // A command still running is left to itself.
    ~ShutdownCommand() override;

    // True while the shutdown is pending; the trigger is then logged and the caller goes no
    // further.
    bool absorbTrigger();
    // Starts the command; false (and logged) when it cannot be started.
    bool run();

    State state() const { return state_; }
    const std::string& commandLine() const { return commandLine_; }

private slots:
    void checkExit();

private:
    // Failed, with a rate-limited line; the next trigger runs the command again.
    void fail(const std::string& reason);

    std::string commandLine_;
    int reissueAfterMs_;
    State state_ = Idle;
    pid_t child_ = -1;
    QTimer* exitPoll_;
    QElapsedTimer sinceSucceeded_;
    shared::LogRepeatLimiter pendingLines_;
    shared::LogRepeatLimiter failureLines_;
};

} // namespace power_manager
