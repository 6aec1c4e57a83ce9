#include "quarn-bus/ControlInput.h"

#include <QSocketNotifier>

#include <cerrno>

namespace quarn_bus {

ControlInput::ControlInput(PosixFile file)
    : file_(std::move(file)) {
    notifier_ = std::make_unique<QSocketNotifier>(file_.descriptor(), QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, &ControlInput::onReadable);
}

ControlInput::~ControlInput() {
    if (notifier_) {
        notifier_->setEnabled(false);
    }
}

void ControlInput::onReadable() {
    char buffer[1024];
    const ssize_t got = file_.read(buffer, sizeof buffer);
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        return;
    }
    if (got <= 0) {
        notifier_->setEnabled(false);
        if (!pending_.empty()) {
            emitLine(std::move(pending_));
            pending_.clear();
        }
        emit closed();
        return;
    }
    pending_.append(buffer, static_cast<std::size_t>(got));
    const std::size_t limit = static_cast<std::size_t>(MAX_LINE_LENGTH);
    for (;;) {
        const std::size_t end = pending_.find('\n');
        if (end != std::string::npos && end <= limit) {
            emitLine(pending_.substr(0, end));
            pending_.erase(0, end + 1);
        } else if (pending_.size() > limit) {
            emitLine(pending_.substr(0, limit));
            pending_.erase(0, limit);
        } else {
            break;
        }
    }
}

void ControlInput::emitLine(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    emit lineReceived(line);
}

} // namespace quarn_bus
