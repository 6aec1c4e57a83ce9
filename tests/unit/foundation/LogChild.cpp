// A process that logs one scenario and ends, so the tests can look at what the one-time logging
// set-up and the exit path leave behind. Facts the test cannot know in advance (line numbers,
// the process's and thread's identity) are reported on standard error.

#include "foundation/Log.h"

#include <QString>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

void logOne() {
    std::fprintf(stderr, "PID=%d THREAD=%lu\n", static_cast<int>(::getpid()),
                 static_cast<unsigned long>(pthread_self()));
    // The statement spans two lines; which of them a compiler reports for it is its own choice.
    const int first = __LINE__ + 1;
    LOG_INFO("child_logger",
             "hello " << QString::fromUtf8("Gr\xc3\xbc\xc3\x9f") << " " << 1.5 << " " << 42);
    std::fprintf(stderr, "FIRST_LINE=%d\nLAST_LINE=%d\n", first, __LINE__ - 1);
}

void logLevels() {
    // The first statement starts the clock and the set-up even though its level is disabled.
    LOG_INFO("plain_logger", "info hidden");
    ::usleep(100000);
    LOG_WARN("plain_logger", "warn shown");
    LOG_DEBUG("ipc_client_logger", "debug shown");
    LOG_TRACE("ipc_client_logger", "trace hidden");
    LOG_TRACE("model_buffer_logger", "trace shown");
    LOG_INFO("other_logger", "info hidden too");
    // Skips every flush of the normal exit path: only what was written already is there.
    ::_exit(0);
}

// Each thread waits for all to exist, so their first statements meet.
void logFromThreads(int count, int threadCount) {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; ++t) {
        threads.emplace_back([count, &go] {
            while (!go) {
                std::this_thread::yield();
            }
            for (int i = 0; i < count; ++i) {
                LOG_INFO("exit_logger", "many " << i);
            }
        });
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
}

} // namespace

int main(int argc, char** argv) {
    const std::string scenario = argc > 1 ? argv[1] : "one";
    if (scenario == "levels") {
        logLevels();
    } else if (scenario == "many") {
        logFromThreads(argc > 2 ? std::atoi(argv[2]) : 1, argc > 3 ? std::atoi(argv[3]) : 1);
    } else if (scenario == "catch-all") {
        try {
            throw std::runtime_error("unexpected");
        }
        CATCH_ALL_AND_ABORT
    } else {
        logOne();
    }
    return 0;
}
