// The daemon's application object is a QCoreApplication, so each test makes its own; this main
// makes none and only keeps logging away from the product's log directory.

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
