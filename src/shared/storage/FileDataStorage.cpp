#include "storage/FileDataStorage.h"

#include "foundation/Log.h"
#include "foundation/Qt48DataStream.h"
#include "records/AdcoRecords.h"
#include "records/InstrumentConfig.h"
#include "records/InstrumentModel.h"
#include "records/QuarnDateTime.h"
#include "session/SessionConfig.h"
#include "session/SessionTiming.h"
#include "storage/HostConfigTables.h"
#include "storage/MetaData.h"
#include "storage/SemaphoreLock.h"
#include "storage/TableStreamReader.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QtEndian>

#include <boost/filesystem/path.hpp>

#include <sys/mount.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <mutex>
#include <numeric>

namespace storage {

static_assert(FileDataStorage::REMOUNT_FLAGS == (MS_REMOUNT | MS_SILENT | MS_RELATIME),
              "the remount flags are Linux's");

namespace {

const char* const LOGGER = "file-data-storage_logger";

// The worst case of the configuration file: texts at the longest the host export keeps.
constexpr int LONGEST_DESCRIPTION = 127;
constexpr int LONGEST_NAME = 31;

std::mutex& callsMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<FileSystemCalls>& installedCalls() {
    static std::shared_ptr<FileSystemCalls> calls;
    return calls;
}

qint64 directorySize(const QString& path) {
    qint64 total = 0;
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                           QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        total += entry.size();
    }
    return total;
}

QString quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

constexpr int HEADER_SIZE = 4;

// Name under which the in-memory configuration tables appear in the copy's messages.
const QString CONFIG_BUFFER_NAME = QStringLiteral("virtualDravoDataBuffer");

// The configuration tables of a session, for the transfer size: as many bytes as the copy
// produces for them.
qint64 configTablesSize() {
    return HostConfigTables::DOWNLOAD_INFO_SIZE +
           HostConfigTables::unitName(
               QString::fromLatin1(quarn_system::instrumentModel().displayName))
               .size() +
           HostConfigTables::ENERGY_SETTINGS_SIZE;
}

qint64 computeMaxConfigSize() {
    QByteArray bytes;
    shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
    const ADCO_DSP_CONFIG dspConfig{};
    const ADCO_DSP_PROBE_CONFIG probeConfig{};
    const quarn_system::INSTRUMENT_CONFIG instrumentConfig{};
    const SESSION_CONFIG sessionConfig{
        defaultSessionConfig().energySetting,
        session::SessionTiming(quarnDateTimeToQDateTime(DEFAULT_QUARN_DATE_TIME),
                               session::SessionTiming::DURATION_10_MINUTES,
                               session::SessionTiming::DEFAULT_TREND_INTERVAL,
                               session::SessionTiming::DEFAULT_DEMAND_INTERVAL, 0),
        QString(LONGEST_DESCRIPTION, QLatin1Char('x')), QString(LONGEST_NAME, QLatin1Char('y'))};
    if (!FileDataStorage::storeConfigurationToStream(stream, sessionConfig, dspConfig, probeConfig,
                                                     instrumentConfig)) {
        LOG_ERROR(LOGGER, "Failed to determine size of max config file.");
    }
    return bytes.size();
}

} // namespace

const char* const FileDataStorage::DATA_PARTITION_DEVICE = "ubi1:data";
const QString FileDataStorage::s_baseDir = QString::fromLatin1(quarn::Common::SESSION_DIR);
const QString FileDataStorage::s_trend = QStringLiteral("trend.bin");
const QString FileDataStorage::s_trendMeta = QStringLiteral("trend-meta.bin");
const QString FileDataStorage::s_demand = QStringLiteral("demand.bin");
const QString FileDataStorage::s_demandMeta = QStringLiteral("demand-meta.bin");
const QString FileDataStorage::s_sessionMeta = QStringLiteral("session-meta.bin");
const QString FileDataStorage::s_overviewMeta = QStringLiteral("trend-overview.bin");
const QString FileDataStorage::s_config = QStringLiteral("configuration.bin");
const QString FileDataStorage::s_counterFileName = QStringLiteral("%1/%2").arg(
    QString::fromLatin1(quarn::Common::CONFIG_DIR), QStringLiteral("file_index_counter.txt"));
const char* const FileDataStorage::DATA_PARTITION_TYPE = "ubifs";

