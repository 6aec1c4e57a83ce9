#include "model/ModelBufferBase.h"

#include "foundation/Log.h"
#include "ipc/IpcClient.h"

#include <QTimer>

namespace model {

namespace {
const char* const LOGGER = "model_buffer_logger";
}

ModelBufferBase::ModelBufferBase()
    : initTimer(new QTimer(this)) {
    // Precise and left running between retries: a coarse timer may fire 5 % of its period off,
    // and a restart at every time-out would shift each later retry by the time it took.
    initTimer->setTimerType(Qt::PreciseTimer);
    connect(initTimer, &QTimer::timeout, this, &ModelBufferBase::processInitResponseTimeout);
}

ModelBufferBase::~ModelBufferBase() = default;

void ModelBufferBase::setInitTiming(int requestDelay, int retryPeriod) {
    requestDelayMs = requestDelay;
    retryPeriodMs = retryPeriod;
}

void ModelBufferBase::initializeIpc(ipc::IPC_MSG request, QSet<ipc::IPC_MSG> responses,
                                    QSet<ipc::IPC_MSG> events, ipc::IpcClient* ipcClient) {
    if (ipcClient == nullptr) {
        LOG_ERROR(LOGGER, "Attempt to initialize with NULL IPC client.");
        return;
    }
    if (!client.isNull()) {
        // A second call replaces the first; two connections would deliver every message twice.
        disconnect(client, nullptr, this, nullptr);
    }
    initRequest = request;
    responseIds = std::move(responses);
    eventIds = std::move(events);
    client = ipcClient;

    // Queued, so that the value changes only between other event handlers: its users read it
    // without a lock and never see it change under their feet while the client's slot runs.
    connect(ipcClient, &ipc::IpcClient::responseReceived, this,
            &ModelBufferBase::processIpcResponse, Qt::QueuedConnection);
    connect(ipcClient, &ipc::IpcClient::eventPublished, this, &ModelBufferBase::processIpcEvent,
            Qt::QueuedConnection);

    // The owner may still be starting; give the connections a moment before the first request.
    QTimer::singleShot(requestDelayMs, Qt::PreciseTimer, this,
                       &ModelBufferBase::subscribeAndPostInitRequest);
}

void ModelBufferBase::subscribeAndPostInitRequest() {
    try {
        if (client.isNull()) {
            return;
        }
        for (const ipc::IPC_MSG eventId : eventIds) {
            client->subscribe(eventId);
        }
        if (initRequest != ipc::IPC_MSG_NONE) {
            LOG_INFO(LOGGER,
                     "Sending buffer initialization request " << ipc::ipcMessageName(initRequest));
            sendInitRequest();
            initTimer->start(retryPeriodMs);
        }
    }
    CATCH_ALL_AND_ABORT
}

void ModelBufferBase::processIpcEvent(ipc::IpcMessage message) {
    try {
        processMessage(message, eventIds, "event");
    }
    CATCH_ALL_AND_ABORT
}

void ModelBufferBase::processIpcResponse(ipc::IpcMessage message) {
    try {
        processMessage(message, responseIds, "response");
    }
    CATCH_ALL_AND_ABORT
}

void ModelBufferBase::processInitResponseTimeout() {
    try {
        if (initialized || initRequest == ipc::IPC_MSG_NONE) {
            initTimer->stop();
            return;
        }
        LOG_REPEATED(retryLines, ::log4cplus::WARN_LOG_LEVEL, LOGGER,
                     "Buffer not yet initialized, retrying initialization request "
                         << ipc::ipcMessageName(initRequest));
        if (!client.isNull()) {
            sendInitRequest();
        }
        if (!initTimer->isActive()) {
            initTimer->start(retryPeriodMs);
        }
    }
    CATCH_ALL_AND_ABORT
}

void ModelBufferBase::sendInitRequest() {
    if (client->sendRequest(initRequest)) {
        sendFailures.reset();
    } else {
        LOG_REPEATED(sendFailures, ::log4cplus::ERROR_LOG_LEVEL, LOGGER,
                     "Could not sent buffer initialization request "
                         << ipc::ipcMessageName(initRequest));
    }
}

void ModelBufferBase::processMessage(const ipc::IpcMessage& message,
                                     const QSet<ipc::IPC_MSG>& acceptedIds, const char* carrier) {
    const ipc::IPC_MSG id = message.message();
    if (!acceptedIds.contains(id)) {
        return;
    }
    // A refused payload changes nothing: the retry timer keeps running, so a sound value is
    // still asked for, and nobody is told about a change that did not happen.
    if (!updateFromMessage(message)) {
        return;
    }
    initTimer->stop();
    if (!initialized) {
        initialized = true;
        LOG_INFO(LOGGER, "Buffered data initialized by " << carrier << " "
                                                         << ipc::ipcMessageName(id) << ".");
    }
    emit updated(id);
}

} // namespace model
