#include "ZmqFaultInjection.h"

#include <zmq.h>

#include <dlfcn.h>

#include <atomic>
#include <cerrno>

namespace {

std::atomic<int> passesLeft{-1};
std::atomic<int> injectedError{0};

} // namespace

void ipctest::failAReceive(int pass, int errorNumber) {
    injectedError = errorNumber;
    passesLeft = pass;
}

// Defined in the executable, this takes the place of libzmq's own for every caller in it.
extern "C" int zmq_msg_recv(zmq_msg_t* message, void* socket, int flags) {
    using Receive = int (*)(zmq_msg_t*, void*, int);
    static const auto real = reinterpret_cast<Receive>(dlsym(RTLD_NEXT, "zmq_msg_recv"));
    int left = passesLeft.load();
    while (left >= 0 && !passesLeft.compare_exchange_weak(left, left - 1)) {
    }
    if (left == 0) {
        errno = injectedError.load();
        return -1;
    }
    return real(message, socket, flags);
}
