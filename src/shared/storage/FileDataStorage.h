#pragma once

#include "foundation/Common.h"
#include "storage/FileSystemCalls.h"
#include "storage/IDataStorage.h"

#include <QBuffer>
#include <QDataStream>
#include <QFile>
#include <QIODevice>
#include <QString>
#include <QSystemSemaphore>
#include <QtGlobal>

#include <memory>

namespace storage {

// Logging sessions as directories of fixed-name files on the instrument's data partition, one
// directory per session under the sessions directory, and the storage-space functions of that
// partition: how many bytes are free for session data, what a session of a given duration costs,
// and how long a session fits into given bytes.
//
// The recorded data files consist of protocol tables already; a copy streams them table by
// table into a sink after the configuration converted to tables.
class FileDataStorage : public IDataStorage {
public:
    static const char* const DATA_PARTITION_DEVICE;
    static const char* const DATA_PARTITION_TYPE;
    static constexpr unsigned long REMOUNT_FLAGS = 0x208020; // MS_REMOUNT | MS_SILENT | MS_RELATIME
    static constexpr qint64 DEFAULT_LOG_FILE_SIZE = 1048576;
    static constexpr qint64 LOG_ALLOWANCE = 10 * DEFAULT_LOG_FILE_SIZE;
    static constexpr qint64 EXTRA_MARGIN = 2097152;
    static constexpr qint64 TREND_RECORD_SIZE = 680;
    static constexpr qint64 DEMAND_RECORD_SIZE = 104;
    // Trend-overview, session, trend and demand metadata records of one session.
    static constexpr qint64 METADATA_FILES_SIZE = 11592 + 280 + 2776 + 56;
    // The smallest protocol table: a 4-byte header and an 8-byte time stamp.
    static constexpr int MIN_TABLE_SIZE = 12;

    static constexpr const char* META_SEMAPHORE_KEY = "file-data-storage-session-meta-data";

    // The session directory and its files.
    static const QString s_baseDir;
    static const QString s_trend;
    static const QString s_trendMeta;
    static const QString s_demand;
    static const QString s_demandMeta;
    static const QString s_sessionMeta;
    static const QString s_overviewMeta;
    static const QString s_config;
    // The file of the process-shared file-index counter (see Counter).
    static const QString s_counterFileName;

    // Tests hand in a directory and a semaphore name of their own, so that they share nothing
    // with an instrument or with another test run.
    explicit FileDataStorage(
        const QString& sessionsDir = s_baseDir,
        const QString& metaSemaphoreKey = QString::fromLatin1(META_SEMAPHORE_KEY));
    ~FileDataStorage() override;

    // An existing directory is overwritten: the session's files are made anew.
    bool create(const QString& name, SESSION_CONFIG& sessionConfig, ADCO_DSP_CONFIG& dspConfig,
                ADCO_DSP_PROBE_CONFIG& probeConfig,
                quarn_system::INSTRUMENT_CONFIG& instrumentConfig) override;
    bool reopen(const QString& name, SESSION_CONFIG& sessionConfig, ADCO_DSP_CONFIG& dspConfig,
                ADCO_DSP_PROBE_CONFIG& probeConfig,
                quarn_system::INSTRUMENT_CONFIG& instrumentConfig) override;
    bool close() override;
    bool isOpen() const override;
    QString openedName() const override;
    // Refuses the whole list, removing nothing, when it names the open session or a name that is
    // not a session name; otherwise removes every listed session it can.
    bool remove(const QStringList& names) override;

    bool write(const META_TREND_OVERVIEW& overview) override;
    bool write(const META_SESSION_DATA& data) override;
    bool write(const META_TREND_ENERGY& data) override;
    bool write(const META_DEMAND_ENERGY& data) override;
    bool read(META_TREND_OVERVIEW& overview) override;
    bool read(META_SESSION_DATA& data) override;
    bool read(META_TREND_ENERGY& data) override;
    bool read(META_DEMAND_ENERGY& data) override;
    bool writeTrendRecord(qint64 index, const char* record) override;
    bool writeDemandRecord(qint64 index, const char* record) override;

    // The configuration tables first, then the trend data, then the demand data.
    bool copy(IDataSink& sink, COPY_INFO& info) override;
    // The three configuration tables of the open session, appended to `buffer`.
    bool convertConfigToDravoFormat(QBuffer& buffer);

    bool setOnDiskSessionConfigMember(const QString& name, float SESSION_CONFIG::*member,
                                      float value) override;
    bool setOnDiskSessionConfigMember(const QString& name, QString SESSION_CONFIG::*member,
                                      const QString& value) override;

