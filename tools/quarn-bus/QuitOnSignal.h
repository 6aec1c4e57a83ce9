#pragma once

#include "quarn-bus/PosixFile.h"

#include <QObject>

#include <memory>
#include <string>

class QSocketNotifier;

namespace quarn_bus {

// Turns SIGINT and SIGTERM into the signal `signalled` on the thread of the event loop, so the
// long-running roles end through their normal exit path (sockets closed, pipe removed). The
// handler only writes the signal number into a pipe; one instance per process.
class QuitOnSignal : public QObject {
    Q_OBJECT

public:
    QuitOnSignal();
    // Puts the default actions back.
    ~QuitOnSignal() override;

    bool install(std::string& error);

signals:
    void signalled(int signalNumber);

private slots:
    void onReadable();

private:
    PosixFile readEnd_;
    PosixFile writeEnd_;
    std::unique_ptr<QSocketNotifier> notifier_;
    bool installed_ = false;
};

} // namespace quarn_bus
