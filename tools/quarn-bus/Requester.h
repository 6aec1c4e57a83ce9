#pragma once

#include "ipc/IpcMessageIds.h"
#include "ipc/ZmqContext.h"
#include "ipc/ZmqSocket.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

class QSocketNotifier;

namespace quarn_bus {

// Sends requests without payload as a given client and prints the responses, one request at a
// time: the next one leaves when the previous one is answered.
//
//     <time> <frame>                              one response
//     <time> <frame> (round trip 0.412 ms)        each response when round trips are reported
//     round trips of 5 requests: min 0.301 ms, avg 0.412 ms, max 0.900 ms
//     no response within 3000 ms
//
// In the no-read mode the requests are sent and the response channel stays connected but is
// never read (a client that has stopped taking its responses).
class Requester : public QObject {
    Q_OBJECT

public:
    struct Settings {
        ipc::IPC_MSG message = ipc::IPC_MSG_NONE;
        ipc::IPC_ORIGIN origin = ipc::IPC_ORIGIN_CLIENT_CORE_APP;
        std::string requestsAddress;
        // Empty: the origin has no channel back; the wait can then only time out.
        std::string responsesAddress;
        int timeoutMs = 3000;
        int count = 1;
        bool reportRoundTrips = false;
        bool noRead = false;
        int holdMs = 0;
        // Pause between connecting and the first request, see start().
        int settleMs = 200;
    };

    Requester(std::ostream& out, std::ostream& err, const Settings& settings);
    ~Requester() override;

    // Throws zmq::error_t for an address ZeroMQ refuses.
    void start();

signals:
    // EXIT_OK with every response in (or, without reading, once the hold is over),
    // EXIT_TIMEOUT when a response did not come, EXIT_BUS_FAILURE when a request would block.
    void finished(int exitCode);

private slots:
    void readResponses();
    void onTimeout();

private:
    void sendFirst();
    bool sendOne();
    void finish(int exitCode);
    void printSummary();

    std::ostream& out_;
    std::ostream& err_;
    const Settings settings_;
    int sent_ = 0;
    int received_ = 0;
    bool done_ = false;
    std::vector<double> roundTripsMs_;
    ipc::ZmqContext context_;
    ipc::ZmqSocket requestSender_;
    ipc::ZmqSocket responseReceiver_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer timer_;
    QElapsedTimer clock_;
};

} // namespace quarn_bus
