#include "quarn-bus/ControlInput.h"

#include <QSocketNotifier>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quarn_bus {

namespace {

std::string describeErrno(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

} // namespace

ControlInput::ControlInput(shared::FileDescriptor file)
    : file_(std::move(file)) {
    // A closed standard input gives nothing to watch and nothing to read.
    if (file_.isValid()) {
        notifier_ = std::make_unique<QSocketNotifier>(file_.get(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, &ControlInput::onReadable);
    }
}

std::unique_ptr<ControlInput> ControlInput::fromNamedPipe(const std::string& path,
                                                          std::string& error) {
    bool created = false;
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT) {
            error = describeErrno("cannot examine " + path);
            return nullptr;
        }
        if (::mkfifo(path.c_str(), 0600) != 0) {
            error = describeErrno("cannot create the named pipe " + path);
            return nullptr;
        }
        created = true;
    } else if (!S_ISFIFO(status.st_mode)) {
        error = path + " is not a named pipe";
        return nullptr;
    }
    const auto failed = [&](const std::string& what) {
        error = describeErrno(what);
        if (created) {
            ::unlink(path.c_str());
        }
        return nullptr;
    };
    shared::FileDescriptor reader = shared::FileDescriptor::open(path, O_RDONLY | O_NONBLOCK);
    if (!reader.isValid()) {
        return failed("cannot open " + path);
    }
    // With a reader present this open cannot wait.
    shared::FileDescriptor writer = shared::FileDescriptor::open(path, O_WRONLY | O_NONBLOCK);
    if (!writer.isValid()) {
        return failed("cannot open " + path + " for writing");
    }
    auto input = std::make_unique<ControlInput>(std::move(reader));
    input->keepWriter_ = std::move(writer);
    if (created) {
        input->createdPipe_ = path;
    }
    return input;
}

ControlInput::~ControlInput() {
    if (notifier_) {
        notifier_->setEnabled(false);
    }
    if (!createdPipe_.empty()) {
        ::unlink(createdPipe_.c_str());
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