bool FileDataStorage::remountDataPartition() {
    const std::shared_ptr<FileSystemCalls> calls = fileSystemCalls();
    if (calls->mount(DATA_PARTITION_DEVICE, calls->baseDir().toLocal8Bit().constData(),
                     DATA_PARTITION_TYPE, REMOUNT_FLAGS, nullptr) != 0) {
        LOG_ERROR(LOGGER, "Failed to remount (synchronize) data dir.");
        return false;
    }
    return true;
}

bool FileDataStorage::getStorageInfo(quint64& used, quint64& free) {
    const std::shared_ptr<FileSystemCalls> calls = fileSystemCalls();
    // Only a committed file system reports its true fill level; a failed remount still leaves a
    // usable, if slightly stale, answer.
    remountDataPartition();
    struct statvfs info {};
    if (calls->statvfs(calls->baseDir().toLocal8Bit().constData(), info) != 0) {
        LOG_WARN(LOGGER, "Failed to retrieve disk fill status");
        return false;
    }
    const quint64 total = static_cast<quint64>(info.f_frsize) * info.f_blocks;
    const quint64 unused = static_cast<quint64>(info.f_bsize) * info.f_bfree;
    used = total > unused ? total - unused : 0;
    free = static_cast<quint64>(info.f_bsize) * info.f_bavail;

    // The log files share the partition: what they may still grow to is not free for sessions.
    qint64 logReserve = LOG_ALLOWANCE - directorySize(calls->logDir());
    if (logReserve >= 0) {
        logReserve += EXTRA_MARGIN;
        const quint64 reserve = static_cast<quint64>(logReserve);
        free = free > reserve ? free - reserve : 0;
    } else {
        LOG_ERROR(LOGGER, "Log free size is negative value of "
                              << logReserve << ". Please adjust maximum log files configuration.");
        free = 0;
    }
    return true;
}

bool FileDataStorage::isAvailableSpaceFor(quint64 bytes) {
    quint64 used = 0;
    quint64 free = 0;
    if (!getStorageInfo(used, free)) {
        LOG_ERROR(LOGGER, "Unable to obtain disk usage info.");
        return false;
    }
    return free >= bytes;
}

qint64 FileDataStorage::getMaxConfigSize() {
    // The worst case never changes, so it is written out once.
    static const qint64 size = computeMaxConfigSize();
    return size;
}

qint64 FileDataStorage::bytesNeeded(int seconds, int trendInterval, int demandInterval) {
    qint64 bytes = overhead();
    if (demandInterval > 0) {
        bytes += (seconds / demandInterval) * DEMAND_RECORD_SIZE;
    }
    if (trendInterval > 0) {
        bytes += (seconds / trendInterval) * TREND_RECORD_SIZE;
    }
    return bytes;
}

