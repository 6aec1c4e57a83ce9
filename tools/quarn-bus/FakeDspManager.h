#pragma once

#include "ipc/IpcMessage.h"
#include "ipc/IpcServer.h"
#include "records/InstrumentConfig.h"
#include "session/LoggingSession.h"

#include <QByteArray>
#include <QObject>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

namespace quarn_bus {

// Plays the dsp-manager as far as the power manager's mirrors see it: it owns an instrument
// configuration and a logging session, answers their requests, takes configuration changes and
// publishes the change events, printing every request and everything it sends:
//
//     <time> ready: requests=ADDR events=ADDR responses=ADDR session=... powerButtonShutdown=0
//     <time> request: <frame>
//     <time> response: <frame>          (or "response not sent: <frame>")
//     <time> event: <frame>             (or "event not published: <frame>")
//     <time> ignored: <why>
class FakeDspManager : public QObject {
    Q_OBJECT

public:
    FakeDspManager(std::ostream& out, int sessionState, int powerButtonFlag);
    ~FakeDspManager() override;

    // Binds the requests and events addresses and the response channel of the power manager's
    // client. Throws zmq::error_t for an address that cannot be bound.
    void start(const std::string& requestsAddress, const std::string& eventsAddress,
               const std::string& responsesAddress);

    // Both publish the change event, as the real owner does after every change.
    void setSessionState(int state);
    void setPowerButtonFlag(int flag);

    // One control line (see ControlCommand.h). Returns false for a line it cannot use, with the
    // reason in error; quit emits quitRequested.
    bool applyControlLine(const std::string& line, std::string& error);

    const quarn_system::INSTRUMENT_CONFIG& instrumentConfig() const { return config_; }
    int sessionState() const { return sessionState_; }

    // A default session in the given state, and its form on the bus.
    static session::LoggingSession makeSession(int state);
    static QByteArray serializeSession(const session::LoggingSession& session);

signals:
    void quitRequested();

private slots:
    void handleRequest(ipc::IpcMessage request);

private:
    void print(const std::string& text);
    void publish(const ipc::IpcMessage& event);
    void respond(ipc::IPC_ORIGIN client, const ipc::IpcMessage& response);
    ipc::IpcMessage configMessage(ipc::IPC_MSG message) const;
    ipc::IpcMessage sessionMessage(ipc::IPC_MSG message) const;

    std::ostream& out_;
    quarn_system::INSTRUMENT_CONFIG config_;
    int sessionState_;
    std::unique_ptr<ipc::IpcServer> server_;
};

} // namespace quarn_bus
