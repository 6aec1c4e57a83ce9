#pragma once

#include "foundation/InitSingletonT.h"
#include "foundation/LogRepeatLimiter.h"
#include "ipc/IpcMessage.h"

#include <QList>
#include <QObject>
#include <QRecursiveMutex>

#include <memory>

namespace power_manager {

// Serves the requests other processes send to this daemon, one per turn of the event loop, in
// arrival order. At most MAX_QUEUED_REQUESTS wait; while the queue is full the IPC server reads
// no more, so a flooding client is held back by ZeroMQ instead of filling this process's memory.
// The bound is also what a well-behaved client may find ahead of its request, read fairly beside
// the flood's: 16 readings of the gauge. Requests this daemon does not serve are forgotten as
// they arrive.
class RequestManager : public QObject, public shared::InitSingletonT<RequestManager> {
    Q_OBJECT

public:
    static constexpr int MAX_QUEUED_REQUESTS = 16;

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
    shared::LogRepeatLimiter droppedRequests_;
};

} // namespace power_manager
