#include "PowerManagerApp.h"

#include "BatteryStatus.h"
#include "EventManager.h"
#include "PowerButtonTrigger.h"
#include "PowerLedTrigger.h"
#include "RequestManager.h"
#include "ShutdownCommand.h"
#include "foundation/Log.h"
#include "ipc/IpcClientSingleton.h"
#include "ipc/IpcServer.h"
#include "model/ModelBuffer.h"
#include "model/ModelClassBuffer.h"
#include "records/InstrumentConfig.h"
#include "session/LoggingSession.h"
#include "system/BacklightButton.h"
#include "system/UnixSignalHandler.h"

#include <QMutexLocker>
#include <QSet>
#include <QTimer>

#include <ctime>

namespace power_manager {

namespace {

using InstrumentConfigBuffer = model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>;
using SessionBuffer = model::ModelClassBuffer<session::LoggingSession>;

constexpr int MIN_THRESHOLD = 1;
constexpr int MAX_THRESHOLD = 99;
constexpr unsigned long BUTTON_THREAD_STOP_WAIT_MS = 1000;

bool powerButtonShutdownRequested() {
    auto configuration = InstrumentConfigBuffer::getInstance();
    return configuration && configuration->getData().powerButtonShutdown != 0;
}

} // namespace

PowerManagerApp::PowerManagerApp(int& argc, char** argv, const PowerManagerSettings& settings)
    : QCoreApplication(argc, argv)
    , batteryCheckTimer(new QTimer(this))
    , powerButtonTrigger(new PowerButtonTrigger())
    , shutdownThreshold(thresholdFromArguments(argc, argv))
    , settings_(settings)
    , shutdownCommand_(
          new ShutdownCommand(settings.shutdownCommand, ShutdownCommand::REISSUE_AFTER_MS, this)) {
    // The press is signalled on the button thread; the automatic connection queues it to the
    // main thread, where everything that follows a press runs.
    // The signal handlers were installed before this object existed; their requests to quit
    // reach the event loop from here on.
    quarn_system::UnixSignalHandler::attachToEventLoop();
    connect(powerButtonTrigger, &PowerButtonTrigger::powerButtonWasPressed, this,
            &PowerManagerApp::processPowerButtonPressed);
    connect(batteryCheckTimer, &QTimer::timeout, this, &PowerManagerApp::checkBatteryStatus);
    connect(this, &PowerManagerApp::batteryLevelIsLow, this, &PowerManagerApp::processBatteryLow);
    connect(this, &PowerManagerApp::batteryLevelIsVeryLow, this,
            &PowerManagerApp::processBatteryVeryLow);
}

int PowerManagerApp::thresholdFromArguments(int argc, char** argv) {
    int threshold = DEFAULT_SHUTDOWN_THRESHOLD;
    if (argc == 2) {
        bool number = false;
        const int value = QString::fromLocal8Bit(argv[1]).toInt(&number);
        if (number && value >= MIN_THRESHOLD && value <= MAX_THRESHOLD) {
            threshold = value;
        } else {
            LOG_WARN("power_manager_logger", "Invalid auto-shutdown threshold \""
                                                 << argv[1] << "\", expected " << MIN_THRESHOLD
                                                 << " to " << MAX_THRESHOLD);
        }
    } else if (argc > 2) {
        LOG_WARN("power_manager_logger", "Expected one argument at most, the auto-shutdown "
                                         "threshold; the "
                                             << argc - 1 << " arguments given are ignored");
    }
    // Always logged: the threshold in force must be visible whatever the command line was.
    LOG_INFO("power_manager_logger",
             "Auto-shutdown battery threshold level is " << threshold << "%.");
    return threshold;
}

PowerManagerApp::~PowerManagerApp() {
    try {
        powerButtonTrigger->stop();
        if (powerButtonTrigger->wait(BUTTON_THREAD_STOP_WAIT_MS)) {
            delete powerButtonTrigger;
        } else {
            // Stuck in a system call that no wake-up reaches. Deleting a running thread would
            // abort the process; the thread ends with it instead.
            LOG_WARN("power_manager_logger",
                     "Power button trigger thread termination error - will be killed!");
        }
        powerButtonTrigger = nullptr;

        RequestManager::releaseInstance();
        EventManager::releaseInstance();
        PowerLedTrigger::releaseInstance();
        ipc::IpcServer::releaseInstance();
    }
    CATCH_ALL_AND_ABORT
}

void PowerManagerApp::initialize() {
    BatteryStatus::initInstance()->setPowerSupplyDirectory(settings_.powerSupplyDirectory);

    auto server = ipc::IpcServer::initInstance();
    server->setMaxRequestSize(MAX_REQUEST_BYTES);
    server->init(ipc::IPC_ORIGIN_SERVER_PWR_MANAGER, settings_.serverRequests.c_str(),
                 settings_.serverEvents.c_str());

    auto client = ipc::IpcClientSingleton::initInstance();
    client->connectTo(ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER, settings_.dspManagerRequests.c_str(),
                      settings_.dspManagerResponses.c_str(), settings_.dspManagerEvents.c_str());

    EventManager::initInstance()->init();
    RequestManager::initInstance()->init();
    PowerLedTrigger::initInstance()->init();

    server->addResponseSocket(ipc::IPC_ORIGIN_CLIENT_COM_MANAGER_REMOTE,
                              settings_.comManagerRemoteResponses.c_str());
    server->addResponseSocket(ipc::IPC_ORIGIN_CLIENT_CORE_APP, settings_.coreAppResponses.c_str());

    connect(RequestManager::getInstance().get(), &RequestManager::powerDown, this,
            &PowerManagerApp::shutDownInstrument);
    connect(client.get(), &ipc::IpcClient::eventPublished, this, &PowerManagerApp::processIpcEvent);
    client->subscribe(ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED);

    batteryCheckTimer->setInterval(BATTERY_CHECK_INTERVAL_MS);
    // Listeners rely on the period; a coarse timer may drift by 5 % of it.
    batteryCheckTimer->setTimerType(Qt::PreciseTimer);

    InstrumentConfigBuffer::initInstance()->initializeIpc(
        ipc::IPC_MSG_GET_INSTRUMENT_CONFIG, QSet<ipc::IPC_MSG>{ipc::IPC_MSG_GET_INSTRUMENT_CONFIG},
        QSet<ipc::IPC_MSG>{ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED}, client.get());
}

void PowerManagerApp::start() {
    // The LED has ticked since initialize(); restarted in step with the battery timer, every
    // second tick falls due with the battery check, and an idle daemon wakes once a second
    // instead of three times every two seconds. Started first, the tick is due a few
    // microseconds before the check: the same wake-up serves both, and the tick does not wait
    // for the gauge's seven reads.
    if (auto led = PowerLedTrigger::getInstance()) {
        led->restartTick();
    }
    batteryCheckTimer->start();
    powerButtonTrigger->start();
}

void PowerManagerApp::checkBatteryStatus() {
    try {
        // The reading itself publishes the battery event and updates the LED before the policy
        // runs.
        const quarn_system::BATTERY_STATUS status =
            BatteryStatus::getInstance()->readBatteryStatus();
        const bool onBattery = status.present && !status.externalPower &&
                               status.chargeState != quarn_system::CHARGE_STATE_CHARGING &&
                               status.chargeState != quarn_system::CHARGE_STATE_FULL;
        const bool belowThreshold = onBattery && status.capacity < shutdownThreshold;
        const bool confirmed = belowThreshold && belowThresholdBefore_;
        belowThresholdBefore_ = belowThreshold;
        if (!belowThreshold) {
            veryLowWarnings_.reset();
        }
        if (confirmed) {
            LOG_REPEATED(veryLowWarnings_, ::log4cplus::WARN_LOG_LEVEL, "power_manager_logger",
                         "Battery level is very low, below shutdown threshold ("
                             << shutdownThreshold << "%)!");
            emit batteryLevelIsVeryLow();
        } else if (onBattery && status.capacity <= LOW_BATTERY_THRESHOLD) {
            // A first reading below the threshold is still low; the next check decides.
            LOG_REPEATED(lowWarnings_, ::log4cplus::WARN_LOG_LEVEL, "power_manager_logger",
                         "Battery level is low! (below " << LOW_BATTERY_THRESHOLD << "%)");
            emit batteryLevelIsLow();
        } else {
            lowWarnings_.reset();
        }
    }
    CATCH_ALL_AND_ABORT
}

void PowerManagerApp::processBatteryLow() {
    try {
        ipc::IpcServer::getInstance()->publishSimpleEvent(ipc::IPC_MSG_EVENT_BATTERY_LOW);
    }
    CATCH_ALL_AND_ABORT
}

void PowerManagerApp::processBatteryVeryLow() {
    try {
        shutDownInstrument();
    }
    CATCH_ALL_AND_ABORT
}

bool PowerManagerApp::sessionIsRunning() {
    auto session = SessionBuffer::getInstance();
    return session && session->getData().isActive();
}

void PowerManagerApp::processPowerButtonPressed() {
    try {
        LOG_INFO("power_manager_logger", "Power button was pressed!");
        if (sessionIsRunning()) {
            // The user interface decides what a press means while a session records.
            LOG_INFO("power_manager_logger", "Sending power down request to core-app because "
                                             "there is an active session.");
            ipc::IpcServer::getInstance()->publishSimpleEvent(ipc::IPC_MSG_EVENT_WANT_POWER_DOWN);
            return;
        }

        // The mirror itself changes only when the dsp-manager publishes the new configuration.
        quarn_system::INSTRUMENT_CONFIG configuration = quarn_system::DEFAULT_INSTRUMENT_CONFIG;
        if (auto mirror = InstrumentConfigBuffer::getInstance()) {
            configuration = mirror->getData();
        }
        configuration.powerButtonShutdown = 1;
        ipc::IpcMessage request(ipc::IPC_MSG_SET_INSTRUMENT_CONFIG,
                                ipc::IPC_ORIGIN_CLIENT_PWR_MANAGER);
        request.appendData(reinterpret_cast<const char*>(&configuration),
                           static_cast<int>(sizeof(configuration)));
        ipc::IpcClientSingleton::getInstance()->sendRequestAsZmqMessage(request);

        shutDownInstrument();
    }
    CATCH_ALL_AND_ABORT
}

void PowerManagerApp::shutDownInstrument() {
    try {
        // One command per shutdown: a pending one is not run again, nor announced again.
        if (shutdownCommand_->absorbTrigger()) {
            return;
        }
        if (shutdownWaitCount <= 0) {
            LOG_INFO("power_manager_logger", "Switching off the backlight ...");
            quarn_system::BacklightButton::getInstance()->displayBacklightOff();
        }
        // A session started by the user should close its files before the power goes, but never
        // hold the shutdown longer than MAX_SHUTDOWN_WAITS steps.
        if (sessionIsRunning() && powerButtonShutdownRequested() &&
            shutdownWaitCount < MAX_SHUTDOWN_WAITS) {
            ++shutdownWaitCount;
            LOG_INFO("power_manager_logger",
                     "Waiting for the session to stop, #" << shutdownWaitCount);
            QTimer::singleShot(SHUTDOWN_WAIT_STEP_MS, this, &PowerManagerApp::shutDownInstrument);
            return;
        }
        LOG_INFO("power_manager_logger", "Shuting down the system ...");
        ipc::IpcServer::getInstance()->publishSimpleEvent(ipc::IPC_MSG_EVENT_POWER_DOWN);
        // The event loop goes on while the command runs; its outcome decides the next trigger.
        shutdownCommand_->run();
    }
    CATCH_ALL_AND_ABORT
}

void PowerManagerApp::processIpcEvent(const ipc::IpcMessage& message) {
    try {
        QMutexLocker locker(&eventMutex);
        if (message.message() == ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED) {
            // The configuration carries the time zone.
            tzset();
        }
    }
    CATCH_ALL_AND_ABORT
}

} // namespace power_manager
