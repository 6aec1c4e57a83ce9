#pragma once

#include "foundation/LogRepeatLimiter.h"
#include "ipc/IpcMessage.h"
#include "ipc/IpcMessageIds.h"

#include <QObject>
#include <QPointer>
#include <QSet>

class QTimer;

namespace ipc {
class IpcClient;
}

namespace model {

// The mechanics of a local mirror of a value that another process owns: ask the owner for it
// once the bus is up (and again until an answer comes), follow the owner's change events, and
// announce every change with `updated`. The derived templates hold the value and know how to
// take it out of a message. Main thread only.
//
// The retries keep their period (a precise timer); while the owner stays silent their log lines
// are rate-limited, as every repeated line is.
class ModelBufferBase : public QObject {
    Q_OBJECT

public:
    static constexpr int INIT_REQUEST_DELAY_MS = 500;
    static constexpr int INIT_RETRY_PERIOD_MS = 5000;

    ModelBufferBase();
    ~ModelBufferBase() override;

    ModelBufferBase(const ModelBufferBase&) = delete;
    ModelBufferBase& operator=(const ModelBufferBase&) = delete;

    // Called once, after the client is connected. initRequest IPC_MSG_NONE: wait for events only.
    void initializeIpc(ipc::IPC_MSG initRequest, QSet<ipc::IPC_MSG> responseIds,
                       QSet<ipc::IPC_MSG> eventIds, ipc::IpcClient* client);

    // True once an accepted value has arrived.
    bool isInitialized() const { return initialized; }

    // Test seam: the delay before the first request and the retry period. Takes effect for the
    // next initializeIpc; the defaults are the product's timing.
    void setInitTiming(int requestDelayMs, int retryPeriodMs);

signals:
    void updated(ipc::IPC_MSG updateMessageId);

public slots:
    void subscribeAndPostInitRequest();
    void processIpcEvent(ipc::IpcMessage message);
    void processIpcResponse(ipc::IpcMessage message);
    void processInitResponseTimeout();

protected:
    // Replaces the held value with the message's payload. False when the payload was refused
    // (logged by the implementation); the held value must then be unchanged.
    virtual bool updateFromMessage(const ipc::IpcMessage& message) = 0;

private:
    void processMessage(const ipc::IpcMessage& message, const QSet<ipc::IPC_MSG>& acceptedIds,
                        const char* carrier);
    void sendInitRequest();

    ipc::IPC_MSG initRequest = ipc::IPC_MSG_NONE;
    QSet<ipc::IPC_MSG> responseIds;
    QSet<ipc::IPC_MSG> eventIds;
    // Not owned. Guarded so that a client that goes first leaves a null pointer, not a dangling
    // one.
    QPointer<ipc::IpcClient> client;
    QTimer* initTimer = nullptr;
    bool initialized = false;
    int requestDelayMs = INIT_REQUEST_DELAY_MS;
    int retryPeriodMs = INIT_RETRY_PERIOD_MS;
    shared::LogRepeatLimiter retryLines;
    shared::LogRepeatLimiter sendFailures;
};

} // namespace model
