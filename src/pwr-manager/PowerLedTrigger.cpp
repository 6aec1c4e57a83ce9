#include "PowerLedTrigger.h"

#include "BatteryStatus.h"
#include "foundation/Log.h"
#include "hal/HwAbstractionLayer.h"
#include "ipc/IpcClientSingleton.h"
#include "model/ModelClassBuffer.h"
#include "session/LoggingSession.h"

#include <QMutexLocker>
#include <QSet>
#include <QTimer>

namespace power_manager {

namespace {

using SessionBuffer = model::ModelClassBuffer<session::LoggingSession>;

constexpr int FLASHING_OFFSET = 3;

bool isFlashing(int mode) {
    return mode >= PowerLedTrigger::LED_EXTERNAL_POWER_FLASHING;
}

} // namespace

PowerLedTrigger::PowerLedTrigger()
    : ledTimer(new QTimer(this)) {
    // A coarse timer may fire 5 % of its period off; the flashing must keep its second.
    ledTimer->setTimerType(Qt::PreciseTimer);
}

PowerLedTrigger::~PowerLedTrigger() {
    try {
        SessionBuffer::releaseInstance();
    }
    CATCH_ALL_AND_ABORT
}

void PowerLedTrigger::init() {
    auto sessionBuffer = SessionBuffer::initInstance();
    sessionBuffer->initializeIpc(ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS,
                                 QSet<ipc::IPC_MSG>{ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS},
                                 QSet<ipc::IPC_MSG>{ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED},
                                 ipc::IpcClientSingleton::getInstance().get());
    connect(ledTimer, &QTimer::timeout, this, &PowerLedTrigger::processPowerLedTriggerTimeout);
    connect(sessionBuffer.get(), &model::ModelBufferBase::updated, this,
            &PowerLedTrigger::onSessionChange);
    connect(BatteryStatus::getInstance().get(), &BatteryStatus::batteryStatusUpdated, this,
            &PowerLedTrigger::processBatteryStatus);
    ledTimer->start(TICK_MS);
}

void PowerLedTrigger::restartTick() {
    ledTimer->start(TICK_MS);
}

int PowerLedTrigger::mode() const {
    QMutexLocker locker(&ledMutex);
    return ledMode;
}

void PowerLedTrigger::onSessionChange(ipc::IPC_MSG messageId) {
    try {
        QMutexLocker locker(&ledMutex);
        if (messageId != ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS &&
            messageId != ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED) {
            return;
        }
        auto sessionBuffer = SessionBuffer::getInstance();
        if (sessionBuffer && sessionBuffer->getData().isActive()) {
            startLedFlashing();
        } else {
            stopLedFlashing();
        }
    }
    CATCH_ALL_AND_ABORT
}

void PowerLedTrigger::startLedFlashing() {
    if (!isFlashing(ledMode)) {
        ledMode += FLASHING_OFFSET;
        LOG_INFO("com_manager_logger", "LED flashing was activated");
    }
}

void PowerLedTrigger::stopLedFlashing() {
    if (isFlashing(ledMode)) {
        ledMode -= FLASHING_OFFSET;
        LOG_INFO("com_manager_logger", "LED flashing was stopped");
    }
}

void PowerLedTrigger::processBatteryStatus(quarn_system::BATTERY_STATUS batteryStatus) {
    try {
        QMutexLocker locker(&ledMutex);
        int steady;
        if (batteryStatus.externalPower) {
            steady = LED_EXTERNAL_POWER;
        } else if (batteryStatus.present) {
            steady = batteryStatus.capacity <= LOW_BATTERY_LEVEL ? LED_BATTERY_LOW : LED_ON_BATTERY;
        } else {
            return;
        }
        ledMode = steady + (isFlashing(ledMode) ? FLASHING_OFFSET : 0);
    }
    CATCH_ALL_AND_ABORT
}

void PowerLedTrigger::processPowerLedTriggerTimeout() {
    try {
        QMutexLocker locker(&ledMutex);
        hal::HwAbstractionLayer* layer = hal::HwAbstractionLayer::instance();
        switch (ledMode) {
        case LED_EXTERNAL_POWER:
            layer->setLed1(0);
            layer->setLed2(1);
            break;
        case LED_ON_BATTERY:
            layer->setLed1(1);
            layer->setLed2(1);
            break;
        case LED_BATTERY_LOW:
            layer->setLed1(1);
            layer->setLed2(0);
            break;
        case LED_EXTERNAL_POWER_FLASHING:
            layer->setLed1(0);
            layer->toggleLed2();
            break;
        case LED_ON_BATTERY_FLASHING:
            // LED 2 follows LED 1, so the toggle must be visible to the read right after it.
            layer->toggleLed1();
            layer->setLed2(layer->getLed1());
            break;
        case LED_BATTERY_LOW_FLASHING:
            layer->toggleLed1();
            layer->setLed2(0);
            break;
        default:
            break;
        }
    }
    CATCH_ALL_AND_ABORT
}

} // namespace power_manager