int FileDataStorage::maxDurationForBytes(qint64 free, int trendInterval, int demandInterval) {
    const qint64 trend = trendInterval;
    const qint64 demand = demandInterval;
    // The shortest span after which both kinds of records line up again.
    const qint64 divisor = std::gcd(trend, demand);
    const qint64 multiple = divisor != 0 ? trend * demand / divisor : 0;
    const qint64 period = std::max({trend, demand, multiple});
    qint64 bytesPerPeriod = 0;
    if (demand > 0) {
        bytesPerPeriod += (period / demand) * DEMAND_RECORD_SIZE;
    }
    if (trend > 0) {
        bytesPerPeriod += (period / trend) * TREND_RECORD_SIZE;
    }
    if (bytesPerPeriod <= 0) {
        return 0;
    }
    const qint64 usable = free > overhead() ? free - overhead() : 0;
    // Single precision as the peers compute it, so every process offers the same durations.
    const float periods =
        std::floor(static_cast<float>(usable) / static_cast<float>(bytesPerPeriod));
    const double seconds = static_cast<double>(period) * static_cast<double>(periods);
    if (seconds >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    return static_cast<int>(seconds);
}

void FileDataStorage::setFileSystemCalls(std::shared_ptr<FileSystemCalls> calls) {
    std::lock_guard<std::mutex> guard(callsMutex());
    installedCalls() = std::move(calls);
}

std::shared_ptr<FileSystemCalls> FileDataStorage::fileSystemCalls() {
    std::lock_guard<std::mutex> guard(callsMutex());
    std::shared_ptr<FileSystemCalls>& calls = installedCalls();
    if (!calls) {
        calls = std::make_shared<FileSystemCalls>();
    }
    return calls;
}

qint64 FileDataStorage::overhead() {
    return getMaxConfigSize() + METADATA_FILES_SIZE;
}

// ---------------------------------------------------------------- sessions

FileDataStorage::FileDataStorage(const QString& sessionsDir, const QString& metaSemaphoreKey)
    : m_sessionsDir(sessionsDir)
    , m_metaSemaphore(metaSemaphoreKey, 1, QSystemSemaphore::Open) {}

FileDataStorage::~FileDataStorage() = default;

bool FileDataStorage::create(const QString& name, SESSION_CONFIG& sessionConfig,
                             ADCO_DSP_CONFIG& dspConfig, ADCO_DSP_PROBE_CONFIG& probeConfig,
                             quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    LOG_INFO(LOGGER, "Trying to create a session " << quoted(name) << ".");
    if (!mayOpen(name, "opening")) {
        return false;
    }
    const QString path = sessionPath(name);
    if (QFileInfo::exists(path)) {
        LOG_WARN(LOGGER, "Session directory " << quoted(name)
                                              << " already exists, it will be overwritten.");
    }
    if (!QDir().mkpath(path)) {
        LOG_ERROR(LOGGER, "Session directory " << quoted(name) << " could not be created.");
        return false;
    }
    // What was written before a failure stays readable: every file is complete or untouched.
    if (!storeConfiguration(path + s_config, sessionConfig, dspConfig, probeConfig,
                            instrumentConfig)) {
        return false;
    }
    m_path = path;
    if (!writeInitialMetaData(name, sessionConfig) ||
        !openDataFiles(QIODevice::ReadWrite | QIODevice::Truncate)) {
        forgetSession();
        return false;
    }
    m_name = name;
    return true;
}

bool FileDataStorage::writeInitialMetaData(const QString& name,
                                           const SESSION_CONFIG& sessionConfig) {
    LOG_INFO(LOGGER, "Initializing overview for session " << quoted(name));
    return writeMetaFile(s_sessionMeta, "session meta data",
                         MetaData::initialSessionData(sessionConfig, name)) &&
           writeMetaFile(s_overviewMeta, "session overview", DEFAULT_META_TREND_OVERVIEW) &&
           writeMetaFile(s_trendMeta, "trend meta data", DEFAULT_META_TREND_ENERGY) &&
           writeMetaFile(s_demandMeta, "demand meta data", DEFAULT_META_DEMAND_ENERGY);
}

bool FileDataStorage::reopen(const QString& name, SESSION_CONFIG& sessionConfig,
                             ADCO_DSP_CONFIG& dspConfig, ADCO_DSP_PROBE_CONFIG& probeConfig,
                             quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    if (!mayOpen(name, "reopening")) {
        return false;
    }
    const QString path = sessionPath(name);
    if (!QFileInfo(path).isDir()) {
        LOG_ERROR(LOGGER, "Session " << quoted(name) << " does not exist.");
        return false;
    }
    return openSession(name, path, sessionConfig, dspConfig, probeConfig, instrumentConfig);
}

bool FileDataStorage::openSession(const QString& name, const QString& path,
                                  SESSION_CONFIG& sessionConfig, ADCO_DSP_CONFIG& dspConfig,
                                  ADCO_DSP_PROBE_CONFIG& probeConfig,
                                  quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    if (!QFileInfo(path).isDir()) {
        LOG_ERROR(LOGGER, "Directory name:" << path << " does not exist.");
        return false;
    }
    if (!loadConfiguration(path + s_config, sessionConfig, dspConfig, probeConfig,
                           instrumentConfig)) {
        LOG_ERROR(LOGGER, "Unable to fill configuration settings");
        return false;
    }
    m_path = path;
    META_SESSION_DATA session;
    META_TREND_OVERVIEW overview;
    META_TREND_ENERGY trend;
    META_DEMAND_ENERGY demand;
    bool opened = openDataFiles(QIODevice::ReadWrite);
    if (!opened) {
        LOG_ERROR(LOGGER, "Failed to open data files");
    } else if (!read(session) || !read(overview) || !read(trend) || !read(demand)) {
        LOG_ERROR(LOGGER, "Failed to load data files");
        opened = false;
    }
    if (!opened) {
        forgetSession();
        return false;
    }
    m_name = name;
    return true;
}

bool FileDataStorage::openDataFiles(QIODevice::OpenMode mode) {
    m_trend.setFileName(m_path + s_trend);
    m_demand.setFileName(m_path + s_demand);
    return m_trend.open(mode) && m_demand.open(mode);
}

bool FileDataStorage::close() {
    if (!isOpen()) {
        LOG_WARN(LOGGER,
                 "No session is opened, you need to open a session before you can close it.");
        return false;
    }
    forgetSession();
    return true;
}

void FileDataStorage::forgetSession() {
    m_trend.close();
    m_demand.close();
    m_name.clear();
    m_path.clear();
}

bool FileDataStorage::mayOpen(const QString& name, const char* action) const {
    if (isOpen()) {
        LOG_ERROR(LOGGER, "Session " << quoted(name) << " is already opened, close it first before "
                                     << action << ".");
        return false;
    }
    return validateSessionFilename(name);
}

bool FileDataStorage::isOpen() const {
    return !m_name.isEmpty();
}

QString FileDataStorage::openedName() const {
    return m_name;
}

bool FileDataStorage::remove(const QStringList& names) {
    for (const QString& name : names) {
        if (isOpen() && name == m_name) {
            LOG_ERROR(LOGGER,
                      "Currently opened session" << name << " is in remove list which is illegal.");
            return false;
        }
        if (!validateSessionFilename(name)) {
            return false;
        }
    }
    bool removed = true;
    for (const QString& name : names) {
        // A link in place of a session is removed as the link: nothing outside the sessions
        // directory is ever deleted.
        if (QFileInfo(QDir(m_sessionsDir).filePath(name)).isSymLink()) {
            removed = QDir(m_sessionsDir).remove(name) && removed;
            continue;
        }
        QDir directory(sessionPath(name));
        const QFileInfoList entries = directory.entryInfoList(QDir::AllEntries | QDir::Hidden |
                                                              QDir::System | QDir::NoDotAndDotDot);
        for (const QFileInfo& entry : entries) {
            // A link is removed as the link, never followed out of the session.
            const bool gone = entry.isDir() && !entry.isSymLink()
                                  ? QDir(entry.filePath()).removeRecursively()
                                  : QFile::remove(entry.filePath());
            if (!gone) {
                LOG_ERROR(LOGGER, "Could not remove session file "
                                      << quoted(name + QLatin1Char('/') + entry.fileName()));
                removed = false;
            }
        }
        if (!directory.exists() || !QDir(m_sessionsDir).rmdir(name)) {
            LOG_ERROR(LOGGER, "Could not remove session " << quoted(name));
            removed = false;
        }
    }
    return removed;
}

QString FileDataStorage::sessionPath(const QString& name) const {
    return QDir(m_sessionsDir).filePath(name) + QLatin1Char('/');
}

QString FileDataStorage::filePath(const QString& fileName) const {
    return m_path + fileName;
}

// ---------------------------------------------------------------- metadata and records

template <typename Record>
bool FileDataStorage::writeMetaFile(const QString& fileName, const char* kind,
                                    const Record& record) {
    if (m_path.isEmpty()) {
        LOG_ERROR(LOGGER, "Unable to write " << kind << " - session is not open");
        return false;
    }
    SemaphoreLock lock(m_metaSemaphore);
    if (!lock.isLocked()) {
        LOG_ERROR(LOGGER, "Unable to write " << kind);
        return false;
    }
    QFile file(filePath(fileName));
    // The record keeps its size, so it is rewritten in place: a failed write leaves at worst a
    // record whose front is new and whose rest is the previous one.
    if (!file.open(QIODevice::ReadWrite) ||
        !writeDataToFilePosition(file, reinterpret_cast<const char*>(&record), 0, sizeof(Record))) {
        LOG_ERROR(LOGGER, "Unable to write " << kind << " - write error");
        return false;
    }
    return true;
}

template <typename Record>
bool FileDataStorage::readMetaFile(const QString& fileName, const char* kind, Record& record) {
    if (m_path.isEmpty()) {
        LOG_ERROR(LOGGER, "Failed to read " << kind << " file.");
        return false;
    }
    SemaphoreLock lock(m_metaSemaphore);
    QFile file(filePath(fileName));
    if (!lock.isLocked() || !file.open(QIODevice::ReadOnly)) {
        LOG_ERROR(LOGGER, "Failed to read " << kind << " file.");
        return false;
    }
    shared::Qt48DataStream stream(&file);
    stream >> record;
    if (stream.status() != QDataStream::Ok) {
        LOG_ERROR(LOGGER, "Failed to read " << kind << " file.");
        return false;
    }
    return true;
}

bool FileDataStorage::write(const META_TREND_OVERVIEW& overview) {
    return writeMetaFile(s_overviewMeta, "session overview", overview);
}

bool FileDataStorage::write(const META_SESSION_DATA& data) {
    return writeMetaFile(s_sessionMeta, "session meta data", data);
}

bool FileDataStorage::write(const META_TREND_ENERGY& data) {
    return writeMetaFile(s_trendMeta, "trend meta data", data);
}

bool FileDataStorage::write(const META_DEMAND_ENERGY& data) {
    return writeMetaFile(s_demandMeta, "demand meta data", data);
}

bool FileDataStorage::read(META_TREND_OVERVIEW& overview) {
    return readMetaFile(s_overviewMeta, "trend overview meta data", overview);
}

bool FileDataStorage::read(META_SESSION_DATA& data) {
    return readMetaFile(s_sessionMeta, "session meta data", data);
}

bool FileDataStorage::read(META_TREND_ENERGY& data) {
    return readMetaFile(s_trendMeta, "trend meta data", data);
}

bool FileDataStorage::read(META_DEMAND_ENERGY& data) {
    return readMetaFile(s_demandMeta, "demand meta data", data);
}

bool FileDataStorage::writeTrendRecord(qint64 index, const char* record) {
    return writeRecord(m_trend, index, TREND_RECORD_SIZE, record);
}

bool FileDataStorage::writeDemandRecord(qint64 index, const char* record) {
    return writeRecord(m_demand, index, DEMAND_RECORD_SIZE, record);
}

bool FileDataStorage::writeRecord(QFile& file, qint64 index, qint64 size, const char* record) {
    if (!isOpen() || index < 0 || index > std::numeric_limits<qint64>::max() / size - 1) {
        return false;
    }
    return writeDataToFilePosition(file, record, index * size, size);
}

bool FileDataStorage::writeDataToFilePosition(QFile& file, const char* data, const qint64& position,
                                              const qint64& size) {
    if (!file.seek(position)) {
        LOG_ERROR(LOGGER,
                  "Failed to seek to position" << position << " of file" << file.fileName());
        return false;
    }
    const qint64 written = fileSystemCalls()->write(file, data, size);
    if (written < size) {
        LOG_ERROR(LOGGER, "Failed to write" << size << " bytes to" << file.fileName()
                                            << " file, so far written"
                                            << std::max<qint64>(written, 0) << " bytes");
        return false;
    }
    if (written > size) {
        LOG_ERROR(LOGGER, "Writen" << written << " bytes to" << file.fileName() << " file"
                                   << " that is more than  required" << size << " bytes");
        return false;
    }
    if (!file.flush()) {
        LOG_ERROR(LOGGER, "Failed to flush" << file.fileName() << " file");
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- configuration

bool FileDataStorage::storeConfigurationToStream(
    QDataStream& stream, const SESSION_CONFIG& sessionConfig, const ADCO_DSP_CONFIG& dspConfig,
    const ADCO_DSP_PROBE_CONFIG& probeConfig,
    const quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    stream << dspConfig << probeConfig << instrumentConfig << sessionConfig;
    return stream.status() == QDataStream::Ok;
}

bool FileDataStorage::storeConfiguration(const QString& fileName,
                                         const SESSION_CONFIG& sessionConfig,
                                         const ADCO_DSP_CONFIG& dspConfig,
                                         const ADCO_DSP_PROBE_CONFIG& probeConfig,
                                         const quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    QByteArray bytes;
    shared::Qt48DataStream stream(&bytes, QIODevice::WriteOnly);
    if (!storeConfigurationToStream(stream, sessionConfig, dspConfig, probeConfig,
                                    instrumentConfig)) {
        LOG_ERROR(LOGGER, "Failed to write configuration data.");
        return false;
    }
    // Written beside the file and renamed over it once complete.
    const QString partName = fileName + QStringLiteral(".part");
    QFile part(partName);
    if (!part.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        LOG_ERROR(LOGGER, "Failed to open " << partName << " for writing.");
        return false;
    }
    const bool written = writeDataToFilePosition(part, bytes.constData(), 0, bytes.size());
    part.close();
    if (!written || std::rename(QFile::encodeName(partName).constData(),
                                QFile::encodeName(fileName).constData()) != 0) {
        LOG_ERROR(LOGGER, "Failed to write configuration data.");
        QFile::remove(partName);
        return false;
    }
    return true;
}

bool FileDataStorage::loadConfiguration(const QString& fileName, SESSION_CONFIG& sessionConfig,
                                        ADCO_DSP_CONFIG& dspConfig,
                                        ADCO_DSP_PROBE_CONFIG& probeConfig,
                                        quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        LOG_ERROR(LOGGER, "Failed to open " << fileName << " for reading.");
        LOG_ERROR(LOGGER, "Failed to read configuration data.");
        return false;
    }
    return loadConfiguration(file, sessionConfig, dspConfig, probeConfig, instrumentConfig);
}

bool FileDataStorage::loadConfiguration(QIODevice& device, SESSION_CONFIG& sessionConfig,
                                        ADCO_DSP_CONFIG& dspConfig,
                                        ADCO_DSP_PROBE_CONFIG& probeConfig,
                                        quarn_system::INSTRUMENT_CONFIG& instrumentConfig) {
    shared::Qt48DataStream stream(&device);
    const auto failed = [&stream](const char* message) {
        if (stream.status() == QDataStream::Ok) {
            return false;
        }
        LOG_ERROR(LOGGER, message);
        return true;
    };
    stream >> dspConfig;
    if (failed("Failed to read DSP configuration.")) {
        return false;
    }
    stream >> probeConfig;
    if (failed("Failed to read probe configuration.")) {
        return false;
    }
    stream >> instrumentConfig;
    if (failed("Failed to read instrument configuration.")) {
        return false;
    }
    stream >> sessionConfig;
    return !failed("Failed to read session configuration.");
}

template <typename Member, typename Value>
bool FileDataStorage::setConfigMember(const QString& name, Member SESSION_CONFIG::*member,
                                      const Value& value) {
    if (!validateSessionFilename(name)) {
        return false;
    }
    const QString fileName = sessionPath(name) + s_config;
    SESSION_CONFIG sessionConfig = defaultSessionConfig();
    ADCO_DSP_CONFIG dspConfig;
    ADCO_DSP_PROBE_CONFIG probeConfig;
    quarn_system::INSTRUMENT_CONFIG instrumentConfig;
    if (!loadConfiguration(fileName, sessionConfig, dspConfig, probeConfig, instrumentConfig)) {
        LOG_ERROR(LOGGER, "Failed to read original configuration.");
        return false;
    }
    sessionConfig.*member = value;
    if (!storeConfiguration(fileName, sessionConfig, dspConfig, probeConfig, instrumentConfig)) {
        LOG_ERROR(LOGGER, "Failed to write adjusted configuration.");
        return false;
    }
    return true;
}

bool FileDataStorage::setOnDiskSessionConfigMember(const QString& name,
                                                   float SESSION_CONFIG::*member, float value) {
    return setConfigMember(name, member, value);
}

bool FileDataStorage::setOnDiskSessionConfigMember(const QString& name,
                                                   QString SESSION_CONFIG::*member,
                                                   const QString& value) {
    return setConfigMember(name, member, value);
}

// ---------------------------------------------------------------- copy

bool FileDataStorage::copy(IDataSink& sink, COPY_INFO& info) {
    if (!isOpen()) {
        LOG_ERROR(LOGGER,
                  "No session is opened, you need to open a session before you can copy it.");
        return false;
    }
    QBuffer buffer;
    buffer.setObjectName(CONFIG_BUFFER_NAME);
    if (!buffer.open(QIODevice::ReadWrite)) {
        LOG_ERROR(LOGGER, "Failed to open DRAVO configuration buffer for reading & writing.");
        return false;
    }
    if (!convertConfigToDravoFormat(buffer)) {
        LOG_ERROR(LOGGER, "Failed to convert internal structures to DRAVO format");
        return false;
    }
    if (!transferContent(CONFIG_BUFFER_NAME, buffer, sink, info)) {
        return false;
    }
    // The recorder may be appending as the copy runs: each file is copied as far as it reaches
    // when its copy begins.
    for (QFile* file : {&m_trend, &m_demand}) {
        if (!file->flush() || !transferContent(file->fileName(), *file, sink, info)) {
            return false;
        }
    }
    return true;
}

bool FileDataStorage::convertConfigToDravoFormat(QBuffer& buffer) {
    SESSION_CONFIG sessionConfig = defaultSessionConfig();
    ADCO_DSP_CONFIG dspConfig;
    ADCO_DSP_PROBE_CONFIG probeConfig;
    quarn_system::INSTRUMENT_CONFIG instrumentConfig;
    const char* failure = nullptr;
    if (!loadConfiguration(filePath(s_config), sessionConfig, dspConfig, probeConfig,
                           instrumentConfig)) {
        failure = "";
    } else if (buffer.write(HostConfigTables::downloadInfo(sessionConfig)) !=
               HostConfigTables::DOWNLOAD_INFO_SIZE) {
        failure = "Failed to write download info into configuration buffer.";
    } else {
        const QByteArray unitName = HostConfigTables::unitName(
            QString::fromLatin1(quarn_system::instrumentModel().displayName));
        if (buffer.write(unitName) != unitName.size()) {
            failure = "Failed to write unit name into configuration buffer.";
        } else if (buffer.write(HostConfigTables::energySettings(sessionConfig, dspConfig,
                                                                 probeConfig, instrumentConfig)) !=
                   HostConfigTables::ENERGY_SETTINGS_SIZE) {
            failure = "Failed to write energy settings into configuration buffer.";
        }
    }
    if (failure == nullptr) {
        return true;
    }
    if (*failure != '\0') {
        LOG_ERROR(LOGGER, failure);
    }
    LOG_ERROR(LOGGER, "Conversion from internal config structures to DRAVO format failed.");
    return false;
}

bool FileDataStorage::transferContent(const QString& name, QIODevice& in, IDataSink& sink,
                                      COPY_INFO& info) {
    const qint64 total = in.size();
    TableStreamReader reader(in);
    if (!reader.allocate()) {
        LOG_ERROR(LOGGER, "Failed to allocate buffer for data copying.");
        return false;
    }
    in.seek(0);
    qint64 passed = 0;
    quint64 lastTimeStamp = 0;
    bool any = false;
    while (passed < total) {
        int available = 0;
        reader.peek(HEADER_SIZE, available);
        if (available < HEADER_SIZE) {
            LOG_ERROR(LOGGER, "Failed to read table header from " << name);
            return false;
        }
        const quint16 size = qFromLittleEndian<quint16>(reader.data() + 2);
        if (total - passed < size) {
            LOG_WARN(LOGGER, "Incomplete table read, ignoring it...");
            break;
        }
        if (size < MIN_TABLE_SIZE) {
            LOG_ERROR(LOGGER, "Wrong TRAXO protocol, size of the table must be at least "
                                  << MIN_TABLE_SIZE << " bytes.");
            return false;
        }
        if (!reader.peek(size, available)) {
            LOG_ERROR(LOGGER, "Failed to reallocate buffer for copying data.");
            return false;
        }
        if (available < size) {
            LOG_ERROR(LOGGER, "Failed to read table body from " << name);
            return false;
        }
        const char* const table = reader.data();
        if (!sink.write(table, size)) {
            return false;
        }
        lastTimeStamp = quint64(qFromLittleEndian<quint32>(table + 4)) << 32 |
                        qFromLittleEndian<quint32>(table + 8);
        any = true;
        reader.skip(size);
        passed += size;
        ++info.tableCount;
        info.byteCount += size;
    }
    if (any) {
        info.lastTimeStamp = lastTimeStamp;
    }
    return true;
}

qint64 FileDataStorage::getSessionTransferSize(const QStringList& names,
                                               const QString& sessionsDir) {
    qint64 bytes = 0;
    for (const QString& name : names) {
        const QString path = QDir(sessionsDir).filePath(name) + QLatin1Char('/');
        if (!validateSessionFilename(name) || !QFileInfo(path).isDir()) {
            continue;
        }
        bytes += configTablesSize() + QFileInfo(path + s_trend).size() +
                 QFileInfo(path + s_demand).size();
    }
    return bytes;
}

bool FileDataStorage::validateSessionFilename(const QString& name) {
    if (!boost::filesystem::windows_name(name.toStdString())) {
        LOG_WARN(LOGGER, "Session name " << name << " is not valid Windows filename.");
        return false;
    }
    return name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace storage