    // Streams every whole table of `in` into the sink, checking the framing; `name` names the
    // device in the messages. A table cut short at the end (a file still being written) is
    // skipped with a warning. Reads in blocks; memory stays within one block and one table.
    static bool transferContent(const QString& name, QIODevice& in, IDataSink& sink,
                                COPY_INFO& info);

    // The configuration file: DSP, probe and instrument records raw, then the session
    // configuration in its stream form. The file is replaced as a whole, so a failed write
    // (a full disk) leaves the previous file as it was.
    static bool storeConfiguration(const QString& fileName, const SESSION_CONFIG& sessionConfig,
                                   const ADCO_DSP_CONFIG& dspConfig,
                                   const ADCO_DSP_PROBE_CONFIG& probeConfig,
                                   const quarn_system::INSTRUMENT_CONFIG& instrumentConfig);
    static bool storeConfigurationToStream(QDataStream& stream, const SESSION_CONFIG& sessionConfig,
                                           const ADCO_DSP_CONFIG& dspConfig,
                                           const ADCO_DSP_PROBE_CONFIG& probeConfig,
                                           const quarn_system::INSTRUMENT_CONFIG& instrumentConfig);
    // Reads the parts in order and stops at the first that breaks: the records before it are
    // filled, the broken one keeps what was read of it, the ones after it are left untouched.
    static bool loadConfiguration(const QString& fileName, SESSION_CONFIG& sessionConfig,
                                  ADCO_DSP_CONFIG& dspConfig, ADCO_DSP_PROBE_CONFIG& probeConfig,
                                  quarn_system::INSTRUMENT_CONFIG& instrumentConfig);
    static bool loadConfiguration(QIODevice& device, SESSION_CONFIG& sessionConfig,
                                  ADCO_DSP_CONFIG& dspConfig, ADCO_DSP_PROBE_CONFIG& probeConfig,
                                  quarn_system::INSTRUMENT_CONFIG& instrumentConfig);

    // Bytes a copy of the listed sessions hands to its sink: their data files and configuration
    // tables. Sessions that do not exist count nothing.
    static qint64 getSessionTransferSize(const QStringList& names,
                                         const QString& sessionsDir = s_baseDir);
    // A valid Windows file name (Boost.Filesystem's windows_name) other than "." and "..": a
    // single path component that every host can store.
    static bool validateSessionFilename(const QString& name);
    // Seek, write and flush, each failure logged with the position or counts and the file.
    static bool writeDataToFilePosition(QFile& file, const char* data, const qint64& position,
                                        const qint64& size);

    // Remounts the data partition in place, which makes the file system commit what was written.
    static bool remountDataPartition();
    // Free is what is left for session data once the log files' allowance is set aside.
    static bool getStorageInfo(quint64& used, quint64& free);
    static bool isAvailableSpaceFor(quint64 bytes);
    // Size of the largest configuration file a session can have.
    static qint64 getMaxConfigSize();
    static qint64 bytesNeeded(int seconds, int trendInterval, int demandInterval);
    static int maxDurationForBytes(qint64 free, int trendInterval, int demandInterval);

    // Null restores the instrument's own calls and directories.
    static void setFileSystemCalls(std::shared_ptr<FileSystemCalls> calls);
    static std::shared_ptr<FileSystemCalls> fileSystemCalls();

private:
    static qint64 overhead();

    // One session is open at a time, and only a valid session name opens one.
    bool mayOpen(const QString& name, const char* action) const;
    void forgetSession();
    QString sessionPath(const QString& name) const;
    QString filePath(const QString& fileName) const;
    bool openSession(const QString& name, const QString& path, SESSION_CONFIG& sessionConfig,
                     ADCO_DSP_CONFIG& dspConfig, ADCO_DSP_PROBE_CONFIG& probeConfig,
                     quarn_system::INSTRUMENT_CONFIG& instrumentConfig);
    bool openDataFiles(QIODevice::OpenMode mode);
    bool writeInitialMetaData(const QString& name, const SESSION_CONFIG& sessionConfig);
    bool writeRecord(QFile& file, qint64 index, qint64 size, const char* record);
    template <typename Record>
    bool writeMetaFile(const QString& fileName, const char* kind, const Record& record);
    template <typename Record>
    bool readMetaFile(const QString& fileName, const char* kind, Record& record);
    template <typename Member, typename Value>
    bool setConfigMember(const QString& name, Member SESSION_CONFIG::*member, const Value& value);

    const QString m_sessionsDir;
    QSystemSemaphore m_metaSemaphore;
    QString m_name;
    QString m_path;
    QFile m_trend;
    QFile m_demand;
};

} // namespace storage
