#include "ShutdownCommand.h"

#include "foundation/Log.h"

#include <QTimer>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <string>
#include <utility>

extern char** environ;

namespace power_manager {

namespace {

const char* const SHELL = "/bin/sh";

// posix_spawn's attributes, released on every path.
class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&attributes_);
        // The child starts with no signal blocked and every signal at its default, whatever
        // this process blocks or ignores.
        sigset_t mask;
        sigemptyset(&mask);
        posix_spawnattr_setsigmask(&attributes_, &mask);
        sigfillset(&mask);
        posix_spawnattr_setsigdefault(&attributes_, &mask);
        posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    const posix_spawnattr_t* get() const { return &attributes_; }

private:
    posix_spawnattr_t attributes_;
};

} // namespace

ShutdownCommand::ShutdownCommand(std::string commandLine, int reissueAfterMs, QObject* parent)
    : QObject(parent)
    , commandLine_(std::move(commandLine))
    , reissueAfterMs_(reissueAfterMs)
    , exitPoll_(new QTimer(this)) {
    exitPoll_->setInterval(EXIT_POLL_MS);
    connect(exitPoll_, &QTimer::timeout, this, &ShutdownCommand::checkExit);
}

ShutdownCommand::~ShutdownCommand() = default;

bool ShutdownCommand::absorbTrigger() {
    const bool pending =
        state_ == Running || (state_ == Succeeded && sinceSucceeded_.elapsed() < reissueAfterMs_);
    if (pending) {
        LOG_REPEATED(pendingLines_, ::log4cplus::INFO_LOG_LEVEL, "power_manager_logger",
                     "Shutdown already requested, waiting for the system to go down");
        return true;
    }
    pendingLines_.reset();
    if (state_ == Succeeded) {
        LOG_WARN("power_manager_logger", "The system is still up "
                                             << reissueAfterMs_ / 1000
                                             << " s after the shutdown command, issuing it again");
    }
    return false;
}

bool ShutdownCommand::run() {
    std::string line = commandLine_;
    char shell[] = "sh";
    char option[] = "-c";
    char* const arguments[] = {shell, option, line.data(), nullptr};
    const SpawnAttributes attributes;
    pid_t child = -1;
    // posix_spawn reports its error number itself; errno is not involved.
    const int error = ::posix_spawn(&child, SHELL, nullptr, attributes.get(), arguments, environ);
    if (error != 0) {
        fail("cannot be started -> ERRNO : " + std::to_string(error));
        return false;
    }
    child_ = child;
    state_ = Running;
    exitPoll_->start();
    return true;
}

void ShutdownCommand::checkExit() {
    try {
        int status = 0;
        pid_t ended;
        do {
            ended = ::waitpid(child_, &status, WNOHANG);
        } while (ended < 0 && errno == EINTR);
        const int error = errno;
        if (ended == 0) {
            return;
        }
        exitPoll_->stop();
        child_ = -1;
        if (ended > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
            state_ = Succeeded;
            sinceSucceeded_.start();
            failureLines_.reset();
            return;
        }
        if (ended < 0) {
            fail("cannot be waited for -> ERRNO : " + std::to_string(error));
        } else if (WIFEXITED(status)) {
            fail("failed with exit status " + std::to_string(WEXITSTATUS(status)));
        } else {
            fail("ended by signal " + std::to_string(WTERMSIG(status)));
        }
    }
    CATCH_ALL_AND_ABORT
}

void ShutdownCommand::fail(const std::string& reason) {
    state_ = Failed;
    LOG_REPEATED(failureLines_, ::log4cplus::ERROR_LOG_LEVEL, "power_manager_logger",
                 "Shutdown command \"" << commandLine_ << "\" " << reason);
}

} // namespace power_manager
