#include "ipc/IpcServer.h"

#include "ipc/ZmqFrame.h"

#include <QSocketNotifier>

#include <zmq.hpp>

#include <cerrno>

namespace ipc {

IpcServer::IpcServer()
    : origin_(static_cast<IPC_ORIGIN>(0))
    , context_(NUM_ZEROMQ_IO_THREADS)
    , eventPublisher_(context_, ZMQ_PUB)
    , requestReceiver_(context_, ZMQ_PULL) {
    registerIpcMetaTypes();
    requestReceiver_.setReceiveHighWaterMark(REQUEST_HIGH_WATER_MARK);
}

IpcServer::~IpcServer() {
    try {
        close();
    }
    CATCH_ALL_AND_ABORT
    requestNotifier_.reset();
    responseSockets_.clear();
    // The sockets and then the context go with the members.
}

void IpcServer::init(IPC_ORIGIN origin, const char* requestsAddress, const char* eventsAddress) {
    origin_ = origin;
    requestReceiver_.bind(requestsAddress);
    eventPublisher_.bind(eventsAddress);
    requestNotifier_ =
        std::make_unique<QSocketNotifier>(requestReceiver_.fileDescriptor(), QSocketNotifier::Read);
    connect(requestNotifier_.get(), &QSocketNotifier::activated, this,
            &IpcServer::onRequestSocketActivity);
    // Requests that came in before the notifier existed have already had their edge; read them
    // on the next turn of the event loop, once the caller has connected requestReceived.
    scheduleRead();
}

void IpcServer::setMaxRequestSize(std::int64_t bytes) {
    requestReceiver_.setMaxMessageSize(bytes);
}

void IpcServer::resumeRequests() {
    if (requestsPaused_) {
        requestsPaused_ = false;
        scheduleRead();
    }
}

void IpcServer::scheduleRead() {
    // One pending read at a time, so that the event queue cannot grow with the frames.
    if (!readScheduled_) {
        readScheduled_ = true;
        QMetaObject::invokeMethod(this, &IpcServer::onRequestSocketActivity, Qt::QueuedConnection);
    }
}

void IpcServer::addResponseSocket(IPC_ORIGIN clientOrigin, const char* address) {
    if (address == nullptr) {
        throw zmq::error_t(EINVAL);
    }
    const auto existing = responseSockets_.find(clientOrigin);
    if (existing != responseSockets_.end()) {
        if (existing->second.address == address && existing->second.socket->isOpen()) {
            return;
        }
        // Closing an ipc:// listener removes its socket file later, from ZeroMQ's own thread;
        // a new socket bound to the same address meanwhile would lose its file. So an open
        // channel at the same address is kept, and any other one is closed before binding.
        responseSockets_.erase(existing);
    }
    auto socket = std::make_unique<ZmqSocket>(context_, ZMQ_PUSH);
    socket->bind(address);
    responseSockets_[clientOrigin] = ResponseChannel{address, std::move(socket)};
}

void IpcServer::close() {
    if (requestNotifier_) {
        // The descriptor dies with the socket; a notifier left on it would watch a stale number.
        requestNotifier_->setEnabled(false);
    }
    eventPublisher_.setLinger(0);
    eventPublisher_.close();
    requestReceiver_.setLinger(0);
    requestReceiver_.close();
    for (auto& entry : responseSockets_) {
        entry.second.socket->setLinger(0);
        entry.second.socket->close();
    }
}

bool IpcServer::sendOnResponseSocket(IPC_ORIGIN clientOrigin, const IpcMessage& response) {
    const auto entry = responseSockets_.find(clientOrigin);
    if (entry == responseSockets_.end()) {
        LOG_ERROR("ipc_server_logger", "No response socket for client origin "
                                           << clientOrigin << " (" << ipcOriginName(clientOrigin)
                                           << "), response " << ipcMessageName(response.message())
                                           << " not sent");
        return false;
    }
    ZmqSocket& socket = *entry->second.socket;
    if (!socket.isOpen()) {
        LOG_ERROR("ipc_server_logger", "Response socket of "
                                           << ipcOriginName(clientOrigin) << " is closed, response "
                                           << ipcMessageName(response.message()) << " not sent");
        return false;
    }
    const std::unique_ptr<ZmqFrame> frame = response.toZmqMessage();
    return socket.send(*frame);
}

bool IpcServer::sendOnEventSocket(const IpcMessage& event) {
    if (!eventPublisher_.isOpen()) {
        LOG_ERROR("ipc_server_logger", "Event socket is closed, event "
                                           << ipcMessageName(event.message()) << " not published");
        return false;
    }
    const std::unique_ptr<ZmqFrame> frame = event.toZmqMessage();
    return eventPublisher_.send(*frame);
}

void IpcServer::onRequestSocketActivity() {
    try {
        readScheduled_ = false;
        // The descriptor may fire without a frame.
        if (requestsPaused_ || !requestReceiver_.hasInput()) {
            return;
        }
        ZmqFrame frame;
        // The receiver may pause reading from inside requestReceived.
        for (int count = 0; !requestsPaused_; ++count) {
            if (count == MAX_REQUESTS_PER_TURN) {
                scheduleRead();
                return;
            }
            if (!requestReceiver_.receive(frame)) {
                return;
            }
            IpcMessage request;
            const bool valid = IpcMessage::fromFrame(frame, request);
            const std::size_t size = frame.size();
            frame.rebuild();
            if (valid) {
                emit requestReceived(request);
            } else {
                LOG_REPEATED(shortRequests_, ::log4cplus::ERROR_LOG_LEVEL, "ipc_server_logger",
                             "Dropped a request frame of "
                                 << size << " bytes, shorter than the 8-byte header");
            }
        }
    } catch (const zmq::error_t& error) {
        LOG_ERROR("exception_logger", "ZeroMQ error while reading requests, reading stopped: "
                                          << error.what() << " (errno " << error.num() << ")");
    }
    CATCH_ALL_AND_ABORT
}

} // namespace ipc
