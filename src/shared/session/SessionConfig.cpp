#include "session/SessionConfig.h"

#include "foundation/Log.h"
#include "foundation/Qt48DataStream.h"

namespace {
constexpr float DEFAULT_ENERGY_SETTING = 0.1f;
} // namespace

const SESSION_CONFIG& defaultSessionConfig() {
    static const SESSION_CONFIG config{DEFAULT_ENERGY_SETTING, session::SessionTiming(), QString(),
                                       QString()};
    return config;
}

const SESSION_CONFIG DEFAULT_SESSION_CONFIG = defaultSessionConfig();

QDataStream& operator<<(QDataStream& stream, const SESSION_CONFIG& config) {
    stream << config.energySetting << config.timing << config.description << config.name;
    if (stream.status() != QDataStream::Ok) {
        LOG_ERROR("session_storage_data_logger",
                  "Unable to insert session configuration to stream.");
    }
    return stream;
}

QDataStream& operator>>(QDataStream& stream, SESSION_CONFIG& config) {
    stream >> config.energySetting >> config.timing;
    shared::readString(stream, config.description);
    shared::readString(stream, config.name);
    if (stream.status() != QDataStream::Ok) {
        LOG_ERROR("session_storage_data_logger", "Invalid extraction from stream was detected!");
    }
    return stream;
}
