// Any bytes as one frame read from the bus: the decoder must refuse what is not a message, and
// whatever it accepts goes where the daemon's request socket and its mirrors would send it (the
// request queue and its handler, both model buffers) and through the bus tool's printer. A mirror
// takes a payload only when it is whole, and then holds exactly its bytes.

#include "FuzzLogging.h"
#include "FuzzScratch.h"

#include "BatteryStatus.h"
#include "RequestManager.h"
#include "ipc/IpcMessage.h"
#include "ipc/IpcServer.h"
#include "model/ModelBuffer.h"
#include "model/ModelClassBuffer.h"
#include "quarn-bus/FrameFormatter.h"
#include "records/InstrumentConfig.h"
#include "session/LoggingSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// The mirrors' own reading of a message, without the bus around them.
template <class Buffer> struct Mirror : Buffer { using Buffer::updateFromMessage; };
Mirror<model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>>* instrumentConfig = nullptr;
Mirror<model::ModelClassBuffer<session::LoggingSession>>* loggingSession = nullptr;

void writeGauge(const QString& directory) {
    QDir().mkpath(directory);
    const char* const files[][2] = {{"present", "1\n"},         {"status", "Discharging\n"},
                                    {"capacity", "42\n"},       {"type", "Battery\n"},
                                    {"current_now", "-3000\n"}, {"voltage_now", "3800000\n"},
                                    {"temp", "250\n"}};
    for (const auto& file : files) {
        QFile attribute(directory + file[0]);
        if (attribute.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            attribute.write(file[1]);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    silenceLogging();
    fixTimeZone();
    new QCoreApplication(*argc, *argv);
    // The gauge the battery requests read and the sockets' files.
    const std::string base = fuzzScratch("ipc-frame");
    writeGauge(QString::fromStdString(base + "gauge/"));

    power_manager::BatteryStatus::initInstance()->setPowerSupplyDirectory(
        QString::fromStdString(base + "gauge/"));
    auto server = ipc::IpcServer::initInstance();
    server->init(ipc::IPC_ORIGIN_SERVER_PWR_MANAGER, ("ipc://" + base + "requests").c_str(),
                 ("ipc://" + base + "events").c_str());
    // Responses to a client nobody plays: the send finds no peer and reports it, as in the field.
    server->addResponseSocket(ipc::IPC_ORIGIN_CLIENT_CORE_APP,
                              ("ipc://" + base + "responses").c_str());
    power_manager::RequestManager::initInstance();
    instrumentConfig = new Mirror<model::ModelBuffer<quarn_system::INSTRUMENT_CONFIG>>();
    loggingSession = new Mirror<model::ModelClassBuffer<session::LoggingSession>>();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* bytes = reinterpret_cast<const char*>(data);
    quarn_bus::describeFrame(bytes, size);

    ipc::IpcMessage message;
    if (!ipc::IpcMessage::fromFrame(bytes, size, message)) {
        if (size >= ipc::IpcMessage::HEADER_SIZE) {
            std::abort();
        }
        return 0;
    }
    if (message.data().size() != static_cast<qsizetype>(size - ipc::IpcMessage::HEADER_SIZE) ||
        message.toFrame() != QByteArray(bytes, static_cast<qsizetype>(size))) {
        std::abort();
    }

    power_manager::RequestManager::getInstance()->queueRequestFromIpc(message);
    // The queued handling runs as on the daemon's next turn of the loop.
    QCoreApplication::sendPostedEvents();

    const bool wholeRecord = message.data().size() == sizeof(quarn_system::INSTRUMENT_CONFIG);
    if (instrumentConfig->updateFromMessage(message) != wholeRecord ||
        (wholeRecord && std::memcmp(&instrumentConfig->getData(), message.data().constData(),
                                    sizeof(quarn_system::INSTRUMENT_CONFIG)) != 0)) {
        std::abort();
    }
    if (loggingSession->updateFromMessage(message)) {
        loggingSession->getData().isActive();
    }
    return 0;
}
