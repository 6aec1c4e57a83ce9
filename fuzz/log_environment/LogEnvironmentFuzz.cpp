// Any text as the logging environment and any bytes as a version record: the file size
// saturates instead of overflowing, every level word maps to a level, a logger list yields only
// named entries, the log file name is the link's last component up to its first dot, and a
// version record reads back as the lines it holds.

#include "FuzzLogging.h"
#include "FuzzScratch.h"

#include "foundation/LogSetup.h"
#include "system/VersionInfo.h"

#include <QByteArray>
#include <QFile>
#include <QStringList>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& scratch() {
    return fuzzScratch("log-environment");
}

void checkFileName(const std::string& text) {
    const std::string link = scratch() + "exe";
    ::unlink(link.c_str());
    const std::string target = text.substr(0, text.find('\0'));
    const bool linked = !target.empty() && ::symlink(target.c_str(), link.c_str()) == 0;
    const std::string name = shared::defaultLogFileName(link.c_str());
    std::string expected = "app";
    if (linked) {
        expected =
            target.substr(target.rfind('/') == std::string::npos ? 0 : target.rfind('/') + 1);
        expected = expected.substr(0, expected.find('.'));
    }
    if (name != expected + ".log") {
        std::abort();
    }
}

void checkVersionRecord(const QByteArray& bytes, bool platform) {
    const QString baseName = platform ? quarn_system::VersionInfo::BASE_NAME_PLATFORM : "fuzz";
    QFile file(QString::fromStdString(scratch()) + baseName + ".info");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::abort();
    }
    file.close();
    QStringList lines{"kept"};
    if (!quarn_system::VersionInfo::readVersionInfo(baseName, lines) || lines.value(0) != "kept") {
        std::abort();
    }
    bool equal = false;
    QStringList expected{"Power Manager", "NABRIX_1.2"};
    quarn_system::VersionInfo::compareVersionInfo(baseName, expected, equal);
    quarn_system::VersionInfo::readAllVersionInfo();
    quarn_system::VersionInfo::readPlatformVersionInfo();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    silenceLogging();
    quarn_system::VersionInfo::setVersionInfoDirectory(QString::fromStdString(scratch()));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (shared::parseLogFileSize(text.c_str()) < 0) {
        std::abort();
    }
    const log4cplus::LogLevel level = shared::logLevelFromWord(text);
    if (level != log4cplus::OFF_LOG_LEVEL && level != log4cplus::TRACE_LOG_LEVEL &&
        text.size() > 5) {
        std::abort();
    }
    for (const shared::LoggerLevel& entry : shared::parseLoggerLevels(text)) {
        if (entry.logger.find_first_of(",;") != std::string::npos ||
            (!entry.logger.empty() && entry.logger.size() < 7)) {
            std::abort();
        }
    }
    checkFileName(text);
    checkVersionRecord(QByteArray(text.data(), static_cast<qsizetype>(text.size())),
                       size > 0 && data[0] & 1);
    return 0;
}
