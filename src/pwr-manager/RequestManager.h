#pragma once

#include "foundation/InitSingletonT.h"
#include "ipc/IpcMessage.h"

#include <QList>
#include <QObject>
#include <QRecursiveMutex>

#include <memory>

namespace power_manager {

// Serves the requests other processes send to this daemon, one per turn of the event loop, in
// arrival order.
class RequestManager : public QObject, public shared::InitSingletonT<RequestManager> {
    Q_OBJECT

public:
    // The IPC server must already exist: the constructor connects to it.
    RequestManager();
    ~RequestManager() override;

    void init() {}

    // The request handled last; it stays until the next processRequest.
    const ipc::IpcMessage* currentRequest() const { return currentRequest_.get(); }
    int queuedRequestCount() const;

signals:
    void newRequestInTheQeue();
    void powerDown();

public slots:
    void queueRequestFromIpc(ipc::IpcMessage message);
    void processRequest();

private:
    void handle(const ipc::IpcMessage& request);
    void scheduleProcessing();

    int busy = 0;
    bool processingScheduled = false;
    mutable QRecursiveMutex queueMutex;
    std::unique_ptr<ipc::IpcMessage> currentRequest_;
    QList<ipc::IpcMessage> requestQueue;
};

} // namespace power_manager
