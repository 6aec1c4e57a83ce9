#include "quarn-bus/FrameFormatter.h"

#include "foundation/Qt48DataStream.h"
#include "records/BatteryStatusRecord.h"
#include "records/InstrumentConfig.h"
#include "session/LoggingSession.h"

#include <QTime>
#include <QtEndian>

#include <cstddef>
#include <cstdio>
#include <sstream>

namespace quarn_bus {

namespace {

// Offsets of the records as they travel, independent of this host's own struct layout.
constexpr std::size_t BATTERY_PRESENT = 0;
constexpr std::size_t BATTERY_EXTERNAL_POWER = 1;
constexpr std::size_t BATTERY_STATUS_TEXT = 2;
constexpr std::size_t BATTERY_CAPACITY = 36;
constexpr std::size_t BATTERY_TYPE_TEXT = 40;
constexpr std::size_t BATTERY_CURRENT_NOW = 72;
constexpr std::size_t BATTERY_VOLTAGE = 76;
constexpr std::size_t BATTERY_TEMPERATURE = 80;
constexpr std::size_t BATTERY_CHARGE_STATE = 84;
constexpr std::size_t BATTERY_TEXT_SIZE = 32;
constexpr std::size_t CONFIG_POWER_BUTTON_SHUTDOWN = 913;

std::int32_t int32At(const char* bytes, std::size_t offset) {
    return qFromLittleEndian<qint32>(bytes + offset);
}

unsigned byteAt(const char* bytes, std::size_t offset) {
    return static_cast<unsigned char>(bytes[offset]);
}

// A fixed-size text field up to its first zero, quoted; anything unprintable is escaped so a
// field full of garbage still gives one readable line.
std::string quotedText(const char* bytes, std::size_t capacity) {
    std::string out = "\"";
    for (std::size_t i = 0; i < capacity && bytes[i] != '\0'; ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        }
    }
    out += '"';
    return out;
}

bool carriesBatteryStatus(ipc::IPC_MSG message) {
    return message == ipc::IPC_MSG_GET_BATTERY_STATUS ||
           message == ipc::IPC_MSG_EVENT_BATTERY_STATUS_CHANGED;
}

bool carriesInstrumentConfig(ipc::IPC_MSG message) {
    return message == ipc::IPC_MSG_GET_INSTRUMENT_CONFIG ||
           message == ipc::IPC_MSG_SET_INSTRUMENT_CONFIG ||
           message == ipc::IPC_MSG_EVENT_INSTRUMENT_CONFIG_CHANGED;
}

bool carriesLoggingSession(ipc::IPC_MSG message) {
    return message == ipc::IPC_MSG_GET_LOGGING_SESSION_STATUS ||
           message == ipc::IPC_MSG_EVENT_SESSION_STATUS_CHANGED;
}

std::string unexpectedSize(const char* record, std::size_t expected, const QByteArray& payload) {
    std::ostringstream out;
    out << "unexpected size for " << record << " (" << expected << " expected): "
        << hexBytes(payload.constData(), static_cast<std::size_t>(payload.size()));
    return out.str();
}

std::string describeLoggingSession(const QByteArray& payload) {
    session::LoggingSession session;
    shared::Qt48DataStream stream(payload);
    stream >> session;
    if (stream.status() != QDataStream::Ok) {
        return "unreadable LoggingSession: " +
               hexBytes(payload.constData(), static_cast<std::size_t>(payload.size()));
    }
    std::ostringstream out;
    out << "state=" << session.state() << " ("
        << session::LoggingSession::sessionStateName(session.state()).toStdString() << ") name="
        << quotedText(session.nameUtf8().constData(),
                      static_cast<std::size_t>(session.nameUtf8().size()));
    const qint64 trailing = stream.device() != nullptr ? stream.device()->bytesAvailable() : 0;
    if (trailing > 0) {
        out << " trailing=" << trailing;
    }
    return out.str();
}

} // namespace

