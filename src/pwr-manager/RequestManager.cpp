#include "RequestManager.h"

#include "BatteryStatus.h"
#include "foundation/Log.h"
#include "ipc/IpcServer.h"

#include <QMutexLocker>

namespace power_manager {

RequestManager::RequestManager() {
    ipc::registerIpcMetaTypes();
    // Direct: a request goes into the bounded queue as the server reads it, not into the event
    // queue, which has no bound. Handling is queued: each request on a later turn of the loop.
    connect(ipc::IpcServer::getInstance().get(), &ipc::IpcServer::requestReceived, this,
            &RequestManager::queueRequestFromIpc, Qt::DirectConnection);
    connect(this, &RequestManager::newRequestInTheQeue, this, &RequestManager::processRequest,
            Qt::QueuedConnection);
}

RequestManager::~RequestManager() {
    try {
        QMutexLocker locker(&queueMutex);
        requestQueue.clear();
        currentRequest_.reset();
    }
    CATCH_ALL_AND_ABORT
}

int RequestManager::queuedRequestCount() const {
    QMutexLocker locker(&queueMutex);
    return requestQueue.size();
}

void RequestManager::queueRequestFromIpc(ipc::IpcMessage message) {
    try {
        // Anything else gets no answer and no log line, so it need not be kept at all.
        if (message.message() != ipc::IPC_MSG_GET_BATTERY_STATUS &&
            message.message() != ipc::IPC_MSG_DO_POWER_DOWN) {
            return;
        }
        QMutexLocker locker(&queueMutex);
        if (requestQueue.size() >= MAX_QUEUED_REQUESTS) {
            LOG_REPEATED(droppedRequests_, ::log4cplus::WARN_LOG_LEVEL, "power_manager_logger",
                         "Request queue full, dropped request "
                             << ipc::ipcMessageName(message.message()) << " from "
                             << ipc::ipcOriginName(message.origin()));
            return;
        }
        requestQueue.append(message);
        if (requestQueue.size() == MAX_QUEUED_REQUESTS) {
            ipc::IpcServer::getInstance()->pauseRequests();
        }
        if (busy == 0) {
            scheduleProcessing();
        }
    }
    CATCH_ALL_AND_ABORT
}

void RequestManager::processRequest() {
    try {
        QMutexLocker locker(&queueMutex);
        // A nested event loop may call in while a request is in hand; try again on a later turn.
        processingScheduled = false;
        if (busy == 1) {
            scheduleProcessing();
            return;
        }
        currentRequest_.reset();
        if (requestQueue.isEmpty()) {
            return;
        }
        currentRequest_ = std::make_unique<ipc::IpcMessage>(requestQueue.takeFirst());
        if (auto server = ipc::IpcServer::getInstance()) {
            server->resumeRequests();
        }
        busy = 1;
        handle(*currentRequest_);
        busy = 0;
        if (!requestQueue.isEmpty()) {
            scheduleProcessing();
        }
    }
    CATCH_ALL_AND_ABORT
}

void RequestManager::scheduleProcessing() {
    // One pending call at a time: a burst of requests must not queue a call per request, or the
    // whole burst would be handled in one go while the battery timer waits behind it.
    if (!processingScheduled) {
        processingScheduled = true;
        emit newRequestInTheQeue();
    }
}

void RequestManager::handle(const ipc::IpcMessage& request) {
    switch (request.message()) {
    case ipc::IPC_MSG_GET_BATTERY_STATUS: {
        // The reading publishes its own battery event before the response leaves.
        const quarn_system::BATTERY_STATUS status =
            BatteryStatus::getInstance()->readBatteryStatus();
        if (auto server = ipc::IpcServer::getInstance()) {
            server->sendResponse(request.origin(), ipc::IPC_MSG_GET_BATTERY_STATUS, status);
        }
        break;
    }
    case ipc::IPC_MSG_DO_POWER_DOWN:
        emit powerDown();
        break;
    default:
        // Requests this daemon does not serve get no answer and no log line.
        break;
    }
}

} // namespace power_manager
