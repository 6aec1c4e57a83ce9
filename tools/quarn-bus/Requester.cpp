#include "quarn-bus/Requester.h"

#include "quarn-bus/BusNames.h"
#include "quarn-bus/CommandLine.h"
#include "quarn-bus/FrameFormatter.h"

#include "ipc/IpcMessage.h"
#include "ipc/ZmqFrame.h"

#include <QSocketNotifier>

#include <zmq.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace quarn_bus {

namespace {

std::string milliseconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", value);
    return text;
}

} // namespace

Requester::Requester(std::ostream& out, std::ostream& err, const Settings& settings)
    : out_(out)
    , err_(err)
    , settings_(settings)
    , requestSender_(context_, ZMQ_PUSH)
    , responseReceiver_(context_, ZMQ_PULL) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &Requester::onTimeout);
}

Requester::~Requester() {
    if (notifier_) {
        notifier_->setEnabled(false);
    }
}

void Requester::start() {
    const bool hasChannel = !settings_.responsesAddress.empty();
    if (hasChannel) {
        responseReceiver_.connect(settings_.responsesAddress.c_str());
    } else {
        err_ << "quarn-bus: " << ipc::ipcOriginName(settings_.origin) << " (" << settings_.origin
             << ") has no response channel towards this server" << std::endl;
    }
    requestSender_.connect(settings_.requestsAddress.c_str());
    // A server sends each response once and never waits: while this end of the response
    // channel is still being attached on the server's side, the response would be dropped
    // there. A process of the instrument connects long before it asks anything; the pause
    // stands in for that.
    const int settleMs = hasChannel ? settings_.settleMs : 0;
    QTimer::singleShot(settleMs, this, &Requester::sendFirst);
}

void Requester::sendFirst() {
    if (settings_.noRead) {
        int wouldBlock = 0;
        for (int i = 0; i < settings_.count; ++i) {
            if (!sendOne()) {
                ++wouldBlock;
            }
        }
        out_ << "sent " << sent_ << " of " << settings_.count << " requests "
             << ipc::ipcMessageName(settings_.message) << " as "
             << ipc::ipcOriginName(settings_.origin) << ", " << wouldBlock
             << " would block; not reading the responses, holding for " << settings_.holdMs << " ms"
             << std::endl;
        // The requests queued so far still go out while the connection is held.
        QTimer::singleShot(settings_.holdMs, this, [this]() { finish(EXIT_OK); });
        return;
    }

    if (!settings_.responsesAddress.empty()) {
        notifier_ = std::make_unique<QSocketNotifier>(responseReceiver_.fileDescriptor(),
                                                      QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &Requester::readResponses);
    }
    if (!sendOne()) {
        err_ << "quarn-bus: request " << ipc::ipcMessageName(settings_.message)
             << " would block, not sent" << std::endl;
        finish(EXIT_BUS_FAILURE);
        return;
    }
    readResponses();
}

bool Requester::sendOne() {
    const ipc::IpcMessage request(settings_.message, settings_.origin);
    const std::unique_ptr<ipc::ZmqFrame> frame = request.toZmqMessage();
    clock_.start();
    if (!requestSender_.send(*frame)) {
        return false;
    }
    ++sent_;
    if (!settings_.noRead) {
        timer_.start(settings_.timeoutMs);
    }
    return true;
}

void Requester::readResponses() {
    if (done_ || !responseReceiver_.hasInput()) {
        return;
    }
    ipc::ZmqFrame frame;
    while (!done_ && received_ < sent_ && responseReceiver_.receive(frame)) {
        const double roundTripMs = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
        timer_.stop();
        ++received_;
        out_ << timestamp() << ' ' << describeFrame(frame.data(), frame.size());
        if (settings_.reportRoundTrips) {
            roundTripsMs_.push_back(roundTripMs);
            out_ << " (round trip " << milliseconds(roundTripMs) << ")";
        }
        out_ << std::endl;
        frame.rebuild();
        if (received_ >= settings_.count) {
            printSummary();
            finish(EXIT_OK);
        } else if (!sendOne()) {
            err_ << "quarn-bus: request " << ipc::ipcMessageName(settings_.message)
                 << " would block, not sent" << std::endl;
            finish(EXIT_BUS_FAILURE);
        }
    }
}

void Requester::onTimeout() {
    if (done_) {
        return;
    }
    out_ << "no response within " << settings_.timeoutMs << " ms" << std::endl;
    const std::string note = unboundAddressNote(settings_.requestsAddress);
    if (!note.empty()) {
        err_ << "quarn-bus: " << note << std::endl;
    }
    finish(EXIT_TIMEOUT);
}

void Requester::printSummary() {
    if (!settings_.reportRoundTrips || roundTripsMs_.empty()) {
        return;
    }
    const auto [lowest, highest] = std::minmax_element(roundTripsMs_.begin(), roundTripsMs_.end());
    const double average = std::accumulate(roundTripsMs_.begin(), roundTripsMs_.end(), 0.0) /
                           static_cast<double>(roundTripsMs_.size());
    out_ << "round trips of " << roundTripsMs_.size() << " requests: min " << milliseconds(*lowest)
         << ", avg " << milliseconds(average) << ", max " << milliseconds(*highest) << std::endl;
}

void Requester::finish(int exitCode) {
    if (done_) {
        return;
    }
    done_ = true;
    timer_.stop();
    emit finished(exitCode);
}

} // namespace quarn_bus
