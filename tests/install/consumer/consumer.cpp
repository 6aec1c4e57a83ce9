// Another program of the instrument, built against the installed libraries only.
#include "ipc/IpcMessage.h"
#include "records/BatteryStatusRecord.h"
#include "system/ServiceNotifier.h"

#include <iostream>

int main() {
    const ipc::IpcMessage request(ipc::IPC_MSG_GET_BATTERY_STATUS, ipc::IPC_ORIGIN_CLIENT_CORE_APP);
    quarn_system::ServiceNotifier notifier;
    std::cout << request.toFrame().toHex().constData() << ' '
              << sizeof(quarn_system::BATTERY_STATUS) << '\n';
}
