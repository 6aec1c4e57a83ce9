#pragma once

// The whole daemon assembled in the test process over a temporary directory: the fake power
// supply's files and the PWM's run file in it, bus addresses in it, a shutdown command that appends
// to a file, the fake hardware layer, and peers playing core-app, the remote com-manager, cal-app
// (which has no response channel) and the dsp-manager.

#include "BatteryStatus.h"
#include "PowerManagerApp.h"
#include "foundation/Qt48DataStream.h"
#include "ipc/IpcClient.h"
#include "ipc/IpcClientSingleton.h"
#include "ipc/IpcServer.h"
#include "model/ModelBuffer.h"
#include "model/ModelClassBuffer.h"
#include "records/InstrumentConfig.h"
#include "session/LoggingSession.h"
#include "support/EventLoop.h"
#include "support/FakeHwAbstractionLayer.h"
#include "support/LogCapture.h"
#include "system/BacklightButton.h"

#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <string>
#include <vector>

namespace testsupport {

// What the gauge reports; its type, voltage (3.8 V) and temperature (25.0 °C) never change.
struct Gauge {
    int capacity = 57;
    const char* status = "Discharging";
    int currentNow = -300000;
    int present = 1;
};

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

// Writes the gauge's seven attribute files into directory (which ends with a slash), each text
// followed by a line end; truncated in place, so files the daemon holds open see the change.
inline void writeGauge(const QString& directory, const Gauge& gauge = {}) {
    const std::pair<const char*, QByteArray> attributes[] = {
        {"present", QByteArray::number(gauge.present)},
        {"status", gauge.status},
        {"capacity", QByteArray::number(gauge.capacity)},
        {"type", "Battery"},
        {"current_now", QByteArray::number(gauge.currentNow)},
        {"voltage_now", "3800000"},
        {"temp", "250"},
    };
    for (const auto& attribute : attributes) {
        writeFile(directory + attribute.first, attribute.second + "\n");
    }
}

class DaemonHarness {
public:
    // Constructs, initialises and, with timers, starts the daemon (the battery and LED timers and
    // the button watcher), with the dsp-manager answering this session state and button flag; waits
    // until the peers' sockets are connected so that nothing published afterwards is lost. started
    // tells whether both of the daemon's mirrors were initialised by those answers.
    explicit DaemonHarness(int session = 0, bool powerButtonFlag = false, bool timers = true,
                           const std::vector<std::string>& arguments = {}, const Gauge& gauge = {})
        : sessionState_(session)
        , powerButtonFlag_(powerButtonFlag) {
        arguments_.insert(arguments_.end(), arguments.begin(), arguments.end());
        for (std::string& argument : arguments_) {
            argv_.push_back(argument.data());
        }
        argv_.push_back(nullptr);
        argc_ = static_cast<int>(arguments_.size());
        writeFile(path("run"), QByteArray());
        writeGauge(gauge);
        settings_ = {
            dir_.path() + "/",        "echo shutdown >> " + path("shutdown.log").toStdString(),
            endpoint("requests"),     endpoint("events"),
            endpoint("dsp-requests"), endpoint("dsp-responses"),
            endpoint("dsp-events"),   endpoint("remote"),
            endpoint("core-app"),     {}};
        quarn_system::BacklightButton::setPwmDirectory(dir_.path() + "/");
        app_ = std::make_unique<power_manager::PowerManagerApp>(argc_, argv_.data(), settings_);

        dspManager_.init(ipc::IPC_ORIGIN_SERVER_DSP_MANAGER, settings_.dspManagerRequests.c_str(),
                         settings_.dspManagerEvents.c_str());
        dspManager_.addResponseSocket(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER,
                                      settings_.dspManagerResponses.c_str());
        QObject::connect(&dspManager_, &ipc::IpcServer::requestReceived,
                         [this](const ipc::IpcMessage& request) {
                             dspRequests.push_back(request);
                             if (request.message() == ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS ||
                                 request.message() == ipc::IPC_MSG_GET_INSTRUMENT_CONFIG) {
                                 dspManager_.sendResponseMessage(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER,
                                                                 dspMessage(request.message()));
                             }
                         });
        app_->initialize();

        connectPeer(coreApp, ipc::IPC_ORIGIN_CLIENT_CORE_APP, "core-app", coreAppResponses);
        connectPeer(remote, ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, "remote", remoteResponses);
        connectPeer(calApp, ipc::IPC_ORIGIN_CLIENT_CAL_APP, "cal-app", calAppResponses);
        for (ipc::IPC_MSG event :
             {ipc::IPC_MSG_EVENT_BATTERY_LOW, ipc::IPC_MSG_EVENT_POWER_DOWN,
              ipc::IPC_MSG_EVENT_WANT_POWER_DOWN, ipc::IPC_MSG_EVENT_BATTERY_STATUS_CHANGED}) {
            coreApp.subscribe(event);
        }
        QObject::connect(&coreApp, &ipc::IpcClient::eventPublished,
                         [this](const ipc::IpcMessage& message) { events.push_back(message); });

        // A subscription takes a moment to reach the publisher; events before that are dropped.
        pumpFor(200);
        if (timers) {
            app_->start();
        }
        started = pumpUntil([] {
            auto configuration = model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>::getInstance();
            auto session = model::ModelClassBuffer<session::LoggingSession>::getInstance();
            return configuration && session && configuration->isInitialized() &&
                   session->isInitialized();
        });
    }

