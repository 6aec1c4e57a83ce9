#pragma once

#include "quarn-bus/PosixFile.h"

#include <QObject>
#include <QString>

#include <memory>
#include <string>

class QSocketNotifier;

namespace quarn_bus {

// Reads text lines from a descriptor (standard input, a named pipe) as they come, from the
// event loop: one read per readiness, so the loop never waits for a writer.
class ControlInput : public QObject {
    Q_OBJECT

public:
    // A line longer than this is handed on in pieces of this size.
    static constexpr int MAX_LINE_LENGTH = 4096;

    explicit ControlInput(PosixFile file);
    ~ControlInput() override;

signals:
    // Without the line end (a trailing carriage return is removed as well).
    void lineReceived(const std::string& line);
    // End of input or a read error: nothing more will come.
    void closed();

private slots:
    void onReadable();

private:
    void emitLine(std::string line);

    PosixFile file_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string pending_;
};

} // namespace quarn_bus
