#include "ipc/IpcMessage.h"

#include "ipc/ZmqFrame.h"

#include <QtEndian>

#include <cstring>

namespace ipc {

class IpcMessageData : public QSharedData {
public:
    IPC_MSG message = IPC_MSG_NONE;
    IPC_ORIGIN origin = static_cast<IPC_ORIGIN>(0);
    QByteArray data;
};

IpcMessage::IpcMessage()
    : d(new IpcMessageData) {}

IpcMessage::IpcMessage(IPC_MSG message, IPC_ORIGIN origin)
    : d(new IpcMessageData) {
    d->message = message;
    d->origin = origin;
}

IpcMessage::IpcMessage(const IpcMessage& other) = default;
IpcMessage& IpcMessage::operator=(const IpcMessage& other) = default;
IpcMessage::~IpcMessage() = default;

bool IpcMessage::fromFrame(const char* bytes, std::size_t size, IpcMessage& out) {
    if (bytes == nullptr || size < static_cast<std::size_t>(HEADER_SIZE)) {
        return false;
    }
    IpcMessage decoded(static_cast<IPC_MSG>(qFromLittleEndian<qint32>(bytes)),
                       static_cast<IPC_ORIGIN>(qFromLittleEndian<qint32>(bytes + 4)));
    if (size > static_cast<std::size_t>(HEADER_SIZE)) {
        decoded.d->data =
            QByteArray(bytes + HEADER_SIZE, static_cast<qsizetype>(size) - HEADER_SIZE);
    }
    out = decoded;
    return true;
}

bool IpcMessage::fromFrame(const QByteArray& frame, IpcMessage& out) {
    return fromFrame(frame.constData(), static_cast<std::size_t>(frame.size()), out);
}

bool IpcMessage::fromFrame(const ZmqFrame& frame, IpcMessage& out) {
    return fromFrame(frame.data(), frame.size(), out);
}

IPC_MSG IpcMessage::message() const {
    return d->message;
}

IPC_ORIGIN IpcMessage::origin() const {
    return d->origin;
}

QByteArray IpcMessage::data() const {
    return d->data;
}

void IpcMessage::setMessage(IPC_MSG message) {
    d->message = message;
}

void IpcMessage::setOrigin(IPC_ORIGIN origin) {
    d->origin = origin;
}

void IpcMessage::appendData(const char* bytes, int length) {
    if (bytes != nullptr && length > 0) {
        d->data.append(bytes, length);
    }
}

void IpcMessage::writeFrame(char* bytes) const {
    qToLittleEndian<qint32>(d->message, bytes);
    qToLittleEndian<qint32>(d->origin, bytes + 4);
    if (!d->data.isEmpty()) {
        std::memcpy(bytes + HEADER_SIZE, d->data.constData(), static_cast<size_t>(d->data.size()));
    }
}

std::unique_ptr<ZmqFrame> IpcMessage::toZmqMessage() const {
    auto frame = std::make_unique<ZmqFrame>(HEADER_SIZE + static_cast<size_t>(d->data.size()));
    writeFrame(frame->data());
    return frame;
}

QByteArray IpcMessage::toFrame() const {
    QByteArray frame(HEADER_SIZE + d->data.size(), Qt::Uninitialized);
    writeFrame(frame.data());
    return frame;
}

void registerIpcMetaTypes() {
    qRegisterMetaType<ipc::IpcMessage>("ipc::IpcMessage");
    qRegisterMetaType<ipc::IPC_MSG>("ipc::IPC_MSG");
    qRegisterMetaType<ipc::IPC_ORIGIN>("ipc::IPC_ORIGIN");
}

} // namespace ipc