const char* chargeStateName(std::int32_t chargeState) {
    switch (chargeState) {
    case quarn_system::CHARGE_STATE_CHARGING:
        return "CHARGING";
    case quarn_system::CHARGE_STATE_DISCHARGING:
        return "DISCHARGING";
    case quarn_system::CHARGE_STATE_FULL:
        return "FULL";
    case quarn_system::CHARGE_STATE_IDLE:
        return "IDLE";
    case quarn_system::CHARGE_STATE_UNKNOWN:
        return "UNKNOWN";
    default:
        return "???";
    }
}

std::string describeBatteryStatus(const char* bytes) {
    const std::int32_t chargeState = int32At(bytes, BATTERY_CHARGE_STATE);
    std::ostringstream out;
    // The flags are printed as the bytes they are: a peer may send values other than 0 and 1.
    out << "present=" << byteAt(bytes, BATTERY_PRESENT)
        << " externalPower=" << byteAt(bytes, BATTERY_EXTERNAL_POWER)
        << " status=" << quotedText(bytes + BATTERY_STATUS_TEXT, BATTERY_TEXT_SIZE)
        << " capacity=" << int32At(bytes, BATTERY_CAPACITY)
        << " type=" << quotedText(bytes + BATTERY_TYPE_TEXT, BATTERY_TEXT_SIZE)
        << " current_now=" << int32At(bytes, BATTERY_CURRENT_NOW)
        << " voltage=" << int32At(bytes, BATTERY_VOLTAGE)
        << " temperature=" << int32At(bytes, BATTERY_TEMPERATURE) << " chargeState=" << chargeState
        << " (" << chargeStateName(chargeState) << ")";
    return out.str();
}

std::string describePayload(ipc::IPC_MSG message, const QByteArray& payload) {
    const std::size_t size = static_cast<std::size_t>(payload.size());
    if (size == 0) {
        return std::string();
    }
    if (carriesBatteryStatus(message)) {
        if (size != sizeof(quarn_system::BATTERY_STATUS)) {
            return unexpectedSize("BATTERY_STATUS", sizeof(quarn_system::BATTERY_STATUS), payload);
        }
        return describeBatteryStatus(payload.constData());
    }
    if (carriesInstrumentConfig(message)) {
        if (size != sizeof(quarn_system::INSTRUMENT_CONFIG)) {
            return unexpectedSize("INSTRUMENT_CONFIG", sizeof(quarn_system::INSTRUMENT_CONFIG),
                                  payload);
        }
        return "powerButtonShutdown=" +
               std::to_string(byteAt(payload.constData(), CONFIG_POWER_BUTTON_SHUTDOWN));
    }
    if (carriesLoggingSession(message)) {
        return describeLoggingSession(payload);
    }
    return hexBytes(payload.constData(), size);
}

std::string describeMessage(const ipc::IpcMessage& message) {
    const QByteArray payload = message.data();
    std::ostringstream out;
    out << ipc::ipcMessageName(message.message()) << " (" << message.message() << ") from "
        << ipc::ipcOriginName(message.origin()) << " (" << message.origin() << "), "
        << payload.size() << " bytes";
    const std::string decoded = describePayload(message.message(), payload);
    if (!decoded.empty()) {
        out << ": " << decoded;
    }
    return out.str();
}

std::string describeFrame(const char* bytes, std::size_t size) {
    ipc::IpcMessage message;
    if (!ipc::IpcMessage::fromFrame(bytes, size, message)) {
        std::ostringstream out;
        out << "malformed frame, " << size << " bytes";
        if (size > 0) {
            out << ": " << hexBytes(bytes, size);
        }
        return out.str();
    }
    return describeMessage(message);
}

std::string describeFrame(const QByteArray& frame) {
    return describeFrame(frame.constData(), static_cast<std::size_t>(frame.size()));
}

std::string hexBytes(const char* bytes, std::size_t size, std::size_t limit) {
    std::string out;
    const std::size_t shown = size < limit ? size : limit;
    for (std::size_t i = 0; i < shown; ++i) {
        char pair[4];
        std::snprintf(pair, sizeof pair, "%02x", static_cast<unsigned char>(bytes[i]));
        if (i > 0) {
            out += ' ';
        }
        out += pair;
    }
    if (size > shown) {
        out += " ...";
    }
    return out;
}

std::string timestamp() {
    return QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")).toStdString();
}

} // namespace quarn_bus
