#pragma once

#include "foundation/InitSingletonT.h"
#include "ipc/IpcClient.h"

namespace ipc {

// The process-wide client. Its synchronous wait runs the event loop, which is how the response
// notifier gets to read the awaited response on the main thread.
class IpcClientSingleton : public IpcClient, public shared::InitSingletonT<IpcClientSingleton> {
    Q_OBJECT

public:
    typedef shared::InitSingletonT<IpcClientSingleton> BASE_InitSingleton_OF_IpcClientSingleton;

    IpcClientSingleton();
    ~IpcClientSingleton() override;
};

} // namespace ipc
