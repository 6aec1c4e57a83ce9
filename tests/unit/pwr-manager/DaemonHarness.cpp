#include "DaemonHarness.h"

#include "BatteryStatus.h"
#include "foundation/Qt48DataStream.h"
#include "ipc/IpcClientSingleton.h"
#include "model/ModelBuffer.h"
#include "model/ModelClassBuffer.h"
#include "records/InstrumentConfig.h"
#include "records/MetaRecords.h"
#include "session/LoggingSession.h"
#include "support/EventLoop.h"
#include "system/BacklightButton.h"

#include <QDir>
#include <QFile>

namespace testsupport {

namespace {

using InstrumentConfigBuffer = model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>;
using SessionBuffer = model::ModelClassBuffer<session::LoggingSession>;

} // namespace

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(bytes);
    }
}

void writeGauge(const QString& directory, const Gauge& gauge) {
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

DaemonHarness::DaemonHarness(const std::vector<std::string>& arguments)
    : arguments_{"pwr-manager"} {
    arguments_.insert(arguments_.end(), arguments.begin(), arguments.end());
    for (std::string& argument : arguments_) {
        argv_.push_back(argument.data());
    }
    argv_.push_back(nullptr);
    argc_ = static_cast<int>(arguments_.size());

    QDir(dir_.path()).mkpath("gauge");
    QDir(dir_.path()).mkpath("pwm");
    for (const char* name : {"export", "polarity", "period_ns", "duty_ns", "run"}) {
        writeFile(path(QString("pwm/") + name), QByteArray());
    }
    writeGauge(Gauge());

    settings_.powerSupplyDirectory = path("gauge/");
    settings_.shutdownCommand = "echo shutdown >> " + path("shutdown.log").toStdString();
    settings_.serverRequests = endpoint("requests.pwr-manager");
    settings_.serverEvents = endpoint("events.pwr-manager");
    settings_.dspManagerRequests = endpoint("requests.dsp-manager");
    settings_.dspManagerResponses = endpoint("responses.pwr-manager-to-dsp-manager");
    settings_.dspManagerEvents = endpoint("events.dsp-manager");
    settings_.comManagerRemoteResponses = endpoint("responses.com-manager-remote");
    settings_.coreAppResponses = endpoint("responses.core-app");

    hal.install();
    quarn_system::BacklightButton::setPwmDirectory(path("pwm/"));
    app_ = std::make_unique<power_manager::PowerManagerApp>(argc_, argv_.data(), settings_);
}

DaemonHarness::~DaemonHarness() {
    // The button thread is ended by the application; stopped waits return at once.
    hal.stop();
    // Everything that holds a socket notifier goes while the application still exists.
    coreApp.reset();
    remote.reset();
    calApp.reset();
    dspManager_.reset();
    ipc::IpcClientSingleton::releaseInstance();
    InstrumentConfigBuffer::releaseInstance();
    power_manager::BatteryStatus::releaseInstance();
    quarn_system::BacklightButton::releaseInstance();
    app_.reset();
    quarn_system::BacklightButton::setPwmDirectory(quarn_system::BacklightButton::PWM_DIRECTORY);
}

bool DaemonHarness::startDaemon(bool startTimers, int sessionState, bool powerButtonFlag) {
    sessionState_ = sessionState;
    powerButtonFlag_ = powerButtonFlag;
    dspManager_ = std::make_unique<ipc::IpcServer>();
    dspManager_->init(ipc::IPC_ORIGIN_SERVER_DSP_MANAGER, settings_.dspManagerRequests.c_str(),
                      settings_.dspManagerEvents.c_str());
    dspManager_->addResponseSocket(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER,
                                   settings_.dspManagerResponses.c_str());
    QObject::connect(dspManager_.get(), &ipc::IpcServer::requestReceived,
                     [this](const ipc::IpcMessage& request) {
                         dspRequests.push_back(request);
                         const ipc::IPC_MSG message = request.message();
                         if (message == ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS ||
                             message == ipc::IPC_MSG_GET_INSTRUMENT_CONFIG) {
                             dspManager_->sendResponseMessage(
                                 ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER,
                                 message == ipc::IPC_MSG_GET_INSTRUMENT_CONFIG
                                     ? configurationMessage(message)
                                     : sessionMessage(message));
                         }
                     });

    app_->initialize();

    const struct {
        std::unique_ptr<ipc::IpcClient>* client;
        ipc::IPC_ORIGIN origin;
        std::string responses;
        std::vector<ipc::IpcMessage>* received;
    } peers[] = {
        {&coreApp, ipc::IPC_ORIGIN_CLIENT_CORE_APP, settings_.coreAppResponses, &coreAppResponses},
        {&remote, ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE, settings_.comManagerRemoteResponses,
         &remoteResponses},
        {&calApp, ipc::IPC_ORIGIN_CLIENT_CAL_APP, endpoint("responses.cal-app"), &calAppResponses},
    };
    for (const auto& peer : peers) {
        *peer.client = std::make_unique<ipc::IpcClient>(false);
        (*peer.client)
            ->connectTo(peer.origin, settings_.serverRequests.c_str(), peer.responses.c_str(),
                        settings_.serverEvents.c_str());
        std::vector<ipc::IpcMessage>* received = peer.received;
        QObject::connect(
            peer.client->get(), &ipc::IpcClient::responseReceived,
            [received](const ipc::IpcMessage& message) { received->push_back(message); });
    }
    for (ipc::IPC_MSG event :
         {ipc::IPC_MSG_EVENT_BATTERY_LOW, ipc::IPC_MSG_EVENT_POWER_DOWN,
          ipc::IPC_MSG_EVENT_WANT_POWER_DOWN, ipc::IPC_MSG_EVENT_BATTERY_STATUS_CHANGED}) {
        coreApp->subscribe(event);
    }
    QObject::connect(coreApp.get(), &ipc::IpcClient::eventPublished,
                     [this](const ipc::IpcMessage& message) { events.push_back(message); });

    // A subscription takes a moment to reach the publisher; events before that are dropped.
    pumpFor(200);
    if (startTimers) {
        app_->start();
    }
    return pumpUntil(
        [] {
            auto configuration = InstrumentConfigBuffer::getInstance();
            auto session = SessionBuffer::getInstance();
            return configuration && session && configuration->isInitialized() &&
                   session->isInitialized();
        },
        3000);
}

ipc::IpcMessage DaemonHarness::sessionMessage(ipc::IPC_MSG message) const {
    session::LoggingSession session;
    storage::META_SESSION_DATA meta = session.metaSessionData();
    meta.state = sessionState_;
    session.assign(session.name(), session.sessionConfig(), meta, session.dspConfig(),
                   session.probeConfig(), session.instrumentConfig(), session.metaTrendEnergy(),
                   session.metaDemandEnergy());
    QByteArray payload;
    shared::Qt48DataStream stream(&payload, QIODevice::WriteOnly);
    stream << session;
    ipc::IpcMessage result(message, ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    result.appendData(payload.constData(), static_cast<int>(payload.size()));
    return result;
}

ipc::IpcMessage DaemonHarness::configurationMessage(ipc::IPC_MSG message) const {
    quarn_system::INSTRUMENT_CONFIG configuration = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
    configuration.powerButtonShutdown = powerButtonFlag_ ? 1 : 0;
    ipc::IpcMessage result(message, ipc::IPC_ORIGIN_SERVER_DSP_MANAGER);
    result.appendData(reinterpret_cast<const char*>(&configuration),
                      static_cast<int>(sizeof(configuration)));
    return result;
}

void DaemonHarness::publishSession(int state) {
    sessionState_ = state;
    dspManager_->publishEventMessage(sessionMessage(ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED));
}

void DaemonHarness::publishInstrumentConfig(bool powerButtonFlag) {
    powerButtonFlag_ = powerButtonFlag;
    dspManager_->publishEventMessage(
        configurationMessage(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED));
}

int DaemonHarness::shutdownCalls() const {
    return fileBytes("shutdown.log").count("shutdown\n");
}

QByteArray DaemonHarness::fileBytes(const QString& relativePath) const {
    QFile file(path(relativePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace testsupport
