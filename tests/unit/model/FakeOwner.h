#pragma once

// The owner of a mirrored value, played on plain ZeroMQ sockets so that the tests see the bytes
// the client really puts on the wire: a PULL for requests, a PUSH for responses and an XPUB for
// events (an XPUB also hands over the subscriptions it receives).

#include "ipc/IpcMessageIds.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <functional>
#include <string>
#include <vector>

namespace modeltest {

// Bytes from a hex text such as "15 00 00 00"; spaces are ignored.
QByteArray hexBytes(const char* text);

// Runs the Qt event loop (and the owner's reception, when given) until the condition holds or
// the time is up; returns the condition's last value.
class FakeOwner;
bool pumpUntil(const std::function<bool()>& condition, int timeoutMs, FakeOwner* owner = nullptr);
void pumpFor(int milliseconds, FakeOwner* owner = nullptr);

class FakeOwner {
public:
    struct Received {
        QByteArray frame;
        qint64 atMs; // since the owner was created
    };

    FakeOwner();
    ~FakeOwner();
    FakeOwner(const FakeOwner&) = delete;
    FakeOwner& operator=(const FakeOwner&) = delete;

    const char* requestsAddress() const { return requests_.c_str(); }
    const char* responsesAddress() const { return responses_.c_str(); }
    const char* eventsAddress() const { return events_.c_str(); }

    // Takes in whatever has arrived; never waits.
    void poll();

    const std::vector<Received>& requests() const { return requestFrames_; }
    // Subscription frames as the XPUB delivers them: 0x01 followed by the prefix.
    const std::vector<QByteArray>& subscriptions() const { return subscriptionFrames_; }
    qint64 elapsedMs() const { return clock_.elapsed(); }

    // Frames as a dsp-manager would send them: identifier, origin 2, payload.
    void sendResponse(ipc::IPC_MSG message, const QByteArray& payload);
    void publishEvent(ipc::IPC_MSG message, const QByteArray& payload);

private:
    static QByteArray frame(ipc::IPC_MSG message, const QByteArray& payload);
    static void sendFrame(void* socket, const QByteArray& bytes);

    std::string directory_;
    std::string requests_;
    std::string responses_;
    std::string events_;
    void* context_ = nullptr;
    void* requestSocket_ = nullptr;
    void* responseSocket_ = nullptr;
    void* eventSocket_ = nullptr;
    QElapsedTimer clock_;
    std::vector<Received> requestFrames_;
    std::vector<QByteArray> subscriptionFrames_;
};

} // namespace modeltest
