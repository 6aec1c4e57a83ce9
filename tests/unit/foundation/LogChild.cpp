// A process that logs one scenario and ends, so the tests can look at what the one-time logging
// set-up and the exit path leave behind. Facts the test cannot know in advance (line numbers,
// the thread's identity) are reported on standard error.

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

void reportThread() {
    std::fprintf(stderr, "THREAD=%lu\n", static_cast<unsigned long>(pthread_self()));
}

int logOne() {
    reportThread();
    const int line = __LINE__ + 1;
    LOG_INFO("child_logger", "hello " << 42);
    std::fprintf(stderr, "LINE=%d\n", line);
    return 0;
}

int logLevels() {
    LOG_INFO("plain_logger", "info hidden");
    LOG_WARN("plain_logger", "warn shown");
    LOG_DEBUG("ipc_client_logger", "debug shown");
    LOG_TRACE("ipc_client_logger", "trace hidden");
    LOG_TRACE("model_buffer_logger", "trace shown");
    LOG_INFO("other_logger", "info hidden too");
    return 0;
}

int logBeforeExit() {
    for (int i = 1; i <= 3; ++i) {
        LOG_INFO("exit_logger", "exit line " << i);
    }
    return 0;
}

int logAfterDisabledFirst() {
    LOG_DEBUG("child_logger", "below the root level");
    ::usleep(100000);
    LOG_INFO("child_logger", "after pause");
    return 0;
}

int logFromThreads() {
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([i, &go] {
            while (!go) {
                std::this_thread::yield();
            }
            LOG_INFO("child_logger", "thread " << i);
        });
    }
    go = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    return 0;
}

int logMany(int count) {
    for (int i = 0; i < count; ++i) {
        LOG_INFO("child_logger", "many " << i);
    }
    return 0;
}

int logText() {
    LOG_INFO("child_logger", QString::fromUtf8("Gr\xc3\xbc\xc3\x9f"
                                               "e")
                                 << " " << 1.5 << " " << 7);
    return 0;
}

int abortInCatchAll() {
    reportThread();
    try {
        throw std::runtime_error("unexpected");
    }
    CATCH_ALL_AND_ABORT
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const std::string scenario = argc > 1 ? argv[1] : "";
    if (scenario == "one") {
        return logOne();
    }
    if (scenario == "levels") {
        return logLevels();
    }
    if (scenario == "exit") {
        return logBeforeExit();
    }
    if (scenario == "disabled-first") {
        return logAfterDisabledFirst();
    }
    if (scenario == "threads") {
        return logFromThreads();
    }
    if (scenario == "many") {
        return logMany(argc > 2 ? std::atoi(argv[2]) : 1000);
    }
    if (scenario == "text") {
        return logText();
    }
    if (scenario == "catch-all") {
        return abortInCatchAll();
    }
    std::fprintf(stderr, "unknown scenario %s\n", scenario.c_str());
    return 2;
}
