#pragma once

#include "foundation/FileDescriptor.h"

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

    explicit ControlInput(shared::FileDescriptor file);
    ~ControlInput() override;

    // Reads the named pipe at path, without waiting for a writer. A pipe it had to create is
    // removed again with the input. A write end stays open inside as well, so that the pipe never
    // reads end-of-file when a writing script closes: every later writer is read too. Null, with
    // the reason in error, when path is not a named pipe or cannot be opened.
    static std::unique_ptr<ControlInput> fromNamedPipe(const std::string& path, std::string& error);

signals:
    // Without the line end (a trailing carriage return is removed as well).
    void lineReceived(const std::string& line);
    // End of input or a read error: nothing more will come.
    void closed();

private slots:
    void onReadable();

private:
    void emitLine(std::string line);

    shared::FileDescriptor file_;
    shared::FileDescriptor keepWriter_;
    std::string createdPipe_;
    std::unique_ptr<QSocketNotifier> notifier_;
    std::string pending_;
};

} // namespace quarn_bus
