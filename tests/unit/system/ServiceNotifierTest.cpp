#include "system/ServiceNotifier.h"

#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using quarn_system::ServiceNotifier;
using namespace std::chrono_literals;

namespace {

// A datagram socket of the test's own in the place of systemd's, with the variables a unit with
// WatchdogSec=0.2 hands its service.
class ServiceNotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
        socket_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
        ASSERT_EQ(0, ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address));
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
        ::setenv("WATCHDOG_USEC", "200000", 1);
    }
    void TearDown() override {
        for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC", "WATCHDOG_PID"}) {
            ::unsetenv(name);
        }
        ::close(socket_);
    }
    // Adds what has arrived to `received`, without waiting; the count of new datagrams.
    size_t collect() {
        const size_t before = received.size();
        char buffer[256];
        ssize_t length;
        while ((length = ::recv(socket_, buffer, sizeof buffer, 0)) > 0) {
            received.emplace_back(buffer, static_cast<size_t>(length));
        }
        return received.size() - before;
    }

    testsupport::TempEndpoints endpoints;
    const std::string path = endpoints.path("notify");
    int socket_ = -1;
    std::vector<std::string> received;
    testsupport::LogCapture log;
};

TEST_F(ServiceNotifierTest, ReadyThenPingsFromTheEventLoopThatStopWhileItIsBlocked) {
    ServiceNotifier notifier;
    EXPECT_EQ(200000us, notifier.watchdogPeriod());
    testsupport::pumpFor(250);
    EXPECT_EQ(0u, collect()) << "nothing before the service is ready";

    notifier.notifyReady();
    ASSERT_TRUE(testsupport::pumpUntil([&] { return collect(), received.size() >= 4; }));
    EXPECT_EQ((std::vector<std::string>{"READY=1", "WATCHDOG=1", "WATCHDOG=1", "WATCHDOG=1"}),
              std::vector<std::string>(received.begin(), received.begin() + 4));

    collect();
    std::this_thread::sleep_for(600ms); // three periods of a hung main loop
    EXPECT_EQ(0u, collect());
    received.clear();
    ASSERT_TRUE(testsupport::pumpUntil([&] { return collect() > 0; }));
    EXPECT_EQ("WATCHDOG=1", received.front());
    EXPECT_EQ(std::vector<std::string>{"Watchdog of 200 ms, pinged every 100 ms"}, log.messages());
}

TEST_F(ServiceNotifierTest, OnlyReadinessWhenTheWatchdogIsNotThisProcesssOrNotAskedFor) {
    const std::pair<const char*, const char*> cases[] = {{"WATCHDOG_PID", "1"},
                                                         {"WATCHDOG_USEC", ""}};
    for (const auto& [variable, value] : cases) {
        ::setenv(variable, value, 1);
        ServiceNotifier notifier;
        EXPECT_EQ(0us, notifier.watchdogPeriod()) << variable;
        notifier.notifyReady();
        testsupport::pumpFor(450);
        collect();
        EXPECT_EQ(std::vector<std::string>{"READY=1"}, received) << variable;
        received.clear();
        ::unsetenv("WATCHDOG_PID");
        ::setenv("WATCHDOG_USEC", "200000", 1);
    }
}

TEST_F(ServiceNotifierTest, ALostSocketIsLoggedOnceAndNothingHappensOutsideSystemd) {
    ServiceNotifier notifier;
    notifier.notifyReady();
    ::unlink(path.c_str());
    const std::string lost = "Could not send the watchdog ping to the service manager -> ERRNO : 2";
    ASSERT_TRUE(testsupport::pumpUntil([&] { return log.count(lost) == 1; }));
    testsupport::pumpFor(450);
    EXPECT_EQ(1u, log.count(lost));

    ::unsetenv("NOTIFY_SOCKET");
    log.clear();
    ServiceNotifier outside;
    outside.notifyReady();
    testsupport::pumpFor(250);
    EXPECT_TRUE(log.messages().empty());
}

} // namespace
