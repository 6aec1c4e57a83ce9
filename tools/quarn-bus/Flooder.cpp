#include "quarn-bus/Flooder.h"

#include "ipc/IpcMessage.h"
#include "ipc/ZmqContext.h"
#include "ipc/ZmqFrame.h"
#include "ipc/ZmqSocket.h"

#include <zmq.h>

#include <cstring>
#include <iterator>

namespace quarn_bus {

namespace {

constexpr int SHORT_FRAMES = 8; // 0 to 7 bytes
constexpr int LINGER_MS = 1000;

struct Header {
    std::int32_t message;
    std::int32_t origin;
    int payloadSize;
};

const Header HEADERS[] = {
    // Identifiers without a meaning: the guard, beyond it, negative, huge.
    {ipc::IPC_MSG_GUARD, ipc::IPC_ORIGIN_CLIENT_CORE_APP, 0},
    {ipc::IPC_MSG_GUARD + 1, ipc::IPC_ORIGIN_CLIENT_CORE_APP, 0},
    {-1, ipc::IPC_ORIGIN_CLIENT_CORE_APP, 0},
    {0x7fffffff, ipc::IPC_ORIGIN_CLIENT_CORE_APP, 4},
    {1000, ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, 100},
    // A valid request from clients that have no way back, named or not.
    {ipc::IPC_MSG_GET_BATTERY_STATUS, ipc::IPC_ORIGIN_CLIENT_CAL_APP, 0},
    {ipc::IPC_MSG_GET_BATTERY_STATUS, ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_TRAXO, 0},
    {ipc::IPC_MSG_GET_BATTERY_STATUS, 0, 0},
    {ipc::IPC_MSG_GET_BATTERY_STATUS, 5, 0},
    {ipc::IPC_MSG_GET_BATTERY_STATUS, 7, 0},
    {ipc::IPC_MSG_GET_BATTERY_STATUS, 14, 0},
    {ipc::IPC_MSG_GET_BATTERY_STATUS, 99, 0},
    {ipc::IPC_MSG_GET_BATTERY_STATUS, -1, 0},
};

} // namespace

int Flooder::patternLength() {
    return SHORT_FRAMES + static_cast<int>(std::size(HEADERS));
}

QByteArray Flooder::frameAt(int index) {
    const int position = index % patternLength();
    if (position < SHORT_FRAMES) {
        // The first bytes of a real battery request from core-app, cut before the header ends.
        const QByteArray whole =
            ipc::IpcMessage(ipc::IPC_MSG_GET_BATTERY_STATUS, ipc::IPC_ORIGIN_CLIENT_CORE_APP)
                .toFrame();
        return whole.left(position);
    }
    const Header& header = HEADERS[position - SHORT_FRAMES];
    ipc::IpcMessage message(static_cast<ipc::IPC_MSG>(header.message),
                            static_cast<ipc::IPC_ORIGIN>(header.origin));
    const QByteArray payload(header.payloadSize, '\xa5');
    message.appendData(payload.constData(), static_cast<int>(payload.size()));
    return message.toFrame();
}

Flooder::Result Flooder::flood(const std::string& requestsAddress, int count) {
    Result result;
    ipc::ZmqContext context;
    ipc::ZmqSocket sender(context, ZMQ_PUSH);
    sender.connect(requestsAddress.c_str());
    for (int i = 0; i < count; ++i) {
        const QByteArray bytes = frameAt(i);
        ipc::ZmqFrame frame(static_cast<std::size_t>(bytes.size()));
        if (!bytes.isEmpty()) {
            std::memcpy(frame.data(), bytes.constData(), static_cast<std::size_t>(bytes.size()));
        }
        if (sender.send(frame)) {
            ++result.sent;
        } else {
            ++result.wouldBlock;
        }
    }
    sender.setLinger(LINGER_MS);
    sender.close();
    return result;
}

} // namespace quarn_bus
