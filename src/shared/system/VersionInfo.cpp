#include "system/VersionInfo.h"

#include "foundation/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

#include <algorithm>

namespace quarn_system {

const QString VersionInfo::VERSION_INFO_PATH_NAME = QStringLiteral("/var/lib/quarn/versions/");
const QString VersionInfo::VERSION_INFO_SUFFIX = QStringLiteral(".info");
const QString VersionInfo::BASE_NAME_PLATFORM = QStringLiteral("platform");
const QString VersionInfo::BASE_NAME_HTTP_SERVER = QStringLiteral("http-server");
const QString VersionInfo::BASE_NAME_USB_STORAGE_MANAGER = QStringLiteral("usb-storage-manager");
const QString VersionInfo::BASE_NAME_CORE_APP = QStringLiteral("core-app");
const QString VersionInfo::BASE_NAME_PWR_MANAGER = QStringLiteral("pwr-manager");
const QString VersionInfo::BASE_NAME_COM_MANAGER = QStringLiteral("com-manager");
const QString VersionInfo::BASE_NAME_DSP = QStringLiteral("dsp");
const QString VersionInfo::BASE_NAME_DSP_MANAGER = QStringLiteral("dsp-manager");

namespace {

const char* const LOGGER = "quarn_system_logger";

QMutex g_directoryMutex;
QString g_directory;

// Reads the file's lines into lines; false (after the warning) when it cannot be opened.
bool readLines(const QString& fileName, QStringList& lines) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        LOG_WARN(LOGGER, "Error when reading from the file " << fileName);
        return false;
    }
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        lines.append(stream.readLine());
    }
    file.close();
    return true;
}

} // namespace

void VersionInfo::setVersionInfoDirectory(const QString& directory) {
    QMutexLocker guard(&g_directoryMutex);
    if (directory.isEmpty() || directory.endsWith(QLatin1Char('/'))) {
        g_directory = directory;
    } else {
        g_directory = directory + QLatin1Char('/');
    }
}

QString VersionInfo::versionInfoDirectory() {
    QMutexLocker guard(&g_directoryMutex);
    return g_directory.isEmpty() ? VERSION_INFO_PATH_NAME : g_directory;
}

QString VersionInfo::fileName(const QString& baseName) {
    return QStringLiteral("%1%2%3").arg(versionInfoDirectory(), baseName, VERSION_INFO_SUFFIX);
}

void VersionInfo::createVersionFile(QString baseName, QString appName, QString version,
                                    QString buildDate, QString revision) {
    QStringList lines;
    lines << appName << version << buildDate << revision;
    writeVersionInfo(baseName, lines);
    LOG_INFO("version_info_logger",
             QStringLiteral("%1 version of %2: %3, (built on: %4)")
                 .arg(QStringLiteral("Release"), appName, version, buildDate));
}

bool VersionInfo::writeVersionInfo(QString baseName, QStringList& lines) {
    const QString directory = versionInfoDirectory();
    if (!QDir(directory).exists()) {
        // A failure shows up as the failing open below.
        QDir().mkpath(directory);
    }
    const QString name = fileName(baseName);
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text | QIODevice::Truncate)) {
        LOG_WARN(LOGGER, "Error when writing to the file " << name);
        return false;
    }
    QTextStream stream(&file);
    for (const QString& line : lines) {
        stream << line << "\n";
    }
    stream.flush();
    file.close();
    return true;
}

bool VersionInfo::readVersionInfo(QString baseName, QStringList& lines) {
    return readLines(fileName(baseName), lines);
}

bool VersionInfo::compareVersionInfo(QString baseName, QStringList& lines, bool& equal) {
    QStringList fromFile;
    if (!readLines(fileName(baseName), fromFile)) {
        return false;
    }
    std::sort(lines.begin(), lines.end());
    std::sort(fromFile.begin(), fromFile.end());
    equal = lines == fromFile;
    return true;
}

QList<QStringList> VersionInfo::readAllVersionInfo() {
    QList<QStringList> records;
    const QDir directory(versionInfoDirectory());
    const QFileInfoList entries = directory.entryInfoList(
        QStringList(QStringLiteral("*") + VERSION_INFO_SUFFIX), QDir::Files, QDir::Unsorted);
    for (const QFileInfo& entry : entries) {
        const QString baseName = entry.baseName();
        if (baseName == BASE_NAME_PLATFORM) {
            continue;
        }
        QStringList lines;
        if (readVersionInfo(baseName, lines)) {
            records.append(lines);
        }
    }
    return records;
}

QStringList VersionInfo::readPlatformVersionInfo() {
    QStringList lines;
    if (!readVersionInfo(BASE_NAME_PLATFORM, lines)) {
        lines.clear();
        lines << QStringLiteral("Firmware") << QStringLiteral("?.?") << QStringLiteral(" ")
              << QStringLiteral(" ");
    }
    return lines;
}

} // namespace quarn_system
