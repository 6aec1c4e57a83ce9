// Round-trip latency of one request and its response, IpcClient -> IpcServer -> IpcClient on
// the Qt event loop, against a plain libzmq PUSH/PULL echo of frames of the same size over
// ipc://. Every measurement has a context per side, as two processes of the bus would.
//
// The IPC layer runs both ends on one thread's event loop, so the baseline that isolates its
// cost is the echo done on one thread too (same sockets, same I/O threads, no Qt). The echo on
// a thread of its own is printed as well, for reference.
//
//     ipc_roundtrip [round trips, default 20000]

#include "ipc/IpcClient.h"
#include "ipc/IpcServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <zmq.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

// The size of the battery record, the largest payload this daemon sends regularly.
constexpr int PAYLOAD_SIZE = 88;
constexpr int FRAME_SIZE = 8 + PAYLOAD_SIZE;
constexpr int WARM_UP = 1000;

using Payload = std::array<char, PAYLOAD_SIZE>;

struct Figures {
    double median;
    double p99;
};

Figures summarise(std::vector<double> microseconds) {
    std::sort(microseconds.begin(), microseconds.end());
    const auto at = [&](double fraction) {
        return microseconds[static_cast<size_t>(fraction * (microseconds.size() - 1))];
    };
    return {at(0.5), at(0.99)};
}

std::vector<double> measureIpcLayer(const QString& dir, int roundTrips) {
    const std::string requests = ("ipc://" + dir + "/requests").toStdString();
    const std::string events = ("ipc://" + dir + "/events").toStdString();
    const std::string responses = ("ipc://" + dir + "/responses").toStdString();

    ipc::IpcServer server;
    server.init(ipc::IPC_ORIGIN_SERVER_PWR_MANAGER, requests.c_str(), events.c_str());
    server.addResponseSocket(ipc::IPC_ORIGIN_CLIENT_CORE_APP, responses.c_str());
    Payload record{};
    QObject::connect(&server, &ipc::IpcServer::requestReceived,
                     [&server, &record](const ipc::IpcMessage& request) {
                         server.sendResponse(request.origin(), request.message(), record);
                     });

    ipc::IpcClient client(true);
    client.connectTo(ipc::IPC_ORIGIN_CLIENT_CORE_APP, requests.c_str(), responses.c_str(),
                     events.c_str());
    ipc::IpcMessage request(ipc::IPC_MSG_GET_BATTERY_STATUS, ipc::IPC_ORIGIN_CLIENT_CORE_APP);
    request.appendData(record.data(), PAYLOAD_SIZE);

    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(roundTrips));
    int done = 0;
    QElapsedTimer clock;
    const auto sendNext = [&] {
        clock.start();
        while (!client.sendRequestAsZmqMessage(request)) {
            QCoreApplication::processEvents();
        }
    };
    QObject::connect(&client, &ipc::IpcClient::responseReceived,
                     [&](const ipc::IpcMessage& response) {
                         const double elapsed = clock.nsecsElapsed() / 1000.0;
                         if (response.data().size() != PAYLOAD_SIZE) {
                             std::fprintf(stderr, "bad response\n");
                             std::exit(1);
                         }
                         if (++done > WARM_UP) {
                             samples.push_back(elapsed);
                         }
                         if (done < WARM_UP + roundTrips) {
                             sendNext();
                         } else {
                             QCoreApplication::quit();
                         }
                     });
    // The response channel refuses frames until the client is connected.
    QElapsedTimer connecting;
    connecting.start();
    while (!server.sendResponse(ipc::IPC_ORIGIN_CLIENT_CORE_APP, ipc::IPC_MSG_NONE, record)) {
        QCoreApplication::processEvents();
    }
    --done;
    QCoreApplication::exec();
    return samples;
}

void check(bool good, const char* what) {
    if (!good) {
        std::fprintf(stderr, "%s: %s\n", what, zmq_strerror(zmq_errno()));
        std::exit(1);
    }
}

