// The main of every unit test executable: a QCoreApplication for event loops and socket
// notifiers, and logging kept away from the product's log directory.

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // An appender name the set-up does not know attaches nothing, so no test writes a log file
    // under the product's log directory; tests that look at log lines attach a LogCapture.
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    QCoreApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
