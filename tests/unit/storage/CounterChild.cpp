// Increments a shared counter a given number of times, so that a test can run two processes
// against one counter file: counter_child FILE SEMAPHORE-KEY COUNT. Exits 0 when every increment
// succeeded.

#include "storage/Counter.h"

#include <QString>

#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        return 2;
    }
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    storage::Counter counter(QString::fromLocal8Bit(argv[1]), QString::fromLocal8Bit(argv[2]));
    int value = 0;
    for (int i = std::atoi(argv[3]); i > 0; --i) {
        if (!counter.increment(value)) {
            return 1;
        }
    }
    return 0;
}
