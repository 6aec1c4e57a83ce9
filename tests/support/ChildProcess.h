#pragma once

// A child program started with posix_spawn, its standard output and error collected together.
// QProcess cannot serve tests that also run under qemu-user: the emulator refuses the clone()
// flags it uses, while posix_spawn works there as natively.

#include <csignal>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace testsupport {

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& arguments) {
        int pipeEnds[2];
        if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
            startError_ = errno;
            return;
        }
        outputFd_ = pipeEnds[0];
        ::fcntl(outputFd_, F_SETFL, O_NONBLOCK);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        startError_ = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(pipeEnds[1]);
        if (startError_ != 0) {
            pid_ = -1;
        }
    }
    ~ChildProcess() {
        if (pid_ > 0 && !finished()) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (outputFd_ >= 0) {
            ::close(outputFd_);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // 0, or the error number that kept the program from starting.
    int startError() const { return startError_; }

    // Collects the output that is there without waiting; true once the child has ended.
    bool finished() {
        if (pid_ <= 0) {
            return true;
        }
        if (!exited_ && ::waitpid(pid_, &status_, WNOHANG) == pid_) {
            exited_ = true;
        }
        char buffer[4096];
        ssize_t count;
        while ((count = ::read(outputFd_, buffer, sizeof buffer)) > 0) {
            output_.append(buffer, static_cast<size_t>(count));
        }
        return exited_;
    }
    // The exit code of a child that ended normally, -1 otherwise.
    int exitCode() const { return exited_ && WIFEXITED(status_) ? WEXITSTATUS(status_) : -1; }
    const std::string& output() const { return output_; }

private:
    pid_t pid_ = -1;
    int outputFd_ = -1;
    int startError_ = 0;
    int status_ = 0;
    bool exited_ = false;
    std::string output_;
};

} // namespace testsupport
