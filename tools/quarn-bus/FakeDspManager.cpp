#include "quarn-bus/FakeDspManager.h"

#include "quarn-bus/ControlCommand.h"
#include "quarn-bus/FrameFormatter.h"

#include "foundation/Qt48DataStream.h"
#include "records/MetaRecords.h"

#include <cstring>
#include <sstream>

namespace quarn_bus {

FakeDspManager::FakeDspManager(std::ostream& out, int sessionState, int powerButtonFlag)
    : out_(out)
    , config_(quarn_system::DEFAULT_INSTRUMENT_CONFIG)
    , sessionState_(sessionState) {
    config_.powerButtonShutdown = static_cast<std::uint8_t>(powerButtonFlag != 0 ? 1 : 0);
}

FakeDspManager::~FakeDspManager() = default;

void FakeDspManager::start(const std::string& requestsAddress, const std::string& eventsAddress,
                           const std::string& responsesAddress) {
    auto server = std::make_unique<ipc::IpcServer>();
    server->init(ipc::IPC_ORIGIN_SERVER_DSP_MANAGER, requestsAddress.c_str(),
                 eventsAddress.c_str());
    server->addResponseSocket(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, responsesAddress.c_str());
    connect(server.get(), &ipc::IpcServer::requestReceived, this, &FakeDspManager::handleRequest);
    server_ = std::move(server);
    std::ostringstream ready;
    ready << "ready: requests=" << requestsAddress << " events=" << eventsAddress
          << " responses=" << responsesAddress
          << " session=" << session::LoggingSession::sessionStateName(sessionState_).toStdString()
          << " powerButtonShutdown=" << static_cast<int>(config_.powerButtonShutdown);
    print(ready.str());
}

session::LoggingSession FakeDspManager::makeSession(int state) {
    session::LoggingSession session;
    if (state == session::LoggingSession::SESSION_STATE_IDLE) {
        return session;
    }
    session.start();
    if (state == session::LoggingSession::SESSION_STATE_DONE) {
        session.stop();
    } else if (state != session::LoggingSession::SESSION_STATE_PENDING) {
        // ACTIVE (or any other value) is only ever set by the recorder and travels inside the
        // session's metadata record, so it is put there the same way.
        storage::META_SESSION_DATA metaSessionData = session.metaSessionData();
        metaSessionData.state = state;
        const QString name = session.name();
        const SESSION_CONFIG sessionConfig = session.sessionConfig();
        const ADCO_DSP_CONFIG dspConfig = session.dspConfig();
        const ADCO_DSP_PROBE_CONFIG probeConfig = session.probeConfig();
        const quarn_system::INSTRUMENT_CONFIG instrumentConfig = session.instrumentConfig();
        const storage::META_TREND_ENERGY metaTrendEnergy = session.metaTrendEnergy();
        const storage::META_DEMAND_ENERGY metaDemandEnergy = session.metaDemandEnergy();
        session.assign(name, sessionConfig, metaSessionData, dspConfig, probeConfig,
                       instrumentConfig, metaTrendEnergy, metaDemandEnergy);
    }
    return session;
}

QByteArray FakeDspManager::serializeSession(const session::LoggingSession& session) {
    QByteArray bytes;
    shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
    stream << session;
    return bytes;
}

void FakeDspManager::setSessionState(int state) {
    sessionState_ = state;
    publish(sessionMessage(ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED));
}

void FakeDspManager::setPowerButtonFlag(int flag) {
    config_.powerButtonShutdown = static_cast<std::uint8_t>(flag != 0 ? 1 : 0);
    publish(configMessage(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED));
}

bool FakeDspManager::applyControlLine(const std::string& line, std::string& error) {
    const ControlCommand command = parseControlCommand(line);
    switch (command.kind) {
    case ControlCommand::Nothing:
        return true;
    case ControlCommand::Session:
        setSessionState(command.value);
        return true;
    case ControlCommand::PowerButtonFlag:
        setPowerButtonFlag(command.value);
        return true;
    case ControlCommand::Quit:
        emit quitRequested();
        return true;
    case ControlCommand::Invalid:
        break;
    }
    error = command.error;
    return false;
}

void FakeDspManager::handleRequest(ipc::IpcMessage request) {
    print("request: " + describeMessage(request));
    switch (request.message()) {
    case ipc::IPC_MSG_GET_INSTRUMENT_CONFIG:
        respond(request.origin(), configMessage(ipc::IPC_MSG_GET_INSTRUMENT_CONFIG));
        break;
    case ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS:
        respond(request.origin(), sessionMessage(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS));
        break;
    case ipc::IPC_MSG_SET_INSTRUMENT_CONFIG: {
        const QByteArray payload = request.data();
        if (payload.size() != static_cast<qsizetype>(sizeof config_)) {
            print("ignored: SET_INSTRUMENT_CONFIG with " + std::to_string(payload.size()) +
                  " bytes instead of " + std::to_string(sizeof config_));
            break;
        }
        std::memcpy(static_cast<void*>(&config_), payload.constData(), sizeof config_);
        publish(configMessage(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED));
        break;
    }
    default:
        // Everything else a real dsp-manager does is of no concern to the power manager.
        break;
    }
}

ipc::IpcMessage FakeDspManager::configMessage(ipc::IPC_MSG message) const {
    ipc::IpcMessage result(message, ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    result.appendData(reinterpret_cast<const char*>(&config_), sizeof config_);
    return result;
}

ipc::IpcMessage FakeDspManager::sessionMessage(ipc::IPC_MSG message) const {
    ipc::IpcMessage result(message, ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    const QByteArray body = serializeSession(makeSession(sessionState_));
    result.appendData(body.constData(), static_cast<int>(body.size()));
    return result;
}

void FakeDspManager::publish(const ipc::IpcMessage& event) {
    const bool published = server_ && server_->publishEventMessage(event);
    print((published ? "event: " : "event not published: ") + describeMessage(event));
}

void FakeDspManager::respond(ipc::IPC_ORIGIN client, const ipc::IpcMessage& response) {
    const bool sent = server_ && server_->sendResponseMessage(client, response);
    print((sent ? "response: " : "response not sent: ") + describeMessage(response));
}

void FakeDspManager::print(const std::string& text) {
    out_ << timestamp() << ' ' << text << std::endl;
}

} // namespace quarn_bus
