#include "BuildInfo.h"
#include "PowerManagerApp.h"
#include "foundation/Log.h"
#include "system/SystemFileHandler.h"
#include "system/UnixSignalHandler.h"
#include "system/VersionInfo.h"

int main(int argc, char** argv) {
    quarn_system::UnixSignalHandler::installSignalHandlers();
    quarn_system::SystemFileHandler::useUtf8FileNames();
    quarn_system::VersionInfo::createVersionFile(
        quarn_system::VersionInfo::BASE_NAME_PWR_MANAGER, "Power Manager", "NABRIX_1.2",
        __DATE__ " " __TIME__, power_manager::SOURCE_REVISION);

    int result;
    {
        power_manager::PowerManagerApp application(argc, argv);
        application.initialize();
        application.start();
        result = power_manager::PowerManagerApp::exec();
        LOG_INFO("exit_logger", "Exiting application normally.");
    }
    return result;
}
