#include "BuildInfo.h"
#include "PowerManagerApp.h"
#include "PowerManagerSettings.h"
#include "foundation/Log.h"
#include "system/InstanceLock.h"
#include "system/ServiceNotifier.h"
#include "system/SystemFileHandler.h"
#include "system/UnixSignalHandler.h"
#include "system/VersionInfo.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const APPLICATION_NAME = "Power Manager";
const char* const VERSION = "NABRIX_1.2";
const char* const BUILD_DATE = __DATE__ " " __TIME__;
constexpr int EXIT_ALREADY_RUNNING = 2;

const char* const USAGE =
    "usage: pwr-manager [THRESHOLD]\n"
    "The power manager daemon of the instrument: battery monitoring and low-battery shutdown,\n"
    "power button, power LED, battery and power-down requests on the bus. It runs until SIGINT,\n"
    "SIGTERM or SIGABRT ends it (exit code 1).\n"
    "  THRESHOLD    auto-shutdown battery level in percent, 1 to 99 (default 10)\n"
    "  -h, --help   show this text and exit\n"
    "  --version    show the version record's lines and exit\n";

// --help and --version are answered before anything is locked, bound or written. True when one
// of them was given.
bool answeredInformationRequest(int argc, char** argv) {
    for (int index = 1; index < argc; ++index) {
        if (std::strcmp(argv[index], "--help") == 0 || std::strcmp(argv[index], "-h") == 0) {
            std::fputs(USAGE, stdout);
            return true;
        }
        if (std::strcmp(argv[index], "--version") == 0) {
            std::printf("%s\n%s\n%s\n%s\n", APPLICATION_NAME, VERSION, BUILD_DATE,
                        power_manager::SOURCE_REVISION);
            return true;
        }
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    if (answeredInformationRequest(argc, argv)) {
        return 0;
    }
    quarn_system::UnixSignalHandler::installSignalHandlers();

    quarn_system::InstanceLock instanceLock(
        power_manager::PowerManagerSettings::product().instanceLockPath);
    switch (instanceLock.acquire()) {
    case quarn_system::InstanceLock::Acquired:
        break;
    case quarn_system::InstanceLock::HeldElsewhere:
        LOG_ERROR("power_manager_logger", "Another pwr-manager is running (it holds \""
                                              << instanceLock.path()
                                              << "\"); this one exits without touching the bus");
        return EXIT_ALREADY_RUNNING;
    case quarn_system::InstanceLock::Unavailable:
        // Better a daemon without the guard than an instrument without its power manager.
        LOG_ERROR("power_manager_logger", "Lock file \"" << instanceLock.path()
                                                         << "\" cannot be locked, running without "
                                                            "the single-instance guard -> ERRNO : "
                                                         << instanceLock.errorNumber());
        break;
    }

    quarn_system::SystemFileHandler::useUtf8FileNames();
    quarn_system::VersionInfo::createVersionFile(quarn_system::VersionInfo::BASE_NAME_PWR_MANAGER,
                                                 APPLICATION_NAME, VERSION, BUILD_DATE,
                                                 power_manager::SOURCE_REVISION);

    int result;
    {
        power_manager::PowerManagerApp application(argc, argv);
        application.initialize();
        application.start();
        // The endpoints are bound and the first battery check is scheduled: the service is
        // ready, and its watchdog is fed from this event loop from now on.
        quarn_system::ServiceNotifier serviceNotifier;
        serviceNotifier.notifyReady();
        result = power_manager::PowerManagerApp::exec();
        LOG_INFO("exit_logger", "Exiting application normally.");
    }
    return result;
}
