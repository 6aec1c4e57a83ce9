#include "FakeOwner.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>
#include <QtEndian>

#include <zmq.h>

#include <cstdlib>
#include <stdexcept>

namespace modeltest {

QByteArray hexBytes(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

bool pumpUntil(const std::function<bool()>& condition, int timeoutMs, FakeOwner* owner) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (owner != nullptr) {
            owner->poll();
        }
        if (condition()) {
            return true;
        }
        if (clock.elapsed() >= timeoutMs) {
            return false;
        }
        QThread::msleep(2);
    }
}

void pumpFor(int milliseconds, FakeOwner* owner) {
    pumpUntil([] { return false; }, milliseconds, owner);
}

namespace {

void* openSocket(void* context, int type, const std::string& address) {
    void* socket = zmq_socket(context, type);
    const int linger = 0;
    if (socket == nullptr || zmq_setsockopt(socket, ZMQ_LINGER, &linger, sizeof linger) != 0 ||
        zmq_bind(socket, address.c_str()) != 0) {
        throw std::runtime_error(std::string("test owner cannot bind ") + address);
    }
    return socket;
}

bool receiveFrame(void* socket, QByteArray& out) {
    zmq_msg_t message;
    zmq_msg_init(&message);
    const bool received = zmq_msg_recv(&message, socket, ZMQ_DONTWAIT) >= 0;
    if (received) {
        out = QByteArray(static_cast<const char*>(zmq_msg_data(&message)),
                         static_cast<qsizetype>(zmq_msg_size(&message)));
    }
    zmq_msg_close(&message);
    return received;
}

} // namespace

FakeOwner::FakeOwner() {
    char pattern[] = "/tmp/model-buffer-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("no temporary directory");
    }
    directory_ = pattern;
    requests_ = "ipc://" + directory_ + "/requests";
    responses_ = "ipc://" + directory_ + "/responses";
    events_ = "ipc://" + directory_ + "/events";
    context_ = zmq_ctx_new();
    requestSocket_ = openSocket(context_, ZMQ_PULL, requests_);
    responseSocket_ = openSocket(context_, ZMQ_PUSH, responses_);
    eventSocket_ = openSocket(context_, ZMQ_XPUB, events_);
    clock_.start();
}

FakeOwner::~FakeOwner() {
    zmq_close(requestSocket_);
    zmq_close(responseSocket_);
    zmq_close(eventSocket_);
    zmq_ctx_term(context_);
    QDir(QString::fromStdString(directory_)).removeRecursively();
}

void FakeOwner::poll() {
    QByteArray bytes;
    while (receiveFrame(requestSocket_, bytes)) {
        requestFrames_.push_back({bytes, clock_.elapsed()});
    }
    while (receiveFrame(eventSocket_, bytes)) {
        subscriptionFrames_.push_back(bytes);
    }
}

QByteArray FakeOwner::frame(ipc::IPC_MSG message, const QByteArray& payload) {
    QByteArray bytes(8, '\0');
    qToLittleEndian<qint32>(message, bytes.data());
    qToLittleEndian<qint32>(ipc::IPC_ORIGIN_SERVER_DSP_MANAGER, bytes.data() + 4);
    return bytes + payload;
}

void FakeOwner::sendFrame(void* socket, const QByteArray& bytes) {
    if (zmq_send(socket, bytes.constData(), static_cast<size_t>(bytes.size()), ZMQ_DONTWAIT) !=
        bytes.size()) {
        throw std::runtime_error("test owner cannot send");
    }
}

void FakeOwner::sendResponse(ipc::IPC_MSG message, const QByteArray& payload) {
    sendFrame(responseSocket_, frame(message, payload));
}

void FakeOwner::publishEvent(ipc::IPC_MSG message, const QByteArray& payload) {
    sendFrame(eventSocket_, frame(message, payload));
}

} // namespace modeltest
