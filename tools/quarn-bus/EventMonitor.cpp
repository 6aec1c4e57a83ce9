#include "quarn-bus/EventMonitor.h"

#include "quarn-bus/CommandLine.h"
#include "quarn-bus/FrameFormatter.h"

#include "ipc/ZmqFrame.h"

#include <QSocketNotifier>

#include <zmq.h>

namespace quarn_bus {

EventMonitor::EventMonitor(std::ostream& out, int count, int timeoutMs)
    : out_(out)
    , count_(count)
    , timeoutMs_(timeoutMs)
    , subscriber_(context_, ZMQ_SUB) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, &EventMonitor::onTimeout);
}

EventMonitor::~EventMonitor() {
    if (notifier_) {
        notifier_->setEnabled(false);
    }
}

void EventMonitor::start(const std::string& eventsAddress) {
    subscriber_.connect(eventsAddress.c_str());
    subscriber_.subscribe("", 0);
    notifier_ =
        std::make_unique<QSocketNotifier>(subscriber_.fileDescriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &EventMonitor::readFrames);
    if (timeoutMs_ >= 0) {
        timer_.start(timeoutMs_);
    }
    // The descriptor only signals changes; frames that came before the notifier need a read.
    QMetaObject::invokeMethod(this, &EventMonitor::readFrames, Qt::QueuedConnection);
}

void EventMonitor::readFrames() {
    if (done_ || !subscriber_.hasInput()) {
        return;
    }
    ipc::ZmqFrame frame;
    while (!done_ && subscriber_.receive(frame)) {
        out_ << timestamp() << ' ' << describeFrame(frame.data(), frame.size()) << std::endl;
        frame.rebuild();
        ++framesSeen_;
        if (count_ > 0 && framesSeen_ >= count_) {
            done_ = true;
            timer_.stop();
            emit finished(EXIT_OK);
        }
    }
}

void EventMonitor::onTimeout() {
    if (done_) {
        return;
    }
    done_ = true;
    emit finished(count_ > 0 && framesSeen_ < count_ ? EXIT_TIMEOUT : EXIT_OK);
}

} // namespace quarn_bus
