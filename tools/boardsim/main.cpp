// boardsim: the simulated board, a FUSE file system standing in for /sys/class.
#include "boardsim/BoardFilesystem.h"
#include "boardsim/BoardState.h"
#include "boardsim/ControlServer.h"

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <pthread.h>
#include <string>
#include <thread>

namespace {

const std::chrono::milliseconds TICK(20);

void usage() {
    std::fprintf(stderr,
                 "usage: boardsim [--control SOCKET] [--debug] MOUNTPOINT\n"
                 "Serves the simulated board (power_supply, gpio, pwm) on MOUNTPOINT, normally\n"
                 "/sys/class inside a private mount namespace, until SIGTERM or SIGINT. The\n"
                 "buzzer device is MOUNTPOINT/.dev/mldalm, to be bound over /dev/mldalm.\n"
                 "Drive it with boardsim-ctl over SOCKET.\n");
}

} // namespace

int main(int argc, char** argv) {
    std::string socketPath;
    std::string mountPoint;
    bool debug = false;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "--control" && index + 1 < argc) {
            socketPath = argv[++index];
        } else if (argument == "--debug") {
            debug = true;
        } else if (argument == "-h" || argument == "--help") {
            usage();
            return 0;
        } else if (mountPoint.empty() && !argument.empty() && argument[0] != '-') {
            mountPoint = argument;
        } else {
            usage();
            return 2;
        }
    }
    if (mountPoint.empty()) {
        usage();
        return 2;
    }

    // The helper threads must not take the signals that end the FUSE loop on the main thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    sigaddset(&stopSignals, SIGPIPE);

    boardsim::BoardState board(mountPoint);
    boardsim::BoardFilesystem filesystem(board);
    boardsim::ControlServer server(
        socketPath, [&filesystem](const std::string& line) { return filesystem.control(line); });
    std::mutex tickMutex;
    std::condition_variable tickWake;
    bool tickStop = false;
    std::thread ticker;
    bool serverStarted = false;

    const auto started = [&] {
        pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
        ticker = std::thread([&] {
            std::unique_lock<std::mutex> lock(tickMutex);
            while (!tickWake.wait_for(lock, TICK, [&] { return tickStop; })) {
                lock.unlock();
                filesystem.tick();
                lock.lock();
            }
        });
        if (!socketPath.empty()) {
            std::string error;
            serverStarted = server.start(error);
            if (!serverStarted)
                std::fprintf(stderr, "boardsim: control socket %s: %s\n", socketPath.c_str(),
                             error.c_str());
        }
        pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
        std::fprintf(stderr, "boardsim: serving %s%s%s\n", mountPoint.c_str(),
                     serverStarted ? ", control socket " : "",
                     serverStarted ? socketPath.c_str() : "");
    };
    const auto stopping = [&] {
        server.stop();
        {
            std::lock_guard<std::mutex> lock(tickMutex);
            tickStop = true;
        }
        tickWake.notify_all();
        if (ticker.joinable())
            ticker.join();
    };
    return filesystem.run(mountPoint, debug, started, stopping);
}
