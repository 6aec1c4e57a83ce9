#include "ipc/IpcClient.h"

#include "foundation/Log.h"
#include "ipc/ZmqFrame.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutexLocker>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <zmq.hpp>

#include <algorithm>

namespace ipc {

namespace {

constexpr int WAIT_STEP_MS = 50;

} // namespace

IpcClient::IpcClient(bool processQtEventsWhileWaiting)
    : processQtEventsWhileWaiting_(processQtEventsWhileWaiting)
    , origin_(static_cast<IPC_ORIGIN>(0))
    , context_(NUM_ZEROMQ_IO_THREADS)
    , eventReceiver_(context_, ZMQ_SUB)
    , requestSender_(context_, ZMQ_PUSH)
    , responseReceiver_(context_, ZMQ_PULL)
    , syncState_(Idle)
    , awaitedMessage_(IPC_MSG_NONE)
    , responseMessage_(IPC_MSG_NONE)
    , responsesHeld_(false) {
    registerIpcMetaTypes();
    for (ZmqSocket* socket : {&eventReceiver_, &requestSender_, &responseReceiver_}) {
        socket->setMaxReconnectInterval(MAX_RECONNECT_INTERVAL_MS);
    }
}

IpcClient::~IpcClient() {
    try {
        close();
    }
    CATCH_ALL_AND_ABORT
    try {
        eventNotifier_.reset();
    }
    CATCH_ALL_AND_ABORT
    try {
        responseNotifier_.reset();
    }
    CATCH_ALL_AND_ABORT
}

void IpcClient::connectTo(IPC_ORIGIN origin, const char* requestsAddress,
                          const char* responsesAddress, const char* eventsAddress) {
    origin_ = origin;
    responseReceiver_.connect(responsesAddress);
    if (!responseNotifier_) {
        responseNotifier_ = std::make_unique<QSocketNotifier>(responseReceiver_.fileDescriptor(),
                                                              QSocketNotifier::Read);
        connect(responseNotifier_.get(), &QSocketNotifier::activated, this,
                &IpcClient::onResponseSocketActivity);
    }
    eventReceiver_.connect(eventsAddress);
    requestSender_.connect(requestsAddress);
    if (!eventNotifier_) {
        eventNotifier_ = std::make_unique<QSocketNotifier>(eventReceiver_.fileDescriptor(),
                                                           QSocketNotifier::Read);
        connect(eventNotifier_.get(), &QSocketNotifier::activated, this,
                &IpcClient::onEventSocketActivity);
    }
    // Frames queued before the notifiers existed have had their edge already.
    QMetaObject::invokeMethod(this, &IpcClient::onResponseSocketActivity, Qt::QueuedConnection);
    QMetaObject::invokeMethod(this, &IpcClient::onEventSocketActivity, Qt::QueuedConnection);
}

void IpcClient::subscribe(IPC_MSG message) {
    // Events are filtered by prefix, and the identifier is the first word of every frame.
    char prefix[4];
    qToLittleEndian<qint32>(message, prefix);
    eventReceiver_.subscribe(prefix, sizeof prefix);
    // ZeroMQ may take in pending state changes of the socket here, and with them the edge of
    // frames already there; read once more so none is left behind.
    QMetaObject::invokeMethod(this, &IpcClient::onEventSocketActivity, Qt::QueuedConnection);
}

bool IpcClient::sendRequestAsZmqMessage(const IpcMessage& message) {
    {
        QMutexLocker locker(&mutex_);
        syncState_ = Idle;
        responseData_.clear();
        resumeHeldResponses();
    }
    if (!requestSender_.isOpen()) {
        LOG_ERROR("ipc_client_logger", "Request socket is closed, request "
                                           << ipcMessageName(message.message()) << " not sent");
        return false;
    }
    const std::unique_ptr<ZmqFrame> frame = message.toZmqMessage();
    return requestSender_.send(*frame);
}

bool IpcClient::sendRequest(IPC_MSG message) {
    return sendRequestAsZmqMessage(IpcMessage(message, origin_));
}

void IpcClient::processEventsUntilResponseOrTimeout(int timeoutMs) {
    mutex_.lock();
    bool holding = true;
    const int timeout = std::max(timeoutMs, MIN_SYNCHRONOUS_TIMEOUT_MS);
    QElapsedTimer clock;
    clock.start();
    // With nothing else happening, this tick ends each turn of the event loop after 50 ms.
    std::unique_ptr<QTimer> tick;
    if (processQtEventsWhileWaiting_) {
        tick = std::make_unique<QTimer>();
        tick->start(WAIT_STEP_MS);
    }
    while (syncState_ != Received) {
        if (clock.elapsed() >= timeout) {
            break;
        }
        if (holding) {
            // The response slot runs from inside the loop below and takes the mutex itself.
            mutex_.unlock();
            holding = false;
        }
        if (processQtEventsWhileWaiting_) {
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        } else {
            QThread::usleep(WAIT_STEP_MS * 1000);
        }
    }
    QMutexLocker locker(&mutex_);
    if (holding) {
        mutex_.unlock();
    }
    if (syncState_ != Received) {
        syncState_ = TimedOut;
        LOG_WARN("ipc_client_logger",
                 "Synchronous response timeout for request " << ipcMessageName(awaitedMessage_));
    }
}

bool IpcClient::reportErrorFor_getSynchronousResponseData(size_t expectedSize) {
    QMutexLocker locker(&mutex_);
    bool good = true;
    if (syncState_ != Received) {
        LOG_ERROR("ipc_client_logger",
                  "Response awaited but nothing was received, still in synchronisation state "
                      << static_cast<int>(syncState_.load()));
        good = false;
    }
    const auto actualSize = static_cast<size_t>(responseData_.size());
    if (expectedSize != actualSize) {
        LOG_ERROR("ipc_client_logger", "Wrong message data size received received, expected "
                                           << expectedSize << " bytes but "
                                           << "received " << actualSize << " bytes");
        good = false;
    }
    if (awaitedMessage_ != responseMessage_) {
        LOG_ERROR("ipc_client_logger", "Wrong response received, expected "
                                           << ipcMessageName(awaitedMessage_) << " but received "
                                           << ipcMessageName(responseMessage_));
        good = false;
    }
    return good;
}

bool IpcClient::requestSynchronously(const IpcMessage& request, size_t expectedSize, int timeoutMs,
                                     QByteArray& responseData) {
    {
        // Awaiting is set before the frame leaves, so a response read on another thread right
        // after the send is not missed.
        QMutexLocker locker(&mutex_);
        responseData_.clear();
        awaitedMessage_ = request.message();
        responseMessage_ = IPC_MSG_NONE;
        syncState_ = Awaiting;
        resumeHeldResponses();
        bool sent = false;
        if (requestSender_.isOpen()) {
            const std::unique_ptr<ZmqFrame> frame = request.toZmqMessage();
            try {
                sent = requestSender_.send(*frame);
            } catch (...) {
                syncState_ = Idle;
                throw;
            }
        }
        if (!sent) {
            syncState_ = Idle;
            LOG_ERROR("ipc_client_logger",
                      "Could not send synchronous request " << ipcMessageName(request.message()));
            return false;
        }
    }
    processEventsUntilResponseOrTimeout(timeoutMs);
    const bool good = reportErrorFor_getSynchronousResponseData(expectedSize);
    QMutexLocker locker(&mutex_);
    if (good) {
        responseData = responseData_;
    }
    // The response is consumed: later responses flow again instead of being dropped.
    syncState_ = Idle;
    resumeHeldResponses();
    return good;
}

void IpcClient::close() {
    if (eventNotifier_) {
        eventNotifier_->setEnabled(false);
    }
    if (responseNotifier_) {
        responseNotifier_->setEnabled(false);
    }
    eventReceiver_.setLinger(0);
    eventReceiver_.close();
    requestSender_.setLinger(0);
    requestSender_.close();
    responseReceiver_.setLinger(0);
    responseReceiver_.close();
}

void IpcClient::resumeHeldResponses() {
    if (responsesHeld_ && syncState_ != Received) {
        responsesHeld_ = false;
        QMetaObject::invokeMethod(this, &IpcClient::onResponseSocketActivity, Qt::QueuedConnection);
    }
}

void IpcClient::onEventSocketActivity() {
    try {
        if (!eventReceiver_.hasInput()) {
            return;
        }
        ZmqFrame frame;
        while (eventReceiver_.receive(frame)) {
            IpcMessage event;
            const bool valid = IpcMessage::fromFrame(frame, event);
            const size_t size = frame.size();
            frame.rebuild();
            if (valid) {
                emit eventPublished(event);
            } else {
                LOG_REPEATED(shortEvents_, ::log4cplus::ERROR_LOG_LEVEL, "ipc_client_logger",
                             "Dropped an event frame of "
                                 << size << " bytes, shorter than the 8-byte header");
            }
        }
    } catch (const zmq::error_t& error) {
        LOG_ERROR("exception_logger", "ZeroMQ error while reading events, reading stopped: "
                                          << error.what() << " (errno " << error.num() << ")");
    }
    CATCH_ALL_AND_ABORT
}

void IpcClient::onResponseSocketActivity() {
    try {
        QMutexLocker locker(&mutex_);
        if (!responseReceiver_.hasInput()) {
            return;
        }
        ZmqFrame frame;
        while (responseReceiver_.receive(frame)) {
            IpcMessage response;
            const bool valid = IpcMessage::fromFrame(frame, response);
            const size_t size = frame.size();
            frame.rebuild();
            if (syncState_ == Received) {
                // An earlier synchronous response is still unconsumed: this one is dropped and
                // the rest wait until it has been consumed.
                LOG_WARN("ipc_client_logger", "Dropped response "
                                                  << ipcMessageName(response.message())
                                                  << " while a synchronous response of "
                                                  << ipcMessageName(responseMessage_)
                                                  << " is not consumed yet");
                responsesHeld_ = true;
                return;
            }
            if (!valid) {
                LOG_REPEATED(shortResponses_, ::log4cplus::ERROR_LOG_LEVEL, "ipc_client_logger",
                             "Dropped a response frame of "
                                 << size << " bytes, shorter than the 8-byte header");
                continue;
            }
            emit responseReceived(response);
            if (syncState_ == Awaiting) {
                syncState_ = Received;
                responseMessage_ = response.message();
                responseData_ = response.data();
            }
        }
    } catch (const zmq::error_t& error) {
        LOG_ERROR("exception_logger", "ZeroMQ error while reading responses, reading stopped: "
                                          << error.what() << " (errno " << error.num() << ")");
    }
    CATCH_ALL_AND_ABORT
}

} // namespace ipc
