#include "ipc/IpcClientSingleton.h"

namespace ipc {

IpcClientSingleton::IpcClientSingleton()
    : IpcClient(true) {}

IpcClientSingleton::~IpcClientSingleton() = default;

} // namespace ipc
