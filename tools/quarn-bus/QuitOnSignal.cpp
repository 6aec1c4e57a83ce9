#include "quarn-bus/QuitOnSignal.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>

namespace quarn_bus {

namespace {

volatile std::sig_atomic_t signalPipe = -1;

extern "C" void writeSignalToPipe(int signalNumber) {
    PosixFile::writeByteFromSignalHandler(signalPipe, static_cast<unsigned char>(signalNumber));
}

const int QUIT_SIGNALS[] = {SIGINT, SIGTERM};

} // namespace

QuitOnSignal::QuitOnSignal() = default;

QuitOnSignal::~QuitOnSignal() {
    if (installed_) {
        for (const int signalNumber : QUIT_SIGNALS) {
            struct sigaction action;
            std::memset(&action, 0, sizeof action);
            action.sa_handler = SIG_DFL;
            sigemptyset(&action.sa_mask);
            sigaction(signalNumber, &action, nullptr);
        }
        signalPipe = -1;
    }
}

bool QuitOnSignal::install(std::string& error) {
    if (!PosixFile::makePipe(readEnd_, writeEnd_, error)) {
        return false;
    }
    signalPipe = writeEnd_.descriptor();
    notifier_ = std::make_unique<QSocketNotifier>(readEnd_.descriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &QuitOnSignal::onReadable);
    installed_ = true;
    for (const int signalNumber : QUIT_SIGNALS) {
        struct sigaction action;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = writeSignalToPipe;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        if (sigaction(signalNumber, &action, nullptr) != 0) {
            error = std::string("cannot install a signal handler: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

void QuitOnSignal::onReadable() {
    unsigned char signalNumber = 0;
    while (readEnd_.read(reinterpret_cast<char*>(&signalNumber), 1) == 1) {
        emit signalled(signalNumber);
    }
}

} // namespace quarn_bus
