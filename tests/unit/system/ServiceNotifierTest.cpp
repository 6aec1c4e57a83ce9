#include "system/ServiceNotifier.h"

#include "support/EventLoop.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;
using Texts = std::vector<std::string>;

// The test's own datagram socket in the place of systemd's, and what a unit with WatchdogSec=0.2
// hands its service.
TEST(ServiceNotifier, ReadyThenPingsFromTheLoopThatStopWhileItHangsAndALossIsLoggedOnce) {
    testsupport::TempEndpoints endpoints;
    const std::string path = endpoints.path("notify");
    const int socket = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(0, ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address));
    ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    ::setenv("WATCHDOG_USEC", "200000", 1);
    Texts received;
    const auto collect = [&] {
        char buffer[64];
        for (ssize_t length; (length = ::recv(socket, buffer, sizeof buffer, 0)) > 0;) {
            received.emplace_back(buffer, static_cast<size_t>(length));
        }
        return received.size();
    };
    testsupport::LogCapture log;

    quarn_system::ServiceNotifier notifier;
    notifier.notifyReady();
    ASSERT_TRUE(testsupport::pumpUntil([&] { return collect() >= 4; }));
    EXPECT_EQ((Texts{"READY=1", "WATCHDOG=1", "WATCHDOG=1", "WATCHDOG=1"}),
              Texts(received.begin(), received.begin() + 4));
    received.clear();
    std::this_thread::sleep_for(600ms); // three periods of a main loop that hangs
    EXPECT_EQ(0u, collect());
    ASSERT_TRUE(testsupport::pumpUntil([&] { return collect() > 0; }));
    EXPECT_EQ(Texts{"WATCHDOG=1"}, received);

    ::unlink(path.c_str());
    testsupport::pumpFor(450);
    EXPECT_EQ((Texts{"Watchdog of 200 ms, pinged every 100 ms",
                     "Could not send the watchdog ping to the service manager -> ERRNO : 2"}),
              log.messages());
    for (const char* name : {"NOTIFY_SOCKET", "WATCHDOG_USEC"}) {
        ::unsetenv(name);
    }
    ::close(socket);
}
