#pragma once

#include "ipc/IpcMessageIds.h"

#include <QByteArray>
#include <QMetaType>
#include <QObject>
#include <QSharedDataPointer>

#include <cstddef>
#include <memory>

namespace ipc {

class IpcMessageData;
class ZmqFrame;

// The envelope of every message on the bus: an identifier, the sender's role and a payload this
// layer never looks into. On the socket it is one single-part frame, little-endian:
//
//     offset 0  int32  identifier
//     offset 4  int32  origin
//     offset 8  n      payload (the frame length gives n)
//
// Implicitly shared: copies are cheap and a change detaches the copy being changed.
class IpcMessage {
    Q_GADGET

public:
    static constexpr int HEADER_SIZE = 8;

    IpcMessage();
    IpcMessage(IPC_MSG message, IPC_ORIGIN origin);
    IpcMessage(const IpcMessage& other);
    IpcMessage& operator=(const IpcMessage& other);
    ~IpcMessage();

    // Decodes a received frame into out. A frame shorter than the header is refused (false, out
    // untouched): it cannot be a message of the bus, and nothing beyond its end is read.
    static bool fromFrame(const char* bytes, std::size_t size, IpcMessage& out);
    static bool fromFrame(const QByteArray& frame, IpcMessage& out);
    static bool fromFrame(const ZmqFrame& frame, IpcMessage& out);

    IPC_MSG message() const;
    IPC_ORIGIN origin() const;
    QByteArray data() const;

    void setMessage(IPC_MSG message);
    void setOrigin(IPC_ORIGIN origin);
    // A record goes in as its address and its size in bytes. Null or negative adds nothing.
    void appendData(const char* bytes, int length);

    // The frame to send; the caller sends it and lets it go whatever the outcome. Throws
    // zmq::error_t when ZeroMQ cannot allocate it.
    std::unique_ptr<ZmqFrame> toZmqMessage() const;
    // The same bytes as a byte array.
    QByteArray toFrame() const;

private:
    void writeFrame(char* bytes) const;

    QSharedDataPointer<IpcMessageData> d;
};

// Makes ipc::IpcMessage, ipc::IPC_MSG and ipc::IPC_ORIGIN known by those names to queued
// signal connections. Safe to call any number of times.
void registerIpcMetaTypes();

} // namespace ipc

Q_DECLARE_METATYPE(ipc::IpcMessage)
Q_DECLARE_METATYPE(ipc::IPC_MSG)
Q_DECLARE_METATYPE(ipc::IPC_ORIGIN)