std::vector<double> measurePlainEcho(const QString& dir, int roundTrips, bool echoThread) {
    const QString tag = echoThread ? "threaded" : "inline";
    const std::string there = ("ipc://" + dir + "/echo-there-" + tag).toStdString();
    const std::string back = ("ipc://" + dir + "/echo-back-" + tag).toStdString();
    const int total = WARM_UP + roundTrips;

    void* echoContext = zmq_ctx_new();
    void* echoIn = zmq_socket(echoContext, ZMQ_PULL);
    void* echoOut = zmq_socket(echoContext, ZMQ_PUSH);
    check(zmq_bind(echoIn, there.c_str()) == 0, "bind");
    check(zmq_bind(echoOut, back.c_str()) == 0, "bind");
    const auto echoOnce = [&] {
        char buffer[FRAME_SIZE];
        const int size = zmq_recv(echoIn, buffer, sizeof buffer, 0);
        check(size == FRAME_SIZE, "echo receive");
        check(zmq_send(echoOut, buffer, FRAME_SIZE, 0) == FRAME_SIZE, "echo send");
    };
    std::thread echo;
    if (echoThread) {
        echo = std::thread([&] {
            for (int i = 0; i < total; ++i) {
                echoOnce();
            }
        });
    }

    void* context = zmq_ctx_new();
    void* out = zmq_socket(context, ZMQ_PUSH);
    void* in = zmq_socket(context, ZMQ_PULL);
    check(zmq_connect(out, there.c_str()) == 0, "connect");
    check(zmq_connect(in, back.c_str()) == 0, "connect");

    std::vector<double> samples;
    samples.reserve(static_cast<size_t>(roundTrips));
    char frame[FRAME_SIZE] = {};
    QElapsedTimer clock;
    for (int i = 0; i < total; ++i) {
        clock.start();
        check(zmq_send(out, frame, FRAME_SIZE, 0) == FRAME_SIZE, "send");
        if (!echoThread) {
            echoOnce();
        }
        check(zmq_recv(in, frame, FRAME_SIZE, 0) == FRAME_SIZE, "receive");
        const double elapsed = clock.nsecsElapsed() / 1000.0;
        if (i >= WARM_UP) {
            samples.push_back(elapsed);
        }
    }
    if (echo.joinable()) {
        echo.join();
    }
    for (void* socket : {out, in, echoIn, echoOut}) {
        int linger = 0;
        zmq_setsockopt(socket, ZMQ_LINGER, &linger, sizeof linger);
        zmq_close(socket);
    }
    zmq_ctx_term(context);
    zmq_ctx_term(echoContext);
    return samples;
}

} // namespace

int main(int argc, char** argv) {
    setenv("LOG4CPLUS_APPENDER", "NONE", 1);
    QCoreApplication application(argc, argv);
    const int roundTrips = argc > 1 ? std::max(100, std::atoi(argv[1])) : 20000;
    QTemporaryDir dir(QDir::tempPath() + "/ipc-roundtrip-XXXXXX");

    const Figures plain = summarise(measurePlainEcho(dir.path(), roundTrips, false));
    const Figures threaded = summarise(measurePlainEcho(dir.path(), roundTrips, true));
    const Figures layer = summarise(measureIpcLayer(dir.path(), roundTrips));

    std::printf("round trips: %d, frame: %d bytes each way\n", roundTrips, FRAME_SIZE);
    std::printf("plain libzmq PUSH/PULL echo, one thread  : median %8.1f us   p99 %8.1f us\n",
                plain.median, plain.p99);
    std::printf("plain libzmq PUSH/PULL echo, echo thread : median %8.1f us   p99 %8.1f us\n",
                threaded.median, threaded.p99);
    std::printf("IpcClient -> IpcServer -> IpcClient (Qt) : median %8.1f us   p99 %8.1f us\n",
                layer.median, layer.p99);
    std::printf("ratio IPC layer / plain one-thread echo  : median %8.2f      p99 %8.2f\n",
                layer.median / plain.median, layer.p99 / plain.p99);
    std::printf("target: median ratio at most 1.30 -> %s\n",
                layer.median / plain.median <= 1.3 ? "met" : "NOT met");
    return 0;
}