    // The peers and the dsp-manager go with the members, before the application: everything that
    // holds a socket notifier goes while the application still exists.
    ~DaemonHarness() {
        // The button thread is ended by the application; stopped waits return at once.
        hal.stop();
        ipc::IpcClientSingleton::releaseInstance();
        model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>::releaseInstance();
        power_manager::BatteryStatus::releaseInstance();
        quarn_system::BacklightButton::releaseInstance();
        quarn_system::BacklightButton::setPwmDirectory(
            quarn_system::BacklightButton::PWM_DIRECTORY);
    }

    void writeGauge(const Gauge& gauge) { testsupport::writeGauge(dir_.path() + "/", gauge); }

    // The dsp-manager's change events of the button flag and of the session state; the latter true
    // once the daemon's mirror holds the state.
    bool publishSession(int state) {
        sessionState_ = state;
        dspManager_.publishEventMessage(dspMessage(ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED));
        return pumpUntil([state] {
            return model::ModelClassBuffer<session::LoggingSession>::getInstance()
                       ->getData()
                       .state() == state;
        });
    }
    void publishInstrumentConfig(bool powerButtonFlag) {
        powerButtonFlag_ = powerButtonFlag;
        dspManager_.publishEventMessage(dspMessage(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED));
    }

    int shutdownCalls() const { return fileBytes("shutdown.log").count("shutdown\n"); }
    QByteArray fileBytes(const QString& name) const {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    power_manager::PowerManagerApp& app() { return *app_; }

private:
    QString path(const QString& name) const { return dir_.filePath(name); }
    std::string endpoint(const char* name) const { return "ipc://" + path(name).toStdString(); }

    QTemporaryDir dir_;
    std::vector<std::string> arguments_{"pwr-manager"};
    std::vector<char*> argv_;
    int argc_ = 0;
    power_manager::PowerManagerSettings settings_;
    int sessionState_;
    bool powerButtonFlag_;

public:
    LogCapture log;
    FakeHwAbstractionLayer hal;

private:
    std::unique_ptr<power_manager::PowerManagerApp> app_;
    ipc::IpcServer dspManager_;

public:
    // The peers' request senders; cal-app has no response channel to this daemon.
    ipc::IpcClient coreApp{false}, remote{false}, calApp{false};
    // Everything the peers received, in arrival order.
    std::vector<ipc::IpcMessage> events, coreAppResponses, remoteResponses, calAppResponses,
        dspRequests;
    bool started = false;

private:
    void connectPeer(ipc::IpcClient& peer, ipc::IPC_ORIGIN origin, const char* responses,
                     std::vector<ipc::IpcMessage>& received) {
        peer.connectTo(origin, settings_.serverRequests.c_str(), endpoint(responses).c_str(),
                       settings_.serverEvents.c_str());
        QObject::connect(
            &peer, &ipc::IpcClient::responseReceived,
            [&received](const ipc::IpcMessage& message) { received.push_back(message); });
    }

    // The dsp-manager's answer to a question about, or its change event of, the session state or
    // the instrument configuration.
    ipc::IpcMessage dspMessage(ipc::IPC_MSG message) const {
        QByteArray payload;
        if (message == ipc::IPC_MSG_GET_INSTRUMENT_CONFIG ||
            message == ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED) {
            quarn_system::INSTRUMENT_CONFIG configuration = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
            configuration.powerButtonShutdown = powerButtonFlag_ ? 1 : 0;
            payload = QByteArray(reinterpret_cast<const char*>(&configuration),
                                 static_cast<int>(sizeof configuration));
        } else {
            session::LoggingSession session;
            storage::META_SESSION_DATA meta = session.metaSessionData();
            meta.state = sessionState_;
            session.assign(session.name(), session.sessionConfig(), meta, session.dspConfig(),
                           session.probeConfig(), session.instrumentConfig(),
                           session.metaTrendEnergy(), session.metaDemandEnergy());
            shared::Qt48DataStream stream(&payload, QIODevice::WriteOnly);
            stream << session;
        }
        ipc::IpcMessage result(message, ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
        result.appendData(payload.constData(), static_cast<int>(payload.size()));
        return result;
    }
};

} // namespace testsupport
